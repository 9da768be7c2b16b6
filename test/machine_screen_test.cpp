// The text-screen renderer on the headless host: where each cell lands in the window, its
// colours, what it reads and what it leaves alone, the pixel lock around every strip, the
// decoding of the screen matrix to text, and a whole frame of the firmware and the demo
// against a golden image.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/font.h"
#include "host/png_image.h"
#include "machine/screen.h"
#include "machine_fixture.h"

namespace {

// The sixteen colours as window pixels, written out here rather than taken from the
// renderer, so that a wrong entry in its palette shows.
// clang-format off
constexpr std::array<uint32_t, 16> kColourPixels = {
    0xFF000000, 0xFFFFFFFF, 0xFF68372B, 0xFF70A4B2, 0xFF6F3D86, 0xFF588D43,
    0xFF352879, 0xFFB8C76F, 0xFF6F4F25, 0xFF433900, 0xFF9A6759, 0xFF444444,
    0xFF6C6C6C, 0xFF9AD284, 0xFF6C5EB5, 0xFF959595,
};
// clang-format on

// What the page holds before a draw: the renderer must leave it wherever it draws nothing.
constexpr uint32_t kUntouched = 0x12345678;
constexpr int kScreenPixelRows = 400;  // the emulated screen's share of the window
constexpr int kCellWidth = 16;         // window pixels per cell
constexpr int64_t kStripsPerFrame = kScreenLines * kScreenColumns;  // one lock each
constexpr std::size_t kPagePixels = std::size_t{kWindowWidth} * kWindowHeight;

uint32_t pixelAt(int x, int y) {
    return framebuffer[static_cast<std::size_t>(y) * kWindowWidth + x];
}

class Renderer : public testing::Test {
protected:
    void SetUp() override {
        headlessReset();
        openWindow(kWindowWidth, kWindowHeight, kWindowBitsPerPixel, kWindowPages, kWindowFlags,
                   kWindowRefreshRate);
        framebuffer = pixelMemory();
        std::memset(&memory, 0, sizeof memory);
        memory.ram[0x0001] = kPortAtPowerUp;
        std::fill(framebuffer, framebuffer + kPagePixels, kUntouched);
    }
    void TearDown() override { headlessReset(); }

    static void putCell(int row, int column, uint8_t code, uint8_t colour) {
        memory.ram[kScreenMatrix + row * kScreenColumns + column] = code;
        memory.ram[kColourMemory + row * kScreenColumns + column] = colour;
    }
    static void setGlyph(uint8_t code, const std::array<uint8_t, 8>& rows) {
        std::copy(rows.begin(), rows.end(), &memory.charRom[code * kGlyphRows]);
    }
};

struct CellCase {
    const char* what;
    int row;
    int column;
    uint8_t code;
    std::array<uint8_t, 8> glyph;
    uint8_t colourByte;      // what colour memory holds for the cell
    uint8_t backgroundByte;  // what $D021 holds
    int foreground;          // the colours the picture must show
    int background;
};

// One cell drawn on an otherwise empty screen (code 0, whose glyph is blank): the cell's
// strips hold its glyph in its colours, every other even row of the screen is
// background, and the odd rows and the rows from 400 down keep what they held.
TEST_F(Renderer, CellLandsOnTheEvenRowsOfItsBlockInItsColours) {
    // clang-format off
    const CellCase cases[] = {
        {"top left, code 1", 0, 0, 1, {0x81, 0x42, 0x24, 0x18, 0xF0, 0x0F, 0xAA, 0x55}, 0x01, 0x00, 1, 0},
        {"bottom right, last glyph", 24, 39, 0xFF, {0xFF, 0x01, 0x80, 0x3C, 0x66, 0xC3, 0x7E, 0x99}, 0x05, 0x06, 5,
         6},
        {"second row, first column", 1, 0, 0x41, {0x10, 0x38, 0x7C, 0xFE, 0x7C, 0x38, 0x10, 0x00}, 0x0E, 0x0B, 14,
         11},
        {"high nibbles ignored", 12, 20, 0x22, {0xF0, 0xF0, 0xF0, 0xF0, 0x0F, 0x0F, 0x0F, 0x0F}, 0xF1, 0xF6, 1, 6},
        {"glyph bit 7 is the leftmost pixel pair", 3, 7, 0x30, {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},
         0x07, 0x02, 7, 2},
        {"glyph bit 0 is the rightmost pixel pair", 20, 33, 0x31, {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01},
         0x0A, 0x09, 10, 9},
    };
    // clang-format on
    for (const CellCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        setGlyph(c.code, c.glyph);
        putCell(c.row, c.column, c.code, c.colourByte);
        memory.ram[kBackgroundColour] = c.backgroundByte;
        drawTextScreen();

        uint32_t foreground = kColourPixels[c.foreground];
        uint32_t background = kColourPixels[c.background];
        int firstX = c.column * kCellWidth;
        int firstY = c.row * kGlyphRows * 2;
        int mismatches = 0;
        for (int y = 0; y < kWindowHeight; ++y) {
            for (int x = 0; x < kWindowWidth; ++x) {
                uint32_t expected = kUntouched;
                if (y < kScreenPixelRows && y % 2 == 0) {
                    expected = background;
                    bool inCell = x >= firstX && x < firstX + kCellWidth && y >= firstY &&
                                  y < firstY + 2 * kGlyphRows;
                    if (inCell && (c.glyph[(y - firstY) / 2] >> (7 - (x - firstX) / 2) & 1)) {
                        expected = foreground;
                    }
                }
                if (pixelAt(x, y) != expected && ++mismatches <= 3) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex
                                  << pixelAt(x, y) << ", expected " << expected;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(Renderer, EverySixteenColoursShowAsTheirPixelValues) {
    setGlyph(1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});  // all foreground
    for (int colour = 0; colour < 16; ++colour) putCell(0, colour, 1, static_cast<uint8_t>(colour));
    for (int background = 0; background < 16; ++background) {
        memory.ram[kBackgroundColour] = static_cast<uint8_t>(background);
        drawTextScreen();
        EXPECT_EQ(pixelAt(kWindowWidth - 1, kScreenPixelRows - 2), kColourPixels[background])
            << "background " << background;
    }
    for (int colour = 0; colour < 16; ++colour) {
        EXPECT_EQ(pixelAt(colour * kCellWidth + 5, 6), kColourPixels[colour])
            << "colour " << colour;
    }
}

// The renderer reads the buffers, not the processor's view: with the character ROM
// banked in at $D000 (which would hide colour memory and $D021), the picture stays.
TEST_F(Renderer, CharacterRomVisibleToTheProcessorDoesNotChangeThePicture) {
    for (int cell = 0; cell < kScreenCells; ++cell) {
        putCell(cell / kScreenColumns, cell % kScreenColumns, static_cast<uint8_t>(cell * 7),
                static_cast<uint8_t>(cell * 3 + cell / 16));
    }
    for (int i = 0; i < 2048; ++i) memory.charRom[i] = static_cast<uint8_t>(i * 37 + i / 8);
    for (int i = 2048; i < 4096; ++i)
        memory.charRom[i] = static_cast<uint8_t>(~i);  // what $D800 would show
    memory.ram[kBackgroundColour] = 0x0E;
    drawTextScreen();
    std::vector<uint32_t> withIo(framebuffer, framebuffer + kPagePixels);

    memory.ram[0x0001] = kPortAtPowerUp & ~kPortIo;
    ASSERT_NE(readByte(kBackgroundColour), memory.ram[kBackgroundColour])
        << "the banks must differ";
    std::fill(framebuffer, framebuffer + kPagePixels, kUntouched);
    drawTextScreen();
    EXPECT_TRUE(std::equal(withIo.begin(), withIo.end(), framebuffer));
}

// Only the first 2048 bytes of the character ROM hold glyphs; the rest is never shown.
TEST_F(Renderer, OnlyTheFirstHalfOfTheCharacterRomIsShown) {
    for (int cell = 0; cell < kScreenCells; ++cell) {
        putCell(cell / kScreenColumns, cell % kScreenColumns, static_cast<uint8_t>(cell), 1);
    }
    drawTextScreen();
    std::vector<uint32_t> before(framebuffer, framebuffer + kPagePixels);
    std::fill(&memory.charRom[2048], &memory.charRom[kCharRomSize], 0xFF);
    drawTextScreen();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), framebuffer));
}

TEST_F(Renderer, EachFrameTakesAndReleasesThePixelLockOncePerStrip) {
    for (int frame = 1; frame <= 2; ++frame) {
        drawTextScreen();
        EXPECT_EQ(headlessLockCount(), frame * kStripsPerFrame);
        EXPECT_EQ(headlessUnlockCount(), frame * kStripsPerFrame);
        EXPECT_FALSE(headlessPixelsLocked());
        EXPECT_EQ(headlessLastUnlockRows(), (std::pair<int, int>{-1, -1}))
            << "every row marked changed";
    }
}

TEST(ScreenText, ScreenCodesDecodeToTheirCharacters) {
    struct Row {
        uint8_t code;
        char ascii;
    };
    // clang-format off
    const Row rows[] = {
        {0, '@'},   {1, 'A'},   {26, 'Z'},  {27, '['},  {28, '\\'}, {29, ']'}, {30, '^'},  {31, '_'},
        {32, ' '},  {33, '!'},  {48, '0'},  {57, '9'},  {63, '?'},  {64, '`'}, {65, 'a'},  {90, 'z'},
        {91, '{'},  {94, '~'},  {95, '#'},  {110, '#'}, {127, '#'}, {128, '@'}, {129, 'A'}, {160, ' '},
        {191, '?'}, {193, 'a'}, {222, '~'}, {223, '#'}, {255, '#'},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(screenCodeToAscii(row.code), row.ascii) << "code " << int{row.code};
        EXPECT_EQ(isReverseVideo(row.code), row.code >= 128) << "code " << int{row.code};
    }
}

// The decoder and the font agree on the encoding: every printable ASCII character that
// has a glyph comes back as itself.
TEST(ScreenText, DecodingInvertsTheFontsEncoding) {
    for (char c = 32; c < 127; ++c) {
        uint8_t code = screenCodeForAscii(c);
        ASSERT_NE(code, kPlaceholderScreenCode) << "'" << c << "' has no glyph";
        EXPECT_EQ(screenCodeToAscii(code), c);
    }
}

TEST(ScreenText, ScreenTextMarksReverseCellsOnTheLineBelow) {
    std::memset(&memory.ram[kScreenMatrix], 32, kScreenCells);
    const uint8_t hello[] = {8, 5, 12, 12, 15};  // HELLO
    std::copy(std::begin(hello), std::end(hello), &memory.ram[kScreenMatrix]);
    memory.ram[kScreenMatrix + 1] |= 0x80;                       // a reversed E
    memory.ram[kScreenMatrix + 3] |= 0x80;                       // and L
    memory.ram[kScreenMatrix + 2 * kScreenColumns + 39] = 0xA0;  // a cursor at the end of row 2
    memory.ram[kScreenMatrix + 24 * kScreenColumns] = 0x81;      // a reversed A at the bottom left

    const std::string blank(40, ' ');
    std::string plain;
    std::string marked;
    for (int row = 0; row < kScreenRows; ++row) {
        std::string line = blank;
        if (row == 0) line.replace(0, 5, "HELLO");
        if (row == 24) line[0] = 'A';
        plain += line + '\n';
        marked += line + '\n';
        if (row == 0) marked += " ^ ^\n";
        if (row == 2) marked += std::string(39, ' ') + "^\n";
        if (row == 24) marked += "^\n";
    }
    EXPECT_EQ(screenText(false), plain);
    EXPECT_EQ(screenText(true), marked);
    EXPECT_EQ(screenRowText(0), "HELLO" + std::string(35, ' '));
}

TEST(ScreenText, TextIsFoundInPlaceAcrossRowEndsAndInReverseVideo) {
    std::memset(&memory.ram[kScreenMatrix], 32, kScreenCells);
    const uint8_t ok[] = {15, 11};                                             // OK
    std::copy(std::begin(ok), std::end(ok), &memory.ram[kScreenMatrix + 38]);  // end of row 0
    memory.ram[kScreenMatrix + 40] = 0x80 | 33;                                // a reversed '!'
    memory.ram[kScreenMatrix + 999] = 26;                                      // Z, the last cell
    const std::string blankScreen(1000, ' ');
    struct Case {
        std::string_view text;
        bool shown;
    };
    // clang-format off
    const Case cases[] = {
        {"OK", true}, {"OK!", true}, {" OK! ", true}, {"Z", true}, {"  Z", true},
        {"OK!!", false}, {"ok", false}, {"Z ", false}, {"@", false},
        {blankScreen, false}, {"", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(screenShowsText(c.text), c.shown) << "'" << c.text << "'";
    }
    // The whole screen, row ends and all, is one text of 1000 characters.
    std::string whole;
    for (int row = 0; row < kScreenRows; ++row) whole += screenRowText(row);
    EXPECT_TRUE(screenShowsText(whole));
}

// ---- a whole frame against the golden image

constexpr const char* kGoldenFile = BREADBIN_SOURCE_DIR "/test/golden/demo_frame.png";
constexpr const char* kDemoFolder = BREADBIN_BUILD_DIR "/demo";
constexpr int kGoldenMilliseconds = 3000;  // emulated run before the frame is taken
constexpr uint64_t kStepsPerMillisecond = 400;

// The firmware and the demo from the ready folder, with the virtual clock moved on one
// millisecond per fixed batch of steps: the same steps, frames and random key bits every
// run, so the page after the run is always the same. Set BREADBIN_UPDATE_GOLDEN=1 to
// write the golden image anew instead of comparing.
TEST(GoldenFrame, DemoFrameMatchesTheGoldenImage) {
    TemporaryFolder folder;
    for (const char* name : {"kernal.rom", "basic.rom", "chargen.rom", "tests/start"}) {
        fs::path source = fs::path(kDemoFolder) / name;
        ASSERT_TRUE(fs::exists(source)) << source << " is missing: build the demo_folder target";
        writeFile(name, readFileBytes(source));
    }
    startHeadless(0.0);
    for (int ms = 0; ms < kGoldenMilliseconds; ++ms) {
        runSteps(kStepsPerMillisecond);
        headlessAdvanceClock(0.001);
    }
    ASSERT_TRUE(machine.loop.testProgramLoaded);
    ASSERT_GT(headlessLockCount(), 100 * kStripsPerFrame) << "the demo ran for many frames";

    std::string error;
    const char* update = std::getenv("BREADBIN_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        ASSERT_TRUE(writePng(kGoldenFile, framebuffer, kWindowWidth, kWindowHeight, error))
            << error;
        GTEST_SKIP() << "wrote " << kGoldenFile;
    }
    PngPicture golden;
    ASSERT_TRUE(readPng(kGoldenFile, golden, error))
        << error << " (run with BREADBIN_UPDATE_GOLDEN=1 to create it)";
    ASSERT_EQ(golden.width, kWindowWidth);
    ASSERT_EQ(golden.height, kWindowHeight);
    // The file keeps red, green and blue; the page's untouched odd rows have alpha 0.
    constexpr uint32_t kRgb = 0x00FFFFFF;
    for (std::size_t i = 0; i < kPagePixels; ++i) {
        ASSERT_EQ(framebuffer[i] & kRgb, golden.pixels[i] & kRgb)
            << "first difference at pixel (" << i % kWindowWidth << ", " << i / kWindowWidth << ")";
    }
}

}  // namespace
