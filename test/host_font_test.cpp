// Our font and the character ROM built from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "host/font.h"

namespace {

TEST(Font, AsciiMapsToScreenCodeOrder) {
    const struct {
        char character;
        int screenCode;
        // clang-format off
    } cases[] = {
        {'@', 0},
        {'A', 1},
        {'Z', 26},
        {'[', 27},
        {'\\', 28},
        {']', 29},
        {'^', 30},
        {'_', 31},
        {' ', 32},
        {'!', 33},
        {'0', 48},
        {'9', 57},
        {'?', 63},
        {'`', 64},
        {'a', 65},
        {'z', 90},
        {'{', 91},
        {'|', 92},
        {'}', 93},
        {'~', 94},
        {'\t', kPlaceholderScreenCode},
        {'\x1f', kPlaceholderScreenCode},
        {'\x7f', kPlaceholderScreenCode},
        {static_cast<char>(0xC3), kPlaceholderScreenCode},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(screenCodeForAscii(c.character), c.screenCode)
            << "character " << int(c.character);
    }
}

TEST(Font, EveryGlyphIsDistinctAndOnlySpaceIsBlank) {
    std::set<std::vector<uint8_t>> seen;
    for (int code = 0; code < kGlyphCount; ++code) {
        const uint8_t* rows = glyphRows(code);
        std::vector<uint8_t> glyph(rows, rows + kGlyphHeight);
        EXPECT_TRUE(seen.insert(glyph).second) << "glyph " << code << " repeats another";
        bool blank = std::all_of(glyph.begin(), glyph.end(), [](uint8_t row) { return row == 0; });
        EXPECT_EQ(blank, code == screenCodeForAscii(' ')) << "glyph " << code;
    }
}

TEST(Font, CharactersKeepTheirOuterColumnsClearSoNeighboursStayApart) {
    constexpr uint8_t kOuterColumns = 0x81;
    for (int code = 0; code < 95; ++code) {
        if (code == screenCodeForAscii('_')) continue;  // the underline joins up on purpose
        for (int row = 0; row < kGlyphHeight; ++row) {
            EXPECT_EQ(glyphRows(code)[row] & kOuterColumns, 0)
                << "glyph " << code << " row " << row;
        }
    }
}

TEST(Font, ReverseCodesShowTheSameGlyphs) {
    for (int code = 0; code < kGlyphCount; ++code)
        EXPECT_EQ(glyphRows(code + 128), glyphRows(code));
}

TEST(CharacterRom, HoldsTheFontItsReverseAndASecondCopy) {
    std::ifstream file(BREADBIN_BUILD_DIR "/firmware/chargen.rom", std::ios::binary);
    ASSERT_TRUE(file) << "chargen.rom has not been built";
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    ASSERT_EQ(image.size(), 4096u);
    for (int code = 0; code < kGlyphCount; ++code) {
        for (int row = 0; row < kGlyphHeight; ++row) {
            std::size_t at = static_cast<std::size_t>(code * 8 + row);
            EXPECT_EQ(image[at], glyphRows(code)[row]) << "code " << code << " row " << row;
            EXPECT_EQ(image[at + 1024], static_cast<uint8_t>(~glyphRows(code)[row]))
                << "code " << code + 128 << " row " << row;
        }
    }
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 2048, image.begin() + 2048));
}

}  // namespace
