// libpng's simplified interface: it reports errors through the image record and never
// jumps out of our frames.
#include "app/runner/reports/png_image.h"

#include <png.h>

#include <cstring>

#include "app/runner/io/output_file.h"

namespace {

constexpr int kBytesPerRgbPixel = 3;
constexpr uint32_t kOpaque = 0xFF000000;
constexpr int kLargestSide = 1 << 15;  // far beyond any page; keeps sizes well inside int

}  // namespace

bool encodePng(const uint32_t* pixels, int width, int height, std::string& bytes,
               std::string& error) {
    if (!pixels || width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) {
        error =
            "no picture to write (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    std::size_t count = static_cast<std::size_t>(width) * height;
    std::vector<png_byte> rgb(count * kBytesPerRgbPixel);
    for (std::size_t i = 0; i < count; ++i) {
        rgb[i * 3 + 0] = static_cast<png_byte>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<png_byte>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<png_byte>(pixels[i]);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // Asked with no buffer, libpng says how large the file is; then it writes it.
    png_alloc_size_t size = 0;
    int stride = width * kBytesPerRgbPixel;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), stride, nullptr)) {
        bytes.resize(size);
        if (png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), stride,
                                      nullptr)) {
            bytes.resize(size);
            return true;
        }
    }
    error = image.message;
    png_image_free(&image);
    bytes.clear();
    return false;
}

bool writePng(const std::string& path, const uint32_t* pixels, int width, int height,
              std::string& error) {
    std::string bytes;
    if (!encodePng(pixels, width, height, bytes, error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    return writeOutputFile(path, bytes, error);
}

bool readPng(const std::string& path, PngPicture& picture, std::string& error) {
    picture = PngPicture{};
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    if (image.width == 0 || image.height == 0 || image.width > kLargestSide ||
        image.height > kLargestSide) {
        error = path + ": picture too large";
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    std::vector<png_byte> rgb(count * kBytesPerRgbPixel);
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        picture.pixels[i] = kOpaque | static_cast<uint32_t>(rgb[i * 3]) << 16 |
                            static_cast<uint32_t>(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
    }
    return true;
}
