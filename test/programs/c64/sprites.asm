; The cycles the sprites' DMA takes from the processor, with the display off (no bad
; lines) and on: a loop of reads only (DEX, BNE) across lines 90 to about 130, timed with
; CIA 1's timer A, for each set of sprites shown at Y = 100 (21 lines of DMA each). Each sprite's
; two stolen cycles come with three cycles of warning, in which a read already waits: one
; sprite alone costs 5 cycles a line, sprites 0 and 1 together 7, sprites 0 and 2 (the bus
; stays taken across sprite 1's unused slot) 9, and sprites 0 and 7 (sprite 7 fetches at
; the start of the next line) 5 each. On a bad line sprite 0's cycles follow the bad
; line's at once, so the bus stays taken five cycles longer: the same cost.
        .include "c64.inc"

vic     = ioVic
cases   = (0, 1, 3, 5, $81, 0, 1)       ; the sprites shown
displays = (0, 0, 0, 0, 0, $10, $10)    ; $D011's display enable bit
bases   = (0, 0, 0, 0, 0, 5, 5)         ; the case without sprites to compare with
costs   = (0, 21 * 5, 21 * 7, 21 * 9, 2 * 21 * 5, 0, 21 * 5)
timed   = freeArea + 8                  ; the timer's low and high byte for each case

*       = $C000
        #quietChips
        ldx #14
        lda #100
-       sta vic + 1,x                   ; every sprite's Y at 100
        dex
        dex
        bpl -
        lda #0
        sta vic + vicSpriteExpandY
        ldx #0
again   stx saved
        lda caseMasks,x
        sta vic + vicSpriteEnable
        lda caseDisplays,x              ; 25 rows, vertical scroll 3
        ora #$0B
        sta vic + vicControl1
        ; wait for the next frame (whose line $30 decides the bad lines), then line 90
-       bit vic + vicControl1
        bpl -
-       bit vic + vicControl1
        bmi -
        lda #90
-       cmp vic + vicRaster
        bne -
        lda #$FF
        sta ioCia1 + ciaTimerALow
        sta ioCia1 + ciaTimerAHigh
        lda #kCiaLoadAndStart
        sta ioCia1 + ciaControlA
        ldy #2
outer   ldx #250
-       dex
        bne -
        dey
        bne outer
        lda #0
        sta ioCia1 + ciaControlA        ; stopped: the count stands still for reading
        ldx saved
        lda ioCia1 + ciaTimerALow
        sta timed,x
        lda ioCia1 + ciaTimerAHigh
        sta timed + len(cases),x
        inx
        cpx #len(cases)
        bne again
        lda #0
        sta vic + vicSpriteEnable
        ; each case's cost: the count without sprites minus its own
        .for i := 1, i < len(cases), i += 1
        .if costs[i] != 0
        sec
        lda timed + bases[i]
        sbc timed + i
        sta result
        lda timed + len(cases) + bases[i]
        sbc timed + len(cases) + i
        sta saved
        #expect result, <costs[i]
        #expect saved, >costs[i]
        .endif
        .next
        #passed

kCiaLoadAndStart = $11
caseMasks .byte cases
caseDisplays .byte displays
