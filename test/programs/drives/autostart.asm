; autostart: a program that a disk image starts as its first program or by --autostart. It
; checks that the image is drive 8 by loading DATA from it (1, 2, 3, 4 at $C000) and
; reports through the debug register. UPSTART = 1: at $0801 behind a BASIC upstart, run
; from its SYS number; 0: at $C100, run from its load address.
        .include "drives.inc"

        .weak
UPSTART = 1
        .endweak

        .if UPSTART != 0
*       = $0801
        .word next, 10          ; 10 SYS start
        .byte $9e
        .null format("%d", start)
next    .word 0
        .else
*       = $C100
        .endif
start   #file 1, deviceDisk, 1, "DATA"
        lda #0
        jsr LOAD
        #expectCarryClear
        #expect $C003, 4
        #passed
