; kernal.asm: the breadbin open firmware, the 8 KiB image at $E000-$FFFF.
;
; Reset clears the screen, prints the banner (with help from the BASIC image when it is
; there), starts the frame interrupt and then waits in the input loop at $E600. The
; interrupt counts frames, scans keyboard column 0 and blinks the cursor; BRK shows
; where it happened on the bottom row and carries on. Programs reach the printing
; routines through the jump table at $E000. See kernal.inc for the public names.

        .include "kernal.inc"
        .include "basic.inc"

; The machine loads tests/start the first time the program counter enters this window,
; so nothing may run here before start-up is complete.
testHookFirst   = $E5CA
testHookLast    = $E683

portBasic       = %00000001     ; processor port bit: BASIC visible at $A000
portIoRam       = %00000100     ; processor port bit: $D000-$DFFF reads RAM, not glyphs
flagBreak       = $10           ; B in the status byte that BRK pushes
flagInterruptMask = $04         ; I in the status byte
columnZero      = $FE           ; keyboard column select value for column 0
noColumn        = $FF           ; keyboard column select value between scans
opcodeJmp       = $4C
stackTop        = $FF
stackPage       = $0100
blinkPhaseBit   = $10           ; frame counter bit: the cursor shows while it is set
colourDistance  = >(colourMemory - screenMatrix)  ; high-byte step from a cell to its colour
lastRowCells    = screenMatrix + (screenRows - 1) * screenColumns
lastRowColours  = colourMemory + (screenRows - 1) * screenColumns

startBorder     = colourDarkGrey
startBackground = colourBlack
startText       = colourLightGreen
titleColour     = colourYellow
brkColour       = colourLightRed
titleRow        = 1

; Zero page used inside the firmware only ($02-$1F is the firmware's, see kernal.inc).
cursorShown     = $10           ; not zero: the interrupt has reversed the cell at cursorCell
cursorCell      = $11           ; 2 bytes: the cell the interrupt reversed
cursorSaved     = $13           ; that cell's screen code before it was reversed
linePointer     = $14           ; 2 bytes: start of the cursor's row in the screen matrix
colourLine      = $16           ; 2 bytes: start of the cursor's row in colour memory
textPointer     = $18           ; 2 bytes: next byte of the string being printed
irqPointer      = $1A           ; 2 bytes: the interrupt's own pointer
firmwareZeroPageFirst = returnJump

        .cerror irqPointer + 2 > basicNumber, "KERNAL zero page runs into BASIC's"
        .cerror basicStarted >= firmwareZeroPageEnd, "firmware zero page runs into the programs'"

; ---- the jump table (each entry sits at the address kernal.inc gives it)
*       = clearScreen
        jmp clearScreenRoutine
*       = setCursor
        jmp setCursorRoutine
*       = printChar
        jmp printCharRoutine
*       = printString
        jmp printStringRoutine
*       = printHex
        jmp printHexRoutine
*       = newLine
        jmp newLineRoutine
*       = printDecimal
        jmp printDecimalRoutine
*       = waitFrame
        jmp waitFrameRoutine

; ---- reset
reset:
        sei
        cld
        ldx #stackTop
        txs
        lda #0                          ; firmware zero page to zero
        ldx #firmwareZeroPageEnd - firmwareZeroPageFirst - 1
-       sta firmwareZeroPageFirst,x
        dex
        bpl -
        lda #opcodeJmp                  ; a jump to $0000 runs two one-byte no-ops ($00 and
        sta returnJump                  ; $01 hold undocumented opcodes) and lands here
        lda #<inputLoop
        sta returnJump + 1
        lda #>inputLoop
        sta returnJump + 2
        lda #noColumn
        sta keyColumnSelect
        sta keyRow
        lda #startBorder
        sta borderColour
        lda #startBackground
        sta backgroundColour
        lda #startText
        sta textColour
        jsr clearScreenRoutine
        jsr printBanner
        lda #1
        sta cursorBlink
        lda #>(inputLoop - 1)           ; a program that ends with RTS returns into the loop
        pha
        lda #<(inputLoop - 1)
        pha
        cli
        jmp inputLoop

; Title line, then the BASIC image's lines, or a note that it is missing.
printBanner:
        ldx #bannerColumn
        ldy #titleRow
        jsr setCursorRoutine
        lda #titleColour
        sta textColour
        lda #<titleText
        ldy #>titleText
        jsr printStringRoutine
        lda #startText
        sta textColour
        ldx #bannerColumn
        ldy #bannerBasicRow
        jsr setCursorRoutine
        jsr basicPresent
        bne +
        jmp basicBanner
+       lda #<noBasicText
        ldy #>noBasicText
        jsr printStringRoutine
        ldx #0
        ldy #bannerBasicRow + 2
        jmp setCursorRoutine

; Z set when the BASIC image's signature reads back at $A000 as the port banks it now.
; Uses A and Y; keeps X.
basicPresent:
        ldy #basicSignatureLength - 1
-       lda basicSignatureAt,y
        cmp basicSignatureCopy,y
        bne +
        dey
        bpl -
        lda #0
+       rts

; ---- the jump-table routines

clearScreenRoutine:
        txa
        pha
        ldx #0
-       lda #screenSpace
        sta screenMatrix,x
        sta screenMatrix + 250,x
        sta screenMatrix + 500,x
        sta screenMatrix + 750,x
        lda textColour
        sta colourMemory,x
        sta colourMemory + 250,x
        sta colourMemory + 500,x
        sta colourMemory + 750,x
        inx
        cpx #250
        bne -
        lda #0
        sta cursorColumn
        sta cursorRow
        pla
        tax
        rts

setCursorRoutine:
        stx cursorColumn
        sty cursorRow
        rts

printCharRoutine:
        pha
        txa
        pha
        tya
        pha
        tsx
        lda stackPage + 3,x
        jsr putAtCursor
        pla
        tay
        pla
        tax
        pla
        rts

printStringRoutine:
        sta textPointer
        sty textPointer + 1
        txa
        pha
        tya
        pha
-       ldy #0
        lda (textPointer),y
        beq +
        jsr putAtCursor
        inc textPointer
        bne -
        inc textPointer + 1
        jmp -
+       pla
        tay
        pla
        tax
        rts

printHexRoutine:
        pha
        lsr a
        lsr a
        lsr a
        lsr a
        jsr printHexDigit
        pla
        and #$0F
printHexDigit:
        jsr hexDigitCode
        jmp printCharRoutine

; A (0-15) to the screen code of its hex digit.
hexDigitCode:
        cmp #10
        bcc +
        sbc #9                          ; carry is set: 10-15 become 'A'-'F', codes 1-6
        rts
+       ora #'0'
        rts

newLineRoutine:
        lda #0
        sta cursorColumn
        lda cursorRow
        cmp #screenRows - 1
        bcs +
        inc cursorRow
        rts
+       lda #screenRows - 1
        sta cursorRow
        txa
        pha
        jsr scrollUp
        pla
        tax
        rts

; The number goes to the BASIC image, switched in for the call; without it, as hex.
printDecimalRoutine:
        pha                             ; stack: port, Y, X (high), A (low)
        txa
        pha
        tya
        pha
        lda processorPort
        pha
        ora #portBasic
        sta processorPort
        tsx
        jsr basicPresent                ; keeps X
        bne +
        ldy stackPage + 4,x
        lda stackPage + 3,x
        tax
        tya
        jsr basicDecimal
        jmp ++
+       lda #'$'
        jsr printCharRoutine
        lda stackPage + 3,x
        jsr printHexRoutine
        lda stackPage + 4,x
        jsr printHexRoutine
+       pla
        sta processorPort
        pla
        tay
        pla
        tax
        pla
        rts

waitFrameRoutine:
        php
        pla
        and #flagInterruptMask
        bne +                           ; no interrupt would ever come
        lda frameCount
-       cmp frameCount
        beq -
+       rts

; ---- printing helpers

; Stores A at the cursor in textColour and moves the cursor on. Uses A, X, Y.
putAtCursor:
        pha
        jsr placeCursor
        pla
        ldy cursorColumn
        sta (linePointer),y
        lda textColour
        sta (colourLine),y
        inc cursorColumn
        rts

; Wraps a cursor past the row's end to the next row, scrolls when the row lies below the
; screen, and points linePointer and colourLine at the cursor's row. Uses A and X.
placeCursor:
        lda cursorColumn
        cmp #screenColumns
        bcc +
        lda #0
        sta cursorColumn
        inc cursorRow
+       lda cursorRow
        cmp #screenRows
        bcc +
        jsr scrollUp
        lda #screenRows - 1
        sta cursorRow
+       tax
        lda rowStartLow,x
        sta linePointer
        sta colourLine
        lda rowStartHigh,x
        sta linePointer + 1
        clc
        adc #colourDistance
        sta colourLine + 1
        rts

; Moves every row up by one, colours with them, and blanks the last row. Uses A and X.
; Four ascending passes of six rows each: every cell is read before it is overwritten.
scrollUp:
        .for block := 0, block < 4, block += 1
        ldx #0
-       lda screenMatrix + block * 240 + screenColumns,x
        sta screenMatrix + block * 240,x
        lda colourMemory + block * 240 + screenColumns,x
        sta colourMemory + block * 240,x
        inx
        cpx #240
        bne -
        .next
        ldx #screenColumns - 1
-       lda #screenSpace
        sta lastRowCells,x
        lda textColour
        sta lastRowColours,x
        dex
        bpl -
        rts

        .cerror * > testHookFirst, "code before the input loop reaches the test hook window"

; ---- the input loop: the firmware idles here with interrupts on. Host keys never reach
; the machine, so it never leaves; the interrupt does the work meanwhile.
*       = inputLoop
        cli
        jmp inputLoop
inputLoopEnd:
        .cerror inputLoop < testHookFirst || inputLoopEnd - 1 > testHookLast, "input loop outside the test hook window"

*       = testHookLast + 1

; ---- the interrupt: frames and BRK both arrive through $FFFE
irqEntry:
        pha
        txa
        pha
        tya
        pha
        cld
        tsx
        lda stackPage + 4,x             ; the status byte pushed with the return address
        and #flagBreak
        bne breakEntry
        lda processorPort               ; $DC00/$DC01 must read as RAM for the scan
        pha
        ora #portIoRam
        sta processorPort
        inc frameCount
        bne +
        inc frameCount + 1
        bne +
        inc frameCount + 2
+       lda #columnZero                 ; the keyboard answers while column 0 is selected
        sta keyColumnSelect
        lda keyRowData
        sta keyRow
        lda #noColumn
        sta keyColumnSelect
        jsr blinkCursor
        pla
        sta processorPort
irqExit:
        pla
        tay
        pla
        tax
        pla
nmiEntry:
        rti

; BRK: remember where it was, say so on the bottom row, and carry on after its
; signature byte.
breakEntry:
        lda stackPage + 5,x             ; pushed address = BRK address + 2
        sec
        sbc #2
        sta brkAddress
        lda stackPage + 6,x
        sbc #0
        sta brkAddress + 1
        inc brkCount
        ldx #0
-       lda brkText,x
        beq +
        sta lastRowCells,x
        lda #brkColour
        sta lastRowColours,x
        inx
        bne -
+       lda brkAddress + 1
        jsr storeHexOnLastRow
        lda brkAddress
        jsr storeHexOnLastRow
        jmp irqExit

; Writes A as two hex digits on the bottom row at column X, X + 1; X ends after them.
storeHexOnLastRow:
        pha
        lsr a
        lsr a
        lsr a
        lsr a
        jsr +
        pla
        and #$0F
+       jsr hexDigitCode
        sta lastRowCells,x
        lda #brkColour
        sta lastRowColours,x
        inx
        rts

; The cursor shows, reversed, while cursorBlink is on and frame bit 4 is set, on the
; cell at cursorColumn/cursorRow; it moves when the cursor does. A cell that has been
; written since it was reversed is left as written.
blinkCursor:
        lda cursorBlink
        beq hideCursor
        lda frameCount
        and #blinkPhaseBit
        beq hideCursor
        ldx cursorRow
        cpx #screenRows
        bcs hideCursor
        lda cursorColumn
        cmp #screenColumns
        bcs hideCursor
        clc
        adc rowStartLow,x
        sta irqPointer
        lda rowStartHigh,x
        adc #0
        sta irqPointer + 1
        lda cursorShown
        beq showCursor
        lda irqPointer
        cmp cursorCell
        bne +
        lda irqPointer + 1
        cmp cursorCell + 1
        beq cursorDone
+       jsr hideCursor
showCursor:
        lda irqPointer
        sta cursorCell
        lda irqPointer + 1
        sta cursorCell + 1
        ldy #0
        lda (cursorCell),y
        sta cursorSaved
        eor #reverseVideo
        sta (cursorCell),y
        lda #1
        sta cursorShown
cursorDone:
        rts

hideCursor:
        lda cursorShown
        beq cursorDone
        ldy #0
        lda cursorSaved
        eor #reverseVideo
        cmp (cursorCell),y
        bne +
        lda cursorSaved
        sta (cursorCell),y
+       lda #0
        sta cursorShown
        rts

; ---- tables and text

rowStartLow:
        .for row := 0, row < screenRows, row += 1
        .byte <(screenMatrix + row * screenColumns)
        .next
rowStartHigh:
        .for row := 0, row < screenRows, row += 1
        .byte >(screenMatrix + row * screenColumns)
        .next

basicSignatureCopy:
        .text basicSignature
titleText:
        .text "Breadbin open firmware 0.1", 0
noBasicText:
        .text "No BASIC image: numbers shown in hex", 0
brkText:
        .text "BRK at $", 0

; ---- vectors
*       = $FFFA
        .word nmiEntry                  ; the machine has no NMI; kept harmless
        .word reset
        .word irqEntry
