# A second foreign reset handler, told apart from the game model's by its own counter and
# result: entered by a call with EAX = the device, keeps every register but EAX.
    .intel_syntax noprefix
    .text
    .globl _OtherForeignReset
_OtherForeignReset:
    inc dword ptr [_OtherForeignCalls]
    mov eax, 0x0E7E0E7E
    ret

    .data
    .globl _OtherForeignCalls
_OtherForeignCalls: .long 0
