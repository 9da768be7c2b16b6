; cpu_selfcheck: a 6502 program that checks the processor it runs on.
;
; It runs numbered cases one after the other. Each case sets up registers and memory,
; runs the instructions under test and checks registers, flags and memory. The first
; check that fails stops the run: the case number and a pointer to its zero-terminated
; name stay in the header, the verdict becomes "F", and the program loops at `finished`.
; When every case has passed the verdict becomes "P".
;
; It runs from RAM alone: it sets ram[$01] to $04 (RAM everywhere) and puts its own BRK
; vector at $FFFE. It uses page zero from $10 up, pages $02-$0F as scratch, and the
; stack.
;
; Built with -D INVERT=1, the checks of one case (`inverted_case`) are turned round, so
; that the run must fail exactly there: this proves that a failure is seen and reported.

        .enc "ascii"
        .cdef " ~", 32

        .weak
INVERT = 0
        .endweak

; ---- flags
fN = $80
fV = $40
fB = $10
fD = $08
fI = $04
fZ = $02
fC = $01
NVZC = fN | fV | fZ | fC
ALLFLAGS = fN | fV | fD | fI | fZ | fC

PORT = $01
ALL_RAM = $04
IRQ_VECTOR = $fffe

; ---- scratch variables
brk_expected = $0200        ; non-zero while a case means to run BRK
brk_a = $0201
brk_x = $0202
brk_p_inside = $0203        ; P as the handler found it
brk_pushed_p = $0204        ; the status byte BRK pushed
brk_pushed_pc = $0205       ; and the address it pushed (2 bytes)
frame_low = $0207
frame_high = $0208
frame_s = $0209
inline_value = $020a

; ---- the cells of the read modes, with X = 4 and Y = 8
X_INDEX = 4
Y_INDEX = 8
ZP = $20
ZPX_BASE = $2c              ; + X_INDEX = $30
ABS = $0340
ABX_BASE = $03fe            ; + X_INDEX = $0402, across a page
ABY_BASE = $04fc            ; + Y_INDEX = $0504, across a page
IZX_BASE = $40              ; + X_INDEX = $44, where the pointer to IZX_CELL lies
IZX_CELL = $0370
IZX_DECOY = $0378           ; where the pointer at IZX_BASE itself leads
IZY_PTR = $48               ; holds IZY_BASE
IZY_BASE = $06fa            ; + Y_INDEX = $0702, across a page

        * = $1000
; ---- header: what the harness reads
        jmp main                ; $1000
        .word finished          ; $1003 the end loop
verdict .byte 0                 ; $1005 0 while running, "P" passed, "F" failed
current_case .word 0            ; $1006 number of the running (or failed) case
current_name .word 0            ; $1008 its name, zero-terminated
cases_run .word 0               ; $100a cases started
        .word case_total        ; $100c cases in the program
        .word inverted_case     ; $100e the case whose checks -D INVERT=1 turns round
failed_check .word 0            ; $1010 where the failing check's call to `fail` lies

case_no := 0
inverting := 0

; ---- checks. Each keeps A, X, Y and P as they were, so they can follow one another.

; Goes on when Z is set; otherwise the case fails. Turned round in the inverted case.
ok_if_eq .macro
        .if inverting != 0
        bne +
        .else
        beq +
        .endif
        jsr fail
+
        .endm

a_is    .macro value
        php
        cmp #\value
        #ok_if_eq
        plp
        .endm

x_is    .macro value
        php
        cpx #\value
        #ok_if_eq
        plp
        .endm

y_is    .macro value
        php
        cpy #\value
        #ok_if_eq
        plp
        .endm

; The flags of `mask` in P must equal `value`.
flags_are .macro mask, value
        php
        pha
        php
        pla
        and #\mask
        cmp #\value
        #ok_if_eq
        pla
        plp
        .endm

mem_is  .macro address, value
        php
        pha
        lda \address
        cmp #\value
        #ok_if_eq
        pla
        plp
        .endm

; The bits of `mask` in the cell must equal `value`.
masked_mem_is .macro address, mask, value
        php
        pha
        lda \address
        and #\mask
        cmp #\value
        #ok_if_eq
        pla
        plp
        .endm

; S must equal `value`.
s_is    .macro value
        php
        pha
        txa
        pha
        tsx
        cpx #(\value - 3) & $ff
        #ok_if_eq
        pla
        tax
        pla
        plp
        .endm

; ---- setting up

; Starts the next case: records its number and name for the report.
case    .macro name
case_no ::= case_no + 1
inverting ::= 0
        lda #<case_no
        sta current_case
        lda #>case_no
        sta current_case+1
        lda #<text
        sta current_name
        lda #>text
        sta current_name+1
        inc cases_run
        bne +
        inc cases_run+1
+       jmp start
text    .null \name
start
        .endm

; P = value exactly (B and bit 5 aside). Changes A.
set_p   .macro value
        lda #\value
        pha
        plp
        .endm

; A = a, P = p.
with    .macro areg, preg
        lda #\preg
        pha
        lda #\areg
        plp
        .endm

; Puts `m` in the cell of every read mode and its complement wherever a wrong index,
; a missing carry or a wrong pointer would lead; X = 4, Y = 8.
operands .macro m
        ldx #X_INDEX
        ldy #Y_INDEX
        lda #\m ^ $ff
        sta ZPX_BASE
        sta ZPX_BASE+Y_INDEX
        sta ABX_BASE
        sta ABX_BASE+X_INDEX-$100
        sta ABX_BASE+Y_INDEX
        sta ABY_BASE
        sta ABY_BASE+Y_INDEX-$100
        sta ABY_BASE+X_INDEX
        sta IZY_BASE
        sta IZY_BASE+Y_INDEX-$100
        sta IZY_BASE+X_INDEX
        sta IZX_DECOY
        lda #<IZX_DECOY
        sta IZX_BASE
        lda #>IZX_DECOY
        sta IZX_BASE+1
        lda #<IZX_CELL
        sta IZX_BASE+X_INDEX
        lda #>IZX_CELL
        sta IZX_BASE+X_INDEX+1
        lda #<IZY_BASE
        sta IZY_PTR
        lda #>IZY_BASE
        sta IZY_PTR+1
        lda #\m
        sta ZP
        sta ZPX_BASE+X_INDEX
        sta ABS
        sta ABX_BASE+X_INDEX
        sta ABY_BASE+Y_INDEX
        sta IZX_CELL
        sta IZY_BASE+Y_INDEX
        .endm

; Runs `op` on `m` in all eight read modes, each time from A = a_in and P = p_in, and
; checks A = a_out and the flags of `mask` = p_out afterwards.
each_read_mode .macro op, m, a_in, p_in, a_out, mask, p_out
        #operands \m
        #with \a_in, \p_in
        \op #\m
        #flags_are \mask, \p_out
        #a_is \a_out
        #with \a_in, \p_in
        \op ZP
        #flags_are \mask, \p_out
        #a_is \a_out
        #with \a_in, \p_in
        \op ZPX_BASE,x
        #flags_are \mask, \p_out
        #a_is \a_out
        #with \a_in, \p_in
        \op ABS
        #flags_are \mask, \p_out
        #a_is \a_out
        #with \a_in, \p_in
        \op ABX_BASE,x
        #flags_are \mask, \p_out
        #a_is \a_out
        #with \a_in, \p_in
        \op ABY_BASE,y
        #flags_are \mask, \p_out
        #a_is \a_out
        #with \a_in, \p_in
        \op (IZX_BASE,x)
        #flags_are \mask, \p_out
        #a_is \a_out
        #with \a_in, \p_in
        \op (IZY_PTR),y
        #flags_are \mask, \p_out
        #a_is \a_out
        .endm

; Runs the read-modify-write `op` on `m` in its four memory modes, from P = p_in, and
; checks the cell = m_out and the flags N V Z C = p_out afterwards.
each_rmw_mode .macro op, m, p_in, m_out, p_out
        ldx #X_INDEX
        lda #\m
        sta ZP
        sta ZPX_BASE+X_INDEX
        sta ABS
        sta ABX_BASE+X_INDEX
        #set_p \p_in
        \op ZP
        #flags_are NVZC, \p_out
        #mem_is ZP, \m_out
        #set_p \p_in
        \op ZPX_BASE,x
        #flags_are NVZC, \p_out
        #mem_is ZPX_BASE+X_INDEX, \m_out
        #set_p \p_in
        \op ABS
        #flags_are NVZC, \p_out
        #mem_is ABS, \m_out
        #set_p \p_in
        \op ABX_BASE,x
        #flags_are NVZC, \p_out
        #mem_is ABX_BASE+X_INDEX, \m_out
        .endm

; One ADC or SBC from A = a and carry c: A = r and N V Z C = p afterwards.
arith   .macro op, a_in, m, c_in, r, p_out
        #with \a_in, \c_in
        \op #\m
        #flags_are NVZC, \p_out
        #a_is \r
        .endm

branch_taken .macro op, p
        #set_p \p
        \op +
        jsr fail
+
        .endm

branch_not_taken .macro op, p
        #set_p \p
        \op +
        jmp ++
+       jsr fail
+
        .endm

; ---- the run

main    lda #ALL_RAM
        sta PORT
        ldx #$ff
        txs
        cld
        lda #<on_brk
        sta IRQ_VECTOR
        lda #>on_brk
        sta IRQ_VECTOR+1
        lda #0
        sta brk_expected

; ---- loads

        #case "LDA immediate sets N and clears Z"
        #set_p fZ
        lda #$80
        #flags_are fN | fZ, fN
        #a_is $80

        #case "LDA immediate of zero sets Z and clears N"
        #set_p fN
        lda #0
        #flags_are fN | fZ, fZ
        #a_is 0

        #case "LDA reads every mode"
        #each_read_mode lda, $c3, $00, fZ, $c3, NVZC, fN

        #case "LDA zero page,X wraps inside page zero"
        lda #$11
        sta $10
        lda #$22
        sta $0110
        ldx #$20
        lda $f0,x
        #a_is $11

        #case "LDA absolute,Y wraps past $FFFF"
        lda #$44
        sta $10
        ldy #$20
        lda $fff0,y
        #a_is $44

        #case "LDA (zp,X) reads its pointer inside page zero"
        lda #<$0320             ; the pointer at $10
        sta $10
        lda #>$0320
        sta $11
        lda #<$0330             ; and one at $0110 that must not be used
        sta $0110
        lda #>$0330
        sta $0111
        lda #$55
        sta $0320
        lda #$66
        sta $0330
        ldx #$20
        lda ($f0,x)
        #a_is $55

        #case "LDA (zp),Y with the pointer at $FF takes its high byte from $00"
inverted_case = case_no
inverting := INVERT
        lda #$30                ; low byte at $FF
        sta $ff
        lda #$03                ; high byte at $00
        sta $00
        lda #$04                ; and at $0100, which must not be used
        sta $0100
        lda #$77
        sta $0335
        lda #$88
        sta $0435
        ldy #$05
        lda ($ff),y
        #a_is $77

        #case "LDX reads immediate, zero page, absolute and their Y forms"
        lda #$91
        sta $20
        sta $34
        sta $0340
        sta $0348
        lda #0
        sta $2c
        sta $30
        ldy #Y_INDEX
        ldx #$00
        #flags_are fN | fZ, fZ
        ldx $20
        #flags_are fN | fZ, fN
        #x_is $91
        ldx #0
        ldx $2c,y
        #x_is $91
        ldx #0
        ldx $0340
        #x_is $91
        ldx #0
        ldx $0340,y
        #x_is $91

        #case "LDX zero page,Y wraps inside page zero"
        lda #$31
        sta $10
        lda #$32
        sta $0110
        ldy #$20
        ldx $f0,y
        #x_is $31

        #case "LDY reads immediate, zero page, absolute and their X forms"
        lda #$92
        sta $20
        sta $30
        sta $0340
        sta $0344
        ldx #X_INDEX
        ldy #$00
        #flags_are fN | fZ, fZ
        ldy $20
        #flags_are fN | fZ, fN
        #y_is $92
        ldy #0
        ldy $2c,x
        #y_is $92
        ldy #0
        ldy $0340
        #y_is $92
        ldy #0
        ldy $0340,x
        #y_is $92

; ---- stores

        #case "STA writes every mode and changes no flag"
        #operands $00
        #with $00, ALLFLAGS
        sta ZP
        sta ZPX_BASE,x
        sta ABS
        sta ABX_BASE,x
        sta ABY_BASE,y
        sta (IZX_BASE,x)
        sta (IZY_PTR),y
        #flags_are ALLFLAGS, ALLFLAGS
        #set_p 0
        lda #$5a
        sta ZP
        sta ZPX_BASE,x
        sta ABS
        sta ABX_BASE,x
        sta ABY_BASE,y
        sta (IZX_BASE,x)
        sta (IZY_PTR),y
        #flags_are ALLFLAGS, 0
        #mem_is ZP, $5a
        #mem_is ZPX_BASE+X_INDEX, $5a
        #mem_is ABS, $5a
        #mem_is ABX_BASE+X_INDEX, $5a
        #mem_is ABY_BASE+Y_INDEX, $5a
        #mem_is IZX_CELL, $5a
        #mem_is IZY_BASE+Y_INDEX, $5a
        #mem_is ZPX_BASE, $ff
        #mem_is ABX_BASE+X_INDEX-$100, $ff
        #mem_is IZX_DECOY, $ff

        #case "STA absolute,Y wraps past $FFFF"
        lda #0
        sta $10
        lda #$3c
        ldy #$20
        sta $fff0,y
        #mem_is $10, $3c

        #case "STA (zp,X) and (zp),Y wrap their pointers inside page zero"
        lda #<$0320
        sta $10
        lda #>$0320
        sta $11
        lda #$30
        sta $ff
        lda #$03
        sta $00
        lda #0
        sta $0320
        sta $0335
        ldx #$20
        ldy #$05
        lda #$61
        sta ($f0,x)
        lda #$62
        sta ($ff),y
        #mem_is $0320, $61
        #mem_is $0335, $62

        #case "STX and STY write zero page, absolute and indexed zero page"
        ldx #$a1
        ldy #$b2
        stx $20
        sty $21
        stx $0340
        sty $0341
        ldx #$f0
        ldy #$20
        stx $f2,y               ; wraps to $12
        sty $f3,x               ; wraps to $e3
        #mem_is $20, $a1
        #mem_is $21, $b2
        #mem_is $0340, $a1
        #mem_is $0341, $b2
        #mem_is $12, $f0
        #mem_is $e3, $20

; ---- arithmetic

        #case "ADC $FF + $01 carries out to zero"
        #arith adc, $ff, $01, 0, $00, fZ | fC

        #case "ADC $50 + $50 overflows"
        #arith adc, $50, $50, 0, $a0, fN | fV

        #case "ADC $7F + $01 overflows"
        #arith adc, $7f, $01, 0, $80, fN | fV

        #case "ADC $80 + $FF carries and overflows"
        #arith adc, $80, $ff, 0, $7f, fV | fC

        #case "ADC adds the carry"
        #arith adc, $01, $01, fC, $03, 0

        #case "ADC ignores the decimal flag"
        #arith adc, $09, $01, fD, $0a, 0
        #arith adc, $99, $01, fD, $9a, fN
        cld

        #case "ADC reads every mode"
        #each_read_mode adc, $50, $50, fC, $a1, NVZC, fN | fV

        #case "SBC $05 - $03"
        #arith sbc, $05, $03, fC, $02, fC

        #case "SBC $03 - $05 borrows"
        #arith sbc, $03, $05, fC, $fe, fN

        #case "SBC $00 - $00 with a borrow in"
        #arith sbc, $00, $00, 0, $ff, fN

        #case "SBC $7F - $FF overflows"
        #arith sbc, $7f, $ff, fC, $80, fN | fV

        #case "SBC $80 - $01 overflows"
        #arith sbc, $80, $01, fC, $7f, fV | fC

        #case "SBC of equal values sets Z and C"
        #arith sbc, $42, $42, fC, $00, fZ | fC

        #case "SBC $80 - $00 with a borrow in overflows"
        #arith sbc, $80, $00, 0, $7f, fV | fC

        #case "SBC ignores the decimal flag"
        #arith sbc, $10, $01, fD | fC, $0f, fC
        cld

        #case "SBC reads every mode"
        #each_read_mode sbc, $01, $00, fC, $ff, NVZC, fN

; ---- logic

        #case "AND, ORA and EOR set N and Z"
        #with $f0, fN
        and #$0f
        #flags_are fN | fZ, fZ
        #a_is 0
        #with $01, fZ
        ora #$80
        #flags_are fN | fZ, fN
        #a_is $81
        #with $ff, 0
        eor #$ff
        #flags_are fN | fZ, fZ
        #a_is 0

        #case "AND reads every mode"
        #each_read_mode and, $3c, $f0, fC | fV, $30, NVZC, fC | fV

        #case "ORA reads every mode"
        #each_read_mode ora, $81, $02, fZ, $83, NVZC, fN

        #case "EOR reads every mode"
        #each_read_mode eor, $ff, $ff, fN, $00, NVZC, fZ

; ---- compares and BIT

        #case "CMP sets Z and C when equal"
        #with $10, fN | fV
        cmp #$10
        #flags_are NVZC, fV | fZ | fC
        #a_is $10

        #case "CMP below sets N from the difference"
        #with $10, fC | fZ
        cmp #$20
        #flags_are NVZC, fN

        #case "CMP is unsigned"
        #with $01, 0
        cmp #$ff
        #flags_are NVZC, 0

        #case "CMP reads every mode"
        #each_read_mode cmp, $40, $c0, 0, $c0, NVZC, fN | fC

        #case "CPX and CPY compare immediate, zero page and absolute"
        lda #$90
        sta $20
        sta $0340
        ldx #$90
        ldy #$00
        #set_p 0
        cpx #$90
        #flags_are NVZC, fZ | fC
        cpx $20
        #flags_are NVZC, fZ | fC
        cpx $0340
        #flags_are NVZC, fZ | fC
        cpy #$ff
        #flags_are NVZC, 0
        cpy $20
        #flags_are NVZC, 0
        ldy #$ff
        cpy $0340
        #flags_are NVZC, fC
        #x_is $90
        #y_is $ff

        #case "BIT copies bits 7 and 6 and tests A AND M"
        lda #$c0
        sta $20
        lda #$01
        sta $0340
        #with $00, fC
        bit $20
        #flags_are NVZC, fN | fV | fZ | fC
        #a_is 0
        #with $01, fN | fV | fZ
        bit $0340
        #flags_are NVZC, 0

; ---- shifts and rotates

        #case "ASL A, LSR A, ROL A and ROR A"
        #with $80, 0
        asl a
        #flags_are NVZC, fZ | fC
        #a_is 0
        #with $01, fN
        lsr a
        #flags_are NVZC, fZ | fC
        #a_is 0
        #with $80, fN
        lsr a
        #flags_are NVZC, 0
        #a_is $40
        #with $80, fC
        rol a
        #flags_are NVZC, fC
        #a_is $01
        #with $00, fC
        ror a
        #flags_are NVZC, fN
        #a_is $80

        #case "ASL in memory"
        #each_rmw_mode asl, $c1, 0, $82, fN | fC
        #case "LSR in memory"
        #each_rmw_mode lsr, $03, fN, $01, fC
        #case "ROL in memory"
        #each_rmw_mode rol, $40, fC, $81, fN
        #case "ROR in memory"
        #each_rmw_mode ror, $01, 0, $00, fZ | fC

; ---- increments and decrements

        #case "INC and DEC in memory keep C and V"
        #each_rmw_mode inc, $ff, fC | fV, $00, fZ | fC | fV
        #each_rmw_mode inc, $ff, 0, $00, fZ
        #each_rmw_mode dec, $00, fC, $ff, fN | fC
        #each_rmw_mode dec, $01, 0, $00, fZ

        #case "INX, DEX, INY and DEY wrap"
        ldx #$ff
        ldy #$00
        #set_p fC
        inx
        #flags_are NVZC, fZ | fC
        #x_is 0
        dex
        #flags_are NVZC, fN | fC
        #x_is $ff
        dey
        #flags_are NVZC, fN | fC
        #y_is $ff
        iny
        #flags_are NVZC, fZ | fC
        #y_is 0

; ---- transfers and flags

        #case "TAX, TAY, TXA and TYA set N and Z"
        lda #$80
        tax
        #flags_are fN | fZ, fN
        #x_is $80
        lda #0
        tay
        #flags_are fN | fZ, fZ
        #y_is 0
        ldx #$7f
        txa
        #flags_are fN | fZ, 0
        #a_is $7f
        ldy #$fe
        tya
        #flags_are fN | fZ, fN
        #a_is $fe

        #case "TSX sets N and Z; TXS changes no flag"
        tsx
        #flags_are fN | fZ, fN
        #x_is $ff
        ldx #$40
        #set_p fZ
        txs
        #flags_are NVZC, fZ
        tsx
        #x_is $40
        ldx #$ff
        txs

        #case "SEC CLC SED CLD SEI CLI CLV change only their flag"
        #set_p 0
        sec
        #flags_are ALLFLAGS, fC
        sed
        #flags_are ALLFLAGS, fC | fD
        sei
        #flags_are ALLFLAGS, fC | fD | fI
        clc
        #flags_are ALLFLAGS, fD | fI
        cld
        #flags_are ALLFLAGS, fI
        cli
        #flags_are ALLFLAGS, 0
        #set_p fV | fN
        clv
        #flags_are ALLFLAGS, fN

; ---- branches

        #case "Each branch goes when its flag says so"
        #branch_taken bpl, 0
        #branch_taken bmi, fN
        #branch_taken bvc, 0
        #branch_taken bvs, fV
        #branch_taken bcc, 0
        #branch_taken bcs, fC
        #branch_taken bne, 0
        #branch_taken beq, fZ

        #case "Each branch falls through when its flag says so"
        #branch_not_taken bpl, fN
        #branch_not_taken bmi, 0
        #branch_not_taken bvc, fV
        #branch_not_taken bvs, 0
        #branch_not_taken bcc, fC
        #branch_not_taken bcs, 0
        #branch_not_taken bne, fZ
        #branch_not_taken beq, 0

        #case "A backward branch loops"
        ldx #3
        ldy #0
-       iny
        dex
        bne -
        #y_is 3
        #x_is 0

        #case "Branches reach +127 and -128"
        clc
        jmp far_forward
far_back_in_case

        #case "Branches cross pages both ways"
        jmp page_edge
page_back_in_case

; ---- jumps and subroutines

        #case "JMP (ind) through $07FF takes the high byte from $0800"
        ldx #0
        lda #0                  ; page $0F is all BRK
-       sta $0f00,x
        inx
        bne -
        lda #<jmp_target
        sta $07ff
        lda #>jmp_target
        sta $0800
        lda #$0f
        sta $0700
        .byte $6c, $ff, $07     ; JMP ($07FF)
        jsr fail
jmp_target

        #case "JMP (ind) reads a pointer"
        lda #<jmp_target2
        sta $0710
        lda #>jmp_target2
        sta $0711
        jmp ($0710)
        jsr fail
jmp_target2

        #case "JSR pushes the address of its own last byte, high byte first"
jsr_site
        jsr record_jsr_frame
        #mem_is frame_low, <(jsr_site + 2)
        #mem_is frame_high, >(jsr_site + 2)
        #mem_is frame_s, $fd
        #s_is $ff

        #case "RTS continues one past the pulled address"
        lda #>(rts_target - 1)
        pha
        lda #<(rts_target - 1)
        pha
        rts
        brk                     ; rts_target - 1: reached only if RTS forgets the one
rts_target
        #s_is $ff

        #case "A routine pulls its return address to read inline data"
        lda #0
        sta inline_value
        jsr read_inline
        .byte $00, $c5          ; two bytes of data, BRKs if ever executed
        #mem_is inline_value, $c5
        #s_is $ff

        #case "The stack wraps from $0100 to $01FF"
        ldx #0
        txs
        lda #$5a
        pha                     ; at $0100; S wraps to $FF
        tsx
        #x_is $ff
        #mem_is $0100, $5a
        lda #0
        pla                     ; S wraps back to $00 and reads $0100
        #a_is $5a
        tsx
        #x_is $00
        ldx #$ff
        txs

; ---- the status byte on the stack

        #case "PHP pushes P with B set"
        #set_p 0
        php
        pla
        and #$ff ^ $20
        #a_is fB

        #case "PLP takes every flag as pulled"
        #set_p ALLFLAGS
        php
        pla
        and #ALLFLAGS
        #a_is ALLFLAGS
        #set_p 0

        #case "PLA sets N and Z"
        lda #$80
        pha
        lda #0
        pla
        #flags_are fN | fZ, fN
        #a_is $80
        lda #0
        pha
        lda #1
        pla
        #flags_are fN | fZ, fZ

        #case "BRK pushes its address plus two and P with B, sets I; RTI comes back"
        lda #1
        sta brk_expected
        #with $33, fN | fD | fC
brk_site
        brk
        .byte $00               ; the byte BRK skips: a BRK again, should we land on it
        #flags_are ALLFLAGS, fN | fD | fC
        #a_is $33
        cld
        #mem_is brk_expected, 0
        #mem_is brk_pushed_pc, <(brk_site + 2)
        #mem_is brk_pushed_pc+1, >(brk_site + 2)
        #masked_mem_is brk_pushed_p, ALLFLAGS | fB, fN | fD | fC | fB
        #masked_mem_is brk_p_inside, fI | fD, fI | fD
        #s_is $ff

        #case "RTI takes the pulled address without adding one"
        lda #>rti_target
        pha
        lda #<rti_target
        pha
        lda #fV | fC
        pha
        lda #0
        rti
rti_target
        .byte $b0, $00          ; BCS +0: its offset $00 is a BRK, should RTI add one
        #flags_are NVZC, fV | fC
        #s_is $ff

; ---- the byte values without an instruction

        #case "Undocumented bytes are one-byte no-ops"
        lda #0
        .byte $80, $a9, $42     ; one byte here, so LDA #$42 runs
        #a_is $42
        lda #0
        .byte $0c, $a9, $43
        #a_is $43
        ldx #$11
        ldy #$22
        #with $33, fN | fC
        .byte $02, $12, $22, $32, $42, $52, $62, $72, $92, $b2, $d2, $f2
        .byte $1a, $3a, $5a, $7a, $da, $fa, $03, $07, $0b, $ff
        #flags_are NVZC, fN | fC
        #a_is $33
        #x_is $11
        #y_is $22

; ---- the end
        lda #"P"
        sta verdict
finished
        jmp finished

; A check failed: note where (the JSR that came here) and stop.
fail    pla
        sta failed_check
        pla
        sta failed_check+1
        lda #"F"
        sta verdict
        jmp finished

case_total = case_no

; ---- routines the cases call

record_jsr_frame
        tsx
        stx frame_s
        lda $0101,x
        sta frame_low
        lda $0102,x
        sta frame_high
        rts

; Reads the second of the two bytes after the JSR that called it and returns past both.
read_inline
        pla
        sta $fb
        pla
        sta $fc
        ldy #2
        lda ($fb),y
        sta inline_value
        lda $fb
        clc
        adc #2
        sta $fb
        lda $fc
        adc #0
        pha
        lda $fb
        pha
        rts

; BRK lands here. A BRK no case asked for fails the running case.
on_brk  php
        sta brk_a
        pla
        sta brk_p_inside
        stx brk_x
        lda brk_expected
        bne +
        jsr fail
+       lda #0
        sta brk_expected
        tsx
        lda $0101,x
        sta brk_pushed_p
        lda $0102,x
        sta brk_pushed_pc
        lda $0103,x
        sta brk_pushed_pc+1
        ldx brk_x
        lda brk_a
        rti

; A branch of +127, then one of -128.
far_forward
        .byte $90, $7f          ; BCC +127
far_forward_next
        .fill 127, $00
far_forward_target
        .cerror far_forward_target != far_forward_next + 127
        jmp far_backward_branch
far_backward_target
        jmp far_done
        .fill 123, $00
far_backward_branch
        .byte $90, $80          ; BCC -128
        .cerror far_backward_target != far_backward_branch + 2 - 128
far_done
        jmp far_back_in_case

; A branch whose target lies on the next page, and one back onto the page before.
        .align $100, $00
        .fill $f0, $00
page_back
        jmp page_back_in_case
        .fill 8, $00
page_edge
        sec
        bcs page_next           ; at $..FC: the next instruction at $..FE, the target beyond
        brk
        brk
page_next
        clc
        bcc page_back           ; back onto the page before
        brk
        .cerror (page_edge & $ff) != $fb || (page_next & $ff) != $00 || (page_back & $ff) != $f0
