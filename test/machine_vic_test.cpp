// The VIC-II's raster on its own, cycle by cycle, on both standards: the counter as $D012
// and $D011 read it around a line's start and the frame's wrap, the compare's latch and
// the IRQ output's cycles. Cycles are counted from the chip's reset, which starts a frame:
// cycle n of the frame is the line n / cycles-per-line, its cycle n % cycles-per-line + 1.
#include <gtest/gtest.h>

#include "machine/vic.h"

namespace {

struct Standard {
    const char* name;
    VideoStandard standard;
};
constexpr Standard kStandards[] = {{"pal", VideoStandard::Pal}, {"ntsc", VideoStandard::Ntsc}};

uint16_t readRaster(const Vic& vic, uint64_t cycle) {
    return static_cast<uint16_t>(peekVic(vic, kVicRaster, cycle) |
                                 (peekVic(vic, kVicControl1, cycle) & 0x80) << 1);
}

TEST(VicRaster, TheCounterChangesInCycleOneOfALineAndInCycleTwoOfLineZero) {
    for (const Standard& s : kStandards) {
        SCOPED_TRACE(s.name);
        RasterGeometry g = rasterGeometry(s.standard);
        Vic vic;
        resetVic(vic, g, 0);
        uint64_t frame = g.frameCycles();
        const uint16_t last = static_cast<uint16_t>(g.lines - 1);
        struct Case {
            uint64_t cycle;
            uint16_t line;
        };
        const Case cases[] = {
            {1, 0},                                  // line 0, cycle 2
            {g.cyclesPerLine - 1, 0},                // line 0's last cycle
            {g.cyclesPerLine, 1},                    // line 1, cycle 1
            {100 * g.cyclesPerLine - 1, 99},         // the cycle before line 100
            {100 * g.cyclesPerLine, 100},            // line 100, cycle 1
            {256 * g.cyclesPerLine, 256},            // the ninth bit, in $D011
            {frame - 1, last},                       // the last line's last cycle
            {frame, last},                           // line 0, cycle 1: still the last
            {frame + 1, 0},                          // line 0, cycle 2
            {5 * frame + 42 * g.cyclesPerLine, 42},  // any frame
        };
        for (const Case& c : cases)
            EXPECT_EQ(readRaster(vic, c.cycle), c.line) << "cycle " << c.cycle;
    }
}

TEST(VicRaster, TheCompareLatchesInItsCycleEnabledOrNotAndTheOutputFollowsTheEnable) {
    for (const Standard& s : kStandards) {
        SCOPED_TRACE(s.name);
        RasterGeometry g = rasterGeometry(s.standard);
        uint64_t frame = g.frameCycles();
        struct Case {
            const char* name;
            uint16_t compare;
            uint64_t match;  // the cycle of the first match after reset (0: none)
        };
        const Case cases[] = {
            {"line 0", 0, 1},
            {"line 1", 1, g.cyclesPerLine},
            {"line 200", 200, 200 * uint64_t{g.cyclesPerLine}},
            {"the last line", static_cast<uint16_t>(g.lines - 1), frame - g.cyclesPerLine},
            {"past the last line", 400, 0},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            Vic vic;
            resetVic(vic, g, 0);
            // Written in cycle 0, when the counter shows the last line.
            writeVic(vic, kVicControl1, static_cast<uint8_t>(c.compare >> 1 & 0x80), 0);
            writeVic(vic, kVicRaster, static_cast<uint8_t>(c.compare), 0);
            writeVic(vic, kVicInterruptLatch, 0xFF, 0);
            bool lastLine = c.compare == g.lines - 1;
            if (c.match == 0 || lastLine) {
                // The last line matches at once: a write that makes it the compare line.
                EXPECT_EQ(readVic(vic, kVicInterruptLatch, 2 * frame) & 1, lastLine ? 1 : 0);
                continue;
            }
            EXPECT_EQ(readVic(vic, kVicInterruptLatch, c.match - 1), 0x70) << "before";
            EXPECT_EQ(readVic(vic, kVicInterruptLatch, c.match), 0x71) << "latched, disabled";
            EXPECT_FALSE(vicIrqLowAt(vic, c.match));
            EXPECT_EQ(nextVicIrqFall(vic), kNever);
            writeVic(vic, kVicInterruptLatch, 0x01, c.match + 10);
            writeVic(vic, kVicInterruptEnable, 0x01, c.match + 10);
            EXPECT_EQ(nextVicIrqFall(vic), c.match + frame) << "the next frame's match";
            advanceVic(vic, c.match + frame + 5);
            EXPECT_TRUE(vicIrqLowAt(vic, c.match + frame));
            EXPECT_FALSE(vicIrqLowAt(vic, c.match + frame - 1));
            EXPECT_EQ(peekVic(vic, kVicInterruptLatch, c.match + frame + 5), 0xF1);
            // Acknowledged by writing 1: the line goes high, and a poll before saw it low.
            writeVic(vic, kVicInterruptLatch, 0x01, c.match + frame + 20);
            EXPECT_FALSE(vicIrqLowAt(vic, c.match + frame + 20));
            EXPECT_TRUE(vicIrqLowAt(vic, c.match + frame + 19));
        }
    }
}

TEST(VicRaster, WritingTheCurrentLineLatchesOnceInThatLine) {
    RasterGeometry g = rasterGeometry(VideoStandard::Pal);
    Vic vic;
    resetVic(vic, g, 0);
    uint64_t inLine = 0x90 * uint64_t{g.cyclesPerLine} + 20;  // line $90, cycle 21
    writeVic(vic, kVicInterruptLatch, 0xFF, inLine);
    writeVic(vic, kVicRaster, 0x90, inLine);
    EXPECT_EQ(readVic(vic, kVicInterruptLatch, inLine + 4), 0x71);
    writeVic(vic, kVicInterruptLatch, 0xFF, inLine + 8);
    writeVic(vic, kVicRaster, 0x90, inLine + 12);
    EXPECT_EQ(readVic(vic, kVicInterruptLatch, inLine + 16), 0x70) << "no second match";
    writeVic(vic, kVicRaster, 0x91, inLine + 20);
    EXPECT_EQ(readVic(vic, kVicInterruptLatch, inLine + 24), 0x70) << "a line to come";
    EXPECT_EQ(readVic(vic, kVicInterruptLatch, 0x91 * uint64_t{g.cyclesPerLine}), 0x71);
}

}  // namespace
