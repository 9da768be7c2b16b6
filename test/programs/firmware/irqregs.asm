; irqregs: runs for ever with the character ROM banked in and fixed values in A, X and
; Y; every time the frame interrupt hands back a changed register, $C800 counts it.
        .include "kernal.inc"

damage = $C800
portCharRom = $E3               ; KERNAL, BASIC and the character ROM at $D000

*       = $C000
        lda #portCharRom
        sta processorPort
        lda #0
        sta damage
        lda #$C5
        ldx #$3A
        ldy #$7E
-       cmp #$C5
        bne bad
        cpx #$3A
        bne bad
        cpy #$7E
        bne bad
        jmp -
bad     inc damage
        jmp -
