; cia_interrupts: CIA 1's interrupt register (flags set whether masked or not, read to
; clear, bit 7 while the output is low, a mask bit set over a flag already set) and the
; cycle its interrupt reaches the processor: the 6526's output falls one cycle after the
; underflow, the 8521's in its cycle. Assembled twice: with NEWCIA = 1 for --cia 8521.
        .include "c64.inc"

        .weak
NEWCIA  = 0
        .endweak
cia     = ioCia1

*       = $C000
        #quietChips
        #ramVectors
        #setVector $FFFE, handler
        lda #2
        sta cia + ciaTimerALow
        lda #0
        sta cia + ciaTimerAHigh
        ; A masked underflow sets its flag and leaves bit 7 clear; the read clears it.
        lda #$19                        ; one-shot, force load, start
        sta cia + ciaControlA
        #delay 10
        lda cia + ciaInterruptControl
        sta result
        #expect result, $01
        lda cia + ciaInterruptControl
        sta result
        #expect result, $00
        ; Setting the mask bit of a flag already set brings the output down at once.
        lda #$19
        sta cia + ciaControlA
        #delay 10
        lda #$81
        sta cia + ciaInterruptControl
        lda cia + ciaInterruptControl
        sta result
        #expect result, $81
        lda cia + ciaInterruptControl
        sta result
        #expect result, $00
        ; A write with bit 7 clear clears the mask bits given: the flag comes, the output
        ; stays up.
        lda #$01
        sta cia + ciaInterruptControl
        lda #$19
        sta cia + ciaControlA
        #delay 10
        lda cia + ciaInterruptControl
        sta result
        #expect result, $01

        ; The interrupt's cycle. Latch 5, one-shot: the timer underflows 7 cycles after
        ; the write (W + 7), and the output falls at W + 8 (6526) or W + 7 (8521). Each
        ; INX after the write samples the line in its first cycle, W + 1, W + 3, ...: the
        ; processor takes the interrupt after the first INX whose sample sees it low, the
        ; fifth (6526) or the fourth (8521).
        lda #5
        sta cia + ciaTimerALow
        lda #$81
        sta cia + ciaInterruptControl
        ldx #0
        stx result
        cli
        lda #$19
        .align $100, $EA                ; NOPs up to the page
        sta cia + ciaControlA
        .rept 12
        inx
        .next
        sei
        .if NEWCIA != 0
        #expect result, 4
        .else
        #expect result, 5
        .endif
        #passed

; The interrupt: keeps how many INX ran, acknowledges, returns.
handler stx result
        bit cia + ciaInterruptControl
        rti
