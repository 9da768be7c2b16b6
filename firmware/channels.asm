; channels.asm: logical files, the input and output channels, the devices, the jiffy
; clock and the small entries that only keep or report a value. Included by kernal.asm.
;
; The machine has the keyboard (0), which never has a key down, the screen (3), through
; the editor, and the serial bus (4-31), where drives 8 to 11 answer when the emulator
; has them: each call for a device there is a request to the emulator (driveCall, below;
; firmware/README.md, "Drives"). Tape (1) and RS-232 (2) answer at once that they are not
; present; nothing ever waits for hardware.
;
; Errors come back with carry set and the error number in A (kernal.inc names them).

; Device not present: bit 7 of status set, carry set, A = 5. Keeps X and Y.
deviceNotPresent:
        lda status
        ora #statusDeviceNotPresent
        sta status
        lda #errorDeviceNotPresent
        sec
        rts

; Asks the emulator for drive request X (chips.inc names them drive...): it answers
; between this store and the next instruction, in A, X, Y, the carry and the status.
driveCall:
        stx driveRequest
        rts

; For a file on the serial bus (device A, slot X): its device and secondary address
; become the current ones ($BA, $B9) and the device is asked to take the role of request
; Y (driveTalk, driveListen). Carry clear and A = the device, or carry set and A = the
; error. Other devices: carry clear, A kept. Uses X.
serialRole:
        cmp #firstSerialDevice
        bcc serialRoleNone
        sta deviceNumber
        lda fileSecondaries,x
        sta secondaryAddress
        tya
        tax
        jsr driveCall
        bcs +
        lda deviceNumber
+       rts
serialRoleNone:
        clc
        rts

; Ends a routine begun with #keepXY with error A: carry set.
failWith:
        sec
        jmp leaveXY

; Looks up logical file A: carry clear and X = its slot when it is open, carry set when
; it is not. Uses X.
findFile:
        ldx openFiles
-       dex
        bmi +
        cmp fileNumbers,x
        bne -
        clc
        rts
+       sec
        rts

; OPEN, the default behind openVector: the file SETLFS named, on the keyboard, the screen
; or the serial bus, where the name goes to the device. Errors: file open, too many
; files, device not present (and then the file is not open). Keeps X and Y.
openRoutine:
        #keepXY
        lda #0
        sta status
        lda logicalFile
        jsr findFile
        bcs +
        lda #errorFileOpen
        jmp failWith
+       ldx openFiles
        cpx #maxOpenFiles
        bcc +
        lda #errorTooManyFiles
        jmp failWith
+       lda deviceNumber
        beq +
        cmp #deviceScreen
        beq +
        cmp #firstSerialDevice
        bcs +
        jsr deviceNotPresent
        jmp leaveXY
+       sta fileDevices,x
        lda logicalFile
        sta fileNumbers,x
        lda secondaryAddress
        sta fileSecondaries,x
        inc openFiles
        lda deviceNumber
        cmp #firstSerialDevice
        bcc +
        ldx #driveOpen
        jsr driveCall
        bcc +
        dec openFiles                   ; a device that is not there keeps no file
+       jmp leaveXY
+       clc
        jmp leaveXY

; CLOSE, the default behind closeVector: A = logical file, forgotten when it is open (the
; last slot moves into its place); a file on the serial bus is closed on its device
; first. Carry clear. Keeps X and Y.
closeRoutine:
        #keepXY
        jsr findFile
        bcs closeDone
        lda fileDevices,x
        cmp #firstSerialDevice
        bcc +
        sta deviceNumber
        lda fileSecondaries,x
        sta secondaryAddress
        txa
        pha
        ldx #driveClose
        jsr driveCall
        pla
        tax
+       ldy openFiles
        dey
        lda fileNumbers,y
        sta fileNumbers,x
        lda fileDevices,y
        sta fileDevices,x
        lda fileSecondaries,y
        sta fileSecondaries,x
        dec openFiles
closeDone:
        clc
        jmp leaveXY

; CHKIN, the default behind chkinVector: X = logical file; its device becomes the input
; (a device on the serial bus is asked to talk). Errors: file not open, device not
; present. Keeps X and Y.
chkinRoutine:
        #keepXY
        jsr deviceOfFile
        bcs +
        ldy #driveTalk
        jsr serialRole
        bcs +
        sta inputDevice
+       jmp leaveXY

; CHKOUT, the default behind chkoutVector: X = logical file; its device becomes the
; output (a device on the serial bus is asked to listen). Errors: file not open, not an
; output file (the keyboard), device not present. Keeps X and Y.
chkoutRoutine:
        #keepXY
        jsr deviceOfFile
        bcs chkoutDone
        cmp #deviceKeyboard
        bne +
        lda #errorNotOutputFile
        sec
        jmp leaveXY
+       ldy #driveListen
        jsr serialRole
        bcs chkoutDone
        sta outputDevice
chkoutDone:
        jmp leaveXY

; The device of logical file X: carry clear and A = the device when the file is open,
; carry set and A = file not open when it is not. Uses X.
deviceOfFile:
        txa
        jsr findFile
        bcc +
        lda #errorFileNotOpen
        rts
+       lda fileDevices,x
        rts

; CLRCHN, the default behind clrchnVector: a device on the serial bus that listens or
; talks stops; input from the keyboard, output to the screen. Uses A.
clrchnRoutine:
        txa
        pha
        lda outputDevice
        cmp #firstSerialDevice
        bcc +
        ldx #driveUnlisten
        jsr driveCall
+       lda inputDevice
        cmp #firstSerialDevice
        bcc +
        ldx #driveUntalk
        jsr driveCall
+       pla
        tax
        lda #deviceKeyboard
        sta inputDevice
        lda #deviceScreen
        sta outputDevice
        rts

; CLALL, the default behind clallVector: every logical file forgotten, then CLRCHN.
clallRoutine:
        lda #0
        sta openFiles
        jmp (clrchnVector)

; CHRIN, the default behind chrinVector: the next character from the input device. The
; keyboard gives what is waiting in the buffer, else RETURN at once, as a line typed
; with no key pressed; a device on the serial bus its next byte, with the status's EOI
; on the last. Keeps X and Y.
chrinRoutine:
        lda inputDevice
        bne otherInput
        lda keyCount
        bne keyboardGet
        lda #petsciiReturn
        clc
        rts
otherInput:
        cmp #deviceScreen
        beq +
        cmp #firstSerialDevice
        bcs serialInput
        jmp deviceNotPresent
+       jmp screenInput
serialInput:
        #keepXY
        ldx #driveReceive
        jsr driveCall
        clc
        jmp leaveXY

; GETIN, the default behind getinVector: the next character from the keyboard buffer, 0
; at once when it is empty; the screen and the serial bus as CHRIN. Keeps X and Y.
getinRoutine:
        lda inputDevice
        bne otherInput
        ; falls through

; The first character of the keyboard buffer (0 when it is empty), the rest moved up.
; Carry clear; keeps X and Y.
keyboardGet:
        lda keyCount
        beq keyboardEmpty
        #keepXY
        php
        sei                             ; a program's interrupt may add keys meanwhile
        lda keyCount                    ; never more than the buffer holds
        cmp #keyBufferLength + 1
        bcc +
        lda #keyBufferLength
+       sta keyCount
        dec keyCount
        ldy keyBuffer
        ldx #0
-       cpx keyCount
        bcs +
        lda keyBuffer + 1,x
        sta keyBuffer,x
        inx
        bne -
+       plp
        tya
        clc
        jmp leaveXY
keyboardEmpty:
        clc
        rts

; CHROUT, the default behind chroutVector: A to the output device. Keeps A, X and Y on
; the screen and the serial bus.
chroutRoutine:
        pha
        lda outputDevice
        cmp #deviceScreen
        bne +
        pla
        jmp screenOutput
+       cmp #firstSerialDevice
        pla
        bcs +
        jmp deviceNotPresent
+       #keepXY
        ldx #driveSend
        jsr driveCall
        clc
        jmp leaveXY

; STOP, the default behind stopVector: Z set when stopFlag reads $7F (STOP down); then
; the channels are reset and the keyboard buffer emptied as well. The machine has no
; STOP key, so stopFlag changes only when a program stores into it. Keeps X and Y.
stopRoutine:
        lda stopFlag
        cmp #$7F
        bne +
        php
        jsr clrchnRoutine
        lda #0
        sta keyCount
        plp
+       rts

; LOAD: X/Y kept as the address to load to, then on through loadVector.
loadEntry:
        stx loadStart
        sty loadStart + 1
        jmp (loadVector)

; SAVE: X/Y kept as the end address and the start copied from the zero-page pointer A,
; then on through saveVector.
saveEntry:
        stx loadEnd
        sty loadEnd + 1
        tay
        lda $0000,y
        sta saveStart
        lda $0001,y
        sta saveStart + 1
        ldy loadEnd + 1
        jmp (saveVector)

; LOAD and SAVE, the defaults behind loadVector and saveVector: neither the keyboard
; nor the screen holds files (illegal device), tape and RS-232 are not present, and the
; serial bus's devices are the emulator's to serve (driveLoad, driveSave).
loadRoutine:
        sta verifyFlag
        ldx #driveLoad
        bne fileTransfer
saveRoutine:
        ldx #driveSave
fileTransfer:
        lda #0
        sta status
        lda deviceNumber
        beq +
        cmp #deviceScreen
        beq +
        cmp #firstSerialDevice
        bcc ++
        jmp driveCall
+       lda #errorIllegalDevice
        sec
        rts
+       jmp deviceNotPresent

; The spare vector's default: nothing to do.
userRoutine:
        rts

; RESTOR: the RAM vectors to the firmware's handlers, with interrupts off. Keeps X and Y.
restorRoutine:
        php
        sei
        txa
        pha
        ldx #vectorCount * 2 - 1
-       lda defaultVectors,x
        sta irqVector,x
        dex
        bpl -
        pla
        tax
        plp
        rts

; VECTOR: X/Y = a table of 32 bytes; carry set copies the RAM vectors into it, carry
; clear copies it into the RAM vectors. With interrupts off; keeps X and Y.
vectorRoutine:
        php
        sei
        stx vectorPointer
        sty vectorPointer + 1
        ldy #vectorCount * 2 - 1
        bcc vectorsFromTable
-       lda irqVector,y
        sta (vectorPointer),y
        dey
        bpl -
        bmi vectorsDone
vectorsFromTable:
-       lda (vectorPointer),y
        sta irqVector,y
        dey
        bpl -
vectorsDone:
        ldy vectorPointer + 1
        plp
        rts

; SETTIM: the jiffy clock from A (low), X, Y (high). RDTIM: the clock into A, X, Y.
settimRoutine:
        php
        sei
        sta jiffyLow
        stx jiffyClock + 1
        sty jiffyClock
        plp
        rts

rdtimRoutine:
        php
        sei
        lda jiffyLow
        ldx jiffyClock + 1
        ldy jiffyClock
        plp
        rts

; MEMTOP and MEMBOT: carry set reads the bound into X/Y, carry clear sets it from X/Y.
memtopRoutine:
        bcc +
        ldx memoryTop
        ldy memoryTop + 1
        rts
+       stx memoryTop
        sty memoryTop + 1
        rts

membotRoutine:
        bcc +
        ldx memoryBottom
        ldy memoryBottom + 1
        rts
+       stx memoryBottom
        sty memoryBottom + 1
        rts

; IOBASE: X/Y = the address of the keyboard interface.
iobaseRoutine:
        ldx #<keyColumnSelect
        ldy #>keyColumnSelect
        rts

; READST: A = status, with N and Z from it.
readstRoutine:
        lda status
        rts

; SETMSG: A kept as the message flags; the firmware prints no messages.
setmsgRoutine:
        sta messageFlags
        rts

; SETTMO: A kept as the serial timeout flag; there is no serial bus.
settmoRoutine:
        sta serialTimeout
        rts

; SETLFS: A = logical file, X = device, Y = secondary address.
setlfsRoutine:
        sta logicalFile
        stx deviceNumber
        sty secondaryAddress
        rts

; SETNAM: A = length of the name, X/Y = its address.
setnamRoutine:
        sta fileNameLength
        stx fileName
        sty fileName + 1
        rts
