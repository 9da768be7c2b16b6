#include "machine/vic.h"

namespace {

// The bits of each register that read 1 whatever was written (the unused ones).
constexpr uint8_t unusedBits(uint8_t reg) {
    switch (reg) {
        case kVicControl2: return 0xC0;
        case kVicMemory: return 0x01;
        case kVicInterruptLatch: return 0x70;
        case kVicInterruptEnable: return 0xF0;
        default: return reg >= kVicBorder ? 0xF0 : 0x00;
    }
}

constexpr uint8_t kVicIrqBit = 0x80;  // $D019 bit 7: the chip pulls IRQ
constexpr uint8_t kVicInterruptBits = 0x0F;

}  // namespace

void resetVic(Vic& vic) { vic = Vic{}; }

bool vicInterrupting(const Vic& vic) {
    return (vic.registers[kVicInterruptLatch] & vic.registers[kVicInterruptEnable] &
            kVicInterruptBits) != 0;
}

uint8_t peekVic(const Vic& vic, uint8_t reg) {
    reg &= kVicRegisterMask;
    if (reg >= kVicRegisterCount) return 0xFF;
    uint8_t value = vic.registers[reg];
    switch (reg) {
        case kVicControl1: value &= 0x7F; break;  // bit 7 reads raster bit 8
        case kVicRaster: value = 0; break;
        case kVicInterruptLatch:
            value = static_cast<uint8_t>((value & kVicInterruptBits) |
                                         (vicInterrupting(vic) ? kVicIrqBit : 0));
            break;
        default: break;
    }
    return static_cast<uint8_t>(value | unusedBits(reg));
}

uint8_t readVic(Vic& vic, uint8_t reg) {
    uint8_t value = peekVic(vic, reg);
    reg &= kVicRegisterMask;
    if (reg == kVicSpriteCollisions || reg == kVicDataCollisions) vic.registers[reg] = 0;
    return value;
}

void writeVic(Vic& vic, uint8_t reg, uint8_t value) {
    reg &= kVicRegisterMask;
    switch (reg) {
        case kVicControl1:
            vic.rasterCompare =
                static_cast<uint16_t>((vic.rasterCompare & 0xFF) | (value & 0x80) << 1);
            vic.registers[reg] = value;
            break;
        case kVicRaster:
            vic.rasterCompare = static_cast<uint16_t>((vic.rasterCompare & 0x100) | value);
            vic.registers[reg] = value;
            break;
        case kVicInterruptLatch: vic.registers[reg] &= static_cast<uint8_t>(~value); break;
        case kVicLightPenX:
        case kVicLightPenY:
        case kVicSpriteCollisions:
        case kVicDataCollisions: break;  // read-only
        default:
            if (reg < kVicRegisterCount) vic.registers[reg] = value;
            break;
    }
}
