; basic.asm: the breadbin BASIC image, 8 KiB at $A000-$BFFF.
;
; There is no BASIC interpreter yet. The image holds what the KERNAL borrows from it:
; the part of the start-up banner that reports free memory (found by probing RAM) and
; the decimal number output behind the KERNAL's printDecimal. Both print through the
; KERNAL's jump table. The layout of its first bytes is in basic.inc.

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

; Prints A/X (low/high) as an unsigned decimal number without leading zeros, by
; counting how often each power of ten can be taken away. Keeps X and Y.
decimalRoutine:
        sta basicNumber
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
        ora #'0'
        jsr printChar
+       inx
        cpx #decimalPowers
        bne nextPower
        lda basicNumber                 ; what is left is the units digit, always shown
        ora #'0'
        jsr printChar
        pla
        tay
        pla
        tax
        rts

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

        .cerror * > basicImageEnd, "the BASIC image is larger than 8 KiB"
        .fill basicImageEnd - *, 0
