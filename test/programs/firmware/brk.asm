; brk: loads the registers, takes a BRK (signature byte $EA), stores the registers the
; interrupt gave back at $C800-$C802 and returns by RTS into the input loop.
        .include "kernal.inc"

results = $C800

*       = $C000
        lda #$11
        ldx #$22
        ldy #$33
        brk
        .byte $EA               ; the BRK's signature byte, skipped on return
        sta results
        stx results + 1
        sty results + 2
        rts
