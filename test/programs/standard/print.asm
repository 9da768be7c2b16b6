; print: text, colours and reverse video through CHROUT, which keeps A, X and Y; the
; cells, their colours and the cursor afterwards.
        .include "check.inc"

kept    = freeArea

*       = $C000
        lda #petsciiClear
        jsr CHROUT
        lda #colourCyan
        sta textColour
        ldx #0
-       lda hello,x
        beq +
        jsr CHROUT
        inx
        bne -
+       #expectCells 0, 0, [8, 5, 12, 12, 15, 44, 32, 23, 15, 18, 12, 4]  ; HELLO, WORLD
        #expect colourMemory, colourCyan
        #expect colourMemory + 11, colourCyan
        #expect cursorColumn, 12
        #expect cursorRow, 0
        lda #petsciiReverseOn
        jsr CHROUT
        lda #'A'
        ldx #$5A
        ldy #$A5
        jsr CHROUT
        sta kept
        stx kept + 1
        sty kept + 2
        #expect kept, 'A'
        #expect kept + 1, $5A
        #expect kept + 2, $A5
        lda #petsciiReverseOff
        jsr CHROUT
        lda #petsciiColours[colourRed]
        jsr CHROUT
        lda #'B'
        jsr CHROUT
        #expectCells 0, 12, [$81, 2]
        #expect colourMemory + 13, colourRed
        lda #petsciiReturn
        jsr CHROUT
        #expect cursorColumn, 0
        #expect cursorRow, 1
        #passed

hello   .text "Hello, world", 0
