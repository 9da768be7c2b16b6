; interrupt_sampling: when the processor looks at the IRQ line. It decides at the end of
; an instruction from the line in the instruction's next-to-last cycle; a taken branch
; that stays in its page looks in its first cycle only; CLI and SEI change flag I after
; that look, so a pending interrupt comes one instruction after CLI (after a CLI with I
; already clear, which changes nothing, at once), and one that SEI's look saw still comes,
; with I set in the status it pushes; RTI restores I before its
; look, so a pending interrupt comes right after it. The timer's one-shot underflow comes
; latch + 2 cycles after the write that starts it, and the output falls a cycle later on
; the 6526 (NEWCIA = 0) than on the 8521 (NEWCIA = 1, assembled apart).
        .include "c64.inc"

        .weak
NEWCIA  = 0
        .endweak
cia     = ioCia1
pushedStatus = saved

; Timer A one-shot with latch `latch`, its interrupt on, set going by an STA in cycle W.
arm     .macro latch
        lda #\latch
        sta cia + ciaTimerALow
        lda #0
        sta cia + ciaTimerAHigh
        lda #$81
        sta cia + ciaInterruptControl
        bit cia + ciaInterruptControl
        ldx #0
        stx result
        lda #$19
        .endm

; With I clear, the timer armed with `latch` set going at W on a page's start; two INX
; (W + 1 to W + 4), then `instruction` in W + 5 and W + 6, looking at W + 5; two INX more.
lookAtW5 .macro latch, instruction
        #arm \latch
        cli
        .align $100, $EA                ; NOPs up to the page
        sta cia + ciaControlA           ; W
        inx                             ; W + 1, W + 2
        inx                             ; W + 3, W + 4
        \instruction                    ; W + 5, W + 6
        inx
        inx
        .endm

*       = $C000
        #quietChips
        #ramVectors
        #setVector $FFFE, handler

        ; A taken branch within its page, the line falling in its second cycle (W + 4):
        ; the branch does not see it; the INX after it does.
        #arm 1 + NEWCIA                 ; the output falls at W + 4
        cli
        .align $100, $EA                ; NOPs up to the page
        sta cia + ciaControlA           ; W
        inx                             ; W + 1, W + 2: looks at W + 1
        bne +                           ; W + 3 .. W + 5, taken: looks at W + 3 only
+       inx                             ; W + 6, W + 7: looks at W + 6
        inx
        inx
        sei
        #expect result, 2

        ; CLI with the interrupt pending: one more instruction first.
        #arm 2
        sta cia + ciaControlA
        #delay 20                       ; the line is low, I is set
        ldx #0
        cli
        inx
        inx
        sei
        #expect result, 1

        ; CLI with I already clear changes nothing: its look (its first cycle, W + 5) sees
        ; the line that fell at W + 4, and the interrupt comes right after it.
        #lookAtW5 1 + NEWCIA, cli       ; the output falls at W + 4
        sei
        #expect result, 2

        ; SEI whose look (its first cycle, W + 5) sees the line fall: the interrupt comes
        ; after SEI, the status it pushes has I set, and none comes after the handler.
        #lookAtW5 2 + NEWCIA, sei       ; the output falls at W + 5
        #expect result, 2
        lda pushedStatus
        and #flagI
        sta result
        #expect result, flagI

        ; RTI that clears I with the line low: the interrupt comes at once, before the
        ; instruction RTI returns to.
        #arm 2
        sta cia + ciaControlA
        #delay 20
        lda #>afterRti
        pha
        lda #<afterRti
        pha
        lda #0                          ; the status to pull: I clear
        pha
        ldx #0
        rti
afterRti
        inx
        inx
        sei
        #expect result, 0
        #passed

flagI   = $04

; The interrupt: keeps how many INX ran and the status pushed, acknowledges, returns.
handler stx result
        pla
        sta pushedStatus
        pha
        bit cia + ciaInterruptControl
        rti
