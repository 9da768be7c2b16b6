; routines: calls every printing routine of the jump table with marker values in X and
; Y, and counts at $C800 each time a routine gave back a changed X or Y. The text, in
; yellow, ends up on rows 0-5; then RTS back into the input loop.
        .include "kernal.inc"

failures = $C800

*       = $C000
call    .macro routine, xv, yv
        ldx #\xv
        ldy #\yv
        jsr \routine
        cpx #\xv
        beq +
        inc failures
+       cpy #\yv
        beq +
        inc failures
+
        .endm
        lda #0
        sta failures
        lda #colourYellow
        sta textColour
        #call clearScreen, $5A, $A5
        #call setCursor, 0, 0
        lda #<hello
        #call printString, $77, >hello
        #call setCursor, 0, 1
        lda #$3C
        #call printHex, $12, $34
        lda #0
        #call printChar, $56, $78
        #call setCursor, 0, 2
        lda #0
        #call printDecimal, 0, $9A
        jsr space
        lda #9
        #call printDecimal, 0, $9A
        jsr space
        lda #10
        #call printDecimal, 0, $9A
        jsr space
        lda #$FF
        #call printDecimal, $FF, $9A
        jsr space
        lda #0
        #call printDecimal, $98, $9A
        jsr space
        lda #<1000
        #call printDecimal, >1000, $9A
        #call setCursor, 36, 3
        lda #<wrap
        #call printString, $11, >wrap
        #call newLine, $21, $43
        lda #<after
        #call printString, $11, >after
        rts
space   lda #' '
        jmp printChar
hello   .text "Hello, world", 0
wrap    .text "abcdefg", 0
after   .text "next", 0
