; brk_vector: BRK through a handler of the program's own at $0316. The handler finds A,
; X and Y pushed in that order above the status byte with B set, and leaves through
; $EA81, which carries on after the BRK's signature byte with the registers back.
        .include "check.inc"

seen    = freeArea              ; A, X, Y and the status byte as the handler found them
after   = freeArea + 4          ; A, X, Y after the BRK

*       = $C000
        lda #<handler
        sta brkVector
        lda #>handler
        sta brkVector + 1
        lda #$11
        ldx #$22
        ldy #$33
        brk
        .byte $EA                       ; the signature byte
        sta after
        stx after + 1
        sty after + 2
        #expect seen, $11
        #expect seen + 1, $22
        #expect seen + 2, $33
        lda seen + 3
        and #$10
        sta seen + 3
        #expect seen + 3, $10
        #expect after, $11
        #expect after + 1, $22
        #expect after + 2, $33
        #passed

handler tsx
        lda $0103,x
        sta seen
        lda $0102,x
        sta seen + 1
        lda $0101,x
        sta seen + 2
        lda $0104,x
        sta seen + 3
        lda #0
        tax
        tay
        jmp frameExit
