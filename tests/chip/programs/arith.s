; ADD, ADDC, SUB, SUBC and CMP over pairs of operands, as words and as bytes, with the carry
; clear and set where it counts: carries out, borrows and signed overflow at the extremes.
        .include "prelude.inc"
        each_pair
        try2    add, 0
        try2    addc, 0
        try2    addc, 1
        try2    sub, 0
        try2    subc, 0
        try2    subc, 1
        try2    cmp, 0
        try2    add.b, 0
        try2    addc.b, 1
        try2    sub.b, 0
        try2    subc.b, 0
        try2    cmp.b, 0
        jmp     next
done:   finish

; source, destination
pairs:  .word   0x0001, 0x7FFF
        .word   0x0001, 0xFFFF
        .word   0x8000, 0x8000
        .word   0x0001, 0x8000
        .word   0xFFFF, 0x0000
        .word   0x7FFF, 0x8000
        .word   0x8000, 0x7FFF
        .word   0x0000, 0x0000
        .word   0x1234, 0x1234
        .word   0x0080, 0x007F
        .word   0x00FF, 0x0001
        .word   0x0080, 0x0080
        .word   0x0001, 0x0080
        .word   0x5A5A, 0xA5A5
pairs_end:
