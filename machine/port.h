// The 6510's on-chip port: the direction register at $00 and the data register at $01,
// whose bits 0-2 tell the PLA what the processor sees at $A000, $D000 and $E000.
//
// Modelled: both registers; what a read of $01 gives (an output bit its register's value,
// an input bit its pin: bits 0-2 and the cassette sense, bit 4, pulled up; bits 3 and 5
// pulled down; bits 6 and 7, which have no pin, the charge they kept from when they were
// last driven as outputs, gone to 0 kPortFadeCycles after they became inputs); the RAM
// under $00/$01, which a processor write fills with the byte on the bus (the VIC's last
// fetch), which only the VIC can see.
//
// The processor reads $00 and $01 as the port: ram[0] and ram[1] always hold what those
// reads give, so a read of zero page, a pointer there or code fetched from there costs
// nothing more than any other read. The RAM cells beneath are kept here.
#pragma once

#include <cstdint>

// The input bits that read 1 with nothing driving them: LORAM, HIRAM and CHAREN through
// the board's pull-ups, and the cassette sense (no datasette key pressed).
inline constexpr uint8_t kPortInputsPulledUp = 0x17;
// The bits that have no pin and keep their last driven value for a while.
inline constexpr uint8_t kPortFloatingBits = 0xC0;
// How long bits 6 and 7 keep a driven 1 once they become inputs: about 350 ms, a value we
// chose within what is reported for the 6510 (a fraction of a second to a second).
inline constexpr uint64_t kPortFadeCycles = 345'000;
// The KERNAL's start values: bits 0-3 and 5 outputs; KERNAL, BASIC and I/O in.
inline constexpr uint8_t kPortKernalDirection = 0x2F;
inline constexpr uint8_t kPortKernalData = 0xE7;

struct ProcessorPort {
    uint8_t direction;  // $00: 1 = output
    uint8_t data;       // $01's register
    uint8_t floating;   // the charge bits 6 and 7 keep while inputs
    uint64_t fadesAt;   // the cycle the charge is gone (kNever: none kept)
    uint8_t ramUnder[2];
};

// What a read of $01 gives.
uint8_t portValue(const ProcessorPort& port);
// The port after reset (both registers 0: every bit an input), and ram[0] and ram[1] with it.
void resetPort(ProcessorPort& port, uint8_t* ram);
// A processor write of `value` to $00 or $01 in `cycle`; `busByte` goes into the RAM beneath.
void writePort(ProcessorPort& port, uint16_t address, uint8_t value, uint64_t cycle,
               uint8_t busByte, uint8_t* ram);
// Brings the port to `cycle`: the kept charge fades.
void advancePort(ProcessorPort& port, uint64_t cycle, uint8_t* ram);
