; serial: a program for a KERNAL that does its own work on the serial bus (serial_kernal
; here, the machine's with --dir): it reads the drive's power-on message from channel 15
; with TALK, TKSA and ACPTR, loads DATA (1, 2, 3, 4 at $C100) from drive 8 through LOAD,
; sees error 4 for a file that is not there, sends a command to channel 15 with LISTEN,
; SECOND and CIOUT and reads its answer, opens DATA on channel 2 by its name, reads its
; load address and closes it, and reports through the debug register.
        .include "drives.inc"

*       = $C400                 ; clear of DATA at $C100 and the results at $C200
        lda #$6F                ; "73,CBM DOS ...": the first two bytes, from the bus
        jsr readTwo
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
        lda #deviceDisk         ; a command the drive does not know, on channel 15
        jsr LISTEN
        lda #$6F
        jsr SECOND
        lda #'X'
        jsr CIOUT
        jsr UNLSN
        lda #$6F
        jsr readTwo
        #expect $C200, '3'      ; 31,SYNTAX ERROR
        #expect $C201, '1'
        lda #deviceDisk         ; OPEN 2,8,2,"DATA" on the bus: $F0 + 2, then the name
        jsr LISTEN
        lda #$F2
        jsr SECOND
        ldx #0
-       lda data,x
        jsr CIOUT
        inx
        cpx #len(data)
        bne -
        jsr UNLSN
        lda #$62                ; its first two bytes: DATA's load address
        jsr readTwo
        #expect $C200, $00
        #expect $C201, $C1
        lda #deviceDisk         ; CLOSE: $E0 + 2
        jsr LISTEN
        lda #$E2
        jsr SECOND
        jsr UNLSN
        lda #0                  ; channel 2 is closed: a read finds nothing
        sta status
        lda #$62
        jsr readTwo
        #expect status, statusReadTimeout | statusEndOfFile
        #passed

; The first two bytes that drive 8 sends from the channel A names ($60 + channel), at
; $C200 and $C201.
readTwo pha
        lda #deviceDisk
        jsr TALK
        pla
        jsr TKSA
        jsr ACPTR
        sta $C200
        jsr ACPTR
        sta $C201
        jmp UNTLK

        #loadFileRoutine

data    .text "DATA"
none    .text "NONE"
