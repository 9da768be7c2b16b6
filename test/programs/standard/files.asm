; files: logical files on the screen (3) and keyboard (0) devices: OPEN, CHKOUT and
; CHROUT, CHKIN and CHRIN reading the screen back, GETIN and CHRIN on the keyboard,
; CLOSE and CLALL, and the errors for a file already open, not open, not for output,
; and one file too many.
        .include "check.inc"

got     = freeArea

; Opens logical file `number` on `device`.
open    .segment number, device
        lda #0
        jsr SETNAM
        lda #\number
        ldx #\device
        ldy #0
        jsr SETLFS
        jsr OPEN
        .endsegment

*       = $C000
        lda #petsciiClear
        jsr CHROUT
        #open 1, deviceScreen
        #expectCarryClear
        #expect openFiles, 1
        #open 1, deviceScreen
        #expectCarrySet
        sta got
        #expect got, errorFileOpen
        ldx #1
        jsr CHKOUT
        #expectCarryClear
        #expect outputDevice, deviceScreen
        lda #'H'
        jsr CHROUT
        lda #'I'
        jsr CHROUT
        jsr CLRCHN
        #expectCells 0, 0, [8, 9, 32]
        ldx #9
        jsr CHKOUT
        #expectCarrySet
        sta got
        #expect got, errorFileNotOpen

        #open 2, deviceKeyboard
        #expectCarryClear
        ldx #2
        jsr CHKOUT
        #expectCarrySet
        sta got
        #expect got, errorNotOutputFile
        ldx #2
        jsr CHKIN
        #expectCarryClear
        jsr GETIN                       ; no key is ever pressed
        sta got
        #expect got, 0
        jsr CHRIN                       ; an empty line at once
        sta got
        #expect got, petsciiReturn
        lda #'X'                        ; what a program puts into the buffer comes out
        sta keyBuffer
        lda #'Y'
        sta keyBuffer + 1
        lda #2
        sta keyCount
        jsr GETIN
        sta got
        jsr CHRIN
        sta got + 1
        #expect got, 'X'
        #expect got + 1, 'Y'
        #expect keyCount, 0

        ldx #0                          ; the screen row back, from the cursor
        ldy #0
        clc
        jsr PLOT
        ldx #1
        jsr CHKIN
        #expectCarryClear
        jsr CHRIN
        sta got
        jsr CHRIN
        sta got + 1
        jsr CHRIN
        sta got + 2
        #expect got, 'H'
        #expect got + 1, 'I'
        #expect got + 2, petsciiReturn
        #expect cursorRow, 1
        jsr CLRCHN
        #expect inputDevice, deviceKeyboard

        lda #1
        jsr CLOSE
        #expectCarryClear
        #expect openFiles, 1
        ldx #1
        jsr CHKOUT
        #expectCarrySet
        lda #2
        jsr CLOSE
        #expect openFiles, 0

        ldx #maxOpenFiles               ; ten files open, the eleventh is refused
-       stx got
        lda #0
        jsr SETNAM
        lda got
        ldx #deviceScreen
        ldy #0
        jsr SETLFS
        jsr OPEN
        ldx got
        dex
        bne -
        #expect openFiles, maxOpenFiles
        #open 11, deviceScreen
        #expectCarrySet
        sta got
        #expect got, errorTooManyFiles
        jsr CLALL
        #expect openFiles, 0
        #passed
