#include "app/runner/io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {
// Far more than any ROM image, program or text file of ours can use; a bound for devices
// that never end.
constexpr std::size_t kMaxInputBytes = std::size_t{1} << 20;
}  // namespace

// Reads a whole input file. Only a regular file is read: a pipe or a device could block
// or never end, and it is opened without waiting, so that a FIFO cannot hang the run.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        error = "cannot read " + path + ": " +
                (S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file");
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxInputBytes) {
        close(descriptor);
        error = path + " is too large (over 1 MiB)";
        return false;
    }
    bytes.assign(static_cast<std::size_t>(info.st_size), 0);
    std::size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = read(descriptor, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            close(descriptor);
            return false;
        }
        if (n == 0) break;  // shorter than it was a moment ago
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    close(descriptor);
    return true;
}

bool readTextFile(const std::string& path, std::string& text, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, error)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

std::string relativeTo(const std::string& base, const std::string& path) {
    std::filesystem::path p(path);
    if (p.is_absolute()) return path;
    return (std::filesystem::path(base).parent_path() / p).lexically_normal().string();
}
