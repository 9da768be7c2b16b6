// The status text area as the headless host shows it: the lines it keeps, the numbers it
// formats, the scrolling inside its rows and the pixels it draws.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "host/font.h"
#include "host/headless.h"
#include "host/host.h"
#include "host/text_area.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFirstStatusRow = 55;
constexpr int kLastStatusRow = 60;
constexpr int kFirstStatusPixelRow = 432;

class StatusText : public ::testing::Test {
protected:
    void SetUp() override {
        headlessReset();
        openWindow(kWidth, kHeight, 32, 2, 0, 60);
        setTextRows(kFirstStatusRow, kLastStatusRow);
    }
    void TearDown() override { headlessReset(); }

    static uint32_t pixel(int x, int y) { return pixelMemory()[y * kWidth + x]; }

    // Whether the cell at text row `row`, column `column` (both from 1) shows the glyph
    // of `screenCode`.
    static ::testing::AssertionResult cellShowsGlyph(int row, int column, int screenCode) {
        const uint8_t* glyph = glyphRows(screenCode);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                uint32_t expected = (glyph[y] << x) & 0x80 ? kTextForeground : kTextBackground;
                uint32_t actual = pixel((column - 1) * 8 + x, (row - 1) * 8 + y);
                if (actual != expected) {
                    return ::testing::AssertionFailure()
                           << "cell " << row << "," << column << " pixel " << x << "," << y
                           << " is " << std::hex << actual << ", not " << expected << " for code "
                           << std::dec << screenCode;
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

    static ::testing::AssertionResult cellShows(int row, int column, char character) {
        return cellShowsGlyph(row, column, screenCodeForAscii(character));
    }

    static ::testing::AssertionResult rowShows(int row, const std::string& text) {
        for (int column = 1; column <= kTextColumns; ++column) {
            char character = column <= static_cast<int>(text.size()) ? text[column - 1] : ' ';
            if (auto result = cellShows(row, column, character); !result) return result;
        }
        return ::testing::AssertionSuccess();
    }

    static void printLine(const std::string& text) {
        printText(text);
        printLineEnd();
    }
};

TEST_F(StatusText, KeepsEachLineAsText) {
    printText("kernal.rom loaded");
    printNumber(8192);
    printText(" bytes long");
    printLineEnd();
    printText("basic.rom loaded");
    printNumber(0);
    printText(" bytes long\nchargen");  // a newline inside the text ends the line too
    EXPECT_EQ(headlessStatusLines(),
              (std::vector<std::string>{"kernal.rom loaded 8192 bytes long",
                                        "basic.rom loaded 0 bytes long", "chargen"}));
    printLineEnd();
    printLineEnd();  // an empty line is a line of its own
    EXPECT_EQ(headlessStatusLines().size(), 4u);
    EXPECT_EQ(headlessStatusLines().back(), "");
    EXPECT_EQ(headlessTextRow(55), "kernal.rom loaded 8192 bytes long");
    EXPECT_EQ(headlessTextRow(57), "chargen");
}

TEST_F(StatusText, PrintsNumbersLikePercentSpaceD) {
    const struct {
        int value;
        const char* text;
        // clang-format off
    } cases[] = {
        {0, " 0"},
        {7, " 7"},
        {-1, "-1"},
        {8192, " 8192"},
        {-4097, "-4097"},
        {INT_MAX, " 2147483647"},
        {INT_MIN, "-2147483648"},
    };
    // clang-format on
    for (const auto& c : cases) {
        headlessReset();
        printNumber(c.value);
        EXPECT_EQ(headlessStatusLines(), std::vector<std::string>{c.text}) << c.value;
    }
}

TEST_F(StatusText, LineEndOnTheLastRowScrollsOnlyTheTextRows) {
    for (int i = 1; i <= 8; ++i) printLine("line " + std::to_string(i));
    // Six rows: after eight line ends lines 4-8 remain and the cursor row is empty.
    for (int row = 55; row <= 59; ++row) {
        std::string expected = "line " + std::to_string(row - 51);
        EXPECT_EQ(headlessTextRow(row), expected);
        EXPECT_TRUE(rowShows(row, expected));
    }
    EXPECT_EQ(headlessTextRow(60), "");
    EXPECT_TRUE(rowShows(60, ""));
    EXPECT_EQ(headlessTextRow(54), "");
    printText("next");
    EXPECT_TRUE(rowShows(60, "next"));
    EXPECT_EQ(headlessStatusLines().size(), 9u);  // every line is kept, shown or not
}

TEST_F(StatusText, DrawsOnlyIntoTheTextRows) {
    printLine("breadbin");
    printText("@AZaz09 ~{|}");
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t value = pixel(x, y);
            if (y < kFirstStatusPixelRow) {
                ASSERT_EQ(value, 0u) << "pixel " << x << "," << y << " above the text rows";
            } else {
                ASSERT_TRUE(value == kTextForeground || value == kTextBackground) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(rowShows(55, "breadbin"));
    EXPECT_TRUE(rowShows(56, "@AZaz09 ~{|}"));
    EXPECT_NE(kTextForeground, kTextBackground);
}

TEST_F(StatusText, TextPastTheLastColumnIsKeptButNotDrawn) {
    std::string longLine(85, 'x');
    longLine.back() = 'y';
    printText(longLine);
    EXPECT_EQ(headlessStatusLines(), std::vector<std::string>{longLine});
    EXPECT_EQ(headlessTextRow(55), std::string(80, 'x'));
    EXPECT_TRUE(rowShows(55, std::string(80, 'x')));
    EXPECT_TRUE(rowShows(56, ""));  // no wrap into the next row
}

TEST_F(StatusText, CharactersWithoutAGlyphShowThePlaceholder) {
    printText("a\tb\x7f\xc3\xa9");
    EXPECT_TRUE(cellShows(55, 1, 'a'));
    for (int column : {2, 4, 5, 6}) EXPECT_TRUE(cellShowsGlyph(55, column, kPlaceholderScreenCode));
}

TEST(StatusTextBeforeTheWindow, ShowsWhenTheWindowOpens) {
    headlessReset();
    setTextRows(kFirstStatusRow, kLastStatusRow);
    printText("early");
    EXPECT_EQ(pixelMemory(), nullptr);
    openWindow(kWidth, kHeight, 32, 2, 0, 60);
    const uint8_t* e = glyphRows(screenCodeForAscii('e'));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            uint32_t expected = (e[y] << x) & 0x80 ? kTextForeground : kTextBackground;
            ASSERT_EQ(pixelMemory()[(kFirstStatusPixelRow + y) * kWidth + x], expected);
        }
    }
    EXPECT_EQ(pixelMemory()[(kFirstStatusPixelRow - 1) * kWidth], 0u);
    headlessReset();
}

}  // namespace
