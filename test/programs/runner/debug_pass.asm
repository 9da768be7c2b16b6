; debug_pass: a self test that passes. It leaves $DE $AD $BE $EF at $C200, shows
; "SELF TEST PASSED", waits three frames and writes 0 to the debug register (kernal.inc's
; debugExitRegister), the way test benches report a pass; then it waits for ever.
        .include "kernal.inc"

results   = $C200

*       = $C000
        lda #$DE
        sta results
        lda #$AD
        sta results + 1
        lda #$BE
        sta results + 2
        lda #$EF
        sta results + 3
        jsr clearScreen
        lda #<passed
        ldy #>passed
        jsr printString
        jsr waitFrame
        jsr waitFrame
        jsr waitFrame
        lda #0
        sta debugExitRegister
forever jmp forever

passed  .null "SELF TEST PASSED"
