; spins: counts in X for ever and stores every count at $C100, with the frame interrupt
; running; it never gives a verdict.
        .include "kernal.inc"

*       = $C000
        ldx #0
loop    inx
        stx $C100
        jmp loop
