// The text-screen renderer's palette and geometry, and decoding the screen matrix to text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The sixteen colours, red, green and blue.
struct PaletteColour {
    uint8_t red, green, blue;
};
extern const std::array<PaletteColour, 16> palette;

// A palette colour as a window pixel: alpha $FF, then red, green, blue.
constexpr uint32_t pixelOf(PaletteColour colour) {
    return 0xFF000000u | uint32_t{colour.red} << 16 | uint32_t{colour.green} << 8 | colour.blue;
}

inline constexpr int kScreenColumns = 40;
inline constexpr int kScreenRows = 25;
inline constexpr int kScreenCells = kScreenRows * kScreenColumns;  // the matrix's bytes
inline constexpr int kGlyphRows = 8;
inline constexpr int kScreenLines = kScreenRows * kGlyphRows;  // 200 emulated pixel lines
inline constexpr int kStripPixels = 16;                        // one cell's line, doubled in width

// What the text screen is drawn from: the screen matrix (1000 screen codes), the cells'
// colours (low nibbles), the background colour (low nibble) and 256 glyphs of 8 bytes.
struct TextScreenSource {
    const uint8_t* matrix;
    const uint8_t* colours;
    const uint8_t* background;
    const uint8_t* glyphs;
};
// Redraws the 40 x 25 text screen from `source` into the framebuffer's even rows 0-398.
void drawTextScreenFrom(const TextScreenSource& source);

// The character a screen code shows, as ASCII: '@' A-Z [ \ ] ^ _ for 0-31, the ASCII
// characters 32-63 for themselves, ` a-z { | } ~ for 64-94, '#' for our graphics glyphs
// 95-127. Codes 128-255 show the same characters in reverse video.
char screenCodeToAscii(uint8_t code);
inline bool isReverseVideo(uint8_t code) { return code & 0x80; }

// Whether the screen shows `text`, its rows joined without line ends (so a text that wraps
// from one row to the next is found too), each cell read as screenCodeToAscii reads it.
// It compares the screen matrix in place and allocates nothing.
bool screenShowsText(std::string_view text);
// One row (0-24) of the screen matrix at $0400 as 40 characters.
std::string screenRowText(int row);
// The whole screen: 25 lines of 40 characters, each ended by a newline. With
// markReverse, every line that holds reverse-video cells is followed by a line with '^'
// under each of them (trailing spaces dropped), so a cursor or highlight is visible.
std::string screenText(bool markReverse);
