; bad_lines: the processor halted by the VIC's bad lines. 100 NOPs started in raster line
; $32 run across line $33, a bad line with the vertical scroll at 3 and the display on:
; every cycle of a NOP reads, so the processor waits from the line's cycle 12 to its cycle
; 55, 43 cycles more than the same NOPs take with the display off (no bad line in a frame
; whose line $30 saw the display off). CIA 1's timer A counts the cycles.
        .include "c64.inc"

lapOn   = saved + 1

*       = $C000
        #quietChips
        lda #$1B                        ; display on, 25 rows, vertical scroll 3
        sta ioVic + vicControl1
        jsr lap
        sta lapOn
        lda #$0B                        ; display off
        sta ioVic + vicControl1
        jsr lap
        sta saved
        lda lapOn
        sec
        sbc saved
        sta result
        #expect result, 43
        ; Off, the lap is the first read's store (4), the NOPs' 200 cycles and the second
        ; read (4).
        #expect saved, 208
        #passed

; A = the cycles from the first read of the timer to the second, around 100 NOPs that
; start in line $32.
lap     lda #0
        sta ioCia1 + ciaControlA
        lda #$FF
        sta ioCia1 + ciaTimerALow
        sta ioCia1 + ciaTimerAHigh
        lda #$11                        ; force load, start, continuous
        sta ioCia1 + ciaControlA
-       bit ioVic + vicControl1         ; a line past 255, then line 0: then the
        bpl -                           ; next $32 in $D012 is line $32, not $132
-       bit ioVic + vicControl1
        bmi -
        lda #$32
-       cmp ioVic + vicRaster
        bne -
        lda ioCia1 + ciaTimerALow
        sta first
        #delay 200
        lda ioCia1 + ciaTimerALow
        sta second
        lda first
        sec
        sbc second
        rts

first   .byte 0
second  .byte 0
