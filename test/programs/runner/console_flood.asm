; console_flood: more console text than a run keeps. A line of 10,000 X's, then 200,000
; lines of one A each (400,000 bytes with their line feeds), then 0 to the debug register.
        .include "kernal.inc"

count   = $FB                   ; a 16-bit count down, in the zero page

*       = $C000
        lda #<10000
        ldy #>10000
        ldx #$58                ; X in ASCII, which the console takes
        jsr repeat
        lda #13                 ; the long line's end
        sta debugConsole
        ldx #4                  ; 4 x 50,000 lines
lines   txa
        pha
        lda #<50000
        ldy #>50000
        ldx #$41                ; A
        jsr repeatLines
        pla
        tax
        dex
        bne lines
        lda #0
        sta debugExitRegister
forever jmp forever

; Stores X to the console A + 256 * Y times.
repeat  sta count
        sty count+1
-       stx debugConsole
        jsr countDown
        bne -
        rts

; Stores X and a line feed to the console A + 256 * Y times.
repeatLines
        sta count
        sty count+1
-       stx debugConsole
        lda #10
        sta debugConsole
        jsr countDown
        bne -
        rts

; count = count - 1; Z set when it reaches 0.
countDown
        lda count
        bne +
        dec count+1
+       dec count
        lda count
        ora count+1
        rts
