// PNG files of pixel pages: exact colours both ways, and failures reported, not crashed on.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/runner/reports/png_image.h"

namespace {

namespace fs = std::filesystem;

class Png : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-png-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }
    void TearDown() override { fs::remove_all(directory); }
    fs::path directory;
};

TEST_F(Png, PageSurvivesAWriteAndARead) {
    constexpr int kWidth = 640;
    constexpr int kHeight = 480;
    std::vector<uint32_t> page(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t mixed = static_cast<uint32_t>(x * 2654435761u ^ y * 40503u);
            page[y * kWidth + x] = 0xFF000000 | (mixed & 0xFFFFFF);
        }
    }
    page[0] = 0xFF000000;
    page[1] = 0xFFFFFFFF;
    page[2] = 0xFF68372B;
    std::string path = (directory / "page.png").string();
    std::string error;
    ASSERT_TRUE(writePng(path, page.data(), kWidth, kHeight, error)) << error;
    PngPicture picture;
    ASSERT_TRUE(readPng(path, picture, error)) << error;
    EXPECT_EQ(picture.width, kWidth);
    EXPECT_EQ(picture.height, kHeight);
    EXPECT_TRUE(picture.pixels == page);
}

TEST_F(Png, AlphaIsNotStoredAndReadsBackOpaque) {
    const uint32_t pixels[] = {0x00123456, 0x80ABCDEF};
    std::string path = (directory / "alpha.png").string();
    std::string error;
    ASSERT_TRUE(writePng(path, pixels, 2, 1, error)) << error;
    PngPicture picture;
    ASSERT_TRUE(readPng(path, picture, error)) << error;
    EXPECT_EQ(picture.pixels, (std::vector<uint32_t>{0xFF123456, 0xFFABCDEF}));
}

TEST_F(Png, FailuresAreReportedWithAMessage) {
    std::ofstream(directory / "text.png") << "not a picture";
    const uint32_t pixel = 0xFF000000;
    std::string error;
    EXPECT_FALSE(writePng((directory / "no" / "such" / "dir.png").string(), &pixel, 1, 1, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(writePng((directory / "empty.png").string(), &pixel, 0, 1, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(directory / "empty.png"));

    for (const char* name : {"missing.png", "text.png"}) {
        PngPicture picture;
        picture.width = 5;
        error.clear();
        EXPECT_FALSE(readPng((directory / name).string(), picture, error)) << name;
        EXPECT_FALSE(error.empty()) << name;
        EXPECT_EQ(picture.width, 0) << name;
        EXPECT_TRUE(picture.pixels.empty()) << name;
    }
}

}  // namespace
