; shows_text: text that comes up frame by frame. At once "WAITING" and "WR" at the end
; of row 0 with "AP" at the start of row 1 (so "WRAP" spans the rows); after five
; frames "READY" on row 3; after ten "OOPS" on row 4; then it counts frames for ever.
        .include "kernal.inc"

*       = $C000
        jsr clearScreen
        ldx #0
        ldy #2
        jsr setCursor
        lda #<waiting
        ldy #>waiting
        jsr printString
        ldx #38
        ldy #0
        jsr setCursor
        lda #<wrap
        ldy #>wrap
        jsr printString
        lda #5
        jsr waitFrames
        ldx #0
        ldy #3
        jsr setCursor
        lda #<ready
        ldy #>ready
        jsr printString
        lda #5
        jsr waitFrames
        ldx #0
        ldy #4
        jsr setCursor
        lda #<oops
        ldy #>oops
        jsr printString
forever jsr waitFrame
        jmp forever

; waits for A frames
waitFrames
        tax
-       jsr waitFrame
        dex
        bne -
        rts

waiting .null "WAITING"
wrap    .null "WRAP"
ready   .null "READY"
oops    .null "OOPS"
