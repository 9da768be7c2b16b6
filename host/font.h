// Our own 8 x 8 font: 128 glyphs in screen-code order. Codes 0-31 are '@', 'A'-'Z',
// '[', '\', ']', '^', '_'; 32-63 are ASCII 32-63 (space to '?'); 64-94 are '`', 'a'-'z',
// '{', '|', '}', '~'; 95-127 are graphics (blocks, lines, corners, shapes). Each glyph is
// eight row bytes from the top, bit 7 the leftmost pixel. The glyphs are drawn as text
// art in font.cpp and turned into bytes at compile time.
#pragma once

#include <cstdint>

inline constexpr int kGlyphCount = 128;
inline constexpr int kGlyphHeight = 8;
inline constexpr int kGlyphWidth = 8;

// The screen code shown for a character that has no glyph of its own: a hollow box.
inline constexpr uint8_t kPlaceholderScreenCode = 127;

// The eight row bytes of a glyph; only the low seven bits of the code count.
const uint8_t* glyphRows(int screenCode);
// The screen code of an ASCII character 32-126; any other character gives the placeholder.
uint8_t screenCodeForAscii(char character);
