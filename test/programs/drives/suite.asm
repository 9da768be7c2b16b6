; suite.asm: part PART of a test suite spread over the files of a folder. Each part checks
; that the one before ran (it counts the parts in $02), then loads the next part by name
; from drive 8 (LOAD"PART2",8,1 and on) and jumps to it; the last reports 0 through the
; debug register, a failure the number of the part that found it.
        .include "kernal.inc"
        .enc "petscii"                  ; the file names, as the drive knows them
        .weak
PART    = 1
LAST    = 3
        .endweak
parts   = $02                           ; the parts run so far (0 after reset)

*       = $C000 + (PART - 1) * $100     ; each part at a page of its own
        lda parts
        cmp #PART - 1
        bne failed
        inc parts
        .if PART < LAST
        lda #len(next)                  ; LOAD"PARTn",8,1
        ldx #<next
        ldy #>next
        jsr SETNAM
        lda #1
        ldx #8
        ldy #1
        jsr SETLFS
        lda #0
        jsr LOAD
        bcs failed                      ; carry set: A holds the error (4: not found)
        jmp $C000 + PART * $100
next    .text format("PART%d", PART + 1)
        .else
        lda #0
        sta debugExitRegister
        .endif
failed  lda #PART
        sta debugExitRegister
