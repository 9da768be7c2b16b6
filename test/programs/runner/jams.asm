; jams: counts in X up to 3, then runs into a JAM, which stops the 6510; the documented
; processor takes the JAM's byte for a one-byte no-op and goes on to spin in a loop.
        .cpu "6502i"
        .include "kernal.inc"

*       = $C000
        ldx #0
count   inx
        cpx #3
        bne count
        jam
forever jmp forever
