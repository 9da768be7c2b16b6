; stores_often: restarts the stopwatch on two steps of every three for ever, with the frame
; interrupt running, so that many frames fall at the end of a step that a run watching the
; debug cells stops after; it never gives a verdict.
        .include "kernal.inc"

*       = $C000
loop    sta stopwatchStart
        sta stopwatchStart
        jmp loop
