; RRC (with the carry clear and set), RRA, SWPB and SXT of registers, words and bytes.
        .include "prelude.inc"
        mov     #values, r9
next:   cmp     #values_end, r9
        jeq     done
        mov     @r9+, r6
        .irp    op, rrc, rrc.b
        try1    \op, 0x0106
        try1    \op, 0x0001
        .endr
        .irp    op, rra, rra.b, swpb, sxt
        try1    \op, 0x0107
        try1    \op, 0
        .endr
        jmp     next
done:   finish

values: .word   0x0000, 0x0001, 0x8000, 0x8001, 0x0080, 0x007F, 0xFF80, 0x1234, 0xFFFF, 0x0100
values_end:
