; hidden: printDecimal with BASIC switched out by the program. The routine banks BASIC
; in for the call and must put the port back as the program left it (kept at $C800).
        .include "kernal.inc"

portSeen = $C800
portKernalOnly = $E6            ; KERNAL, I/O, no BASIC
portPowerUp = $E7

*       = $C000
        lda #portKernalOnly
        sta processorPort
        jsr clearScreen
        lda #<1234
        ldx #>1234
        jsr printDecimal
        lda processorPort
        sta portSeen
        lda #portPowerUp
        sta processorPort
        rts
