; The addressing modes as sources and as destinations, words and bytes, the constant generator,
; byte results in registers, and the single-operand instructions on memory.
        .include "prelude.inc"
        .equ    data, 0x0300
        .section .ram, "aw", @nobits
ram_word: .skip 4
        .text
        mov     #0x1111, &data
        mov     #0x2222, &data+2
        mov     #0x8384, &data+4
        mov     #0, &data+6
        mov     #data, r5
        mov     #data+6, r6

        mov     r5, r4
        keep    r4
        mov     2(r5), r4
        keep    r4
        mov     -4(r6), r4
        keep    r4
        mov     rom_word, r4
        keep    r4
        mov     &data+4, r4
        keep    r4
        mov     @r5, r4
        keep    r4
        mov     @r5+, r4
        keep    r4
        keep    r5
        mov.b   @r5+, r4
        keep    r4
        keep    r5
        mov.b   @r5+, r4
        keep    r4
        keep    r5
        mov     #0x5A5A, r4
        keep    r4
        mov     @pc, r4
        keep    r4
        mov     pc, r4
        keep    r4

        .irp    c, 0, 1, 2, 4, 8, -1
        mov     #0x1000, r4
        add     #\c, r4
        keep    r4
        mov     #0x10F0, r4
        add.b   #\c, r4
        keep    r4
        .endr

        mov     #-1, r4
        mov.b   &data+5, r4
        keep    r4
        mov     #-1, r4
        mov.b   1(r6), r4
        keep    r4
        mov     #-1, r4
        add.b   #1, r4
        keep    r4
        mov     #0x8000, r4
        sxt     r4
        keep    r4

        mov     #data+8, r7
        mov     #0x1234, 0(r7)
        add     #0x1111, 0(r7)
        keep    0(r7)
        mov.b   #0x55, 3(r7)
        add.b   #0x80, 2(r7)
        keep    2(r7)
        mov     #0x4321, &ram_word
        add     &ram_word, &ram_word
        keep    &ram_word
        mov     #0x5678, ram_word+2
        add     ram_word+2, ram_word+2
        keep    ram_word+2
        mov     #0x00AA, &data+12
        xor.b   #0xFF, &data+12
        keep    &data+12
        mov     2(r5), 4(r7)
        sub     @r5, 4(r7)
        keep    4(r7)
        mov     rom_word, 6(r7)
        bic     #0x00F0, 6(r7)
        bis.b   #0x01, 7(r7)
        keep    6(r7)
        .word   0x45B7, 8               ; mov @r5+, 8(r7), which clang does not assemble
        keep    r5
        mov     #0xABCD, -2(r7)
        keep    -2(r7)

        mov     #0x8001, &data+32
        mov     #0x0080, &data+34
        mov     #0x7F00, &data+36
        mov     #0x1234, &data+38
        mov     #data+32, r8
        setc
        rrc     &data+32
        keep    &data+32
        rra     2(r8)
        keep    2(r8)
        sxt     @r8
        keep    @r8
        swpb    4(r8)
        keep    4(r8)
        rrc.b   @r8+
        keep    r8
        rra.b   @r8+
        keep    r8
        mov     #0x0300, r9
        rrc.b   1(r9)
        keep    0(r9)

        push    #0x1234
        mov.b   @sp+, r4
        keep    r4
        keep    sp
        finish

rom_word: .word 0xBEEF
