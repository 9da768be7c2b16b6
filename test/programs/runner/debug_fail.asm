; debug_fail: a self test that fails on purpose. It shows "SELF TEST FAILED" and writes
; the failure code 5 to the debug register $D7FF through a pointer, STA ($FB),Y; then
; it waits for ever.
        .include "kernal.inc"

failureCode = 5
pointer   = freeZeroPage

*       = $C000
        jsr clearScreen
        lda #<failed
        ldy #>failed
        jsr printString
        lda #$F0                ; pointer = $D7F0, Y = $0F: the store reaches $D7FF
        sta pointer
        lda #$D7
        sta pointer + 1
        ldy #$0F
        lda #failureCode
        sta (pointer),y
forever jmp forever

failed  .null "SELF TEST FAILED"
