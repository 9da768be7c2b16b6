// The VIC-II's registers, as the processor sees them at $D000-$D3FF (47 registers repeated
// every 64 bytes): every register keeps what was written, and reads give the chip's
// answer, unused bits reading 1 and the registers past $D02E reading $FF.
//
// Modelled so far: the registers and their read-back, the interrupt latch ($D019, cleared
// by writing 1s) and enable ($D01A) with the chip's IRQ output, the collision registers
// cleared by reading. The raster counter reads 0: the raster's timing, its interrupt, bad
// lines and sprite DMA are not modelled yet.
#pragma once

#include <cstdint>

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
};

void resetVic(Vic& vic);
uint8_t readVic(Vic& vic, uint8_t reg);
uint8_t peekVic(const Vic& vic, uint8_t reg);
void writeVic(Vic& vic, uint8_t reg, uint8_t value);
// Whether the VIC pulls the IRQ line low: a latched source that is enabled.
bool vicInterrupting(const Vic& vic);
