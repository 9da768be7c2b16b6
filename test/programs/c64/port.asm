; port: the 6510's port at $00/$01 on the C64. After start-up the direction reads $2F and
; the port $37 (outputs as set, bit 4 the cassette sense pulled up, bits 6 and 7 never
; driven). Bits 6 and 7, which have no pin, keep what they were last driven with for a
; while after they become inputs, then read 0; bits 3 and 5 read 0 as inputs. The PLA
; banks as the port's bits say; a write under a ROM or under I/O lands in RAM only
; while RAM is mapped there.
        .include "c64.inc"

*       = $C000
        #quietChips
        #expect $00, $2F
        #expect $01, $37
        lda #$FF                        ; every bit an output
        sta $00
        lda #$F7                        ; bits 6 and 7 driven high
        sta $01
        #expect $01, $F7
        lda #$2F                        ; bits 6 and 7 inputs again: they keep the charge
        sta $00
        #expect $01, $F7
        ldy #15                         ; about 0.30 s: still there
        jsr wait
        #expect $01, $F7
        ldy #5                          ; about 0.40 s in all: gone
        jsr wait
        #expect $01, $37
        lda #$07                        ; bits 3 and 5 inputs too
        sta $00
        lda #$FF
        sta $01
        #expect $01, $17
        lda #$2F
        sta $00
        lda #$37
        sta $01

        ; $D000: RAM with LORAM and HIRAM clear, I/O with CHAREN, the glyphs without.
        lda #$34                        ; RAM everywhere
        sta $01
        lda #$42
        sta $D020                       ; into RAM
        lda #$35                        ; I/O
        sta $01
        lda #$0E
        sta $D020                       ; into the VIC, not RAM
        #expect $D020, $FE              ; the border's unused bits read 1
        lda #$34
        sta $01
        #expect $D020, $42              ; the RAM beneath kept its byte
        lda #$33                        ; LORAM and HIRAM, CHAREN clear: the glyphs
        sta $01
        lda $D000
        sta saved                       ; the character ROM's first byte
        eor #$FF
        sta saved + 1
        ldx #$34
        stx $01
        sta $D000                       ; RAM beneath: its complement
        ldx #$31                        ; LORAM alone, CHAREN clear: the glyphs
        stx $01
        lda $D000
        ldx #$37
        stx $01
        sta result
        #expectSame result, saved
        lda #$30                        ; neither LORAM nor HIRAM: RAM, whatever CHAREN
        sta $01
        lda $D000
        ldx #$37
        stx $01
        sta result
        #expectSame result, saved + 1

        ; $A000: BASIC only with LORAM and HIRAM both set; writes always go to RAM.
        lda $A000
        sta saved                       ; BASIC's first byte
        eor #$FF
        sta saved + 1
        sta $A000                       ; RAM beneath: its complement
        ldx #$36                        ; HIRAM alone: RAM
        stx $01
        lda $A000
        sta result
        #expectSame result, saved + 1
        ldx #$35                        ; LORAM alone: RAM
        stx $01
        lda $A000
        sta result
        #expectSame result, saved + 1
        ldx #$37
        stx $01
        lda $A000
        sta result
        #expectSame result, saved
        #passed

wait    #waitLong

