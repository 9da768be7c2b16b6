; cia_timers: CIA 1's timers read back at known cycles after they are set going, in
; every mode. A write in cycle W acts from cycle W + 1; "n" below counts from W, the last
; cycle of the STA that sets the timer going, to the cycle of the read (the last cycle of
; LDA absolute, 4 after its first; the fifth of LDA absolute,X across a page).
        .include "c64.inc"

cia     = ioCia1

; Sets timer A's latch to `latch` while it is stopped (which loads the counter), then
; writes `control` and reads `register` after `wait` more cycles: n = wait + 4.
readA   .segment latch, control, wait, register, expected
        lda #0
        sta cia + ciaControlA
        lda #<\latch
        sta cia + ciaTimerALow
        lda #>\latch
        sta cia + ciaTimerAHigh
        lda #\control
        sta cia + ciaControlA
        #delay \wait
        lda cia + \register
        sta result
        #expect result, \expected
        .endsegment

*       = $C000
        #quietChips
        ; Continuous, force load, latch 5: from n = 1 the counter reads
        ; 5 5 4 3 2 1 5 5 4 3 2 1 ...: the latch for two cycles, then down to 1, and at the
        ; underflow (n = 7, 13, ...) the latch again: the period is latch + 1, 0 never shows.
        #readA 5, $11, 0, ciaTimerALow, 3           ; n = 4
        #readA 5, $11, 2, ciaTimerALow, 1           ; n = 6
        #readA 5, $11, 3, ciaTimerALow, 5           ; n = 7: the underflow
        #readA 5, $11, 4, ciaTimerALow, 5           ; n = 8: the swallowed count
        #readA 5, $11, 5, ciaTimerALow, 4           ; n = 9
        #readA $1234, $11, 2, ciaTimerAHigh, $12    ; the high byte too
        ; Started without a load, from the 4 the high byte's write loaded: it counts from
        ; n = 2: 4 3 2 1 4 4 3 ...
        #readA 4, $01, 0, ciaTimerALow, 1           ; n = 4
        #readA 4, $01, 2, ciaTimerALow, 4           ; n = 6, after the underflow at 5
        ; One-shot, force load, latch 3: 3 3 2 1, then at n = 5 the latch and it stops.
        #readA 3, $19, 0, ciaTimerALow, 1           ; n = 4
        #readA 3, $19, 2, ciaTimerALow, 3           ; n = 6
        #readA 3, $19, 6, ciaTimerALow, 3           ; n = 10: still
        #readA 3, $19, 0, ciaControlA, $09          ; n = 4: still running
        #readA 3, $19, 2, ciaControlA, $08          ; stopped; the load bit never reads back
        ; Counting CNT edges: nothing drives CNT, so the timer never moves.
        #readA 3, $31, 8, ciaTimerALow, 3

        ; LDA absolute,X across a page reads in its fifth cycle: n = 5 with no wait.
        lda #0
        sta cia + ciaControlA
        lda #5
        sta cia + ciaTimerALow
        lda #0
        sta cia + ciaTimerAHigh
        ldx #<(cia + ciaTimerALow) + 1
        lda #$11
        sta cia + ciaControlA
        lda (cia & $FF00) - 1,x
        sta result
        #expect result, 2

        ; Timer B counting timer A's underflows: B with latch 2 set going first, then A
        ; with latch 2 in cycle W. A underflows at n = 4, 7, 10 ...; B reads 2 until the
        ; count of the first arrives (n = 5), 1 until n = 8, then rests at 0 until the next
        ; is on its way (n = 10), where it underflows: 2 2 2 2 1 1 1 0 0 2 2 2 2 1.
readB   .segment wait, expected
        lda #0
        sta cia + ciaControlA
        sta cia + ciaControlB
        lda #2
        sta cia + ciaTimerALow
        sta cia + ciaTimerBLow
        lda #0
        sta cia + ciaTimerAHigh
        sta cia + ciaTimerBHigh
        lda #$51                        ; force load, start, count A's underflows
        sta cia + ciaControlB
        lda #$11
        sta cia + ciaControlA
        #delay \wait
        lda cia + ciaTimerBLow
        sta result
        #expect result, \expected
        .endsegment
        #readB 0, 2                     ; n = 4
        #readB 2, 1                     ; n = 6
        #readB 4, 0                     ; n = 8
        #readB 5, 0                     ; n = 9
        #readB 6, 2                     ; n = 10: B's underflow
        #readB 10, 1                    ; n = 14

        ; The underflows' flags: A's and B's, set whether masked or not, cleared by the read
        ; (the timers stopped first, so that no more come).
        lda #0
        sta cia + ciaControlA
        sta cia + ciaControlB
        lda cia + ciaInterruptControl
        sta result
        #expect result, $03
        lda cia + ciaInterruptControl
        sta result
        #expect result, $00
        #passed
