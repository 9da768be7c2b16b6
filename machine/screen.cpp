// drawTextScreen: the 40 x 25 text screen, read straight from RAM and the character ROM
// (no banking: what the processor sees at $D000 does not matter here), every emulated
// pixel two window pixels wide on the even window rows 0-398. The odd rows and the rows
// below 400 are never written. The C64 draws the same from what its VIC reads
// (drawTextScreenFrom).
#include "machine/screen.h"

#include <cstring>

#include "cpu/state.h"
#include "host/host.h"
#include "machine/machine.h"

// clang-format off
const std::array<PaletteColour, 16> palette = {{
    {0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF}, {0x68, 0x37, 0x2B}, {0x70, 0xA4, 0xB2},
    {0x6F, 0x3D, 0x86}, {0x58, 0x8D, 0x43}, {0x35, 0x28, 0x79}, {0xB8, 0xC7, 0x6F},
    {0x6F, 0x4F, 0x25}, {0x43, 0x39, 0x00}, {0x9A, 0x67, 0x59}, {0x44, 0x44, 0x44},
    {0x6C, 0x6C, 0x6C}, {0x9A, 0xD2, 0x84}, {0x6C, 0x5E, 0xB5}, {0x95, 0x95, 0x95},
}};
// clang-format on

namespace {
constexpr int kWindowRowsPerLine = 2;

// The sixteen colours as window pixels.
const std::array<uint32_t, 16> kPalettePixels = [] {
    std::array<uint32_t, 16> pixels{};
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = pixelOf(palette[i]);
    return pixels;
}();

uint32_t paletteNibble(uint8_t value) { return kPalettePixels[value & 0x0F]; }

// Four pixels at a time: the compiler keeps them in one vector register.
using FourPixels = uint32_t __attribute__((vector_size(16)));
constexpr int kStripParts = kStripPixels / 4;

// For each glyph byte, the strip's 16 pixel masks, all ones where the foreground shows:
// bit 7 is the leftmost emulated pixel, and each emulated pixel covers two window pixels.
struct StripMasks {
    FourPixels part[kStripParts];
};
const std::array<StripMasks, 256> kStripMasks = [] {
    std::array<StripMasks, 256> table{};
    for (int bits = 0; bits < 256; ++bits) {
        for (int k = 0; k < kStripPixels; ++k)
            table[bits].part[k / 4][k % 4] = (bits >> (7 - k / 2)) & 1 ? 0xFFFFFFFFu : 0;
    }
    return table;
}();

// One strip: 16 pixels, each the foreground where its mask is set.
inline void drawStrip(uint32_t* strip, uint8_t bits, uint32_t foreground, uint32_t background) {
    const FourPixels front = {foreground, foreground, foreground, foreground};
    const FourPixels back = {background, background, background, background};
    for (int i = 0; i < kStripParts; ++i) {
        FourPixels mask = kStripMasks[bits].part[i];
        FourPixels pixels = (front & mask) | (back & ~mask);
        std::memcpy(strip + 4 * i, &pixels, sizeof pixels);
    }
}
}  // namespace

void drawTextScreenFrom(const TextScreenSource& source) {
    for (int line = 0; line < kScreenLines; ++line) {
        int textRow = line / kGlyphRows;
        int glyphRow = line % kGlyphRows;
        uint32_t* windowLine = framebuffer + line * kWindowRowsPerLine * kWindowWidth;
        for (int column = 0; column < kScreenColumns; ++column) {
            lockPixels();
            int cell = textRow * kScreenColumns + column;
            uint8_t code = source.matrix[cell];
            drawStrip(windowLine + column * kStripPixels,
                      source.glyphs[code * kGlyphRows + glyphRow],
                      paletteNibble(source.colours[cell]), paletteNibble(*source.background));
            unlockPixels(-1, -1);
        }
    }
}

void drawTextScreen() {
    drawTextScreenFrom({.matrix = &memory.ram[kScreenMatrix],
                        .colours = &memory.ram[kColourMemory],
                        .background = &memory.ram[kBackgroundColour],
                        .glyphs = memory.charRom});
}

char screenCodeToAscii(uint8_t code) {
    code &= 0x7F;
    if (code < 32) return static_cast<char>('@' + code);
    if (code < 64) return static_cast<char>(code);
    if (code < 95) return static_cast<char>('`' + (code - 64));
    return '#';
}

bool screenShowsText(std::string_view text) {
    if (text.empty() || text.size() > kScreenCells) return text.empty();
    const uint8_t* cells = &memory.ram[kScreenMatrix];
    int lastStart = kScreenCells - static_cast<int>(text.size());
    for (int start = 0; start <= lastStart; ++start) {
        std::size_t k = 0;
        while (k < text.size() && screenCodeToAscii(cells[start + k]) == text[k]) ++k;
        if (k == text.size()) return true;
    }
    return false;
}

std::string screenRowText(int row) {
    std::string text(kScreenColumns, ' ');
    for (int column = 0; column < kScreenColumns; ++column) {
        text[column] = screenCodeToAscii(memory.ram[kScreenMatrix + row * kScreenColumns + column]);
    }
    return text;
}

std::string screenText(bool markReverse) {
    std::string text;
    for (int row = 0; row < kScreenRows; ++row) {
        text += screenRowText(row);
        text += '\n';
        if (!markReverse) continue;
        std::string marks;
        for (int column = 0; column < kScreenColumns; ++column) {
            if (isReverseVideo(memory.ram[kScreenMatrix + row * kScreenColumns + column])) {
                marks.resize(column, ' ');
                marks += '^';
            }
        }
        if (!marks.empty()) text += marks + '\n';
    }
    return text;
}
