; irq_exit: a frame handler that leaves through $EA81 (its registers back, RTI) and
; skips the firmware's frame work: the jiffy clock stands still until RESTOR puts the
; firmware's handler back, and then it counts again. Skipping the frame work, the handler
; acknowledges the interrupt itself (on the C64 CIA 1's, which would come back at once).
        .include "check.inc"

frames  = freeArea
jiffies = freeArea + 1
kept    = freeArea + 2
wanted  = 5

*       = $C000
        lda #0
        sta frames
        sei
        lda #<handler
        sta irqVector
        lda #>handler
        sta irqVector + 1
        lda jiffyLow
        sta jiffies
        cli
        lda #$C3                        ; registers the interrupts must give back
        ldx #$3C
        ldy #$99
-       lda frames
        cmp #wanted
        lda #$C3
        bcc -
        stx kept
        sty kept + 1
        #expect kept, $3C
        #expect kept + 1, $99
        lda jiffies
        cmp jiffyLow
        beq +
        lda #100                        ; the clock moved under our handler
        jmp checkFailed
+       jsr RESTOR
        #expect irqVector, <frameWork
        #expect irqVector + 1, >frameWork
-       lda jiffyLow
        cmp jiffies
        beq -
        #passed

handler inc frames
        lda ioCia1 + ciaInterruptControl
        ldx #0                          ; spoil X and Y: frameExit puts them back
        ldy #0
        jmp frameExit
