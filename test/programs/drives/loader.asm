; loader: a routine for routine tests with drives: loadFile (drives.inc) loads the file
; whose name is at X/Y (A characters) from drive 8 at the file's own address, as
; LOAD"NAME",8,1 does, and returns what the system's LOAD returns: carry, A and X/Y.
        .include "drives.inc"

*       = $C000
        #loadFileRoutine
