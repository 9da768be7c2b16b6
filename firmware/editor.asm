; editor.asm: the screen editor behind CHROUT and CHRIN on the screen device, and the
; entries that report or move its cursor (PLOT, SCREEN). Included by kernal.asm.
;
; The editor works in physical rows of 40 cells: printing in the last column moves the
; cursor to the next row, and a row below the last scrolls the screen and its colours
; up. Every printed cell takes its colour from textColour ($0286).

; CHROUT's work for the screen: A = PETSCII code. Keeps A, X and Y; carry clear.
screenOutput:
        pha
        txa
        pha
        tya
        pha
        jsr placeCursor                 ; a cursor a program moved, or left past the end
        tsx
        lda stackPage + 3,x
        jsr screenPrint
        jsr pointAtRow
        pla
        tay
        pla
        tax
        pla
        clc
        rts

; Prints or acts on PETSCII code A. Uses A, X, Y.
screenPrint:
        tay
        and #$7F
        cmp #screenSpace
        bcs printable
        cpy #petsciiReturn
        beq +
        cpy #petsciiShiftReturn
        bne ++
+       jmp carriageReturn
+       lda quoteMode                   ; inside quotes and in opened cells, control codes
        ora insertCount                 ; print as their reversed symbols; delete still
        beq control                     ; deletes inside quotes
        cpy #petsciiDelete
        bne showControl
        lda insertCount
        beq control
showControl:
        tya
        bmi +
        ora #reverseVideo               ; 0-31 show as reversed screen codes 0-31
        bne putCode
+       ora #$40                        ; 128-159 show as reversed screen codes 64-95
        bne putCode
control:
        tya
        ldx #len(editorActions) - 1
-       cmp actionCodes,x
        beq runAction
        dex
        bpl -
        ldx #len(petsciiColours) - 1
-       cmp colourCodes,x
        beq +
        dex
        bpl -
        rts                             ; other control codes do nothing
+       stx textColour
        rts
runAction:
        lda actionHigh,x
        pha
        lda actionLow,x
        pha
        rts
printable:
        cpy #petsciiQuote
        bne +
        lda quoteMode
        eor #1
        sta quoteMode
+       tya
        jsr petsciiToScreen
        ldx reverseMode
        beq putCode
        ora #reverseVideo
putCode:
        jsr putAtCursor
        lda insertCount
        beq wrapAtRowEnd
        dec insertCount
        jmp wrapAtRowEnd

; PETSCII code A (a printable one: 32-127 or 160-255) to its screen code. Uses A.
petsciiToScreen:
        cmp #$FF
        bne +
        lda #$5E                        ; pi
        rts
+       cmp #$40
        bcc +                           ; 32-63 are the same
        cmp #$60
        bcs ++
        and #$1F                        ; 64-95 -> 0-31
+       rts
+       cmp #$80
        bcs +
        and #$5F                        ; 96-127 -> 64-95
        rts
+       cmp #$C0
        bcs +
        eor #$C0                        ; 160-191 -> 96-127
        rts
+       and #$7F                        ; 192-254 -> 64-126
        rts

; Screen code A to the PETSCII code that prints it (reverse video dropped). Uses A.
screenToPetscii:
        and #$7F
        cmp #$20
        bcs +
        ora #$40                        ; 0-31 -> 64-95
        rts
+       cmp #$40
        bcc +                           ; 32-63 are the same
        eor #$80                        ; 64-95 -> 192-223, 96-127 -> 224-255 ...
        cmp #$E0
        bcc +
        eor #$40                        ; ... -> 160-191
+       rts

; ---- what the control codes do (each uses A, X, Y)

carriageReturn:
        lda #0
        sta cursorColumn
        sta reverseMode
        sta quoteMode
        sta insertCount
        jmp cursorDown

cursorUp:
        lda cursorRow
        beq +
        dec cursorRow
+       rts

cursorRight:
        inc cursorColumn
        ; falls through

; A cursor past the row's last column goes on to the start of the next row at once.
wrapAtRowEnd:
        lda cursorColumn
        cmp #screenColumns
        bcc +
        lda #0
        sta cursorColumn
        jmp cursorDown
+       rts

cursorLeft:
        lda cursorColumn
        beq +
        dec cursorColumn
        rts
+       lda cursorRow
        beq +
        dec cursorRow
        lda #lastColumn
        sta cursorColumn
+       rts

cursorHome:
        lda #0
        sta cursorColumn
        sta cursorRow
        rts

reverseOn:
        lda #1
        .byte $2C                       ; BIT abs: skips the next load
reverseOff:
        lda #0
        sta reverseMode
        rts

lockCase:
        lda #$80
        .byte $2C                       ; BIT abs: skips the next load
unlockCase:
        lda #0
        sta caseLock
        rts

; Switches the character set through bit 1 of $D018, read as I/O. Uses A and X.
lowerCase:
        ldx #$FF
        lda #lowerCaseBit
        bne setCase
upperCase:
        ldx #$FF ^ lowerCaseBit
        lda #0
setCase:
        sta savedA
        lda processorPort
        pha
        ora #portIoRam
        sta processorPort
        txa
        and videoMemorySetup
        ora savedA
        sta videoMemorySetup
        pla
        sta processorPort
        rts

; Delete: the cell left of the cursor goes, the rest of the row closes up and the last
; cell becomes blank. In column 0 the cursor goes to the end of the row above and that
; cell is blanked; in the top left corner nothing happens.
deleteLeft:
        #beginMove
        ldy cursorColumn
        bne +
        lda cursorRow
        beq ++
        dec cursorRow
        lda #lastColumn
        sta cursorColumn
        jsr pointAtRow
        ldy #lastColumn
        bne blankCell
+       dec cursorColumn
-       lda (linePointer),y
        dey
        sta (linePointer),y
        iny
        lda (colourLine),y
        dey
        sta (colourLine),y
        iny
        iny
        cpy #screenColumns
        bne -
        dey
blankCell:
        lda #screenSpace
        sta (linePointer),y
        lda textColour
        sta (colourLine),y
+       #endMove
        rts

; Insert: the cells from the cursor on move right by one and a blank opens at the
; cursor, which stays; the next insertCount codes print as symbols. A row whose last
; cell is not blank has no room: nothing moves, nothing is lost.
insertCell:
        #beginMove
        ldy #lastColumn
        lda (linePointer),y
        cmp #screenSpace
        bne ++
-       cpy cursorColumn
        beq +
        dey
        lda (linePointer),y
        iny
        sta (linePointer),y
        dey
        lda (colourLine),y
        iny
        sta (colourLine),y
        dey
        jmp -
+       inc insertCount
        jmp blankCell
+       #endMove
        rts

; CHRIN and GETIN on the screen: the cursor's row is read from the cursor up to its last
; cell that is not a space, one character a call, then RETURN, and the cursor moves to
; the start of the next row. Keeps X and Y; carry clear.
screenInput:
        #keepXY
        #beginMove
        jsr placeCursor
        lda screenReading
        bne ++
        ldy #screenColumns              ; the row's end: after its last non-space
-       dey
        bmi +
        lda (linePointer),y
        cmp #screenSpace
        beq -
+       iny
        sty screenLineEnd
        lda #1
        sta screenReading
+       ldy cursorColumn
        cpy screenLineEnd
        bcs +
        inc cursorColumn
        lda (linePointer),y
        jsr screenToPetscii
        jmp ++
+       lda #0
        sta screenReading
        sta cursorColumn
        jsr cursorDown
        lda #petsciiReturn
+       sta savedA
        #endMove
        lda savedA
        clc
        jmp leaveXY

; PLOT: carry set reads the cursor (X = row, Y = column); carry clear moves it to row X,
; column Y. A place off the screen leaves the cursor where it is and returns carry set.
plotRoutine:
        bcc +
        ldx cursorRow
        ldy cursorColumn
        rts
+       cpx #screenRows
        bcs +
        cpy #screenColumns
        bcs +
        stx cursorRow
        sty cursorColumn
        sty savedA
        jsr pointAtRow
        ldy savedA
        clc
+       rts

; colourPointer: colourLine points at the colour-memory row of the screen row that
; linePointer points at (a program that moved linePointer itself keeps the two in step
; with it; cc65's library does after PLOT). Uses A and the carry.
colourPointerRoutine:
        lda linePointer
        sta colourLine
        lda linePointer + 1
        sec
        sbc screenPage
        ora #>colourMemory
        sta colourLine + 1
        rts

; SCREEN: the screen's size, X = columns, Y = rows.
screenRoutine:
        ldx #screenColumns
        ldy #screenRows
        rts

; ---- tables: the control codes the editor acts on, and the colour codes

editorActions = ((petsciiDown, cursorDown), (petsciiUp, cursorUp), (petsciiRight, cursorRight), (petsciiLeft, cursorLeft), (petsciiHome, cursorHome), (petsciiClear, clearScreenRoutine), (petsciiDelete, deleteLeft), (petsciiInsert, insertCell), (petsciiReverseOn, reverseOn), (petsciiReverseOff, reverseOff), (petsciiLowerCase, lowerCase), (petsciiUpperCase, upperCase), (petsciiLockCase, lockCase), (petsciiUnlockCase, unlockCase))
actionCodes:
        .byte editorActions[:, 0]
actionLow:
        .byte <(editorActions[:, 1] - 1)
actionHigh:
        .byte >(editorActions[:, 1] - 1)
colourCodes:
        .byte petsciiColours
