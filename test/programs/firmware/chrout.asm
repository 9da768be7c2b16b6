; chrout: prints the bytes the test put at $C100 (their count at $C0FF) through CHROUT
; with the cursor blink off, then sets $C0FE and waits.
        .include "kernal.inc"

done    = $C0FE
count   = $C0FF
text    = $C100

*       = $C000
        lda #1
        sta cursorBlinkSwitch
        ldx #0
-       cpx count
        beq +
        lda text,x
        jsr CHROUT
        inx
        bne -
+       inc done
-       jmp -
