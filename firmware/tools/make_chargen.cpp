// Writes the character ROM image from our own font: 256 glyphs of 8 bytes in
// screen-code order, codes 128-255 the reverse-video forms of 0-127, and the whole
// 2 KiB set twice, filling the 4 KiB image.
//     make_chargen <output file>
#include <array>
#include <cstdint>
#include <cstdio>

#include "host/font.h"

namespace {

constexpr std::size_t kSetSize = 2 * kGlyphCount * kGlyphHeight;  // one set of 256 glyphs
constexpr std::size_t kImageSize = 2 * kSetSize;

std::array<uint8_t, kImageSize> buildImage() {
    std::array<uint8_t, kImageSize> image{};
    for (int code = 0; code < kGlyphCount; ++code) {
        const uint8_t* rows = glyphRows(code);
        for (int row = 0; row < kGlyphHeight; ++row) {
            std::size_t normal = static_cast<std::size_t>(code * kGlyphHeight + row);
            std::size_t reverse = normal + kGlyphCount * kGlyphHeight;
            image[normal] = rows[row];
            image[reverse] = static_cast<uint8_t>(~rows[row]);
            image[kSetSize + normal] = image[normal];
            image[kSetSize + reverse] = image[reverse];
        }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_chargen <output file>\n");
        return 2;
    }
    std::array<uint8_t, kImageSize> image = buildImage();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
