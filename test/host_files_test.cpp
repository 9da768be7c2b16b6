// Read-only files: positions from 1, the current position, short reads at the end, the
// handle that is not open, and that nothing on disk changes; and, beside them, the
// runner's output files (app/runner/io), written whole or not at all.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "app/runner/io/output_file.h"
#include "host/host.h"

namespace {

namespace fs = std::filesystem;

constexpr uint8_t kUntouched = 0xEE;

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }
    void TearDown() override { fs::remove_all(directory); }

    std::string makeFile(const std::string& name, const std::string& contents) {
        fs::path path = directory / name;
        std::ofstream(path, std::ios::binary) << contents;
        return path.string();
    }

    // Name, size, permissions and modification time of the directory and every entry in it.
    std::map<std::string, std::string> snapshot() {
        std::map<std::string, std::string> entries;
        auto describe = [](const fs::path& path) {
            struct stat info;
            if (stat(path.c_str(), &info) != 0) return std::string("gone");
            return std::to_string(info.st_size) + " " + std::to_string(info.st_mode) + " " +
                   std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
        };
        entries["."] = describe(directory);
        for (const auto& entry : fs::recursive_directory_iterator(directory)) {
            entries[fs::relative(entry.path(), directory).string()] = describe(entry.path());
        }
        return entries;
    }

    fs::path directory;
};

TEST_F(Files, ReadsFromOneBasedOrCurrentPositions) {
    FileHandle handle = openFile(makeFile("ten", "0123456789"));
    ASSERT_NE(handle.file, nullptr);
    const struct {
        long position;
        int count;
        std::string delivered;
        bool atEndAfter;
        // clang-format off
    } steps[] = {
        {1, 4, "0123", false},        // position 1 is the first byte
        {0, 3, "456", false},         // 0 goes on from where the last read stopped
        {3, 2, "23", false},          // a position may go back
        {9, 5, "89", true},           // a read past the end delivers what there is
        {0, 5, "", true},             // and then nothing
        {1, 10, "0123456789", true},  // the whole file, ending exactly at its end
        {10, 1, "9", true},           // the last byte
        {11, 1, "", true},            // one past the end
        {5, 0, "", true},             // a count of zero delivers nothing and stays put
        {5, 1, "4", false},
        {0, 1, "5", false},
    };
    // clang-format on
    for (const auto& step : steps) {
        std::array<uint8_t, 16> buffer;
        buffer.fill(kUntouched);
        int delivered = readFile(handle, step.position, buffer.data(), step.count);
        SCOPED_TRACE("position " + std::to_string(step.position) + " count " +
                     std::to_string(step.count));
        ASSERT_EQ(delivered, static_cast<int>(step.delivered.size()));
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + delivered), step.delivered);
        EXPECT_EQ(buffer[static_cast<std::size_t>(delivered)],
                  kUntouched);  // nothing past the count
        EXPECT_EQ(atEndOfFile(handle), step.atEndAfter);
    }
    closeFile(handle);
    EXPECT_EQ(handle.file, nullptr);
}

TEST_F(Files, EmptyFileIsAtItsEndAtOnce) {
    FileHandle handle = openFile(makeFile("empty", ""));
    ASSERT_NE(handle.file, nullptr);
    EXPECT_TRUE(atEndOfFile(handle));
    uint8_t byte = kUntouched;
    EXPECT_EQ(readFile(handle, 1, &byte, 1), 0);
    EXPECT_EQ(byte, kUntouched);
    closeFile(handle);
}

TEST_F(Files, HandleThatIsNotOpenDeliversNothing) {
    // A FIFO with no writer would block an ordinary open for ever; a device may never end.
    std::string fifo = (directory / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string names[] = {(directory / "missing").string(), directory.string(), "", fifo,
                                 "/dev/zero"};
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        FileHandle handle = openFile(name);
        EXPECT_EQ(handle.file, nullptr);
        std::array<uint8_t, 4> buffer;
        buffer.fill(kUntouched);
        EXPECT_EQ(readFile(handle, 1, buffer.data(), 4), 0);
        EXPECT_EQ(readFile(handle, 0, buffer.data(), 4), 0);
        for (uint8_t byte : buffer) EXPECT_EQ(byte, kUntouched);
        EXPECT_TRUE(atEndOfFile(handle));
        closeFile(handle);  // harmless
        EXPECT_EQ(handle.file, nullptr);
    }
}

TEST_F(Files, OpeningAndReadingChangeNothingOnDisk) {
    std::string existing = makeFile("rom", std::string(300, '\x5a'));
    std::string missing = (directory / "tests" / "start").string();
    fs::create_directory(directory / "tests");
    auto before = snapshot();

    FileHandle absent = openFile(missing);
    FileHandle absentTop = openFile((directory / "kernal.rom").string());
    FileHandle present = openFile(existing);
    std::array<uint8_t, 512> buffer;
    EXPECT_EQ(readFile(present, 1, buffer.data(), 512), 300);
    EXPECT_EQ(readFile(absent, 1, buffer.data(), 512), 0);
    closeFile(absent);
    closeFile(absentTop);
    closeFile(present);

    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(directory / "kernal.rom"));
    EXPECT_TRUE(fs::is_empty(directory / "tests"));
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An output file is whole or absent: it appears only when committed, keeps the mode of
// the file it replaces and a link as a link, and leaves nothing behind when given up.
TEST_F(Files, OutputFilesAppearWholeOrNotAtAll) {
    std::string error;
    std::string fresh = (directory / "fresh.txt").string();
    ASSERT_TRUE(writeOutputFile(fresh, "new", error)) << error;
    EXPECT_EQ(contents(fresh), "new");
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(fresh).permissions(), static_cast<fs::perms>(0666 & ~mask));

    std::string kept = makeFile("kept.txt", "old");
    fs::permissions(kept, static_cast<fs::perms>(0640));
    fs::create_symlink(kept, directory / "link.txt");
    {
        OutputFile unfinished;
        ASSERT_TRUE(unfinished.open(kept, error)) << error;
        ASSERT_TRUE(unfinished.write("half", error)) << error;
    }  // given up: the old file stays, and no temporary file either
    EXPECT_EQ(contents(kept), "old");
    ASSERT_TRUE(writeOutputFile((directory / "link.txt").string(), "through", error)) << error;
    EXPECT_TRUE(fs::is_symlink(directory / "link.txt"));
    EXPECT_EQ(contents(kept), "through");
    EXPECT_EQ(fs::status(kept).permissions(), static_cast<fs::perms>(0640));

    // What cannot be written leaves the folder as it was; checking creates nothing.
    std::string fifo = (directory / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto before = snapshot();
    struct Refused {
        std::string path;
        const char* reason;
    };
    const Refused refused[] = {{directory.string(), "it is a folder"},
                               {(directory / "no" / "such.txt").string(), "No such file"},
                               {fifo, "no process reads it"},
                               {"/dev/full", "No space left"}};
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.path);
        error.clear();
        EXPECT_FALSE(writeOutputFile(r.path, "bytes", error));
        EXPECT_NE(error.find("cannot write " + r.path + ": " + r.reason), std::string::npos)
            << error;
        EXPECT_EQ(snapshot(), before);
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(checkOutputFile((directory / "later.txt").string(), error));
    EXPECT_FALSE(checkOutputFile((directory / "no" / "later.txt").string(), error));
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
