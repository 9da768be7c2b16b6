; memory: the values programs read after reset (MEMTOP, MEMBOT, the screen page, the
; I/O base, the RAM vectors), VECTOR both ways, a CHROUT vector of the program's own
; honoured by $FFD2, RESTOR, and STOP with the STOP flag set by the program.
        .include "check.inc"

got     = freeArea
original = freeArea + 8                 ; 2 bytes: the CHROUT vector after reset
table   = freeArea + 16                 ; 32 bytes: a copy of the vectors

*       = $C000
        sec
        jsr MEMTOP
        stx got
        sty got + 1
        #expect got, $00
        #expect got + 1, $A0
        sec
        jsr MEMBOT
        stx got
        sty got + 1
        #expect got, $00
        #expect got + 1, $08
        #expect screenPage, >screenMatrix
        jsr IOBASE
        stx got
        sty got + 1
        #expect got, $00
        #expect got + 1, $DC
        #expect irqVector, <frameWork
        #expect irqVector + 1, >frameWork

        lda chroutVector                ; the firmware's own CHROUT, for later
        sta original
        lda chroutVector + 1
        sta original + 1
        ldx #<table                     ; VECTOR, carry set: the vectors into the table
        ldy #>table
        sec
        jsr VECTOR
        lda table + chroutVector - irqVector
        cmp original
        bne wrongVector
        lda table + chroutVector - irqVector + 1
        cmp original + 1
        bne wrongVector
        lda #<ownOutput                 ; carry clear: the table, changed, back
        sta table + chroutVector - irqVector
        lda #>ownOutput
        sta table + chroutVector - irqVector + 1
        ldx #<table
        ldy #>table
        clc
        jsr VECTOR
        lda #0
        sta got + 2
        lda #'Q'
        jsr CHROUT
        #expect got + 2, 'Q'             ; the program's routine had it
        jsr RESTOR
        lda chroutVector
        cmp original
        bne wrongVector
        lda chroutVector + 1
        cmp original + 1
        bne wrongVector

        jsr STOP                        ; STOP is up: Z clear
        beq stopped
        lda #$7F                        ; the program says STOP is down
        sta stopFlag
        lda #1
        sta keyCount
        lda #0
        sta outputDevice
        jsr STOP
        bne stopped
        #expect keyCount, 0             ; the buffer emptied, the channels reset
        #expect outputDevice, deviceScreen
        #passed
stopped lda #99
        jmp checkFailed
wrongVector:
        lda #98
        jmp checkFailed

ownOutput:
        sta got + 2
        clc
        rts
