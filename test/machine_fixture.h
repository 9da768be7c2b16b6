// Helpers for the machine's tests: a temporary working folder with ROM images of the
// test's own making, and a machine started in it on the headless host.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cpu/state.h"
#include "host/headless.h"
#include "host/host.h"
#include "machine/machine.h"

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder, the working directory while it lives.
class TemporaryFolder {
public:
    TemporaryFolder() : previous_(fs::current_path()) {
        std::string pattern = (fs::temp_directory_path() / "breadbin-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        fs::current_path(path_);
    }
    ~TemporaryFolder() {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path previous_;
    fs::path path_;
};

inline void writeFile(const fs::path& path, const Bytes& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every file below `root` with its size, time of last change and contents.
struct FolderEntry {
    std::uintmax_t size;
    fs::file_time_type changed;
    Bytes contents;
    bool operator==(const FolderEntry&) const = default;
};
inline std::map<std::string, FolderEntry> snapshotFolder(const fs::path& root) {
    std::map<std::string, FolderEntry> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_regular_file()) {
            entries[name] = {entry.file_size(), entry.last_write_time(),
                             readFileBytes(entry.path())};
        } else {
            entries[name] = {0, entry.last_write_time(), {}};
        }
    }
    return entries;
}

inline constexpr uint16_t kTestResetAt = 0xE000;
inline constexpr uint16_t kTestIrqAt = 0xE100;

// An 8192-byte KERNAL image full of NOPs, with the reset vector at kTestResetAt, the
// interrupt vector at kTestIrqAt (where an RTI waits), and `code` placed at `at`.
inline Bytes nopKernal(uint16_t at = kTestResetAt, const Bytes& code = {}) {
    Bytes image(8192, 0xEA);
    for (std::size_t i = 0; i < code.size(); ++i) image[at - 0xE000 + i] = code[i];
    image[kTestIrqAt - 0xE000] = 0x40;  // RTI
    image[0x1FFC] = kTestResetAt & 0xFF;
    image[0x1FFD] = kTestResetAt >> 8;
    image[0x1FFE] = kTestIrqAt & 0xFF;
    image[0x1FFF] = kTestIrqAt >> 8;
    return image;
}

// Starts the machine on the headless host in the working directory, with the virtual
// clock at `clock` seconds.
inline void startHeadless(double clock = 0.5) {
    headlessReset();
    headlessSetClock(clock);
    startMachine(0, nullptr);
}

// Writes the three ROM images (the given KERNAL, empty BASIC and character images of the
// right size) into the working directory.
inline void writeRoms(const Bytes& kernal) {
    writeFile("kernal.rom", kernal);
    writeFile("basic.rom", Bytes(8192, 0));
    writeFile("chargen.rom", Bytes(4096, 0));
}
