; scroll: fills rows 0-24 with their row letter, then prints "123" in cyan from row 24,
; column 38 and a "4" after a new line: the screen and its colours scroll up twice.
        .include "kernal.inc"

*       = $C000
        jsr clearScreen
        ldy #0
-       ldx #0
        jsr setCursor
        tya
        clc
        adc #1                  ; 'A' + row
        ldx #screenColumns
-       jsr printChar
        dex
        bne -
        iny
        cpy #screenRows
        bne --
        lda #colourCyan
        sta textColour
        ldx #38
        ldy #24
        jsr setCursor
        lda #<text
        ldy #>text
        jsr printString          ; "12" ends row 24, "3" scrolls
        jsr newLine              ; scrolls again
        lda #'4'
        jsr printChar
        rts
text    .text "123", 0
