; chain: part PART of a program spread over three files, each loading the next by name
; from drive 8 (LOAD "PARTn",8,1) and jumping to it; the last reports success.
        .include "../standard/check.inc"

        .weak
PART    = 1
        .endweak

*       = $C000 + (PART - 1) * $100
        .if PART < 3
        lda #len(next)
        ldx #<next
        ldy #>next
        jsr SETNAM
        lda #1
        ldx #deviceDisk
        ldy #1
        jsr SETLFS
        lda #0
        jsr LOAD
        #expectCarryClear
        jmp $C000 + PART * $100
next    .text format("PART%d", PART + 1)
        .endif
        #passed                         ; the last part's; the others' failures end here
