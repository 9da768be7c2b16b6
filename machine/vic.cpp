#include "machine/vic.h"

#include <algorithm>

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

namespace {

// The sprites' DMA (cycles counted from 1 within the line; past the line's last, the next
// line's): sprite 0's two stolen cycles begin at the line's length - 5 (58 on PAL; 60 on
// the 6567R8, from the published timing charts), each next sprite's two cycles later; the
// bus is asked for kSpriteBaLead cycles before. A sprite fetches on the kSpriteLines lines
// from the one its Y names (twice as many expanded in Y).
constexpr uint64_t kSpriteStealFromEnd = 5;
constexpr uint64_t kSpriteBaLead = 3;
constexpr uint64_t kSpriteLines = 21;
constexpr int kSprites = 8;

// The bad lines alone, in constant time.
BadLine nextBadLineAlone(const Vic& vic, uint64_t cycle) {
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

// The sprites fetching in the sprite cycles of frame line `line` (bit n: sprite n).
uint8_t spritesFetching(const Vic& vic, uint64_t line) {
    uint8_t fetching = 0;
    uint64_t lines = vic.geometry.lines;
    for (int n = 0; n < kSprites; ++n) {
        auto bit = static_cast<uint8_t>(1u << n);
        if (!(vic.registers[kVicSpriteEnable] & bit)) continue;
        uint64_t y = vic.registers[2 * n + 1];
        uint64_t height =
            (vic.registers[kVicSpriteExpandY] & bit) ? 2 * kSpriteLines : kSpriteLines;
        if ((line + lines - y % lines) % lines < height) fetching |= bit;
    }
    return fetching;
}

}  // namespace

BadLine nextBadLine(const Vic& vic, uint64_t cycle) {
    BadLine bad = nextBadLineAlone(vic, cycle);
    if (vic.registers[kVicSpriteEnable] == 0) return bad;
    // Line by line from the one before (its sprite cycles reach into this one), each line's
    // bad line and sprite runs joined where the bus stays taken, up to the next bad line.
    const RasterGeometry& g = vic.geometry;
    uint64_t lineLength = g.cyclesPerLine;
    uint64_t lineNow = cycle / lineLength;
    uint64_t lastLine = bad.baFrom == kNever ? lineNow + g.lines : bad.baFrom / lineLength;
    uint64_t steal0 = lineLength - kSpriteStealFromEnd;
    for (uint64_t line = lineNow == 0 ? 0 : lineNow - 1; line <= lastLine; ++line) {
        uint64_t lineStart = line * lineLength;
        BadLine taken{kNever, kNever};
        if (bad.baFrom != kNever && bad.baFrom / lineLength == line) taken = bad;
        uint8_t fetching = spritesFetching(vic, line % g.lines);
        for (int n = 0; n < kSprites; ++n) {
            if (!(fetching & (1u << n))) continue;
            uint64_t stolen = lineStart + steal0 + 2 * static_cast<uint64_t>(n) - 1;
            BadLine sprite{stolen - kSpriteBaLead, stolen + 2};
            if (taken.baFrom != kNever && sprite.baFrom <= taken.resume) {
                taken.resume = std::max(taken.resume, sprite.resume);
                continue;
            }
            if (taken.baFrom != kNever && taken.resume > cycle) return taken;
            taken = sprite;
        }
        if (taken.baFrom != kNever && taken.resume > cycle) return taken;
    }
    return bad;
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
