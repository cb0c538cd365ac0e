; PUSH in every mode, PUSH SP, POP, and CALL through each mode with the return address it
; leaves on the stack.
        .include "prelude.inc"
        mov     #0x0300, r5
        mov     #0xA1A2, 0(r5)
        mov     #0xB1B2, 2(r5)
        mov     #sub, &0x0320
        mov     #0x1234, r6
        push    r6
        push.b  r6
        .word   0x1225                  ; push @r5 (clang assembles only some PUSH forms)
        .word   0x1235                  ; push @r5+
        keep    r5
        push    #0x5678
        push    #8
        push    #-1
        .word   0x1215, 0               ; push 0(r5)
        .word   0x1212, 0x0300          ; push &0x0300
        push    sp
        .word   0x1265                  ; push.b @r5
        .word   0x1210, rom_word - .    ; push rom_word
        keep    sp
        pop     r7
        keep    r7

        mov     #sub, r8
        call    #sub
        call    r8
        mov     #table, r9
        call    @r9
        call    @r9+
        keep    r9
        call    0(r9)
        call    &0x0320
        call    sub_ptr
        push    #sub
        call    @sp
        call    0(sp)
        call    @sp+
        keep    sp
        finish

sub:    inc     r12
        keep    @sp
        keep    sp
        ret

rom_word: .word 0xC0DE
table:  .word   sub, sub
sub_ptr: .word  sub
