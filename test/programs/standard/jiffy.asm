; jiffy: SETTIM and RDTIM (A, X, Y = low, middle, high), UDTIM's carries across the
; clock's three bytes, and the frame interrupt moving the clock on.
        .include "check.inc"

read    = freeArea

*       = $C000
        sei                             ; no tick between setting and reading
        lda #$56
        ldx #$34
        ldy #$12
        jsr SETTIM
        #expect jiffyClock, $12
        #expect jiffyClock + 1, $34
        #expect jiffyClock + 2, $56
        jsr RDTIM
        sta read
        stx read + 1
        sty read + 2
        #expect read, $56
        #expect read + 1, $34
        #expect read + 2, $12
        lda #$FF
        ldx #$FF
        ldy #$00
        jsr SETTIM
        jsr UDTIM
        #expect jiffyClock, $01
        #expect jiffyClock + 1, $00
        #expect jiffyClock + 2, $00
        lda #$FF
        ldx #$FF
        ldy #$FF
        jsr SETTIM
        jsr UDTIM
        #expect jiffyClock, $00
        #expect jiffyClock + 2, $00
        lda #0
        tax
        tay
        jsr SETTIM
        cli
-       jsr RDTIM                       ; three frames
        cmp #3
        bcc -
        #expect jiffyClock + 1, 0
        #passed
