; raster: the VIC's raster counter and its compare interrupt. $D012 reaches a line and
; bit 7 of $D011 shows the ninth bit on the lines past 255; the compare latches bit 0 of
; $D019 at its line whether or not it is enabled (the KERNAL's PAL test: compare with the
; last PAL line, wait for line 0, look at the latch); a write that makes the current line
; the compare line latches at once, and once only in that line; the raster interrupt
; comes on its line, and again each frame once acknowledged by writing 1s. Assembled with
; PAL = 0 for --video ntsc, whose frame never reaches line 311.
        .include "c64.inc"

        .weak
PAL     = 1
        .endweak
vic     = ioVic
count   = saved + 1

*       = $C000
        #expect videoStandard, PAL      ; the firmware's start-up told the standards apart
        #quietChips
        #ramVectors
        #setVector $FFFE, handler
        lda #0                          ; no VIC interrupt yet, nothing latched
        sta vic + vicInterruptEnable
        lda #$FF
        sta vic + vicInterruptLatch

        ; $D012 reaches line $80 and then $81; $D011 bit 7 is clear there.
        lda #$80
-       cmp vic + vicRaster
        bne -
        lda vic + vicControl1
        and #$80
        sta result
        #expect result, $00
        lda #$81
-       cmp vic + vicRaster
        bne -

        ; Line 256 + 4: bit 7 of $D011 set.
-       lda vic + vicControl1
        bpl -
        lda #4
-       cmp vic + vicRaster
        bne -
        lda vic + vicControl1
        and #$80
        sta result
        #expect result, $80

        ; The PAL test: compare with line 311 (ninth bit in $D011 bit 7), disabled; once
        ; line 0 has come, bit 0 of $D019 tells whether the frame reached it.
        lda vic + vicControl1
        ora #$80
        sta vic + vicControl1
        lda #<311
        sta vic + vicRaster
        lda #$FF
        sta vic + vicInterruptLatch
-       lda vic + vicControl1           ; wait for a line below 256, then one past 255,
        bmi -                           ; then for line 0
-       lda vic + vicControl1
        bpl -
-       lda vic + vicControl1
        bmi -
        lda vic + vicInterruptLatch
        sta result
        #expect result, $70 | PAL       ; latched on PAL, not enabled: bit 7 clear

        ; A write of the current line latches at once, and once in the line.
        lda vic + vicControl1
        and #$7F
        sta vic + vicControl1
        lda #$90
-       cmp vic + vicRaster
        bne -
        ldx #$FF
        stx vic + vicInterruptLatch
        sta vic + vicRaster             ; the current line
        lda vic + vicInterruptLatch
        sta result
        stx vic + vicInterruptLatch
        lda #$90
        sta vic + vicRaster             ; again, in the same line
        lda vic + vicInterruptLatch
        sta saved
        #expect result, $71
        #expect saved, $70

        ; The interrupt on line $40 of three frames: the handler sees its line.
        lda #0
        sta count
        lda #$40
        sta vic + vicRaster
        lda #$FF
        sta vic + vicInterruptLatch
        lda #$01
        sta vic + vicInterruptEnable
        cli
-       lda count
        cmp #3
        bne -
        sei
        #expect saved, $40
        lda vic + vicInterruptEnable
        sta result
        #expect result, $F1
        #passed

handler pha
        lda vic + vicRaster
        sta saved
        inc count
        lda #$FF
        sta vic + vicInterruptLatch
        pla
        rti
