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
constexpr uint8_t kVicRasterBit = 0x01;  // $D019/$D01A bit 0: the raster compare

// The frame position of the raster's match with the compare line: its cycle 1, or cycle 2
// for line 0; kNever for a line past the last.
uint64_t matchPosition(const Vic& vic) {
    if (vic.rasterCompare >= vic.geometry.lines) return kNever;
    if (vic.rasterCompare == 0) return 1;
    return uint64_t{vic.rasterCompare} * vic.geometry.cyclesPerLine;
}

// The first match after cycle `after` (kNever: none).
uint64_t nextMatch(const Vic& vic, uint64_t after) {
    uint64_t position = matchPosition(vic);
    if (position == kNever) return kNever;
    uint64_t frame = vic.geometry.frameCycles();
    uint64_t start = after - after % frame;
    uint64_t match = start + position;
    return match > after ? match : match + frame;
}

// The output after the latch or the enable changed in `cycle`.
void updateOutput(Vic& vic, uint64_t cycle) {
    bool low = vicInterrupting(vic);
    if (low && vic.irqLowFrom == kNever) {
        vic.irqLowFrom = cycle;
    } else if (!low && vic.irqLowFrom != kNever) {
        vic.lastLowFrom = vic.irqLowFrom;
        vic.lastLowUntil = cycle;
        vic.irqLowFrom = kNever;
    }
}

void latch(Vic& vic, uint8_t bits, uint64_t cycle) {
    vic.registers[kVicInterruptLatch] |= bits;
    updateOutput(vic, cycle);
}

}  // namespace

void resetVic(Vic& vic, RasterGeometry geometry, uint64_t now) {
    vic = Vic{};
    vic.geometry = geometry;
    vic.seenThrough = now;
    vic.displayFrame = kNever;
    vic.irqLowFrom = kNever;
    vic.lastLowFrom = kNever;
    vic.lastLowUntil = kNever;
}

uint16_t rasterLine(const Vic& vic, uint64_t cycle) {
    uint64_t position = cycle % vic.geometry.frameCycles();
    if (position == 0) return static_cast<uint16_t>(vic.geometry.lines - 1);
    return static_cast<uint16_t>(position / vic.geometry.cyclesPerLine);
}

namespace {

// Bad lines on both standards (cycles counted from 1 within the line).
constexpr uint16_t kFirstBadLine = 0x30;
constexpr uint16_t kLastBadLine = 0xF7;
constexpr uint64_t kBadLineBaCycle = 12;
constexpr uint64_t kBadLineResumeCycle = 55;
constexpr uint8_t kDisplayEnable = 0x10;  // $D011 bit 4
constexpr uint8_t kVerticalScroll = 0x07;

bool displayEnabled(const Vic& vic) { return vic.registers[kVicControl1] & kDisplayEnable; }

// Notes the display enabled in line $30 of a frame that (seenThrough, cycle] reaches.
void noteDisplayLine(Vic& vic, uint64_t cycle) {
    uint64_t frame = vic.geometry.frameCycles();
    uint64_t line30 = uint64_t{kFirstBadLine} * vic.geometry.cyclesPerLine;
    if (!displayEnabled(vic) || cycle < line30) return;
    uint64_t latest = (cycle - line30) / frame;  // the last frame whose line $30 began
    uint64_t lineEnd = latest * frame + line30 + vic.geometry.cyclesPerLine;
    if (lineEnd > vic.seenThrough + 1) vic.displayFrame = latest;
}

}  // namespace

BadLine nextBadLine(const Vic& vic, uint64_t cycle) {
    const RasterGeometry& g = vic.geometry;
    uint64_t frameLength = g.frameCycles();
    uint64_t frame = cycle / frameLength;
    uint64_t position = cycle - frame * frameLength;
    uint64_t first = kFirstBadLine + (vic.registers[kVicControl1] & kVerticalScroll);
    auto window = [&](uint64_t f, uint64_t line) {
        uint64_t start = f * frameLength + line * g.cyclesPerLine;
        return BadLine{start + kBadLineBaCycle - 1, start + kBadLineResumeCycle - 1};
    };
    uint64_t line30End = (uint64_t{kFirstBadLine} + 1) * g.cyclesPerLine;
    bool seen = vic.displayFrame == frame && vic.displayFrame != kNever;
    if (seen || (displayEnabled(vic) && position < line30End)) {
        // The first bad line of this frame whose wait ends after `cycle`: line L ends its
        // wait at L * cyclesPerLine + resume - 1 of the frame.
        constexpr uint64_t kWaitEnd = kBadLineResumeCycle - 1;
        uint64_t line = position >= kWaitEnd ? (position - kWaitEnd) / g.cyclesPerLine + 1 : 0;
        line = line <= first ? first : first + (line - first + 7) / 8 * 8;
        if (line <= kLastBadLine) return window(frame, line);
    }
    if (displayEnabled(vic)) return window(frame + 1, first);
    return {kNever, kNever};
}

void advanceVic(Vic& vic, uint64_t cycle) {
    if (cycle <= vic.seenThrough) return;
    noteDisplayLine(vic, cycle);
    uint64_t match = nextMatch(vic, vic.seenThrough);
    if (match <= cycle && !(vic.registers[kVicInterruptLatch] & kVicRasterBit))
        latch(vic, kVicRasterBit, match);
    vic.seenThrough = cycle;
}

bool vicInterrupting(const Vic& vic) {
    return (vic.registers[kVicInterruptLatch] & vic.registers[kVicInterruptEnable] &
            kVicInterruptBits) != 0;
}

bool vicIrqLowAt(const Vic& vic, uint64_t cycle) {
    if (vic.irqLowFrom != kNever && vic.irqLowFrom <= cycle) return true;
    return vic.lastLowFrom != kNever && vic.lastLowFrom <= cycle && cycle < vic.lastLowUntil;
}

uint64_t nextVicIrqFall(const Vic& vic) {
    if (vic.irqLowFrom != kNever) return vic.irqLowFrom;
    bool enabled = vic.registers[kVicInterruptEnable] & kVicRasterBit;
    if (!enabled || (vic.registers[kVicInterruptLatch] & kVicRasterBit)) return kNever;
    return nextMatch(vic, vic.seenThrough);
}

uint8_t peekVic(const Vic& vic, uint8_t reg, uint64_t cycle) {
    reg &= kVicRegisterMask;
    if (reg >= kVicRegisterCount) return 0xFF;
    uint8_t value = vic.registers[reg];
    uint16_t line = rasterLine(vic, cycle);
    switch (reg) {
        case kVicControl1:  // bit 7 reads raster bit 8
            value = static_cast<uint8_t>((value & 0x7F) | (line >> 1 & 0x80));
            break;
        case kVicRaster: value = static_cast<uint8_t>(line); break;
        case kVicInterruptLatch:
            value = static_cast<uint8_t>((value & kVicInterruptBits) |
                                         (vicInterrupting(vic) ? kVicIrqBit : 0));
            break;
        default: break;
    }
    return static_cast<uint8_t>(value | unusedBits(reg));
}

uint8_t readVic(Vic& vic, uint8_t reg, uint64_t cycle) {
    advanceVic(vic, cycle);
    uint8_t value = peekVic(vic, reg, cycle);
    reg &= kVicRegisterMask;
    if (reg == kVicSpriteCollisions || reg == kVicDataCollisions) vic.registers[reg] = 0;
    return value;
}

void writeVic(Vic& vic, uint8_t reg, uint8_t value, uint64_t cycle) {
    advanceVic(vic, cycle);
    reg &= kVicRegisterMask;
    switch (reg) {
        case kVicControl1:
        case kVicRaster: {
            bool matched = rasterLine(vic, cycle) == vic.rasterCompare;
            if (reg == kVicRaster) {
                vic.rasterCompare = static_cast<uint16_t>((vic.rasterCompare & 0x100) | value);
            } else {
                vic.rasterCompare =
                    static_cast<uint16_t>((vic.rasterCompare & 0xFF) | (value & 0x80) << 1);
            }
            vic.registers[reg] = value;
            // The compare is an edge: making the current line the compare line matches.
            if (!matched && rasterLine(vic, cycle) == vic.rasterCompare)
                latch(vic, kVicRasterBit, cycle);
            break;
        }
        case kVicInterruptLatch:
            vic.registers[reg] &= static_cast<uint8_t>(~value);
            updateOutput(vic, cycle);
            break;
        case kVicInterruptEnable:
            vic.registers[reg] = value;
            updateOutput(vic, cycle);
            break;
        case kVicLightPenX:
        case kVicLightPenY:
        case kVicSpriteCollisions:
        case kVicDataCollisions: break;  // read-only
        default:
            if (reg < kVicRegisterCount) vic.registers[reg] = value;
            break;
    }
}
