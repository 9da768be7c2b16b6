; load: loads the file BIG from drive 8 at its own address (LOAD"BIG",8,1) between the
; stopwatch's start and stop (timing 1), and ends the run through the debug register:
; 0 when the load succeeded, 1 when it did not.
        .include "kernal.inc"

*       = $CC00
        lda #len(name)
        ldx #<name
        ldy #>name
        jsr SETNAM
        lda #1
        ldx #deviceDisk
        ldy #1
        jsr SETLFS
        sta stopwatchStart
        lda #0
        jsr LOAD
        lda #1
        sta stopwatchStop
        lda #0
        adc #0                  ; the carry: 1 when the load failed
        sta debugExitRegister
-       jmp -
        .enc "petscii"
name    .text "BIG"
