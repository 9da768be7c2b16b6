; cpu6510: checks decimal mode, the undocumented opcodes and the indirect jump's page
; wrap as the 6510 runs them, one numbered case after another. It writes 0 to the debug
; register when every case passes, else the number of the first case that failed. The
; documented processor fails case 1 already: it adds in binary with D set.
        .cpu "6502i"
        .include "kernal.inc"

caseNumber = $FB
cell      = $FC
pointerPage = $C400             ; JMP ($C4FF): the target's low byte at $C4FF, its high
jumpOnPass = $C600              ; byte at $C400 on the 6510 (a JMP to the pass), at $C500
jumpOnFail = $C700              ; where the pointer is carried (a JMP to the failure)

; Starts case \1.
case    .macro
        lda #\1
        sta caseNumber
        .endm

; Fails the case unless Z is set (after a compare).
check   .macro
        beq +
        jmp fail
+
        .endm

; Fails the case unless C is set.
checkCarry .macro
        bcs +
        jmp fail
+
        .endm

*       = $C000
        sei                     ; the frame's handler runs with D as the program left it
        #case 1                 ; ADC in decimal: 09 + 01 = 10
        sed
        clc
        lda #$09
        adc #$01
        cld
        cmp #$10
        #check

        #case 2                 ; SBC in decimal: 10 - 01 = 09
        sed
        sec
        lda #$10
        sbc #$01
        cld
        cmp #$09
        #check

        #case 3                 ; 99 + 01 = 00 with the carry out
        sed
        clc
        lda #$99
        adc #$01
        cld
        #checkCarry
        cmp #$00
        #check

        #case 4                 ; LAX loads A and X
        lda #$5A
        sta cell
        lda #0
        ldx #0
        lax cell
        cmp #$5A
        #check
        cpx #$5A
        #check

        #case 5                 ; SAX stores A AND X
        lda #$F0
        ldx #$3C
        sax cell
        lda cell
        cmp #$30
        #check

        #case 6                 ; DCP decrements, then compares
        lda #$11
        sta cell
        lda #$10
        dcp cell
        #check
        lda cell
        cmp #$10
        #check

        #case 7                 ; ISC increments, then subtracts
        lda #$0F
        sta cell
        sec
        lda #$20
        isc cell
        cmp #$10
        #check

        #case 8                 ; SLO shifts left, then ORs
        lda #$81
        sta cell
        lda #$01
        slo cell
        #checkCarry
        cmp #$03
        #check

        #case 9                 ; RLA, SRE and RRA
        lda #$80
        sta cell
        sec
        lda #$0F
        rla cell                ; cell = $01, A = $01
        cmp #$01
        #check
        lda #$03
        sta cell
        lda #$01
        sre cell                ; cell = $01, A = $00, C set
        #checkCarry
        #check
        lda #$03
        sta cell
        clc
        lda #$10
        rra cell                ; cell = $01 and C set, A = $10 + $01 + 1
        cmp #$12
        #check

        #case 10                ; the immediate combinations
        clc
        lda #$F0
        anc #$81                ; A = $80, C = N
        #checkCarry
        lda #$FF
        alr #$03                ; A = $01, C set
        #checkCarry
        cmp #$01
        #check
        sec
        lda #$FF
        arr #$C0                ; A = $E0
        cmp #$E0
        #check
        lda #$F0
        ldx #$3C
        sbx #$10                ; X = $30 - $10
        cpx #$20
        #check
        sec
        lda #$10
        .byte $EB, $01          ; USBC #$01
        cmp #$0F
        #check

        #case 11                ; NOPs with operands skip them ($E8 would be INX)
        ldx #0
        nop #$E8
        nop $E8
        nop $E8,x
        nop $E8E8
        nop $E8E8,x
        cpx #0
        #check

        #case 12                ; LXA's constant is $EE
        lda #0
        lxa #$FF
        cmp #$EE
        #check

        #case 13                ; JMP ($xxFF) takes its high byte from $xx00
        lda #$4C                ; JMP abs
        sta jumpOnPass
        sta jumpOnFail
        lda #<wrapped
        sta jumpOnPass + 1
        lda #>wrapped
        sta jumpOnPass + 2
        lda #<fail
        sta jumpOnFail + 1
        lda #>fail
        sta jumpOnFail + 2
        lda #0
        sta pointerPage + $FF
        lda #>jumpOnPass
        sta pointerPage
        lda #>jumpOnFail
        sta pointerPage + $100
        .byte $6C, $FF, >pointerPage ; JMP ($C4FF), which 64tass would refuse as a bug
wrapped
        lda #0
        sta debugExitRegister
forever jmp forever

fail    lda caseNumber
        sta debugExitRegister
        jmp forever
