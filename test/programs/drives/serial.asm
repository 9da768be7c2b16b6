; serial: a program for a KERNAL that does its own work on the serial bus (serial_kernal
; here, the machine's with --dir): it reads the drive's power-on message from channel 15
; with TALK, TKSA and ACPTR, loads DATA (1, 2, 3, 4 at $C100) from drive 8 through LOAD,
; sees error 4 for a file that is not there, and reports through the debug register.
        .include "drives.inc"

*       = $C000
        lda #deviceDisk         ; "73,CBM DOS ...": the first two bytes, from the bus
        jsr TALK
        lda #$6F                ; channel 15
        jsr TKSA
        jsr ACPTR
        sta $C200
        jsr ACPTR
        sta $C201
        jsr UNTLK
        #expect $C200, '7'
        #expect $C201, '3'
        lda #len(data)
        ldx #<data
        ldy #>data
        jsr loadFile
        #expectCarryClear
        stx $C202
        sty $C203
        #expect $C100, 1
        #expect $C103, 4
        #expect $C202, $04      ; X/Y: the address after the last byte
        #expect $C203, $C1
        lda #len(none)
        ldx #<none
        ldy #>none
        jsr loadFile
        #expectCarrySet
        sta $C204
        #expect $C204, errorFileNotFound
        #passed

        #loadFileRoutine

data    .text "DATA"
none    .text "NONE"
