; chain: part PART of a program spread over three files, each loading the next by name
; from drive 8 (LOAD "PARTn",8,1) and jumping to it; the last reports success.
        .include "drives.inc"

        .weak
PART    = 1
        .endweak

*       = $C000 + (PART - 1) * $100
        .if PART < 3
        #file 1, deviceDisk, 1, format("PART%d", PART + 1)
        lda #0
        jsr LOAD
        #expectCarryClear
        jmp $C000 + PART * $100
        .endif
        #passed                         ; the last part's; the others' failures end here
