; chrout: prints the bytes the test put at $C100 (their count at $C0FF) through CHROUT,
; then sets $C0FE and waits. With $C0FD at 0 the cursor blink is off; otherwise the
; blink stays on and the printing starts once the cursor shows.
        .include "kernal.inc"

cursorShown = $CF               ; the firmware's own: the cursor cell is reversed
keepBlink = $C0FD
done    = $C0FE
count   = $C0FF
text    = $C100

*       = $C000
        lda keepBlink
        bne waitForCursor
        lda #1
        sta cursorBlinkSwitch
        bne print
waitForCursor:
        lda cursorShown
        beq waitForCursor
print   ldx #0
-       cpx count
        beq +
        lda text,x
        jsr CHROUT
        inx
        bne -
+       inc done
-       jmp -
