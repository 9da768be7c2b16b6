// The VIC-II's registers, as the processor sees them at $D000-$D3FF (47 registers repeated
// every 64 bytes): every register keeps what was written, and reads give the chip's
// answer, unused bits reading 1 and the registers past $D02E reading $FF.
//
// The raster: the counter that $D012 and bit 7 of $D011 read follows from the cycle
// alone (frames start at cycle 0 since reset, each line's cycle 1 first); it changes at
// cycle 1 of a line, and to 0 one cycle later, so that cycle 1 of line 0 still reads the
// last line. The raster compare sets the latch's bit 0 when the counter reaches the compare
// line (in the cycle it changes), whether or not it is enabled, and when a write makes the
// compare line the current one. The latch ($D019, cleared by writing 1s) and enable ($D01A)
// drive the chip's IRQ output. The chip is brought up to a cycle before each access
// (advanceVic), so that it needs no work between them. The collision registers are
// cleared by reading. Bad lines: in lines $30-$F7 whose low three bits equal the vertical
// scroll, in a frame whose line $30 saw the display enabled, the VIC takes the bus for its
// 40 fetches (nextBadLine; the loop halts the processor); a condition that arises later in
// the line takes the bus from then until cycle 55. Sprites' DMA: each sprite shown takes
// two cycles at the end of its line (sprites 0-2) or the start of the next (3-7), asked
// for three cycles before, on the 21 lines from its Y (42 expanded), joined with a bad
// line's and with each other where the bus stays taken. A sprite's DMA follows its enable
// bit and Y as they stand (one changed while the sprite shows cuts it short, where the
// chip finishes it), and Y is compared with the whole line number. Not modelled yet: the
// picture.
#pragma once

#include <cstdint>

#include "machine/config.h"
#include "machine/timeline.h"

inline constexpr uint16_t kVicRegisterMask = 0x3F;
inline constexpr uint8_t kVicRegisterCount = 0x2F;  // $D000-$D02E exist

// The registers that have names beyond the sprites' positions and colours, one row each
// (firmware/tools/make_chips_inc.cpp writes chips.inc from the table).
// clang-format off
#define BREADBIN_VIC_REGISTERS(X)                                                             \
    X(SpriteXHigh,      0x10)  /* bit n: X bit 8 of sprite n */                                \
    X(Control1,         0x11)  /* RST8 ECM BMM DEN RSEL YSCROLL */                             \
    X(Raster,           0x12)  /* read: the raster line; write: the compare line */            \
    X(LightPenX,        0x13)                                                                   \
    X(LightPenY,        0x14)                                                                   \
    X(SpriteEnable,     0x15)                                                                   \
    X(Control2,         0x16)  /* RES MCM CSEL XSCROLL */                                      \
    X(SpriteExpandY,    0x17)                                                                   \
    X(Memory,           0x18)  /* VM13-VM10 CB13-CB11 */                                       \
    X(InterruptLatch,   0x19)  /* write 1s to acknowledge */                                   \
    X(InterruptEnable,  0x1A)                                                                   \
    X(SpritePriority,   0x1B)                                                                   \
    X(SpriteMulticolour, 0x1C)                                                                  \
    X(SpriteExpandX,    0x1D)                                                                   \
    X(SpriteCollisions, 0x1E)  /* sprite-sprite; cleared by reading */                         \
    X(DataCollisions,   0x1F)  /* sprite-data; cleared by reading */                           \
    X(Border,           0x20)                                                                   \
    X(Background0,      0x21)                                                                   \
    X(Background1,      0x22)                                                                   \
    X(Background2,      0x23)                                                                   \
    X(Background3,      0x24)                                                                   \
    X(SpriteMulticolour0, 0x25)                                                                 \
    X(SpriteMulticolour1, 0x26)                                                                 \
    X(SpriteColour0,    0x27)
// clang-format on

enum VicRegister : uint8_t {
#define BREADBIN_VIC_REGISTER(name, offset) kVic##name = offset,
    BREADBIN_VIC_REGISTERS(BREADBIN_VIC_REGISTER)
#undef BREADBIN_VIC_REGISTER
};
inline constexpr uint8_t kVicExtendedColour = 0x40;  // $D011 bit 6

struct Vic {
    uint8_t registers[kVicRegisterCount];
    uint16_t rasterCompare;  // nine bits: $D012 and $D011 bit 7 as written
    RasterGeometry geometry;
    uint64_t seenThrough;   // the raster's matches up to this cycle are in the latch
    uint64_t displayFrame;  // the last frame in whose line $30 the display was enabled
    // The IRQ output: low from this cycle (kNever: high), and its last low stretch, so that
    // a poll in the past still sees what the line was then.
    uint64_t irqLowFrom;
    uint64_t lastLowFrom;
    uint64_t lastLowUntil;
};

void resetVic(Vic& vic, RasterGeometry geometry, uint64_t now);
// Brings the latch up to `cycle`: a raster match up to then is latched.
void advanceVic(Vic& vic, uint64_t cycle);
uint8_t readVic(Vic& vic, uint8_t reg, uint64_t cycle);
uint8_t peekVic(const Vic& vic, uint8_t reg, uint64_t cycle);
void writeVic(Vic& vic, uint8_t reg, uint8_t value, uint64_t cycle);
// The VIC's next taking of the bus from `cycle` on, as the registers stand: a bad line, the
// sprites' DMA, or both joined. The processor's bus is the VIC's from cycle baFrom (a bad
// line's cycle 12) on, and its first read there waits until cycle resume (cycle 55); a
// read in one of the three cycles before it does not wait, nor does a write before resume.
// {kNever, kNever} when none is to come.
struct BadLine {
    uint64_t baFrom;
    uint64_t resume;
};
BadLine nextBadLine(const Vic& vic, uint64_t cycle);

// The raster line that the counter holds in `cycle`.
uint16_t rasterLine(const Vic& vic, uint64_t cycle);
// Whether the VIC pulls the IRQ line low: a latched source that is enabled (advanced to
// the cycle asked about, or past it).
bool vicInterrupting(const Vic& vic);
bool vicIrqLowAt(const Vic& vic, uint64_t cycle);
// The cycle at which the IRQ output falls next if nothing is touched: now if low, the
// next raster match if it is enabled and not latched yet, else kNever.
uint64_t nextVicIrqFall(const Vic& vic);
