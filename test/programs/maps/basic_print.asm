; basic_print.asm: prints through the BASIC image's routines at the machine's addresses
; and ends in READY, as machine-code programs written for the machine do: LINPRT with
; 0, 65535 and 1234 (A = high, X = low), STROUT with a string longer than a page's worth
; of Y would reach from its start, then READY. The test reads the screen.

        .include "kernal.inc"

        .enc "petscii"
*       = $c000
        lda #0
        tax
        jsr basicPrintNumber
        jsr space
        lda #$ff
        ldx #$ff
        jsr basicPrintNumber
        jsr space
        lda #>1234
        ldx #<1234
        ldy #$5a                        ; LINPRT keeps Y
        jsr basicPrintNumber
        cpy #$5a
        bne +
        lda #petsciiReturn
        jsr CHROUT
        lda #<text
        ldy #>text
        ldx #$a5                        ; STROUT keeps X
        jsr basicPrintString
        cpx #$a5
        bne +
        jmp basicReady
+       brk

space   lda #' '
        jmp CHROUT

text    .text "printed by strout"
        .fill 7 * 40 - 17, '.'          ; past 256 bytes: the pointer's high byte moves on
        .text "end", 0
