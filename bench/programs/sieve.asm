; A long-running loop for the speed benchmarks: the sieve of Eratosthenes over the
; numbers below 8192, repeated forever. After each pass the count of primes (1028)
; is stored at `result`, so a benchmark can check that the work was really done.

flags   = $2000                 ; one byte per number: 1 while it may be prime
sieveSize = $2000
ptr     = $fb                   ; pointer into flags
n       = $f9                   ; the number being looked at
count   = $f7                   ; primes found in this pass
result  = $f5                   ; primes found in the last complete pass
passes  = $f3                   ; completed passes

        * = $1000
start
again   lda #<flags             ; mark every number as a candidate
        sta ptr
        lda #>flags
        sta ptr+1
        ldx #>sieveSize
        ldy #0
        lda #1
fill    sta (ptr),y
        iny
        bne fill
        inc ptr+1
        dex
        bne fill

        sty count               ; y is 0 here
        sty count+1
        lda #2
        sta n
        sty n+1

scan    clc                     ; ptr = flags + n
        lda n
        adc #<flags
        sta ptr
        lda n+1
        adc #>flags
        sta ptr+1
        lda (ptr),y
        beq next
        inc count               ; n is prime
        bne strike
        inc count+1
strike  clc                     ; cross out n + n, n + 2n, ...
        lda ptr
        adc n
        sta ptr
        lda ptr+1
        adc n+1
        sta ptr+1
        cmp #>(flags+sieveSize)
        bcs next
        tya
        sta (ptr),y
        jmp strike

next    inc n
        bne +
        inc n+1
+       lda n+1
        cmp #>sieveSize
        bcc scan

        lda count
        sta result
        lda count+1
        sta result+1
        inc passes
        bne +
        inc passes+1
+       jmp again
