; The keyboard matrix, the joysticks and RESTORE, with the input of keyboard.input: the
; firmware's scan decodes typed keys into the buffer (GETIN), the joysticks pull CIA 1's
; lines, a key joins its column and row either way round, and RESTORE raises NMI.
        .include "c64.inc"

typed   = freeArea + 2                  ; the characters GETIN gave
typedCount = 8
nmiCount = freeArea + 12

        * = $0801
        .word +, 10
        .byte $9E
        .text format("%d", start)
        .byte 0
+       .word 0

start:
; ---- typed text, through the firmware's scan and GETIN (interrupts on)
        ldx #0
-       stx saved
        jsr GETIN
        ldx saved
        cmp #0
        beq -
        sta typed,x
        inx
        cpx #typedCount
        bne -
        ldx #typedCount - 1
-       lda typed,x
        cmp expectedTyped,x
        bne typedWrong
        dex
        bpl -
        jmp joysticks
typedWrong:
        stx result                      ; the place of the first character that differs
        #expect result, $FF

; ---- the joysticks: port 2 on CIA 1's port A (nothing selected), port 1 on port B
joysticks:
        sei
-       lda ioCia1 + ciaPortA
        and #$1F
        cmp #$1F & ~(kUp | kFire)
        bne -
        lda ioCia1 + ciaPortB
        sta result
        #expect result, $FF & ~kRight

; ---- a key held: Q (column 7, row 6), read from the rows with its column driven low, and
; from the columns with its row driven low
        lda #$FF & ~(1 << 7)
        sta ioCia1 + ciaPortA
-       lda ioCia1 + ciaPortB
        cmp #$FF & ~(1 << 6)
        bne -
        lda #0
        sta ioCia1 + ciaDirectionA
        lda #$FF
        sta ioCia1 + ciaDirectionB
        lda #$FF & ~(1 << 6)
        sta ioCia1 + ciaPortB
        lda ioCia1 + ciaPortA
        sta result
        lda #$FF
        sta ioCia1 + ciaDirectionA
        sta ioCia1 + ciaPortB
        lda #0
        sta ioCia1 + ciaDirectionB
        #expect result, $FF & ~(1 << 7)
        lda #$FF & ~(1 << 6)            ; nothing is driven on the rows now
        sta ioCia1 + ciaPortA
        lda ioCia1 + ciaPortB
        sta result
        #expect result, $FF

; ---- RESTORE: an NMI through the firmware's vector
        lda #0
        sta nmiCount
        #setVector nmiVector, countNmi
        lda #$FF
        sta ioCia1 + ciaPortA
        cli
-       lda nmiCount
        beq -
        #expect nmiCount, 1
        #passed

countNmi:
        inc nmiCount
        rti

kUp     = 1
kRight  = 8
kFire   = $10

expectedTyped:
        .byte $48, $49, $21, $85, $C1, $B0, $90, $0D
