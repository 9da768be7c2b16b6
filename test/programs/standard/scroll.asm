; scroll: RETURN on the last row and printing past its end scroll the screen and its
; colours up by one row; the new last row is blank in the current colour.
        .include "check.inc"

*       = $C000
        lda #petsciiClear
        jsr CHROUT
        lda #'T'
        jsr CHROUT                      ; row 0, scrolled away first
        ldx #1
        ldy #0
        clc
        jsr PLOT
        lda #'U'
        jsr CHROUT                      ; row 1, on row 0 after one scroll
        ldx #24
        ldy #0
        clc
        jsr PLOT
        lda #petsciiColours[colourRed]
        jsr CHROUT
        lda #'A'
        jsr CHROUT
        lda #colourGreen
        sta textColour
        lda #petsciiReturn
        jsr CHROUT
        #expect screenMatrix + 0 * screenColumns + 0, 21
        #expectCells 23, 0, [1, 32]
        #expect colourMemory + 23 * screenColumns, colourRed
        #expect colourMemory + 24 * screenColumns, colourGreen
        #expect screenMatrix + 24 * screenColumns + 0, 32
        #expect cursorRow, 24
        #expect cursorColumn, 0
        ldx #screenColumns              ; a full last row moves on to a new one
-       lda #'B'
        jsr CHROUT
        dex
        bne -
        #expect screenMatrix + 22 * screenColumns + 0, 1
        #expectCells 23, 0, [2, 2, 2, 2]
        #expectCells 23, 36, [2, 2, 2, 2]
        #expect screenMatrix + 24 * screenColumns + 0, 32
        #expect cursorRow, 24
        #expect cursorColumn, 0
        lda #petsciiDown                ; cursor down on the last row scrolls too
        jsr CHROUT
        #expect screenMatrix + 22 * screenColumns + 0, 2
        #passed
