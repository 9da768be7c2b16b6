; debug_fail: a self test that fails on purpose. It shows "SELF TEST FAILED" and writes
; the failure code 5 to the debug register (kernal.inc's debugExitRegister) through a
; pointer, STA (pointer),Y; then it waits for ever.
        .include "kernal.inc"

failureCode = 5
pointer   = freeZeroPage

*       = $C000
        jsr clearScreen
        lda #<failed
        ldy #>failed
        jsr printString
        lda #<(debugExitRegister - $0F) ; Y = $0F: the store reaches the register
        sta pointer
        lda #>(debugExitRegister - $0F)
        sta pointer + 1
        ldy #$0F
        lda #failureCode
        sta (pointer),y
forever jmp forever

failed  .null "SELF TEST FAILED"
