; files: what a program does with drive 8 through the system's calls, checked by itself.
; The test gives drive 8 a disk (a writable folder or image) holding PROG (a program file
; with load address $C800 and the bytes 1, 2, 3) and DATA (a sequential file, "HELLO" and
; RETURN), and no drive 9. Then: the power-on message and "00, OK" on channel 15; LOAD at
; the file's address and at X/Y, a wildcard, VERIFY that holds and one that does not,
; LOAD of a missing file and from a missing drive, the directory; a sequential file read
; with EOI on its last byte; one written; SAVE; a scratch through channel 15. The test
; looks at the disk afterwards.
        .include "drives.inc"

got     = freeArea                      ; 2 bytes
text    = freeArea + 2                  ; 40 bytes: a status message or a file's text

; Fails unless `text` starts with `expected`.
expectText .segment expected
        ldx #len(\expected) - 1
-       lda text,x
        cmp +,x
        bne ++
        dex
        bpl -
        bmi +++
+       .text \expected
checkNumber     := checkNumber + 1
+       lda #checkNumber
        jmp checkFailed
+
        .endsegment

*       = $C000
        ; Channel 15 holds the power-on message, then "00, OK".
        #file 15, 8, 15, ""
        jsr OPEN
        #expectCarryClear
        jsr readStatus
        #expectText "73,"
        jsr readStatus
        #expectText "00, OK,00,00"

        ; LOAD at the file's own address: X/Y the end, the status EOI.
        #file 1, 8, 1, "PROG"
        lda #0
        jsr LOAD
        #expectCarryClear
        stx got
        sty got + 1
        #expect got, $03
        #expect got + 1, $C8
        #expect $C800, 1
        #expect $C802, 3
        jsr READST
        sta got
        #expect got, $40
        ; LOAD with secondary address 0 to X/Y, by a wildcard.
        #file 1, 8, 0, "PR*"
        lda #0
        ldx #<$C900
        ldy #>$C900
        jsr LOAD
        #expectCarryClear
        #expect $C900, 1
        #expect $C902, 3
        stx got
        #expect got, $03
        ; VERIFY: the same bytes pass, a changed one sets bit 4.
        #file 1, 8, 1, "PROG"
        lda #1
        jsr LOAD
        jsr READST
        sta got
        #expect got, $40
        inc $C801
        #file 1, 8, 1, "PROG"
        lda #1
        jsr LOAD
        jsr READST
        and #$10
        sta got
        #expect got, $10
        ; A missing file: error 4, the status time-out and EOI.
        #file 1, 8, 1, "NOPE"
        lda #0
        jsr LOAD
        #expectCarrySet
        sta got
        #expect got, errorFileNotFound
        jsr READST
        sta got
        #expect got, $42
        jsr readStatus
        #expectText "62,FILE NOT FOUND,00,00"
        ; A missing drive: error 5, device not present.
        #file 1, 9, 1, "PROG"
        lda #0
        jsr LOAD
        #expectCarrySet
        sta got
        #expect got, errorDeviceNotPresent
        jsr READST
        sta got
        #expect got, $80
        ; A missing name: error 8.
        #file 1, 8, 1, ""
        lda #0
        jsr LOAD
        #expectCarrySet
        sta got
        #expect got, errorMissingFileName
        ; The directory as a BASIC program, relocated to X/Y.
        #file 1, 8, 0, "$"
        lda #0
        ldx #<$CA00
        ldy #>$CA00
        jsr LOAD
        #expectCarryClear
        #expect $CA00, $01
        #expect $CA02, $00
        #expect $CA04, $12
        #expect $CA05, $22

        ; A sequential file, byte by byte: EOI with the last.
        #file 2, 8, 2, "DATA,S,R"
        jsr OPEN
        #expectCarryClear
        ldx #2
        jsr CHKIN
        #expectCarryClear
        ldy #0
-       jsr CHRIN
        sta text,y
        iny
        jsr READST
        bne +
        cpy #40
        bne -
+       sta got
        #expect got, $40
        jsr CLRCHN
        lda #2
        jsr CLOSE
        #expectText "HELLO"
        #expect text + 5, $0D

        ; A sequential file written: "AB".
        #file 3, 8, 3, "OUT,S,W"
        jsr OPEN
        #expectCarryClear
        ldx #3
        jsr CHKOUT
        #expectCarryClear
        lda #'A'
        jsr CHROUT
        lda #'B'
        jsr CHROUT
        jsr CLRCHN
        lda #3
        jsr CLOSE
        jsr readStatus
        #expectText "00, OK"

        ; SAVE $C800-$C802 as SAVED.
        lda #<$C800
        sta freeZeroPage
        lda #>$C800
        sta freeZeroPage + 1
        #file 1, 8, 1, "SAVED"
        lda #freeZeroPage
        ldx #<$C803
        ldy #>$C803
        jsr SAVE
        #expectCarryClear

        ; A command on channel 15: scratch DATA.
        ldx #15
        jsr CHKOUT
        #expectCarryClear
        ldx #0
-       lda scratch,x
        jsr CHROUT
        inx
        cpx #len(scratchText)
        bne -
        jsr CLRCHN
        jsr readStatus
        #expectText "01,FILES SCRATCHED,01,00"
        lda #15
        jsr CLOSE
        #expect openFiles, 0
        #passed

scratchText = "S0:DATA"
scratch .text scratchText

; Reads channel 15 (file 15) into text, up to its last byte.
readStatus:
        ldx #15
        jsr CHKIN
        ldy #0
-       jsr CHRIN
        sta text,y
        iny
        jsr READST
        and #$40
        bne +
        cpy #40
        bne -
+       jmp CLRCHN
