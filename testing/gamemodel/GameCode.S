# Register-level pieces of the game model: entering game code with chosen registers, catching
# the registers where the game resumes, and the foreign handlers other modules would install.
    .intel_syntax noprefix
    .text

# void GameEnter(GameRegisters* in, GameRegisters* out, uint32_t address, uint32_t paint)
#   cdecl. Switches to a game stack 16 KiB below this frame, aligned 16 then lowered by
#   in->esp (the misalignment), fills `paint` bytes below it with 0xCD, loads all eight
#   registers from *in (writing the chosen esp back into in->esp) and jumps to `address`.
#   Returns when the game code reaches a resume stub, with *out as the game left them.
    .globl _GameEnter
_GameEnter:
    push ebp
    push ebx
    push esi
    push edi
    mov eax, [esp+20]
    mov edx, [esp+24]
    mov [_GameOut], edx
    mov ecx, [esp+28]
    mov [GameTarget], ecx
    mov [GameHarnessEsp], esp
    lea edx, [esp-0x4000]
    and edx, -16
    sub edx, [eax+16]
    mov [eax+16], edx
    # paint the stack the game code may use
    mov edi, edx
    sub edi, [esp+32]
    mov ecx, [esp+32]
    shr ecx, 2
    push eax
    mov eax, 0xCDCDCDCD
    cld
    rep stosd
    pop eax
    mov esp, [eax+16]
    mov ecx, [eax+4]
    mov edx, [eax+8]
    mov ebx, [eax+12]
    mov ebp, [eax+20]
    mov esi, [eax+24]
    mov edi, [eax+28]
    mov eax, [eax+0]
    jmp dword ptr [GameTarget]

# Reached by a jump from a resume stub, which has stored its address in GameResumePoint.
# Keeps every register and the flags the game left, back in *out; returns from GameEnter.
    .globl _GameCapture
_GameCapture:
    push eax
    mov eax, [_GameOut]
    pop dword ptr [eax+0]
    mov [eax+4], ecx
    mov [eax+8], edx
    mov [eax+12], ebx
    mov [eax+16], esp
    mov [eax+20], ebp
    mov [eax+24], esi
    mov [eax+28], edi
    mov esp, [GameHarnessEsp]
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret

# Foreign reset handler, as another module would chain one: entered by a call with EAX = the
# device; counts, keeps EAX, answers GameForeignResetResult in EAX; keeps every other register.
    .globl _GameForeignReset
_GameForeignReset:
    inc dword ptr [_GameForeign+0]
    mov [_GameForeign+4], eax
    mov eax, [_GameForeignResetResult]
    ret

# Foreign DrawInterface handler: a plain function with no arguments.
    .globl _GameForeignDrawInterface
_GameForeignDrawInterface:
    inc dword ptr [_GameForeign+8]
    ret

# Foreign DrawSite jump: does what the overwritten load did and goes on at 0x58E8AC.
    .globl _GameForeignDrawSite
_GameForeignDrawSite:
    inc dword ptr [_GameForeign+12]
    mov eax, [0xC97B24]
    push 0x58E8AC
    ret

    .data
    .globl _GameOut
_GameOut: .long 0
GameTarget: .long 0
GameHarnessEsp: .long 0
    .globl _GameResumePoint
_GameResumePoint: .long 0
    .globl _GameForeign
_GameForeign: .long 0, 0, 0, 0
    .globl _GameForeignResetResult
_GameForeignResetResult: .long 0
