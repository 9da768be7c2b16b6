// Read-only files for both hosts: nothing here creates or changes a file.
#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

FileHandle openDiskFile(std::string_view name) {
    // Opened without waiting, so that a FIFO cannot hang the run; only a regular file
    // counts as there: a folder, a pipe or a device reads as a missing file.
    int descriptor = open(std::string(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) return {nullptr};
    struct stat info;
    std::FILE* file = nullptr;
    if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) file = fdopen(descriptor, "rb");
    if (!file) close(descriptor);
    return {file};
}

int readFile(FileHandle& handle, long position, uint8_t* destination, int count) {
    if (!handle.file || count <= 0 || position < 0) return 0;
    if (position > 0 && std::fseek(handle.file, position - 1, SEEK_SET) != 0) return 0;
    return static_cast<int>(
        std::fread(destination, 1, static_cast<std::size_t>(count), handle.file));
}

bool atEndOfFile(FileHandle& handle) {
    if (!handle.file) return true;
    struct stat info;
    long position = std::ftell(handle.file);
    if (position < 0 || fstat(fileno(handle.file), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::feof(handle.file) != 0;  // a pipe or device knows its end only by reading
    }
    return position >= info.st_size;
}

void closeFile(FileHandle& handle) {
    if (handle.file) std::fclose(handle.file);
    handle.file = nullptr;
}
