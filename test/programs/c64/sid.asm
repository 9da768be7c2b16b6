; sid: voice 3 as OSC3 and ENV3 read it. The sawtooth counts from 0 once the test bit is
; cleared (at frequency $FFFF the accumulator's upper byte reads 3 four cycles later);
; the noise gives bytes that differ read after read (the random-number idiom: frequency
; $FFFF, noise, no gate); the envelope reads 0 until a gate opens, climbs to the sustain
; level's $FF, and falls to 0 once the gate closes.
        .include "c64.inc"

sid     = ioSid

*       = $C000
        #quietChips
        #expect sid + sidEnvelope3, $00         ; no gate has opened
        lda #$FF
        sta sid + sidFrequency3Low
        sta sid + sidFrequency3High
        lda #$28                                ; sawtooth, test: the accumulator at 0
        sta sid + sidControl3
        lda #$20                                ; sawtooth, counting from this write
        sta sid + sidControl3
        lda sid + sidOscillator3                ; 4 cycles later: 4 x $FFFF = $03FFFC
        sta result
        #expect result, $03

        ; Noise: eight reads, 20 cycles apart, not all alike.
        lda #$80
        sta sid + sidControl3
        ldx #7
-       lda sid + sidOscillator3
        sta saved,x
        #delay 10
        dex
        bpl -
        ldx #6
-       lda saved,x
        cmp saved + 7
        bne +
        dex
        bpl -
        lda #0                                  ; all alike
        sta result
        #expect result, $FF
+
        ; The envelope: attack 2 ms, sustain $F, release 6 ms.
        lda #$00
        sta sid + sidAttackDecay3
        lda #$F0
        sta sid + sidSustainRelease3
        lda #$21                                ; sawtooth, gate
        sta sid + sidControl3
        jsr wait
        #expect sid + sidEnvelope3, $FF
        lda #$20                                ; gate closed
        sta sid + sidControl3
        jsr wait
        jsr wait
        #expect sid + sidEnvelope3, $00
        #passed

wait    #waitShort 3                ; about 3,900 cycles
