// Our own 8 x 8 font, drawn here as a sheet: each band below holds eight glyphs side by
// side, one string per pixel row, 'X' for a lit pixel and '.' for a dark one. Capitals
// and digits stand in columns 1-5 and rows 0-6; lower case has its x-height in rows 2-6,
// and its descenders reach row 7. The graphics glyphs fill the whole cell, so lines and
// blocks join up with their neighbours.
#include "host/font.h"

#include <array>
#include <string_view>

namespace {

constexpr int kGlyphsPerBand = 8;
constexpr int kBandCount = kGlyphCount / kGlyphsPerBand;
constexpr std::size_t kSlotWidth = kGlyphWidth + 1;  // a glyph row and one separating space
constexpr std::size_t kSheetRowLength = kGlyphsPerBand * kSlotWidth - 1;

// clang-format off
constexpr std::string_view kSheet[kBandCount * kGlyphHeight] = {
    //   0: @        A        B        C        D        E        F        G
    "..XXX... ..XXX... .XXXX... ..XXX... .XXX.... .XXXXX.. .XXXXX.. ..XXX...",
    ".X...X.. .X...X.. .X...X.. .X...X.. .X..X... .X...... .X...... .X...X..",
    ".X.XXX.. .X...X.. .X...X.. .X...... .X...X.. .X...... .X...... .X......",
    ".X.X.X.. .XXXXX.. .XXXX... .X...... .X...X.. .XXXX... .XXXX... .X.XXX..",
    ".X.XXX.. .X...X.. .X...X.. .X...... .X...X.. .X...... .X...... .X...X..",
    ".X...... .X...X.. .X...X.. .X...X.. .X..X... .X...... .X...... .X...X..",
    "..XXXX.. .X...X.. .XXXX... ..XXX... .XXX.... .XXXXX.. .X...... ..XXXX..",
    "........ ........ ........ ........ ........ ........ ........ ........",
    //   8: H        I        J        K        L        M        N        O
    ".X...X.. ..XXX... ...XXX.. .X...X.. .X...... .X...X.. .X...X.. ..XXX...",
    ".X...X.. ...X.... ....X... .X..X... .X...... .XX.XX.. .X...X.. .X...X..",
    ".X...X.. ...X.... ....X... .X.X.... .X...... .X.X.X.. .XX..X.. .X...X..",
    ".XXXXX.. ...X.... ....X... .XX..... .X...... .X.X.X.. .X.X.X.. .X...X..",
    ".X...X.. ...X.... ....X... .X.X.... .X...... .X...X.. .X..XX.. .X...X..",
    ".X...X.. ...X.... .X..X... .X..X... .X...... .X...X.. .X...X.. .X...X..",
    ".X...X.. ..XXX... ..XX.... .X...X.. .XXXXX.. .X...X.. .X...X.. ..XXX...",
    "........ ........ ........ ........ ........ ........ ........ ........",
    //  16: P        Q        R        S        T        U        V        W
    ".XXXX... ..XXX... .XXXX... ..XXX... .XXXXX.. .X...X.. .X...X.. .X...X..",
    ".X...X.. .X...X.. .X...X.. .X...X.. ...X.... .X...X.. .X...X.. .X...X..",
    ".X...X.. .X...X.. .X...X.. .X...... ...X.... .X...X.. .X...X.. .X...X..",
    ".XXXX... .X...X.. .XXXX... ..XXX... ...X.... .X...X.. .X...X.. .X.X.X..",
    ".X...... .X.X.X.. .X.X.... .....X.. ...X.... .X...X.. .X...X.. .X.X.X..",
    ".X...... .X..X... .X..X... .X...X.. ...X.... .X...X.. ..X.X... .XX.XX..",
    ".X...... ..XX.X.. .X...X.. ..XXX... ...X.... ..XXX... ...X.... .X...X..",
    "........ ........ ........ ........ ........ ........ ........ ........",
    //  24: X        Y        Z        [        \        ]        ^        _
    ".X...X.. .X...X.. .XXXXX.. ..XXX... ........ ..XXX... ...X.... ........",
    ".X...X.. .X...X.. .....X.. ..X..... .X...... ....X... ..X.X... ........",
    "..X.X... ..X.X... ....X... ..X..... ..X..... ....X... .X...X.. ........",
    "...X.... ...X.... ...X.... ..X..... ...X.... ....X... ........ ........",
    "..X.X... ...X.... ..X..... ..X..... ....X... ....X... ........ ........",
    ".X...X.. ...X.... .X...... ..X..... .....X.. ....X... ........ ........",
    ".X...X.. ...X.... .XXXXX.. ..XXX... ........ ..XXX... ........ ........",
    "........ ........ ........ ........ ........ ........ ........ XXXXXXXX",
    //  32: space    !        "        #        $        %        &        '
    "........ ...X.... ..X.X... ..X.X... ...X.... .XX..... ..XX.... ...X....",
    "........ ...X.... ..X.X... ..X.X... ..XXXX.. .XX..X.. .X..X... ...X....",
    "........ ...X.... ..X.X... .XXXXX.. .X.X.... ....X... .X.X.... ..X.....",
    "........ ...X.... ........ ..X.X... ..XXX... ...X.... ..X..... ........",
    "........ ...X.... ........ .XXXXX.. ...X.X.. ..X..... .X.X.X.. ........",
    "........ ........ ........ ..X.X... .XXXX... .X..XX.. .X..X... ........",
    "........ ...X.... ........ ..X.X... ...X.... ....XX.. ..XX.X.. ........",
    "........ ........ ........ ........ ........ ........ ........ ........",
    //  40: (        )        *        +        ,        -        .        /
    "....X... ..X..... ........ ........ ........ ........ ........ ........",
    "...X.... ...X.... ...X.... ...X.... ........ ........ ........ .....X..",
    "..X..... ....X... .X.X.X.. ...X.... ........ ........ ........ ....X...",
    "..X..... ....X... ..XXX... .XXXXX.. ........ .XXXXX.. ........ ...X....",
    "..X..... ....X... .X.X.X.. ...X.... ........ ........ ........ ..X.....",
    "...X.... ...X.... ...X.... ...X.... ..XX.... ........ ..XX.... .X......",
    "....X... ..X..... ........ ........ ..XX.... ........ ..XX.... ........",
    "........ ........ ........ ........ ...X.... ........ ........ ........",
    //  48: 0        1        2        3        4        5        6        7
    "..XXX... ...X.... ..XXX... ..XXX... ....X... .XXXXX.. ...XX... .XXXXX..",
    ".X...X.. ..XX.... .X...X.. .X...X.. ...XX... .X...... ..X..... .....X..",
    ".X..XX.. ...X.... .....X.. .....X.. ..X.X... .XXXX... .X...... ....X...",
    ".X.X.X.. ...X.... ....X... ...XX... .X..X... .....X.. .XXXX... ...X....",
    ".XX..X.. ...X.... ...X.... .....X.. .XXXXX.. .....X.. .X...X.. ..X.....",
    ".X...X.. ...X.... ..X..... .X...X.. ....X... .X...X.. .X...X.. ..X.....",
    "..XXX... ..XXX... .XXXXX.. ..XXX... ....X... ..XXX... ..XXX... ..X.....",
    "........ ........ ........ ........ ........ ........ ........ ........",
    //  56: 8        9        :        ;        <        =        >        ?
    "..XXX... ..XXX... ........ ........ ....X... ........ .X...... ..XXX...",
    ".X...X.. .X...X.. ..XX.... ..XX.... ...X.... ........ ..X..... .X...X..",
    ".X...X.. .X...X.. ..XX.... ..XX.... ..X..... .XXXXX.. ...X.... .....X..",
    "..XXX... ..XXXX.. ........ ........ .X...... ........ ....X... ....X...",
    ".X...X.. .....X.. ..XX.... ..XX.... ..X..... .XXXXX.. ...X.... ...X....",
    ".X...X.. ....X... ..XX.... ...X.... ...X.... ........ ..X..... ........",
    "..XXX... ..XX.... ........ ..X..... ....X... ........ .X...... ...X....",
    "........ ........ ........ ........ ........ ........ ........ ........",
    //  64: `        a        b        c        d        e        f        g
    "..X..... ........ .X...... ........ .....X.. ........ ...XX... ........",
    "...X.... ........ .X...... ........ .....X.. ........ ..X..... ........",
    "....X... ..XXX... .XXXX... ..XXXX.. ..XXXX.. ..XXX... .XXXX... ..XXXX..",
    "........ .....X.. .X...X.. .X...... .X...X.. .X...X.. ..X..... .X...X..",
    "........ ..XXXX.. .X...X.. .X...... .X...X.. .XXXXX.. ..X..... .X...X..",
    "........ .X...X.. .X...X.. .X...... .X...X.. .X...... ..X..... ..XXXX..",
    "........ ..XXXX.. .XXXX... ..XXXX.. ..XXXX.. ..XXXX.. ..X..... .....X..",
    "........ ........ ........ ........ ........ ........ ........ ..XXX...",
    //  72: h        i        j        k        l        m        n        o
    ".X...... ...X.... ....X... .X...... ..XX.... ........ ........ ........",
    ".X...... ........ ........ .X...... ...X.... ........ ........ ........",
    ".XXXX... ..XX.... ...XX... .X..X... ...X.... .XX.X... .XXXX... ..XXX...",
    ".X...X.. ...X.... ....X... .X.X.... ...X.... .X.X.X.. .X...X.. .X...X..",
    ".X...X.. ...X.... ....X... .XX..... ...X.... .X.X.X.. .X...X.. .X...X..",
    ".X...X.. ...X.... ....X... .X.X.... ...X.... .X.X.X.. .X...X.. .X...X..",
    ".X...X.. ..XXX... .X..X... .X..X... ..XXX... .X...X.. .X...X.. ..XXX...",
    "........ ........ ..XX.... ........ ........ ........ ........ ........",
    //  80: p        q        r        s        t        u        v        w
    "........ ........ ........ ........ ..X..... ........ ........ ........",
    "........ ........ ........ ........ ..X..... ........ ........ ........",
    ".XXXX... ..XXXX.. .X.XX... ..XXXX.. .XXXX... .X...X.. .X...X.. .X...X..",
    ".X...X.. .X...X.. .XX..X.. .X...... ..X..... .X...X.. .X...X.. .X...X..",
    ".X...X.. .X...X.. .X...... ..XXX... ..X..... .X...X.. .X...X.. .X.X.X..",
    ".XXXX... ..XXXX.. .X...... .....X.. ..X..X.. .X..XX.. ..X.X... .X.X.X..",
    ".X...... .....X.. .X...... .XXXX... ...XX... ..XX.X.. ...X.... ..X.X...",
    ".X...... .....X.. ........ ........ ........ ........ ........ ........",
    //  88: x        y        z        {        |        }        ~        checker
    "........ ........ ........ ...XX... ...X.... .XX..... ........ X.X.X.X.",
    "........ ........ ........ ..X..... ...X.... ...X.... ........ .X.X.X.X",
    ".X...X.. .X...X.. .XXXXX.. ..X..... ...X.... ...X.... ..XX..X. X.X.X.X.",
    "..X.X... .X...X.. ....X... .X...... ...X.... ....X... .X..XX.. .X.X.X.X",
    "...X.... .X...X.. ...X.... ..X..... ...X.... ...X.... ........ X.X.X.X.",
    "..X.X... ..XXXX.. ..X..... ..X..... ...X.... ...X.... ........ .X.X.X.X",
    ".X...X.. .....X.. .XXXXX.. ...XX... ...X.... .XX..... ........ X.X.X.X.",
    "........ ..XXX... ........ ........ ........ ........ ........ .X.X.X.X",
    //  96: full     top half bot half lft half rgt half quart UL quart UR quart LL
    "XXXXXXXX XXXXXXXX ........ XXXX.... ....XXXX XXXX.... ....XXXX ........",
    "XXXXXXXX XXXXXXXX ........ XXXX.... ....XXXX XXXX.... ....XXXX ........",
    "XXXXXXXX XXXXXXXX ........ XXXX.... ....XXXX XXXX.... ....XXXX ........",
    "XXXXXXXX XXXXXXXX ........ XXXX.... ....XXXX XXXX.... ....XXXX ........",
    "XXXXXXXX ........ XXXXXXXX XXXX.... ....XXXX ........ ........ XXXX....",
    "XXXXXXXX ........ XXXXXXXX XXXX.... ....XXXX ........ ........ XXXX....",
    "XXXXXXXX ........ XXXXXXXX XXXX.... ....XXXX ........ ........ XXXX....",
    "XXXXXXXX ........ XXXXXXXX XXXX.... ....XXXX ........ ........ XXXX....",
    // 104: quart LR UL + LR  UR + LL  h line   v line   cross    corner   corner
    "........ XXXX.... ....XXXX ........ ...XX... ...XX... ........ ........",
    "........ XXXX.... ....XXXX ........ ...XX... ...XX... ........ ........",
    "........ XXXX.... ....XXXX ........ ...XX... ...XX... ........ ........",
    "........ XXXX.... ....XXXX XXXXXXXX ...XX... XXXXXXXX ...XXXXX XXXXX...",
    "....XXXX ....XXXX XXXX.... XXXXXXXX ...XX... XXXXXXXX ...XXXXX XXXXX...",
    "....XXXX ....XXXX XXXX.... ........ ...XX... ...XX... ...XX... ...XX...",
    "....XXXX ....XXXX XXXX.... ........ ...XX... ...XX... ...XX... ...XX...",
    "....XXXX ....XXXX XXXX.... ........ ...XX... ...XX... ...XX... ...XX...",
    // 112: corner   corner   tee      tee      tee      tee      ball     ring
    "...XX... ...XX... ........ ...XX... ...XX... ...XX... ........ ........",
    "...XX... ...XX... ........ ...XX... ...XX... ...XX... ..XXXX.. ..XXXX..",
    "...XX... ...XX... ........ ...XX... ...XX... ...XX... .XXXXXX. .X....X.",
    "...XXXXX XXXXX... XXXXXXXX XXXXXXXX ...XXXXX XXXXX... .XXXXXX. .X....X.",
    "...XXXXX XXXXX... XXXXXXXX XXXXXXXX ...XXXXX XXXXX... .XXXXXX. .X....X.",
    "........ ........ ...XX... ........ ...XX... ...XX... .XXXXXX. .X....X.",
    "........ ........ ...XX... ........ ...XX... ...XX... ..XXXX.. ..XXXX..",
    "........ ........ ...XX... ........ ...XX... ...XX... ........ ........",
    // 120: rising   falling  x cross  diamond  shade    tri UL   tri LR   box
    "......XX XX...... XX....XX ...XX... X...X... XXXXXXXX .......X ........",
    ".....XX. .XX..... .XX..XX. ..XXXX.. ........ XXXXXXX. ......XX .XXXXX..",
    "....XX.. ..XX.... ..XXXX.. .XXXXXX. ..X...X. XXXXXX.. .....XXX .X...X..",
    "...XX... ...XX... ...XX... XXXXXXXX ........ XXXXX... ....XXXX .X...X..",
    "..XX.... ....XX.. ..XXXX.. XXXXXXXX X...X... XXXX.... ...XXXXX .X...X..",
    ".XX..... .....XX. .XX..XX. .XXXXXX. ........ XXX..... ..XXXXXX .X...X..",
    "XX...... ......XX XX....XX ..XXXX.. ..X...X. XX...... .XXXXXXX .XXXXX..",
    "X....... .......X X......X ...XX... ........ X....... XXXXXXXX ........",
};
// clang-format on

// A malformed sheet row stops the compilation: the throw cannot be evaluated at compile time.
constexpr uint8_t rowByte(std::string_view art) {
    uint8_t bits = 0;
    for (char pixel : art) {
        if (pixel != 'X' && pixel != '.') throw "a glyph row holds only 'X' and '.'";
        bits = static_cast<uint8_t>(bits << 1 | (pixel == 'X' ? 1 : 0));
    }
    return bits;
}

constexpr auto kGlyphBytes = [] {
    std::array<std::array<uint8_t, kGlyphHeight>, kGlyphCount> glyphs{};
    for (int band = 0; band < kBandCount; ++band) {
        for (int row = 0; row < kGlyphHeight; ++row) {
            std::string_view line = kSheet[band * kGlyphHeight + row];
            if (line.size() != kSheetRowLength) throw "a sheet row holds eight glyph rows";
            for (int slot = 0; slot < kGlyphsPerBand; ++slot) {
                std::size_t start = static_cast<std::size_t>(slot) * kSlotWidth;
                if (slot > 0 && line[start - 1] != ' ') throw "glyph rows are parted by one space";
                glyphs[band * kGlyphsPerBand + slot][row] =
                    rowByte(line.substr(start, kGlyphWidth));
            }
        }
    }
    return glyphs;
}();

constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';
constexpr int kBacktickScreenCode = 64;

}  // namespace

const uint8_t* glyphRows(int screenCode) {
    return kGlyphBytes[screenCode & (kGlyphCount - 1)].data();
}

uint8_t screenCodeForAscii(char character) {
    if (character < kFirstPrintable || character > kLastPrintable) return kPlaceholderScreenCode;
    // Space to '?' keep their ASCII codes; '@' to '_' move down to 0-31 and '`' to '~'
    // to 64-94.
    if (character < '@') return static_cast<uint8_t>(character);
    if (character < '`') return static_cast<uint8_t>(character - '@');
    return static_cast<uint8_t>(character - ('`' - kBacktickScreenCode));
}
