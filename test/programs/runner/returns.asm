; returns: stores $42 at $C100, shows "DONE" and returns with RTS into the firmware's
; input loop.
        .include "kernal.inc"

*       = $C000
        lda #$42
        sta $C100
        jsr clearScreen
        lda #<done
        ldy #>done
        jsr printString
        rts

done    .null "DONE"
