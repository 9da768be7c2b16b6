; entries: the routines programs call at the machine's addresses beside the standard
; entries (cc65's C64 library among them): the screen clear at $E544, the keyboard
; buffer's read at $E5B4 (empty, then two keys), the colour pointer at $EA24, the NMI's
; exit at $FEBC (as a handler that pushed A, X and Y ends) and CINT's work at $FF5B.
        .include "check.inc"

place   = freeArea

*       = $C000
        lda #'X'
        jsr CHROUT
        jsr screenClear
        #expect screenMatrix, screenSpace
        #expect cursorColumn, 0
        #expect cursorRow, 0

        sei                             ; the scan adds no key meanwhile
        lda #0
        sta keyCount
        lda #$55
        jsr keyboardRead                ; empty: A = 0, carry clear
        sta place
        #expectCarryClear
        #expect place, 0
        lda #'A'
        sta keyBuffer
        lda #'B'
        sta keyBuffer + 1
        lda #2
        sta keyCount
        ldx #$77
        jsr keyboardRead
        sta place
        stx place + 1
        #expect place, 'A'
        #expect place + 1, $77
        #expect keyCount, 1
        #expect keyBuffer, 'B'
        cli

        lda #<(screenMatrix + 2 * screenColumns + 40 * 20)
        sta linePointer
        lda #>(screenMatrix + 2 * screenColumns + 40 * 20)
        sta linePointer + 1
        jsr colourPointer
        #expect colourLine, <(colourMemory + 22 * screenColumns)
        #expect colourLine + 1, >(colourMemory + 22 * screenColumns)
        ldx #0                          ; the cursor's row pointers back in step
        ldy #0
        clc
        jsr PLOT

        lda #>returned                  ; the processor's part of an interrupt's frame
        pha
        lda #<returned
        pha
        php
        lda #$11                        ; and a handler's pushes of A, X and Y
        pha
        lda #$22
        pha
        lda #$33
        pha
        lda #0
        tax
        tay
        jmp nmiExit
returned:
        sta place
        stx place + 1
        sty place + 2
        #expect place, $11
        #expect place + 1, $22
        #expect place + 2, $33

        ldx #5
        ldy #7
        clc
        jsr PLOT
        lda #'Y'
        jsr CHROUT
        jsr cintEditor
        #expect screenMatrix + 5 * screenColumns + 7, screenSpace
        #expect cursorColumn, 0
        #expect cursorRow, 0
        #passed
