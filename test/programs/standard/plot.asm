; plot: PLOT moves the cursor (X = row, Y = column) and reads it back, CHROUT prints
; there (in the last cell it scrolls), a place off the screen is refused, and SCREEN
; gives the size.
        .include "check.inc"

place   = freeArea

*       = $C000
        lda #petsciiClear
        jsr CHROUT
        ldx #10
        ldy #5
        clc
        jsr PLOT
        #expectCarryClear
        lda #'A'
        jsr CHROUT
        #expect screenMatrix + 10 * screenColumns + 5, 1
        sec
        jsr PLOT
        stx place
        sty place + 1
        #expect place, 10
        #expect place + 1, 6
        #expect cursorRow, 10
        #expect cursorColumn, 6
        ldx #screenRows                 ; one row too far
        ldy #0
        clc
        jsr PLOT
        #expectCarrySet
        ldx #0
        ldy #screenColumns              ; one column too far
        clc
        jsr PLOT
        #expectCarrySet
        #expect cursorRow, 10
        #expect cursorColumn, 6
        ldx #24                         ; the last cell: the cursor moves on to a new
        ldy #39                         ; row at once, so the screen scrolls
        clc
        jsr PLOT
        lda #'Z'
        jsr CHROUT
        #expect screenMatrix + 23 * screenColumns + 39, 26
        #expect cursorRow, 24
        #expect cursorColumn, 0
        jsr SCREEN
        stx place
        sty place + 1
        #expect place, 40
        #expect place + 1, 25
        #passed
