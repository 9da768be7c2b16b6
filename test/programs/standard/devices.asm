; devices: the devices the machine does not have answer at once with "device not
; present" (carry set, A = 5, bit 7 of the status): OPEN and LOAD on the disk (8),
; tape (1) and RS-232 (2), SAVE, and every serial-bus entry. LOAD from the keyboard or
; the screen is an illegal device.
        .include "check.inc"

got     = freeArea

; Calls `routine` with device `device` set up, and expects device not present.
absent  .segment routine, device
        lda #0
        sta status
        lda #0
        jsr SETNAM
        lda #1
        ldx #\device
        ldy #0
        jsr SETLFS
        lda #0
        ldx #<$C800
        ldy #>$C800
        jsr \routine
        #expectCarrySet
        sta got
        #expect got, errorDeviceNotPresent
        jsr READST
        sta got
        #expect got, statusDeviceNotPresent
        .endsegment

; Calls serial-bus entry `routine` and expects device not present.
serial  .segment routine
        lda #deviceDisk
        jsr \routine
        #expectCarrySet
        sta got
        #expect got, errorDeviceNotPresent
        .endsegment

*       = $C000
        #absent OPEN, deviceDisk
        #absent OPEN, deviceTape
        #absent OPEN, deviceRs232
        #expect openFiles, 0
        #absent LOAD, deviceDisk
        #absent LOAD, deviceTape
        lda #freeZeroPage               ; SAVE from $C000 to $C100
        sta saveFrom
        lda #<$C000
        sta freeZeroPage
        lda #>$C000
        sta freeZeroPage + 1
        #absent saveFromPointer, deviceDisk
        #absent saveFromPointer, deviceTape
        #serial LISTEN
        #serial TALK
        #serial SECOND
        #serial TKSA
        #serial CIOUT
        #serial ACPTR
        #serial UNLSN
        #serial UNTLK
        lda #1
        ldx #deviceScreen
        ldy #0
        jsr SETLFS
        lda #0
        jsr LOAD
        #expectCarrySet
        sta got
        #expect got, errorIllegalDevice
        #expect $C800, 0                ; nothing was loaded
        #passed

; SAVE with the start pointer in zero page and X/Y = the end.
saveFromPointer:
        lda saveFrom
        ldx #<$C100
        ldy #>$C100
        jmp SAVE
saveFrom .byte 0
