; demo.asm: the program the ready folder starts (tests/start), loaded at $0800.
;
; Rainbow bars around a title whose colours run, the firmware's frame counter and an
; uptime in seconds, the keyboard stub's row bits live, a scrolling history of which
; bit came up each frame and a running tally that shows the stub's odds (bit 0 and
; "none" come half as often as the others). It runs until Escape ends the run, with
; the frame interrupt on, and keeps the firmware's cursor blinking on the last row.
; It prints through breadbin's own jump table and reads the firmware's jiffy clock.

        .include "kernal.inc"

loadAddress     = $0800
titleColumn     = 6
titleRow        = 1
labelColumn     = 1             ; where the headings and labels start
uptimeLabelColumn = 18
noBit           = 8             ; tally slot for a row byte with no bit set
tallySlots      = 9
barColumn       = 8             ; the tally bars start here ...
barWidth        = 30            ; ... and are this long; a full bar halves them all
historyRow      = 10
firstBarRow     = 13
keysRow         = 7
keysColumn      = 12
keysHexColumn   = 22
framesRow       = 4
framesHexColumn = 9
uptimeColumn    = 25
promptRow       = 24
promptColumn    = 22
rainbowMask     = 7             ; eight colours in the rainbow table
bitNameLength   = 6             ; "bit N" and its end byte
trackCode       = '.'           ; the empty part of a bar, a released key

; the demo's pointers, in the zero page the firmware leaves to programs
barCells     = freeZeroPage  ; 2 bytes
barColours   = freeZeroPage + 2 ; 2 bytes
; and its other cells, in the area the firmware leaves to programs at $033C
lastFrame       = freeArea      ; low byte of the jiffy clock at the last update
tickMs          = freeArea + 1  ; 2 bytes: milliseconds counted towards the next second
seconds         = freeArea + 3  ; 2 bytes
phase           = freeArea + 5  ; colour phase of the rainbow
sample          = freeArea + 6  ; this frame's keyboard row byte
slot            = freeArea + 7  ; which bit it holds: 0-7, or noBit
counter         = freeArea + 8
tally           = freeArea + 9  ; tallySlots bytes: how often each slot came up

*       = loadAddress
start:
        cli                             ; the interrupt drives everything below
        lda #colourBlack
        sta backgroundColour
        lda #colourDarkGrey
        sta borderColour
        lda #colourGrey
        sta textColour
        jsr clearScreen
        jsr drawLabels
        jsr drawRainbowBars
        lda #0
        sta tickMs
        sta tickMs + 1
        sta seconds
        sta seconds + 1
        ldx #tallySlots - 1
-       sta tally,x
        jsr drawBar
        lda #0
        dex
        bpl -
        lda jiffyLow
        sta lastFrame
        lda #0                          ; the cursor blinks
        sta cursorBlinkSwitch

mainLoop:
        jsr waitFrame
        jsr countSeconds
        jsr showFrames
        jsr showKeys
        jsr addToHistory
        jsr addToTally
        jsr runColours
        ldx #promptColumn
        ldy #promptRow
        jsr setCursor
        jmp mainLoop

; ---- the static screen

; Prints every entry of the label table: column, row, colour, then the text's address.
drawLabels:
        ldx #0
-       lda labelTable,x
        bmi +
        sta cursorColumn
        lda labelTable + 1,x
        sta cursorRow
        lda labelTable + 2,x
        sta textColour
        lda labelTable + 3,x
        ldy labelTable + 4,x
        jsr printString                 ; keeps X
        txa
        clc
        adc #5
        tax
        bne -
+       lda #colourGrey
        sta textColour
        rts

drawRainbowBars:
        ldx #screenColumns - 1
        lda #solidBlock
-       sta screenMatrix + (titleRow - 1) * screenColumns,x
        sta screenMatrix + (titleRow + 1) * screenColumns,x
        dex
        bpl -
        rts

; ---- what changes every frame

; Adds the frames since the last update to the uptime: frameIntervalMs milliseconds
; each (the machine's frame interval, passed by the build), 1000 to a second.
countSeconds:
        lda jiffyLow
        tax
        sec
        sbc lastFrame
        stx lastFrame
        tay                             ; frames since the last update
        beq uptimeCounted
-       clc
        lda tickMs
        adc #<frameIntervalMs
        sta tickMs
        lda tickMs + 1
        adc #>frameIntervalMs
        sta tickMs + 1
        dey
        bne -
wholeSecond:
        lda tickMs + 1                  ; a second when tickMs >= 1000
        cmp #>1000
        bcc uptimeCounted
        bne +
        lda tickMs
        cmp #<1000
        bcc uptimeCounted
+       lda tickMs                      ; C is set
        sbc #<1000
        sta tickMs
        lda tickMs + 1
        sbc #>1000
        sta tickMs + 1
        inc seconds
        bne wholeSecond
        inc seconds + 1
        jmp wholeSecond
uptimeCounted:
        rts

showFrames:
        lda #colourWhite
        sta textColour
        ldx #framesHexColumn
        ldy #framesRow
        jsr setCursor
        lda jiffyClock
        jsr printHex
        lda jiffyClock + 1
        jsr printHex
        lda jiffyLow
        jsr printHex
        ldx #uptimeColumn
        jsr setCursor
        lda seconds
        ldx seconds + 1
        jsr printDecimal
        lda #<secondsText
        ldy #>secondsText
        jsr printString
        rts

; One cell per row bit, bit 7 first: a coloured block where the bit is 0 (a key down),
; a dot where it is 1; then the byte in hex. Also works out this frame's slot.
showKeys:
        lda keyRow
        sta sample
        sta counter
        ldx #0                          ; cell 0 shows bit 7
-       asl counter
        bcs +
        lda #solidBlock
        sta screenMatrix + keysRow * screenColumns + keysColumn,x
        txa
        eor #7                          ; the bit this cell shows
        tay
        lda rainbow,y
        bne ++
+       lda #trackCode
        sta screenMatrix + keysRow * screenColumns + keysColumn,x
        lda #colourDarkGrey
+       sta colourMemory + keysRow * screenColumns + keysColumn,x
        inx
        cpx #8
        bne -
        lda #colourWhite
        sta textColour
        ldx #keysHexColumn
        ldy #keysRow
        jsr setCursor
        lda sample
        jsr printHex
        ldx #0                          ; the slot: the lowest bit set, or noBit
        lda sample
-       lsr a
        bcs +
        inx
        cpx #noBit
        bne -
+       stx slot
        rts

; Moves the history row one cell to the left and adds this frame's slot at the right.
addToHistory:
        ldx #0
-       lda screenMatrix + historyRow * screenColumns + 1,x
        sta screenMatrix + historyRow * screenColumns,x
        lda colourMemory + historyRow * screenColumns + 1,x
        sta colourMemory + historyRow * screenColumns,x
        inx
        cpx #screenColumns - 1
        bne -
        ldy slot
        lda slotCodes,y
        sta screenMatrix + historyRow * screenColumns + screenColumns - 1
        lda slotColours,y
        sta colourMemory + historyRow * screenColumns + screenColumns - 1
        rts

; Counts this frame's slot and redraws its bar; when a bar is full, halves them all
; and redraws every bar.
addToTally:
        ldx slot
        inc tally,x
        lda tally,x
        cmp #barWidth
        bcs +
        jmp drawBar
+       ldx #tallySlots - 1
-       lsr tally,x
        dex
        bpl -
        ldx #tallySlots - 1
-       jsr drawBar
        dex
        bpl -
        rts

; Draws bar X: tally,X coloured blocks, then dots to the bar's full width. Keeps X.
drawBar:
        lda barRowLow,x
        sta barCells
        sta barColours
        lda barRowHigh,x
        sta barCells + 1
        clc
        adc #>(colourMemory - screenMatrix)
        sta barColours + 1
        lda tally,x
        sta counter
        ldy #0
-       cpy counter
        bcs +
        lda #solidBlock
        sta (barCells),y
        lda slotColours,x
        bne ++
+       lda #trackCode
        sta (barCells),y
        lda #colourDarkGrey
+       sta (barColours),y
        iny
        cpy #barWidth
        bne -
        rts

; The rainbow runs right along the top bar and the title and left along the bottom bar.
runColours:
        lda jiffyLow
        lsr a
        lsr a
        sta phase
        ldx #screenColumns - 1
-       txa
        sec
        sbc phase
        and #rainbowMask
        tay
        lda rainbow,y
        sta colourMemory + (titleRow - 1) * screenColumns,x
        sta colourMemory + titleRow * screenColumns,x
        txa
        clc
        adc phase
        and #rainbowMask
        tay
        lda rainbow,y
        sta colourMemory + (titleRow + 1) * screenColumns,x
        dex
        bpl -
        rts

; ---- tables and text

rainbow:
        .byte colourRed, colourOrange, colourYellow, colourLightGreen
        .byte colourCyan, colourLightBlue, colourPurple, colourLightRed
slotColours:
        .byte colourRed, colourOrange, colourYellow, colourLightGreen
        .byte colourCyan, colourLightBlue, colourPurple, colourLightRed, colourGrey
slotCodes:
        .text "01234567-"

barRowLow:
        .for bar := 0, bar < tallySlots, bar += 1
        .byte <(screenMatrix + (firstBarRow + bar) * screenColumns + barColumn)
        .next
barRowHigh:
        .for bar := 0, bar < tallySlots, bar += 1
        .byte >(screenMatrix + (firstBarRow + bar) * screenColumns + barColumn)
        .next

labelTable:
        .byte titleColumn, titleRow, colourWhite
        .word titleText
        .byte labelColumn, framesRow, colourGrey
        .word framesText
        .byte uptimeLabelColumn, framesRow, colourGrey
        .word uptimeText
        .byte labelColumn, keysRow - 1, colourGrey
        .word keysHeading
        .byte labelColumn, keysRow, colourGrey
        .word keysText
        .byte labelColumn, historyRow - 1, colourGrey
        .word historyHeading
        .byte labelColumn, firstBarRow - 1, colourGrey
        .word tallyHeading
        .for bar := 0, bar < tallySlots - 1, bar += 1
        .byte labelColumn, firstBarRow + bar, colourGrey
        .word bitNames + bar * bitNameLength
        .next
        .byte labelColumn, firstBarRow + noBit, colourGrey
        .word noneText
        .byte labelColumn, promptRow, colourLightGreen
        .word promptText
        .byte $FF

titleText:
        .text "Breadbin open firmware demo", 0
framesText:
        .text "Frames $", 0
uptimeText:
        .text "uptime", 0
secondsText:
        .text " s  ", 0
keysHeading:
        .text "Keyboard column 0, bits 7 to 0:", 0
keysText:
        .text "row byte", 0
historyHeading:
        .text "Which bit came up, frame by frame:", 0
tallyHeading:
        .text "How often each bit came up:", 0
bitNames:
        .for bar := 0, bar < tallySlots - 1, bar += 1
        .text "bit ", '0' + bar, 0
        .next
noneText:
        .text "none", 0
promptText:
        .text "Escape ends the run.", 0
