; tod: CIA 1's time of day on the 50 Hz pin (CRA bit 7 set: five pin periods a tenth):
; set going by a write of the tenths, read in BCD, latched by a read of the hours until
; the tenths are read, and its alarm, which raises its flag (bit 2) when the clock
; reaches it.
        .include "c64.inc"

cia     = ioCia1

*       = $C000
        #quietChips
        lda #$80                        ; 50 Hz
        sta cia + ciaControlA
        lda #0                          ; writes set the clock
        sta cia + ciaControlB
        lda #$11                        ; 11 AM: stops the clock
        sta cia + ciaTodHours
        lda #$59
        sta cia + ciaTodMinutes
        sta cia + ciaTodSeconds
        lda #$07
        sta cia + ciaTodTenths          ; starts it at 11:59:59.7
        lda #$80                        ; writes set the alarm: 12:00:00.1 PM
        sta cia + ciaControlB
        lda #$92
        sta cia + ciaTodHours
        lda #$00
        sta cia + ciaTodMinutes
        sta cia + ciaTodSeconds
        lda #$01
        sta cia + ciaTodTenths
        lda #$84                        ; the alarm's interrupt on (I stays set)
        sta cia + ciaInterruptControl
        bit cia + ciaInterruptControl
        lda cia + ciaTodHours           ; latches the time
        sta result
        #expect result, $11
        ldy #26                         ; about 0.52 s: past the alarm (0.4 s)
        jsr wait
        lda cia + ciaTodMinutes
        sta result
        #expect result, $59             ; still latched: the clock is past noon
        lda cia + ciaTodTenths          ; the read lets the latch go
        lda cia + ciaTodHours
        sta result
        #expect result, $92             ; 12 PM
        lda cia + ciaInterruptControl
        and #$04
        sta result
        #expect result, $04             ; the alarm at 12:00:00.1 came
        #passed

wait    #waitLong
