; multiply: a test program for a routine of its own, the way breadbin-run runs them.
; It checks an unsigned 8 x 8 = 16-bit multiply against a table of cases and reports
; through the debug register $D7FF: 0 when every case passes, else the number of the
; first case that fails (1, 2, ...). The screen says the same.
;
; Assemble it with 64tass against the firmware's include files, which are installed
; in share/breadbin/ (the output starts with the two-byte load address):
;     64tass --cbm-prg -I /usr/share/breadbin -o multiply.prg multiply.asm
; and run it:
;     breadbin-run --debug-exit multiply.prg
        .include "kernal.inc"

debugExit = $D7FF               ; a byte written here ends the run with --debug-exit

factorA = $FB                   ; multiply's inputs; factorA is used up (the firmware
factorB = $FC                   ; leaves $02, $FB-$FE and $033C-$03FB to programs)
product = $FD                   ; multiply's result, low byte first
caseNumber = $02                ; the case being checked, from 1

*       = $C000
        jsr clearScreen
        ldx #0                  ; X: offset of the case in the table
        stx caseNumber
check   inc caseNumber
        lda cases,x
        sta factorA
        lda cases+1,x
        sta factorB
        jsr multiply
        lda product
        cmp cases+2,x
        bne failed
        lda product+1
        cmp cases+3,x
        bne failed
        txa
        clc
        adc #caseSize
        tax
        cpx #casesEnd - cases
        bne check

        lda #<passedText
        ldy #>passedText
        jsr printString
        lda #0
        beq report

failed  lda #<failedText
        ldy #>failedText
        jsr printString
        lda caseNumber
        jsr printHex
        lda caseNumber
report  sta debugExit
        rts                     ; without --debug-exit: back to the firmware's input loop

; multiply: product = factorA * factorB, unsigned, by shift and add. Keeps X.
multiply
        lda #0                  ; A: high byte of the product as it forms
        ldy #8
        lsr factorA             ; the lowest bit of factorA decides the first add
step    bcc shift
        clc
        adc factorB
shift   ror a                   ; the product moves right through A and factorA
        ror factorA
        dey
        bne step
        sta product+1
        lda factorA
        sta product
        rts

; The cases: factor, factor, expected product (low, high).
caseSize = 4
cases   .byte 0, 0
        .word 0
        .byte 1, 255
        .word 255
        .byte 255, 1
        .word 255
        .byte 16, 16
        .word 256
        .byte 12, 34
        .word 408
        .byte 200, 3
        .word 600
        .byte 255, 255
        .word 65025
casesEnd

passedText .null "MULTIPLY: ALL CASES PASSED"
failedText .null "MULTIPLY: FAILED AT CASE $"
