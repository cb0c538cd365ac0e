; ADD, ADDC, SUB, SUBC and CMP over pairs of operands, as words and as bytes, with the carry
; clear and set where it counts: carries out, borrows and signed overflow at the extremes.
        .include "prelude.inc"
        mov     #pairs, r9
next:   cmp     #pairs_end, r9
        jeq     done
        mov     @r9+, r5
        mov     @r9+, r6
        mov     r6, r4
        add     r5, r4
        keep    r4
        mov     r6, r4
        clrc
        addc    r5, r4
        keep    r4
        mov     r6, r4
        setc
        addc    r5, r4
        keep    r4
        mov     r6, r4
        sub     r5, r4
        keep    r4
        mov     r6, r4
        clrc
        subc    r5, r4
        keep    r4
        mov     r6, r4
        setc
        subc    r5, r4
        keep    r4
        cmp     r5, r6
        keep    r6
        mov     r6, r4
        add.b   r5, r4
        keep    r4
        mov     r6, r4
        setc
        addc.b  r5, r4
        keep    r4
        mov     r6, r4
        sub.b   r5, r4
        keep    r4
        mov     r6, r4
        clrc
        subc.b  r5, r4
        keep    r4
        cmp.b   r5, r6
        keep    r6
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
