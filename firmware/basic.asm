; basic.asm: the breadbin BASIC image, 8 KiB at $A000-$BFFF.
;
; There is no BASIC interpreter yet. The image holds what the KERNAL borrows from it:
; the part of the start-up banner that reports free memory (found by probing RAM) and
; the decimal number output behind the KERNAL's printDecimal. Both print through the
; KERNAL's jump table. The layout of its first bytes is in basic.inc. At the machine's
; addresses it also keeps the entries that machine-code programs call to print a number
; or a string through CHROUT and to end in READY (kernal.inc names them).

        .include "kernal.inc"
        .include "basic.inc"

basicImageEnd   = $C000
probeFirstPage  = $08           ; programs may use RAM from $0800 ...
probeEndPage    = >basicSignatureAt  ; ... up to the start of this image
probePatternA   = $55
probePatternB   = $AA
decimalPowers   = 4             ; 10000, 1000, 100, 10; the units digit comes last
hintLineRow     = bannerBasicRow + 1
cursorHomeRow   = bannerBasicRow + 3
digitsToScreen  = 0             ; basicDigitsTo: decimalTo prints through printChar
digitsToChrout  = $80           ; or through CHROUT
emptyStack      = $FF

*       = basicSignatureAt
        .text basicSignature
*       = basicBanner
        jmp bannerRoutine
*       = basicDecimal
        jmp decimalRoutine

; From the cursor the KERNAL set: "<bytes> bytes free at $0800-$<last>FF", then the
; hint line below it, and the cursor two rows further down.
bannerRoutine:
        jsr probeFreeRam
        pha
        tax                             ; bytes = pages * 256
        lda #0
        jsr decimalRoutine
        lda #<freeText
        ldy #>freeText
        jsr printString
        pla
        clc
        adc #probeFirstPage - 1         ; last page that answered
        jsr printHex
        lda #<pageEndText
        ldy #>pageEndText
        jsr printString
        ldx #bannerColumn
        ldy #hintLineRow
        jsr setCursor
        lda #<hintText
        ldy #>hintText
        jsr printString
        ldx #0
        ldy #cursorHomeRow
        jmp setCursor

; Counts the pages from $0800 whose first byte holds both test patterns, up to the
; first that does not or to $A000; every byte probed gets its old value back.
; Returns the count in A.
probeFreeRam:
        lda #0
        sta basicNumber
        lda #probeFirstPage
        sta basicNumber + 1
        ldy #0
-       lda (basicNumber),y
        tax
        lda #probePatternA
        sta (basicNumber),y
        cmp (basicNumber),y
        bne +
        lda #probePatternB
        sta (basicNumber),y
        cmp (basicNumber),y
        bne +
        txa
        sta (basicNumber),y
        inc basicNumber + 1
        lda basicNumber + 1
        cmp #probeEndPage
        bne -
        beq ++
+       txa
        sta (basicNumber),y
+       lda basicNumber + 1
        sec
        sbc #probeFirstPage
        rts

; LINPRT: A/X = high/low byte of an unsigned number, printed in decimal through CHROUT
; (PETSCII digits, to the output device). Uses A and X; keeps Y.
linprtRoutine:
        stx basicNumber
        tax
        lda #digitsToChrout
        bne decimalTo

; Prints A/X (low/high) as an unsigned decimal number without leading zeros, by
; counting how often each power of ten can be taken away. Keeps X and Y.
decimalRoutine:
        sta basicNumber
        lda #digitsToScreen
; The same from basicNumber (low) and X (high), the digits through printChar when A is
; digitsToScreen, through CHROUT when it is digitsToChrout. Keeps X and Y.
decimalTo:
        sta basicDigitsTo
        stx basicNumber + 1
        txa
        pha
        tya
        pha
        lda #0
        sta basicStarted
        ldx #0
nextPower:
        lda #0
        sta basicDigit
-       lda basicNumber
        sec
        sbc powerLow,x
        tay
        lda basicNumber + 1
        sbc powerHigh,x
        bcc +                           ; one subtraction too many: the digit is counted
        sta basicNumber + 1
        sty basicNumber
        inc basicDigit
        bne -
+       lda basicDigit
        ora basicStarted
        beq +                           ; a leading zero
        sta basicStarted
        lda basicDigit
        jsr putDigit
+       inx
        cpx #decimalPowers
        bne nextPower
        lda basicNumber                 ; what is left is the units digit, always shown
        jsr putDigit
        pla
        tay
        pla
        tax
        rts

; The digit A (0-9) where basicDigitsTo says: '0' is the same byte in screen codes and
; in PETSCII.
putDigit:
        ora #'0'
        bit basicDigitsTo
        bmi +
        jmp printChar
+       jmp CHROUT

; STROUT: prints the string at A/Y (low/high), ended by a 0 byte, through CHROUT. Uses A
; and Y; keeps X.
stroutRoutine:
        sta basicNumber
        sty basicNumber + 1
        ldy #0
-       lda (basicNumber),y
        beq +
        jsr CHROUT
        iny
        bne -
        inc basicNumber + 1
        bne -
+       rts

; READY: what a program that ends in BASIC's READY gets: the default channels, "READY."
; on a row of its own, the stack emptied and the firmware's input loop.
readyRoutine:
        jsr CLRCHN
        lda cursorColumn
        beq +
        lda #petsciiReturn
        jsr CHROUT
+       lda #<readyText
        ldy #>readyText
        jsr stroutRoutine
        ldx #emptyStack
        txs
        jmp inputLoop

powerLow:
        .byte <10000, <1000, <100, <10
powerHigh:
        .byte >10000, >1000, >100, >10

freeText:
        .text " bytes free at $0800-$", 0
pageEndText:
        .text "FF", 0
hintText:
        .text "Programs start from tests/start", 0
        .enc "petscii"
readyText:
        .text "ready.", petsciiReturn, 0
        .enc "breadbin"

; ---- the entries at the machine's addresses
        .cerror * > basicReady, "the BASIC image's code runs into basicReady"
*       = basicReady
        jmp readyRoutine
*       = basicPrintString
        jmp stroutRoutine
*       = basicPrintNumber
        jmp linprtRoutine

        .cerror * > basicImageEnd, "the BASIC image is larger than 8 KiB"
        .fill basicImageEnd - *, 0
