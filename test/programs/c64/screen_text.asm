; screen_text: a screen where the VIC reads it, not at $0400: the matrix moved to $0C00
; ($D018 bits 7-4 = 3) in the lower-case set (bits 3-1 = 3: the character ROM's second
; half), where "All passed" is the screen codes 65, 12, 12, ... Run with --until-text
; "All passed": found only where the VIC shows it, and read in the set it shows.
        .include "c64.inc"

matrix  = $0C00

*       = $C000
        ldx #0
-       lda text,x
        sta matrix + 5 * 40 + 10,x
        inx
        cpx #len(text)
        bne -
        lda #$37
        sta ioVic + vicMemory
-       jmp -

text    .byte 65, 12, 12, 32, 16, 1, 19, 19, 5, 4   ; "All passed" in the lower-case set
