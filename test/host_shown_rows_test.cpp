// The window host's copy of what it showed: a presentation sends the band from the first
// to the last row that differs from it, and the copy then holds that band, so that the
// next look at the same rows finds nothing until they change again.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/shown_rows.h"

namespace {

constexpr int kWidth = 5;
constexpr int kHeight = 8;

struct PixelChange {
    int x;
    int y;
};

struct BandCase {
    const char* name;
    std::vector<PixelChange> changes;
    int first;  // the rows asked about
    int last;
    RowBand expected;
};

uint32_t& at(std::vector<uint32_t>& page, int x, int y) { return page[y * kWidth + x]; }

std::vector<uint32_t> startingPage() {
    std::vector<uint32_t> page(kWidth * kHeight);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = 0xFF000000u | static_cast<uint32_t>(i);
    return page;
}

TEST(ShownRows, BandRunsFromTheFirstToTheLastChangedRowAndIsCopied) {
    const BandCase cases[] = {
        {"nothing changed", {}, 0, kHeight - 1, {kHeight, kHeight - 1}},
        {"one pixel", {{2, 3}}, 0, kHeight - 1, {3, 3}},
        {"two rows apart", {{0, 2}, {4, 6}}, 0, kHeight - 1, {2, 6}},
        {"first and last row", {{4, 0}, {0, kHeight - 1}}, 0, kHeight - 1, {0, kHeight - 1}},
        {"last pixel of a row", {{kWidth - 1, 5}}, 0, kHeight - 1, {5, 5}},
        {"inside the rows asked", {{1, 1}, {1, 4}}, 2, 6, {4, 4}},
        {"only outside them", {{1, 7}}, 0, 5, {6, 5}},
        {"no rows asked", {{1, 3}}, 4, 3, {4, 3}},
    };
    for (const BandCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> page = startingPage();
        std::vector<uint32_t> shown = page;
        for (PixelChange change : c.changes) at(page, change.x, change.y) ^= 0x00FFFFFF;
        RowBand band = takeChangedRows(page.data(), shown.data(), kWidth, c.first, c.last);
        EXPECT_EQ(band.first, c.expected.first);
        EXPECT_EQ(band.last, c.expected.last);
        // The copy took the band and nothing else: a row changed outside it is still found
        // by a later look at all rows.
        std::vector<uint32_t> before = startingPage();
        for (int y = 0; y < kHeight; ++y) {
            bool inBand = y >= band.first && y <= band.last;
            for (int x = 0; x < kWidth; ++x) {
                EXPECT_EQ(at(shown, x, y), inBand ? at(page, x, y) : at(before, x, y))
                    << "pixel (" << x << ", " << y << ")";
            }
        }
        RowBand again = takeChangedRows(page.data(), shown.data(), kWidth, c.first, c.last);
        EXPECT_GT(again.first, again.last) << "a second look at the same rows";
    }
}

}  // namespace
