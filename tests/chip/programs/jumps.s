; The eight jumps under each of the sixteen combinations of V, N, Z and C: r12 gathers which
; ones were not taken.
        .include "prelude.inc"
        clr     r8
next:   mov     r8, r6
        and     #7, r6
        bit     #8, r8
        jz      1f
        bis     #0x100, r6
1:      clr     r12
        mov     r6, sr
        jne     2f
        bis     #1, r12
2:      jeq     3f
        bis     #2, r12
3:      jnc     4f
        bis     #4, r12
4:      jc      5f
        bis     #8, r12
5:      jn      6f
        bis     #16, r12
6:      jge     7f
        bis     #32, r12
7:      jl      8f
        bis     #64, r12
8:      jmp     9f
        bis     #128, r12
9:      keep    r12
        inc     r8
        cmp     #16, r8
        jne     next
        finish
