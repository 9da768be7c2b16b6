// The ROM and program loaders, in temporary folders: the exact status lines, where the
// bytes land, what happens with missing, short and oversize files, and that loading never
// creates or changes a file.
#include <gtest/gtest.h>

#include <cstring>

#include "machine_fixture.h"

namespace {

class Loaders : public testing::Test {
protected:
    void SetUp() override {
        headlessReset();
        headlessSetClock(0.5);
        openWindow(kWindowWidth, kWindowHeight, 32, 2, 0, 60);
        setTextRows(kStatusFirstRow, kStatusLastRow);
        std::memset(&memory, 0, sizeof memory);
        cpu = CpuState{};
    }
    TemporaryFolder folder;
};

struct RomRow {
    const char* name;
    std::size_t fileSize;  // SIZE_MAX: no file at all
    int capacity;
    int expectedCount;
};

TEST_F(Loaders, RomStatusLineReportsTheBytesRead) {
    // clang-format off
    const RomRow rows[] = {
        {"kernal.rom", 8192, 8193, 8192},    // a full image leaves the spare byte alone
        {"chargen.rom", 4096, 4097, 4096},
        {"basic.rom", 20000, 8193, 8193},    // a longer file fills the spare byte too
        {"short.rom", 100, 8193, 100},
        {"empty.rom", 0, 8193, 0},
        {"missing.rom", SIZE_MAX, 8193, 0},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        headlessReset();
        openWindow(kWindowWidth, kWindowHeight, 32, 2, 0, 60);
        setTextRows(kStatusFirstRow, kStatusLastRow);
        Bytes contents(row.fileSize == SIZE_MAX ? 0 : row.fileSize);
        for (std::size_t i = 0; i < contents.size(); ++i)
            contents[i] = static_cast<uint8_t>(i * 7 + 1);
        if (row.fileSize != SIZE_MAX) writeFile(row.name, contents);
        std::vector<uint8_t> buffer(static_cast<std::size_t>(row.capacity) + 1, 0xA5);

        testing::internal::CaptureStderr();
        loadRomFile(row.name, buffer.data(), row.capacity);
        std::string errors = testing::internal::GetCapturedStderr();

        std::string expected =
            std::string(row.name) + " loaded " + std::to_string(row.expectedCount) + " bytes long";
        ASSERT_EQ(headlessStatusLines(), std::vector<std::string>{expected});
        EXPECT_EQ(headlessTextRow(kStatusFirstRow), expected);
        for (int i = 0; i < row.expectedCount; ++i)
            ASSERT_EQ(buffer[i], contents[i]) << "byte " << i;
        for (std::size_t i = row.expectedCount; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xA5) << "byte " << i;
        if (row.expectedCount == 0) {
            // One line on standard error names the file and the folder it was looked for in.
            EXPECT_NE(errors.find(row.name), std::string::npos) << errors;
            EXPECT_NE(errors.find(fs::current_path().string()), std::string::npos) << errors;
            EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        } else {
            EXPECT_EQ(errors, "");
        }
    }
}

TEST_F(Loaders, ProgramBytesLandFromTheLoadAddressAndPcPointsThere) {
    struct Row {
        Bytes file;
        uint16_t load;
    };
    // clang-format off
    const Row rows[] = {
        {{0x00, 0xC0, 0xA9, 0x01, 0x60}, 0xC000},
        {{0x80, 0x08, 0x42}, 0x0880},
        // A BASIC upstart, "10 SYS 2061": the machine's own loader still jumps to $0801.
        {{0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, 0x32, 0x30, 0x36, 0x31, 0x00, 0x00, 0x00, 0x60},
         0x0801},
    };
    // clang-format on
    for (const auto& row : rows) {
        std::memset(memory.ram, 0xEE, sizeof memory.ram);
        writeFile("tests/start", row.file);
        loadProgramFile("tests/start");
        EXPECT_EQ(cpu.regPC, row.load);
        EXPECT_EQ(memory.ram[row.load - 1], 0xEE) << "nothing is written below the load address";
        for (std::size_t i = 2; i < row.file.size(); ++i)
            EXPECT_EQ(memory.ram[row.load + i - 2], row.file[i]);
        EXPECT_EQ(memory.ram[row.load + row.file.size() - 2], 0xEE)
            << "nothing is written after the data";
        EXPECT_TRUE(headlessStatusLines().empty());
    }
}

TEST_F(Loaders, AThousandDataBytesFillTheirRangeExactly) {
    Bytes file = {0x01, 0x08};
    for (int i = 0; i < 1000; ++i) file.push_back(static_cast<uint8_t>(i | 1));
    writeFile("tests/start", file);
    loadProgramFile("tests/start");
    EXPECT_EQ(memory.ram[0x0800], 0);
    EXPECT_EQ(memory.ram[0x0801], 1);
    EXPECT_EQ(memory.ram[0x0BE8], static_cast<uint8_t>(999 | 1));
    EXPECT_EQ(memory.ram[0x0BE9], 0);
}

TEST_F(Loaders, ProgramBytesPastTheEndOfMemoryAreDropped) {
    Bytes file = {0xFE, 0xFF, 0x11, 0x22, 0x33, 0x44};
    writeFile("tests/start", file);
    loadProgramFile("tests/start");
    EXPECT_EQ(cpu.regPC, 0xFFFE);
    EXPECT_EQ(memory.ram[0xFFFE], 0x11);
    EXPECT_EQ(memory.ram[0xFFFF], 0x22);
    EXPECT_EQ(memory.ram[0x0000], 0) << "no wrap to the start of RAM";
    EXPECT_EQ(memory.ram[0x0001], 0);
}

TEST_F(Loaders, AProgramFileWithoutACompleteLoadAddressLoadsNothing) {
    struct Row {
        const char* name;
        bool create;
        Bytes file;
        const char* says;
    };
    // clang-format off
    const Row rows[] = {
        {"missing", false, {}, "tests/start: program file not found, nothing loaded"},
        {"empty", true, {}, "tests/start: program file too short, nothing loaded"},
        {"one byte", true, {0x42}, "tests/start: program file too short, nothing loaded"},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        headlessReset();
        openWindow(kWindowWidth, kWindowHeight, 32, 2, 0, 60);
        setTextRows(kStatusFirstRow, kStatusLastRow);
        fs::remove_all("tests");
        if (row.create) writeFile("tests/start", row.file);
        std::memset(memory.ram, 0x5A, sizeof memory.ram);
        cpu.regPC = 0xE5CA;
        loadProgramFile("tests/start");
        EXPECT_EQ(cpu.regPC, 0xE5CA);
        for (std::size_t i = 0; i < kRamSize; ++i)
            ASSERT_EQ(memory.ram[i], 0x5A) << "address " << i;
        EXPECT_EQ(headlessStatusLines(), std::vector<std::string>{row.says});
    }
}

TEST_F(Loaders, AProgramFileOfTwoBytesJumpsToItsLoadAddress) {
    writeFile("tests/start", {0x34, 0x12});
    loadProgramFile("tests/start");
    EXPECT_EQ(cpu.regPC, 0x1234);
    EXPECT_EQ(memory.ram[0x1234], 0);
}

TEST_F(Loaders, LoadingNeverCreatesOrChangesAFile) {
    writeFile("kernal.rom", Bytes(8192, 1));
    writeFile("short.rom", Bytes(10, 2));
    writeFile("tests/start", {0x00, 0xC0, 0xEA});
    fs::create_directory("empty-folder");
    auto before = snapshotFolder(folder.path());
    uint8_t buffer[8193];
    testing::internal::CaptureStderr();
    loadRomFile("kernal.rom", buffer, 8193);
    loadRomFile("short.rom", buffer, 8193);
    loadRomFile("basic.rom", buffer, 8193);                 // missing
    loadRomFile("empty-folder/chargen.rom", buffer, 4097);  // missing in a folder that exists
    loadProgramFile("tests/start");
    loadProgramFile("nowhere/start");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(snapshotFolder(folder.path()), before);
}

}  // namespace
