; kernal.asm: the breadbin open firmware, the 8 KiB image at $E000-$FFFF.
;
; Reset sets up memory, the RAM vectors and the screen editor, prints the banner (with
; help from the BASIC image when it is there), starts the frame interrupt and then
; waits in the input loop at $E600. The interrupt keeps the jiffy clock, blinks the
; cursor and scans keyboard column 0; BRK shows where it happened on the bottom row and
; carries on. Programs reach the firmware through the machine's standard entries at
; $FF81-$FFF3 (channels.asm and editor.asm hold most of them) and through breadbin's
; own jump table at $E000. See kernal.inc for the public names.
;
; Layout of the image:
;   $E000-$E017  breadbin's jump table
;   ...-$E543    reset, the banner, the printing routines
;   $E544, $E5B4 the editor's screen clear and keyboard read, at the machine's addresses
;   $E5CA-$E683  the test hook window: only the input loop, at $E600
;   $E684-$EA23  interrupt entry, BRK report, cursor blink
;   $EA24        the colour pointer's update, at the machine's address
;   $EA31        frameWork;  $EA81  frameExit
;   ...-$FEBB    the screen editor, channels and devices, tables
;   $FEBC, $FF5B the NMI's exit and CINT's work, at the machine's addresses
;   $FF81-$FFF5  the standard entries;  $FFFA-$FFFF  the processor's vectors

        .include "kernal.inc"
        .include "basic.inc"

; The machine loads tests/start the first time the program counter enters the window
; testHookFirst-testHookLast (the build passes the machine's values), so nothing may run
; there before start-up is complete.

portBasic       = %00000001     ; processor port bit: BASIC visible at $A000
portIoRam       = %00000100     ; processor port bit: $D000-$DFFF reads RAM, not glyphs
portKernalDirection = $2F       ; the port's direction after start-up: bits 0-3 and 5 outputs
portKernalData  = $E7           ; and its data: KERNAL, BASIC and I/O visible
ciaAllInterruptsOff = $7F       ; ICR write: clear every mask bit
ciaTimerAInterruptOn = $81      ; ICR write: set timer A's mask bit
ciaLoadAndStart = $11           ; CRA: force load, start, continuous, count cycles
cia2BankZero    = %00000111     ; CIA 2 port A: the VIC's bank at $0000, serial lines released
cia2Outputs     = %00111111     ; CIA 2 port A: bits 0-5 outputs, the serial inputs 6-7 in
vicTextScreen   = %00011011     ; $D011: display on, 25 rows, vertical scroll 3
vicFortyColumns = %00001000     ; $D016: 40 columns, no horizontal scroll
vicScreenAndGlyphs = %00010100  ; $D018: the screen at $0400, the upper-case glyphs
vicAllInterrupts = $FF          ; $D019: acknowledge every VIC interrupt
jiffyTimerLatch = $4025         ; CIA 1 timer A: 16421 + 1 cycles, 60 a second on PAL
jiffyLatchNtsc  = $4295         ; and 17045 + 1 cycles on NTSC
palOnlyLine     = $108          ; a raster line that only PAL's frame (312 lines) has
videoPal        = 1             ; videoStandard
videoNtsc       = 0
vicUnusedEnableBits = $F0       ; $D01A: read as 1s on the VIC, as stored on the minimal machine
matrixColumns   = 8
noCharacter     = $FF           ; a decoding table's "no character"
shiftFlagShift  = 1             ; shiftFlags: SHIFT (either), C=, CTRL held
shiftFlagCommodore = 2
shiftFlagControl = 4
stopDown        = $7F           ; stopFlag while STOP is down
flagBreak       = $10           ; B in the status byte that BRK pushes
flagInterruptMask = $04         ; I in the status byte
columnZero      = $FE           ; keyboard column select value for column 0
noColumn        = $FF           ; keyboard column select value between scans
noKey           = $40           ; lastKey/currentKey: no key down
stopUp          = $FF           ; stopFlag while STOP is up
stackTop        = $FF
stackPage       = $0100
blinkPhaseBit   = $10           ; jiffy bit: the cursor shows while it is set
lastColumn      = screenColumns - 1
screenCells     = screenColumns * screenRows
quarterCells    = screenCells / 4
lastRowColours  = colourMemory + (screenRows - 1) * screenColumns
lowerCaseBit    = %00000010     ; in videoMemorySetup
programMemory   = $0800         ; MEMBOT after reset
programMemoryEnd = basicSignatureAt ; MEMTOP after reset: the BASIC image starts there

startBorder     = colourDarkGrey
startBackground = colourBlack
startText       = colourLightGreen
titleColour     = colourYellow
brkColour       = colourLightRed
titleRow        = 1

; Zero page used inside the firmware only, in cells the machine's system keeps for its
; tape and RS-232 work (this machine has neither); see kernal.inc for the public ones.
editorBusy      = $A4           ; not zero: the editor is moving cells, the blink waits
cellPointers    = $A6           ; 8 bytes: pointers for moving cells, used as:
quarterPointers = cellPointers  ;   the four quarters of the screen, for a clear
scrollTo        = cellPointers  ;   the row a scroll writes
scrollFrom      = cellPointers + 2 ; the row a scroll reads
savedA          = $B6           ; A across the pulls at the end of a routine
cursorCell      = $BD           ; 2 bytes: the cell the interrupt reversed
irqPointer      = $BF           ; 2 bytes: the interrupt's own pointer
textPointer     = $94           ; 2 bytes: next byte of the string being printed
vectorPointer   = $96           ; 2 bytes: VECTOR's table
screenLineEnd   = $C8           ; CHRIN from the screen: cells up to here are read
cursorSaved     = $CE           ; the cursor cell's screen code before it was reversed
cursorShown     = $CF           ; not zero: the interrupt has reversed the cell at cursorCell
screenReading   = $D0           ; not zero: CHRIN is part way through a screen row

; Every zero-page cell the firmware uses, public or its own, with its size: no two may
; overlap, and none may take the cells left to programs.
zeroPageCells = ((status, 1), (stopFlag, 1), (verifyFlag, 1), (openFiles, 1), (inputDevice, 1), (outputDevice, 1), (messageFlags, 1), (jiffyClock, 3), (keyRow, 1), (editorBusy, 1), (cellPointers, 8), (loadEnd, 2), (brkAddress, 2), (brkCount, 1), (savedA, 1), (fileNameLength, 1), (logicalFile, 1), (secondaryAddress, 1), (deviceNumber, 1), (fileName, 2), (cursorCell, 2), (irqPointer, 2), (textPointer, 2), (vectorPointer, 2), (saveStart, 2), (loadStart, 2), (lastKey, 1), (keyCount, 1), (reverseMode, 1), (screenLineEnd, 1), (currentKey, 1), (cursorBlinkSwitch, 1), (cursorSaved, 1), (cursorShown, 1), (screenReading, 1), (linePointer, 2), (cursorColumn, 1), (quoteMode, 1), (lineLength, 1), (cursorRow, 1), (insertCount, 1), (colourLine, 2), (freeZeroPage, 4), (processorPort - 1, 2), (processorPort + 1, 1), (basicNumber, 5))
        .for first := 0, first < len(zeroPageCells), first += 1
        .for second := first + 1, second < len(zeroPageCells), second += 1
        .cerror zeroPageCells[first][0] < zeroPageCells[second][0] + zeroPageCells[second][1] && zeroPageCells[second][0] < zeroPageCells[first][0] + zeroPageCells[first][1], "zero-page cells overlap"
        .next
        .next

; ---- macros shared by the source files

; Keeps X and Y on the stack for a routine that ends with `jmp leaveXY`; A is kept.
keepXY  .macro
        sta savedA
        txa
        pha
        tya
        pha
        lda savedA
        .endm

; Brackets work that moves screen cells: the blink waits, the cursor cell is put back
; first, and $D000-$DFFF read as I/O so that colour memory reads back. Uses A and Y
; and one byte of stack until endMove.
beginMove .macro
        inc editorBusy
        jsr hideCursor
        lda processorPort
        pha
        ora #portIoRam
        sta processorPort
        .endm
endMove .macro
        pla
        sta processorPort
        dec editorBusy
        .endm

; One standard entry: checks that it sits at its address, then jumps on.
entry   .macro address, target
        .cerror * != \address, "standard entry out of place"
        jmp \target
        .endm

; ---- breadbin's jump table (each entry sits at the address kernal.inc gives it)
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

; ---- reset: the standard start-up order, then the banner and the input loop
reset:
        sei
        cld
        ldx #stackTop
        txs
        jsr ioinitRoutine
        jsr ramtasRoutine               ; sets the RAM vectors too
        jsr cintRoutine
        jsr printBanner
        lda #0                          ; the cursor blinks from now on
        sta cursorBlinkSwitch
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

; IOINIT: the chips' start state, as the machine's start-up sets it. The processor port
; gets its direction and banking unless it is set already (the minimal machine sets it
; before reset; on the C64 a reset leaves every bit an input). Both CIAs quiet: no
; interrupt enabled or pending, timers stopped; CIA 1's port A drives the keyboard
; columns (none selected) and port B reads the rows; CIA 2's port A selects the VIC's
; first bank with the serial lines released. The VIC shows 25 rows of 40 columns of text
; from $0400 and raises no interrupt; the SID is silent. Last, the jiffy interrupt: CIA 1's
; timer A, continuous, about 60 times a second. Uses A and X.
ioinitRoutine:
        lda processorPort - 1
        bne +
        lda #portKernalData
        sta processorPort
        lda #portKernalDirection
        sta processorPort - 1
+       lda #ciaAllInterruptsOff
        sta ioCia1 + ciaInterruptControl
        sta ioCia2 + ciaInterruptControl
        lda ioCia1 + ciaInterruptControl
        lda ioCia2 + ciaInterruptControl
        lda #0
        sta ioCia1 + ciaControlA
        sta ioCia1 + ciaControlB
        sta ioCia2 + ciaControlA
        sta ioCia2 + ciaControlB
        sta ioCia1 + ciaDirectionB
        sta ioCia2 + ciaDirectionB
        sta ioVic + vicInterruptEnable
        sta ioVic + vicSpriteEnable
        ldx #sidVolume
-       sta ioSid,x
        dex
        bpl -
        lda #noColumn
        sta keyColumnSelect
        sta ioCia1 + ciaDirectionA
        lda #cia2BankZero
        sta ioCia2 + ciaPortA
        lda #cia2Outputs
        sta ioCia2 + ciaDirectionA
        lda #vicTextScreen
        sta ioVic + vicControl1
        lda #vicFortyColumns
        sta ioVic + vicControl2
        lda #vicScreenAndGlyphs
        sta videoMemorySetup
        lda #vicAllInterrupts
        sta ioVic + vicInterruptLatch
        lda #<jiffyTimerLatch
        sta ioCia1 + ciaTimerALow
        lda #>jiffyTimerLatch
        sta ioCia1 + ciaTimerAHigh
        lda #ciaTimerAInterruptOn
        sta ioCia1 + ciaInterruptControl
        lda #ciaLoadAndStart
        sta ioCia1 + ciaControlA
        rts

; RAMTAS: zero page from $02, pages 2 and 3 to zero; then the values the firmware's
; routines rely on: memory bounds, the screen page, the channels, no STOP, no key, and
; the RAM vectors (so that the next interrupt still finds its handler). Runs with
; interrupts off; uses A, keeps X and Y.
ramtasRoutine:
        php
        sei
        txa
        pha
        tya
        pha
        lda #0
        ldx #processorPort + 1          ; the port's two cells stay as they are
-       sta $00,x
        sta $0200,x
        sta $0300,x
        inx
        bne -
        .for cell := 0, cell <= processorPort, cell += 1
        sta $0200 + cell
        sta $0300 + cell
        .next
        lda #<programMemory
        sta memoryBottom
        lda #>programMemory
        sta memoryBottom + 1
        lda #<programMemoryEnd
        sta memoryTop
        lda #>programMemoryEnd
        sta memoryTop + 1
        lda #>screenMatrix
        sta screenPage
        lda #keyBufferLength
        sta keyBufferSize
        lda #stopUp
        sta stopFlag
        sta keyRow
        lda #noKey
        sta lastKey
        sta currentKey
        lda #lastColumn
        sta lineLength
        jsr clrchnRoutine
        jsr restorRoutine
        pla
        tay
        pla
        tax
        plp
        rts

; CINT: the screen editor's start state: colours, no reverse, quote or insert mode,
; the upper-case set, the editor on the screen at $0400, an empty keyboard buffer and
; a clear screen with the cursor home. Uses A; keeps X and Y.
cintRoutine:
        lda #startBorder
        sta borderColour
        lda #startBackground
        sta backgroundColour
        lda #startText
        sta textColour
        lda #>screenMatrix
        sta screenPage
        lda #0
        sta reverseMode
        sta quoteMode
        sta insertCount
        sta caseLock
        sta keyCount
        sta screenReading
        txa
        pha
        jsr upperCase
        pla
        tax
        jsr detectVideo
        jmp clearScreenRoutine

; ---- breadbin's jump-table routines (screen codes; keep X and Y)

clearScreenRoutine:
        txa
        pha
        tya
        pha
        #beginMove
        ldx #0                          ; a pointer to each quarter of the screen
-       lda quarterOffsets,x
        sta quarterPointers,x
        lda quarterOffsets + 1,x
        clc
        adc screenPage
        sta quarterPointers + 1,x
        inx
        inx
        cpx #8
        bne -
        ldy #0
-       lda #screenSpace
        sta (quarterPointers),y
        sta (quarterPointers + 2),y
        sta (quarterPointers + 4),y
        sta (quarterPointers + 6),y
        lda textColour
        sta colourMemory,y
        sta colourMemory + quarterCells,y
        sta colourMemory + 2 * quarterCells,y
        sta colourMemory + 3 * quarterCells,y
        iny
        cpy #quarterCells
        bne -
        #endMove
        lda #0
        sta cursorColumn
        sta cursorRow
        jsr pointAtRow
        pla
        tay
        pla
        tax
        rts

setCursorRoutine:
        stx cursorColumn
        sty cursorRow
        jmp pointAtRow                  ; loads Y with cursorRow: the value it came in with

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
        txa
        pha
        tya
        pha
        jsr cursorDown
        pla
        tay
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
        lda jiffyLow
-       cmp jiffyLow
        beq -
+       rts

; ---- the cursor and the cells it points at

; Stores screen code A at the cursor in textColour and moves the cursor on (the row's
; end wraps at the next call). Uses A, X, Y.
putAtCursor:
        pha
        inc editorBusy
        jsr placeCursor
        lda cursorShown                 ; the reversed cursor cell is written over: there
        beq +                           ; is nothing to put back any more
        lda linePointer
        clc
        adc cursorColumn
        tay                             ; the cell's low byte
        lda linePointer + 1
        adc #0
        cmp cursorCell + 1
        bne +
        cpy cursorCell
        bne +
        lda #0
        sta cursorShown
+       pla
        ldy cursorColumn
        sta (linePointer),y
        lda textColour
        sta (colourLine),y
        inc cursorColumn
        dec editorBusy
        rts

; Wraps a cursor past the row's end to the next row, scrolls when the row lies below the
; screen, and points linePointer and colourLine at the cursor's row. Uses A, X, Y.
placeCursor:
        lda cursorColumn
        cmp #screenColumns
        bcc +
        lda #0
        sta cursorColumn
        inc cursorRow
+       lda cursorRow
        cmp #screenRows
        bcc pointAtRow
        lda #screenRows - 1
        sta cursorRow
        jsr scrollUp
        ; falls through

; Points linePointer and colourLine at the cursor's row (left alone for a row below the
; screen). Uses A; leaves cursorRow in Y.
pointAtRow:
        ldy cursorRow
        cpy #screenRows
        bcs +
        lda rowOffsetLow,y
        sta linePointer
        sta colourLine
        lda rowOffsetHigh,y
        ora #>colourMemory
        sta colourLine + 1
        lda rowOffsetHigh,y
        clc
        adc screenPage
        sta linePointer + 1
+       rts

; The cursor one row down, the screen scrolled when it is on the last row already.
; Uses A, X, Y.
cursorDown:
        lda cursorRow
        cmp #screenRows - 1
        bcs +
        inc cursorRow
        jmp pointAtRow
+       lda #screenRows - 1
        sta cursorRow
        jsr scrollUp
        jmp pointAtRow

; Moves every row up by one, colours with them, and blanks the last row in textColour.
; Uses A, X, Y. Rows are copied upwards, so each is read before it is overwritten.
scrollUp:
        #beginMove
        ldx #0
-       lda rowOffsetLow,x
        sta scrollTo
        lda rowOffsetHigh,x
        clc
        adc screenPage
        sta scrollTo + 1
        lda rowOffsetLow + 1,x
        sta scrollFrom
        lda rowOffsetHigh + 1,x
        adc screenPage                  ; no carry: the offsets stay below $0400
        sta scrollFrom + 1
        ldy #lastColumn
scrollRow:
        lda (scrollFrom),y
        sta (scrollTo),y
        dey
        bpl scrollRow
        inx
        cpx #screenRows - 1
        bne -
        .for block := 0, block < 4, block += 1
        ldx #0
-       lda colourMemory + block * 240 + screenColumns,x
        sta colourMemory + block * 240,x
        inx
        cpx #240
        bne -
        .next
        ldy #lastColumn                 ; scrollFrom points at the last row now
-       lda #screenSpace
        sta (scrollFrom),y
        lda textColour
        sta lastRowColours,y
        dey
        bpl -
        #endMove
        rts

; Ends a routine begun with #keepXY: pulls Y and X and returns, keeping A and the carry.
leaveXY:
        sta savedA
        pla
        tay
        pla
        tax
        lda savedA
        rts

; ---- the screen editor's entries that programs call at the machine's addresses
        .cerror * > screenClear, "the printing routines run into screenClear"
*       = screenClear
        jmp clearScreenRoutine
        .cerror * > keyboardRead, "screenClear runs into keyboardRead"
*       = keyboardRead
        jmp keyboardGet

        .cerror * > testHookFirst, "code before the input loop reaches the test hook window"

; ---- the input loop: the firmware idles here with interrupts on. Host keys never reach
; the machine, so it never leaves; the interrupt does the work meanwhile.
*       = inputLoop
        cli
        jmp inputLoop
inputLoopEnd:
        .cerror inputLoop < testHookFirst || inputLoopEnd - 1 > testHookLast, "input loop outside the test hook window"

*       = testHookLast + 1

; ---- the interrupt: frames and BRK both arrive through $FFFE. A, X and Y go on the
; stack in that order; the B bit of the pushed status tells BRK from a frame.
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
        bne +
        jmp (irqVector)
+       jmp (brkVector)

; The NMI goes through its vector (RESTORE, or CIA 2 on the C64).
nmiEntry:
        jmp (nmiVector)

; BRK, the default behind brkVector: remember where it was, say so on the bottom row,
; and carry on after its signature byte.
breakReport:
        tsx
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
        sta screenMatrix + (screenRows - 1) * screenColumns,x
        lda #brkColour
        sta lastRowColours,x
        inx
        bne -
+       lda brkAddress + 1
        jsr storeHexOnLastRow
        lda brkAddress
        jsr storeHexOnLastRow
        jmp frameExit

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
        sta screenMatrix + (screenRows - 1) * screenColumns,x
        lda #brkColour
        sta lastRowColours,x
        inx
        rts

; UDTIM: one more jiffy. Keeps A, X and Y.
udtimRoutine:
        inc jiffyLow
        bne +
        inc jiffyClock + 1
        bne +
        inc jiffyClock
+       rts

; SCNKEY: reads the row bits of keyboard column 0 into keyRow; then, on the C64 (whose VIC
; answers at $D01A with its unused bits set, where the minimal machine's cell reads what
; was stored), scans the whole matrix as the machine's own scan does: SHIFT, C= and CTRL
; into shiftFlags, STOP into stopFlag, the key down (the last one found, in the order of
; scanMatrix) into currentKey, and a key that was not down at the last scan decoded through
; the table its modifiers choose (CTRL, else C=, else SHIFT, else plain) into the keyboard
; buffer, unless the buffer is full. A key held does not repeat. On the minimal machine the
; stub's bits are noise, not keys: the keyboard buffer stays as it is. With $D000-$DFFF as
; I/O for the moment. Uses A, X and Y.
scnkeyRoutine:
        lda processorPort
        pha
        ora #portIoRam
        sta processorPort
        lda #columnZero                 ; the keyboard answers while column 0 is selected
        sta keyColumnSelect
        lda keyRowData
        sta keyRow
        lda #noColumn
        sta keyColumnSelect
        lda ioVic + vicInterruptEnable
        and #vicUnusedEnableBits
        beq +
        jsr scanMatrix
        lda #noColumn
        sta keyColumnSelect
+       pla
        sta processorPort
        rts

; The matrix, column 7 to column 0, each column's rows read until two reads agree; see
; SCNKEY. irqPointer holds the column's rows down, irqPointer + 1 the key code at hand.
scanMatrix:
        lda #0
        sta shiftFlags
        lda #stopUp
        sta stopFlag
        lda #noKey
        sta currentKey
        ldx #matrixColumns - 1
scanColumn:
        lda columnSelects,x
        sta keyColumnSelect
-       lda keyRowData
        cmp keyRowData
        bne -
        eor #$FF                        ; 1: a key down
        beq nextColumn
        sta irqPointer
        txa
        asl a
        asl a
        asl a
        sta irqPointer + 1
scanRow:
        lsr irqPointer
        bcc nextRow
        ldy irqPointer + 1
        jsr noteKeyDown
nextRow:
        inc irqPointer + 1
        lda irqPointer
        bne scanRow
nextColumn:
        dex
        bpl scanColumn
        ldy currentKey
        cpy lastKey
        beq scanned                     ; held since the last scan
        sty lastKey
        cpy #noKey
        beq scanned
        lda shiftFlags
        and #shiftFlagControl
        beq +
        lda keysControl,y
        jmp decoded
+       lda shiftFlags
        and #shiftFlagCommodore
        beq +
        lda keysCommodore,y
        jmp decoded
+       lda shiftFlags
        and #shiftFlagShift
        beq +
        lda keysShifted,y
        jmp decoded
+       lda keysPlain,y
decoded:
        cmp #noCharacter
        beq scanned
        ldx keyCount
        cpx keyBufferSize
        bcs scanned                     ; full: the key is lost, as on the machine
        sta keyBuffer,x
        inc keyCount
scanned:
        rts

; The key with code Y is down: a modifier into shiftFlags, STOP into stopFlag, any other
; into currentKey. Uses A.
noteKeyDown:
        lda keysPlain,y
        cmp #noCharacter
        bne ordinaryKey
        lda #shiftFlagCommodore
        cpy #keyCommodore
        beq +
        lda #shiftFlagControl
        cpy #keyCtrl
        beq +
        lda #shiftFlagShift
+       ora shiftFlags
        sta shiftFlags
        rts
ordinaryKey:
        sty currentKey
        cpy #keyStop
        bne +
        lda #stopDown
        sta stopFlag
+       rts

; The VIC's standard, on the C64: PAL's frame has lines past 263, NTSC's does not. Waits for
; a line from 256 on (bit 7 of $D011), then watches the lines until one past 263 shows
; (PAL) or the count wraps to line 0 (NTSC); videoStandard gets 1 for PAL, 0 for NTSC, and
; the jiffy timer its latch for 60 a second on that machine. The minimal machine has no VIC:
; nothing changes there. Uses A; keeps X and Y.
detectVideo:
        lda ioVic + vicInterruptEnable
        and #vicUnusedEnableBits
        beq videoDone
-       bit ioVic + vicControl1
        bpl -
-       lda ioVic + vicRaster
        cmp #<palOnlyLine
        bcs +
        bit ioVic + vicControl1
        bmi -
        lda #videoNtsc
        sta videoStandard
        lda #<jiffyLatchNtsc
        sta ioCia1 + ciaTimerALow
        lda #>jiffyLatchNtsc
        sta ioCia1 + ciaTimerAHigh
        rts
+       lda #videoPal
        sta videoStandard
videoDone:
        rts

; Acknowledges the jiffy interrupt: a read of CIA 1's interrupt register, with
; $D000-$DFFF as I/O for the moment. Uses A.
acknowledgeJiffy:
        lda processorPort
        pha
        ora #portIoRam
        sta processorPort
        lda ioCia1 + ciaInterruptControl
        pla
        sta processorPort
        rts

; The cursor shows, reversed, while cursorBlinkSwitch is zero and jiffy bit 4 is set, on
; the cell at cursorColumn/cursorRow; it moves when the cursor does. A cell that has been
; written since it was reversed is left as written. Nothing happens while the editor is
; moving cells. The cell's screen code and colour are kept in cursorSaved and
; cursorColour, where programs that put the cell back themselves find them. Uses A, X, Y.
blinkCursor:
        lda editorBusy
        bne cursorDone
        lda cursorBlinkSwitch
        bne hideCursor
        lda jiffyLow
        and #blinkPhaseBit
        beq hideCursor
        ldx cursorRow
        cpx #screenRows
        bcs hideCursor
        lda cursorColumn
        cmp #screenColumns
        bcs hideCursor
        clc
        adc rowOffsetLow,x
        sta irqPointer
        lda rowOffsetHigh,x
        adc screenPage
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
        lda cursorCell + 1              ; the cell's colour, at the same offset in colour RAM
        sec
        sbc screenPage
        clc
        adc #>colourMemory
        sta irqPointer + 1
        lda (irqPointer),y
        and #$0F
        sta cursorColour
        lda #1
        sta cursorShown
cursorDone:
        rts

; Puts the reversed cursor cell back, unless it has been written since. Uses A and Y.
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

        .cerror * > colourPointer, "the interrupt's code runs into colourPointer"
*       = colourPointer
        jmp colourPointerRoutine

        .cerror * > frameWork, "colourPointer runs into frameWork"

; ---- frameWork, the default behind irqVector: a program's own handler may end with
; `jmp frameWork` to keep the clock, the blink and the scan going.
*       = frameWork
        jsr udtimRoutine
        jsr blinkCursor
        jsr scnkeyRoutine
        jsr acknowledgeJiffy
        jmp frameExit

        .cerror * > frameExit, "frameWork runs into frameExit"

; ---- frameExit: Y, X and A back from the stack, then back to the interrupted code.
*       = frameExit
        pla
        tay
        pla
        tax
        pla
        rti

; The default behind nmiVector: CIA 2's interrupts off and acknowledged, as the machine's
; own handler leaves them, then back. Keeps A, X and Y.
nmiReturn:
        pha
        lda #ciaAllInterruptsOff
        sta ioCia2 + ciaInterruptControl
        lda ioCia2 + ciaInterruptControl
        pla
        rti

        .include "editor.asm"
        .include "channels.asm"

; ---- tables and text

; CIA 1's port A for each keyboard column: that column's line low.
columnSelects:
        .for column := 0, column < matrixColumns, column += 1
        .byte ~(1 << column) & $FF
        .next

; The keyboard's decoding tables, written from the emulator's key table (chips.inc).
        #keyDecodingTables

; Where each quarter of the screen starts, from the start of the screen.
quarterOffsets:
        .word range(0, screenCells, quarterCells)

; Where each row starts, from the start of the screen (or of colour memory).
rowOffsetLow:
        .for row := 0, row < screenRows, row += 1
        .byte <(row * screenColumns)
        .next
rowOffsetHigh:
        .for row := 0, row < screenRows, row += 1
        .byte >(row * screenColumns)
        .next

; What RESTOR puts into $0314-$0333, in the vectors' order.
defaultVectors:
        .word frameWork, breakReport, nmiReturn, openRoutine, closeRoutine, chkinRoutine
        .word chkoutRoutine, clrchnRoutine, chrinRoutine, chroutRoutine, stopRoutine
        .word getinRoutine, clallRoutine, userRoutine, loadRoutine, saveRoutine
        .cerror * - defaultVectors != vectorCount * 2, "one default per RAM vector"

basicSignatureCopy:
        .text basicSignature
titleText:
        .text "Breadbin open firmware 0.1", 0
noBasicText:
        .text "No BASIC image: numbers shown in hex", 0
brkText:
        .text "BRK at $", 0

; ---- entries that programs call at the machine's addresses: the NMI's exit, CINT's work
        .cerror * > nmiExit, "the firmware runs into nmiExit"
*       = nmiExit
        jmp frameExit
        .cerror * > cintEditor, "nmiExit runs into cintEditor"
*       = cintEditor
        jmp cintRoutine

        .cerror * > CINT, "the firmware runs into the standard entries"

; ---- the standard entries, in the machine's order
*       = CINT
        #entry CINT, cintRoutine
        #entry IOINIT, ioinitRoutine
        #entry RAMTAS, ramtasRoutine
        #entry RESTOR, restorRoutine
        #entry VECTOR, vectorRoutine
        #entry SETMSG, setmsgRoutine
        #entry SECOND, deviceNotPresent
        #entry TKSA, deviceNotPresent
        #entry MEMTOP, memtopRoutine
        #entry MEMBOT, membotRoutine
        #entry SCNKEY, scnkeyRoutine
        #entry SETTMO, settmoRoutine
        #entry ACPTR, deviceNotPresent
        #entry CIOUT, deviceNotPresent
        #entry UNTLK, deviceNotPresent
        #entry UNLSN, deviceNotPresent
        #entry LISTEN, deviceNotPresent
        #entry TALK, deviceNotPresent
        #entry READST, readstRoutine
        #entry SETLFS, setlfsRoutine
        #entry SETNAM, setnamRoutine
        #entry OPEN, (openVector)
        #entry CLOSE, (closeVector)
        #entry CHKIN, (chkinVector)
        #entry CHKOUT, (chkoutVector)
        #entry CLRCHN, (clrchnVector)
        #entry CHRIN, (chrinVector)
        #entry CHROUT, (chroutVector)
        #entry LOAD, loadEntry
        #entry SAVE, saveEntry
        #entry SETTIM, settimRoutine
        #entry RDTIM, rdtimRoutine
        #entry STOP, (stopVector)
        #entry GETIN, (getinVector)
        #entry CLALL, (clallVector)
        #entry UDTIM, udtimRoutine
        #entry SCREEN, screenRoutine
        #entry PLOT, plotRoutine
        #entry IOBASE, iobaseRoutine

; ---- the processor's vectors
*       = $FFFA
        .word nmiEntry
        .word reset
        .word irqEntry
