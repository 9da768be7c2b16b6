; nmi: CIA 2's interrupt on the NMI line, which the processor takes on its falling edge,
; whatever flag I says: a handler that does not acknowledge CIA 2 leaves the line low, and
; no second NMI comes however often the timer underflows; once the register is read, the
; next underflow brings the next NMI. An NMI that falls in the first four cycles of a BRK
; takes it over: the NMI's handler runs, with B set in the status the BRK pushed.
        .include "c64.inc"

cia     = ioCia2
nmis    = saved                         ; NMIs taken
brkStatus = saved + 1                   ; the status the hijacked BRK pushed

*       = $C000
        #quietChips
        #ramVectors
        #setVector $FFFA, countNmi
        #setVector $FFFE, brkHandler
        lda #0
        sta nmis
        sta result
        ; Timer A every 1000 cycles, its interrupt on; I stays set all along.
        lda #<999
        sta cia + ciaTimerALow
        lda #>999
        sta cia + ciaTimerAHigh
        lda #$81
        sta cia + ciaInterruptControl
        lda #$11
        sta cia + ciaControlA
        jsr wait                        ; about ten underflows
        #expect nmis, 1                 ; the line stayed low: one edge
        bit cia + ciaInterruptControl   ; acknowledged: the line goes up
        jsr wait
        #expect nmis, 2                 ; one more edge, and low again
        #setVector $FFFA, countAndAcknowledge
        bit cia + ciaInterruptControl
        jsr wait
        lda nmis
        cmp #8
        lda #1
        bcs +
        lda #0
+       sta result
        #expect result, 1               ; an NMI every underflow now (about ten)

        ; BRK taken over: a one-shot timer with latch 1 underflows 3 cycles after its
        ; write, W + 3; the line falls at W + 4 (6526) or W + 3 (8521), while the BRK
        ; that starts at W + 1 pushes. No bad line may hold the processor in between: the
        ; display is off from the next frame on.
        lda #$0B
        sta ioVic + vicControl1
-       bit ioVic + vicControl1
        bpl -
-       bit ioVic + vicControl1
        bmi -
        lda #0
        sta cia + ciaControlA
        lda #$7F
        sta cia + ciaInterruptControl
        bit cia + ciaInterruptControl
        #setVector $FFFA, hijacked
        lda #1
        sta cia + ciaTimerALow
        lda #0
        sta cia + ciaTimerAHigh
        lda #$81
        sta cia + ciaInterruptControl
        lda #$19
        sta cia + ciaControlA           ; W
        brk                             ; W + 1 .. W + 7
        .byte 0
        #expect result, 2               ; the NMI's handler ran, not BRK's
        lda brkStatus
        and #$10
        sta result
        #expect result, $10             ; B set: the status is BRK's
        #passed

wait    #waitShort 8                ; about 10,000 cycles

countNmi
        inc nmis
        rti

countAndAcknowledge
        inc nmis
        bit cia + ciaInterruptControl
        rti

hijacked
        pla
        sta brkStatus
        pha
        lda #2
        sta result
        bit cia + ciaInterruptControl
        rti

brkHandler
        lda #3
        sta result
        rti
