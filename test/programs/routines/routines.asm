; routines: small routines for breadbin-run's routine tests, with the cycles of each call
; worked out by hand (a call counts its JSR, 6, and its final RTS, 6).
        .include "kernal.inc"

num1    = $fb

*       = $c000
; add8: A = A + num1+ C; result = A, result+1 = the carry out.
; 6 + ADC zp 3 + STA 4 + LDA # 2 + ROL A 2 + STA 4 + LDA abs 4 + 6 = 31
add8    adc num1
        sta result
        lda #0
        rol a
        sta result+1
        lda result
        rts

; fill: the X bytes (1-255) at buffer get A, from the end down.
; 6 + X * (DEX 2 + STA abs,X 5 + BNE 3) - 1 (the last BNE falls through) + 6 = 11 + 10 X
fill    dex
        sta buffer,x
        bne fill
        rts

; readkey: A = the byte getkey returns, plus one.
; 6 + JSR 6 + getkey (LDA # 2 + RTS 6) + CLC 2 + ADC # 2 + 6 = 30; 28 with getkey mocked
readkey jsr getkey
        clc
        adc #1
        rts

; twokeys: A = the sum of two calls of getkey.
twokeys jsr getkey
        sta num1
        jsr getkey
        clc
        adc num1
        rts

getkey  lda #0
        rts

; trash: fills the page of table with $FF.
trash   ldx #0
        lda #$ff
-       sta table,x
        inx
        bne -
        rts

; pushes: keeps A on the stack for a moment.
pushes  pha
        pla
        rts

; outside: writes a byte at $C300, then to result.
outside sta $c300
        sta result
        rts

; spin: never returns.
spin    jmp spin

; crash: BRK.
crash   nop
        brk
        rts

; waitframe: returns once a frame's interrupt has come: the interrupt entry pushes the
; return address's high byte over the 0 this leaves at the top of the stack.
waitframe tsx
        lda #0
        sta $0100,x
-       lda $0100,x
        beq -
        rts

; main: a whole program that reports a pass through the debug register.
main    lda #$2a
        sta result
        lda #0
        sta debugExitRegister
-       jmp -

; failing: a program that reports failure 5.
failing lda #5
        sta debugExitRegister
-       jmp -

; ciatimer: A = what CIA 1's timer A counted between two reads of its low byte, 6 cycles
; apart (SEC 2, then SBC absolute reads in its last cycle): 6 on the C64, where the
; timer counts; 0 on the minimal machine, where $DC04 is memory. The timer is restarted
; from $FFFF first, so that no underflow comes between the reads.
; 6 + 3 * LDA # 2 + 4 * STA abs 4 + LDA abs 4 + SEC 2 + SBC abs 4 + 6 = 44
ciatimer lda #0
        sta $dc0e
        lda #$ff
        sta $dc04
        sta $dc05
        lda #$11
        sta $dc0e
        lda $dc04
        sec
        sbc $dc04
        rts

; typedkey: A = the first key the firmware's scan puts in the keyboard buffer (GETIN).
typedkey jsr GETIN
        beq typedkey
        rts

; joystick2: A = CIA 1's port A with no column selected: joystick 2's lines, 0 = held.
joystick2 lda $dc00
        rts

; sidvolume: the SID's volume to 15, its voice 1 control to $21.
sidvolume lda #$0f
        sta $d418
        lda #$21
        sta $d404
        rts

result  .byte 0, 0
buffer  .fill 16, 0

*       = $c200
table   .byte 1, 2, 3, 4
