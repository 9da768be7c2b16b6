// PNG files of pixel pages, for screenshots and golden-image tests. Pixels are 32-bit
// alpha, red, green, blue from the most significant byte down, as in the window's page;
// files hold RGB only, so the colours survive exactly and alpha reads back as $FF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // row after row, no gap between rows
};

// width x height pixels as the bytes of a PNG file. On failure returns false and says why
// in `error`.
bool encodePng(const uint32_t* pixels, int width, int height, std::string& bytes,
               std::string& error);
// Writes width x height pixels to `path` as a whole (app/runner/io/output_file.h): a failed write
// leaves the path as it was. On failure returns false and says why in `error`.
bool writePng(const std::string& path, const uint32_t* pixels, int width, int height,
              std::string& error);
// Reads `path` into `picture`. On failure returns false, says why in `error` and leaves
// the picture empty.
bool readPng(const std::string& path, PngPicture& picture, std::string& error);
