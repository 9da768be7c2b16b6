; io_map: the I/O area as the processor sees it on the C64. The VIC's 64 bytes repeat to
; $D3FF, its unused bits and registers read 1; the SID's 32 bytes repeat to $D7FF, its
; write-only registers read the last byte written to it, POTX and POTY $FF; colour RAM
; keeps four bits, the other four read what is on the bus (the VIC's idle fetch: the last
; byte of its bank, $39FF with the extended colour mode), and so does $DE00-$DFFF, where
; a write does nothing; the CIAs' 16 bytes repeat to the end of their pages; CIA 2's
; port A chooses the VIC's bank.
        .include "c64.inc"

*       = $C000
        #quietChips
        lda #$05
        sta $D020
        #expect $D060, $F5              ; a mirror; bits 4-7 read 1
        #expect $D3E0, $F5
        #expect $D02F, $FF              ; no register here
        #expect $D03F, $FF
        lda #$00
        sta $D016
        #expect $D016, $C0
        #expect $D018, $15              ; $14 from start-up, bit 0 reads 1
        #expect $D019, $70              ; no interrupt latched
        #expect $D01A, $F0              ; none enabled
        lda #$FF
        sta $D01E                       ; the collision registers take no write
        #expect $D01E, $00

        lda #$A5
        sta $D400
        #expect $D41D, $A5              ; write-only: the last byte written to the chip
        lda #$5A
        sta $D420                       ; a mirror of $D400
        #expect $D400, $5A
        #expect $D419, $FF              ; POTX with nothing attached
        #expect $D7F9, $FF              ; POTY, mirrored

        lda #$A0
        sta $3FFF                       ; the VIC's idle fetch in bank 0
        lda #$FE
        sta $D800
        #expect $D800, $AE              ; four bits kept, four from the bus
        lda #$03
        sta $DBFF
        #expect $D800, $AE              ; no mirror
        #expect $DE00, $A0              ; nothing here: the bus
        lda #$12
        sta $DF00                       ; does nothing
        #expect $DF00, $A0
        lda #$5B
        sta $39FF
        lda $D011
        ora #$40                        ; the extended colour mode
        sta $D011
        #expect $DE00, $5B
        and #$BF
        sta $D011
        lda #$77
        sta $7FFF
        lda $DD00
        and #$FC
        ora #$02                        ; the VIC's bank 1, $4000-$7FFF
        sta $DD00
        #expect $DE00, $77
        ora #$03
        sta $DD00

        lda #$33
        sta $DC14                       ; timer A's latch, through a mirror; stopped, so
        lda #$00                        ; the high byte's write loads the counter
        sta $DCF5
        #expect $DC04, $33
        lda #$3F
        sta $DD12                       ; CIA 2's direction register A, mirrored
        #expect $DD02, $3F
        #passed
