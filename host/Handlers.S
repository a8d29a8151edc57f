# Register-level handlers the game enters through the patches written at attach. Each one
# stands in for the game instructions its patch overwrote, so it leaves the game's registers
# and stack as those instructions would have. None keeps the flags. None has a prologue.
#
# C++ code called from here may assume a 16-byte aligned stack, which the game does not give:
# every such call is made from a realigned stack, with ESP kept in EBP (saved by PUSHAD).

    .intel_syntax noprefix
    .text

    .set PRESENT_PARAMETERS, 0xC9C040   # the game's D3DPRESENT_PARAMETERS
    .set RESET_SLOT, 0x40               # IDirect3DDevice9::Reset: method 16 of the table
    .set DRAW_SITE_DWORD, 0xC97B24      # what the overwritten load put into EAX
    .set DRAW_SITE_RESUME, 0x58E8AC     # the instruction after that load
    .set DRAW_SITE_SKIP, 0x58EABD       # the end of the block the game may skip

# Releases the render resources, keeping all eight general registers.
.macro RELEASE_KEEPING_REGISTERS
    pushad
    mov ebp, esp
    and esp, -16
    call __Z16ReleaseResourcesv         # void ReleaseResources(), C++ linkage
    mov esp, ebp
    popad
.endm

# ResetHookShort
#   Entered by:  E8 at the 9-byte reset site S, in place of
#                PUSH 0xC9C040; PUSH EAX; CALL [ECX+0x40]. [ESP] = S+5.
#   At entry:    EAX = the device, ECX = its function table.
#   Resumes at:  S+5 (by RET), where NOPs lead on to S+9.
#   Leaves:      EAX = the HRESULT of the reset (or of the chained handler); ESP as at S;
#                EBX, ESI, EDI, EBP unchanged; ECX, EDX as Reset (or the chained handler)
#                left them.
#   The chained handler, when recorded, is entered as the game would have entered it (EAX and
#   ECX as at the site) and performs the reset itself; it is called through the slot, so EDI
#   survives on that path too.
    .globl _ResetHookShort
_ResetHookShort:
    RELEASE_KEEPING_REGISTERS
    cmp dword ptr [_ChainedResetShort], 0
    jne 1f
    push PRESENT_PARAMETERS
    push eax
    call dword ptr [ecx+RESET_SLOT]     # stdcall: takes both arguments off the stack
    ret
1:
    call dword ptr [_ChainedResetShort]
    ret

# ResetHookLong
#   Entered by:  E8 at one of the 11-byte reset sites S, in place of
#                PUSH 0xC9C040; PUSH EAX; MOV EDX,[EAX]; CALL [EDX+0x40]. [ESP] = S+5.
#   At entry:    EAX = the device.
#   Resumes at:  S+5 (by RET), where NOPs lead on to S+11.
#   Leaves:      as ResetHookShort; on the direct path EDX is loaded with the function table
#                before the call, as the game's own sequence does.
    .globl _ResetHookLong
_ResetHookLong:
    RELEASE_KEEPING_REGISTERS
    cmp dword ptr [_ChainedResetLong], 0
    jne 1f
    push PRESENT_PARAMETERS
    push eax
    mov edx, [eax]
    call dword ptr [edx+RESET_SLOT]
    ret
1:
    call dword ptr [_ChainedResetLong]
    ret

# DrawSiteHook
#   Entered by:  E9 at 0x58E8A7, in place of MOV EAX,[0xC97B24]; no return address on the
#                stack.
#   At entry:    any registers.
#   Resumes at:  0x58EABD while IsPlayerInJet holds, with every general register as at entry;
#                otherwise 0x58E8AC, with EAX = [0xC97B24] and every other general register as
#                at entry. ESP as at the jump in both cases.
    .globl _DrawSiteHook
_DrawSiteHook:
    pushad
    mov ebp, esp
    and esp, -16
    call _IsPlayerInJet                 # bool in AL
    mov esp, ebp
    test al, al                         # POPAD leaves the flags alone
    popad
    jnz 1f
    mov eax, dword ptr [DRAW_SITE_DWORD]
    push DRAW_SITE_RESUME
    ret
1:
    push DRAW_SITE_SKIP
    ret
