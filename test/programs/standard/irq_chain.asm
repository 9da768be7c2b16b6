; irq_chain: a frame handler of the program's own through $0314, which counts and goes
; on to the firmware's frame work at $EA31; the jiffy clock keeps counting meanwhile.
        .include "check.inc"

frames  = freeArea
jiffies = freeArea + 1
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
-       lda frames
        cmp #wanted
        bcc -
        sei                             ; every counted frame also ticked the clock
        lda jiffyLow
        sec
        sbc jiffies
        sec
        sbc frames
        sta jiffies
        cli
        #expect jiffies, 0
        #passed

handler inc frames
        jmp frameWork
