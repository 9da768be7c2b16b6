; title: a game's first program as a disk image holds it, for the README's example of an
; image autostarted headlessly: a BASIC upstart at $0801 that prints its title screen
; through CHROUT and waits there.
        .include "kernal.inc"
        .enc "petscii"

*       = $0801
        .word next, 10                  ; 10 SYS start
        .byte $9e
        .null format("%d", start)
next    .word 0
start   ldx #0
-       lda title,x
        beq wait
        jsr CHROUT
        inx
        bne -
wait    jmp wait
title   .null 147, 17, 17, "      BREADBIN INVADERS", 13, 13, "        PRESS FIRE"
