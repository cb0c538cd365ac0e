; DADD over pairs of BCD words and bytes, with the carry clear and set: carries between digits,
; out of the top digit, and digits that are no BCD at all (as far as the result is defined: a
; digit pair adding up beyond 19, 0xF + 0xF say, is not, and mspdebug and we part there).
        .include "prelude.inc"
        each_pair
        .irp    op, dadd, dadd.b
        try2    \op, 0
        try2    \op, 1
        .endr
        jmp     next
done:   finish

pairs:  .word   0x0001, 0x9999
        .word   0x1234, 0x5678
        .word   0x0099, 0x0001
        .word   0x0050, 0x0050
        .word   0x9999, 0x9999
        .word   0x0000, 0x0000
        .word   0x4999, 0x5001
        .word   0x0000, 0x9999
        .word   0x000A, 0x0005
        .word   0xABCD, 0x1111
pairs_end:
