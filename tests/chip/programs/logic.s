; AND, BIT, XOR, BIC, BIS and MOV over pairs, as words and as bytes, each after all four flags
; were set, so that what an instruction clears or leaves shows.
        .include "prelude.inc"
        each_pair
        .irp    op, and, bit, xor, bic, bis, mov, and.b, bit.b, xor.b, bic.b, bis.b, mov.b
        try2    \op, 0x0107
        .endr
        try2    xor, 0
        jmp     next
done:   finish

pairs:  .word   0x0000, 0x0000
        .word   0xFFFF, 0xFFFF
        .word   0x8000, 0x8000
        .word   0x8000, 0x7FFF
        .word   0x0080, 0x0080
        .word   0x00FF, 0xFF00
        .word   0x1234, 0xF0F0
        .word   0x0001, 0x0003
pairs_end:
