; serial_kernal: a small KERNAL image of our own for the tests of drives with a KERNAL that
; does its own work on the serial bus, as the machine's real one does. It is laid out like
; the machine's at the documented places: the jump table's entries at $FF93-$FFD5 (the
; serial calls each a JMP to its routine), LOAD through the RAM vector ILOAD ($0330), the
; vectors at $FFFA. Its LOAD does its work as the documented serial LOAD does, with calls
; of the serial routines themselves (not of the jump table): LISTEN, SECOND $F0 and the
; name by CIOUT, UNLSN; TALK, TKSA $60, the load address and the bytes by ACPTR up to the
; EOI (a first read with status bit 1: error 4); UNTLK; LISTEN, SECOND $E0, UNLSN. The
; serial routines' own bodies only report "device not present": the emulator serves
; them at the addresses the jump table names, as it serves the machine's KERNAL.
        .include "kernal.inc"   ; the entries' addresses and the machine's cells

ilOad   = $0330                 ; the RAM vector LOAD goes through

*       = $E000
reset   sei
        cld
        ldx #$FF
        txs
        lda #<loadRoutine       ; the vector, as the KERNAL's RESTOR sets it
        sta ilOad
        lda #>loadRoutine
        sta ilOad+1
        jmp idle

; LOAD behind ILOAD: A = 0 (this image does not verify), the name, device and secondary
; address from SETNAM and SETLFS, X/Y in loadStart; loadEnd the running store address. Carry set with A = 4 or 8 on an error.
loadRoutine
        sta verifyFlag
        lda #0
        sta status
        lda fileNameLength
        bne +
        lda #errorMissingFileName
        sec
        rts
+       lda deviceNumber
        jsr listen
        lda #$F0                ; open channel 0 with the name
        jsr second
        ldy #0
-       lda (fileName),y
        jsr ciout
        iny
        cpy fileNameLength
        bne -
        jsr unlsn
        lda deviceNumber
        jsr talk
        lda #$60                ; channel 0 talks
        jsr tksa
        jsr acptr
        sta loadEnd
        lda status
        and #statusReadTimeout
        bne notFound
        jsr acptr
        sta loadEnd+1
        lda secondaryAddress
        bne +
        lda loadStart           ; secondary address 0: at X/Y
        sta loadEnd
        lda loadStart+1
        sta loadEnd+1
+       ldy #0
-       jsr acptr
        sta (loadEnd),y
        inc loadEnd
        bne +
        inc loadEnd+1
+       bit status              ; bit 6, EOI: the last byte
        bvc -
        jsr untlk
        jsr closeLoad
        ldx loadEnd
        ldy loadEnd+1
        clc
        rts
notFound
        jsr untlk
        jsr closeLoad
        lda #errorFileNotFound
        sec
        rts
closeLoad
        lda deviceNumber
        jsr listen
        lda #$E0                ; close channel 0
        jsr second
        jmp unlsn

; The serial routines, reached from the jump table and from LOAD, each at an address of
; its own. Served by the emulator; here they only say that no device answered.
talk    jmp noDevice
listen  jmp noDevice
second  jmp noDevice
tksa    jmp noDevice
ciout   jmp noDevice
acptr   jmp noDevice
untlk   jmp noDevice
unlsn   jmp noDevice
noDevice
        lda #statusDeviceNotPresent
        ora status
        sta status
        rts

setlfsRoutine
        sta logicalFile
        stx deviceNumber
        sty secondaryAddress
        rts
setnamRoutine
        sta fileNameLength
        stx fileName
        sty fileName+1
        rts
readstRoutine
        lda status
        rts
loadEntry
        stx loadStart
        sty loadStart+1
        jmp (ilOad)
ignored rti

        .cerror * > testHookFirst, "the image's code reaches the test hook window"
*       = testHookFirst
idle    jmp idle                ; the test hook loads the program here

*       = SECOND
        jmp second
*       = TKSA
        jmp tksa
*       = ACPTR
        jmp acptr
*       = CIOUT
        jmp ciout
*       = UNTLK
        jmp untlk
*       = UNLSN
        jmp unlsn
*       = LISTEN
        jmp listen
*       = TALK
        jmp talk
*       = READST
        jmp readstRoutine
*       = SETLFS
        jmp setlfsRoutine
*       = SETNAM
        jmp setnamRoutine
*       = LOAD
        jmp loadEntry

*       = $FFFA
        .word ignored, reset, ignored
