// Read-only files for both hosts: nothing here creates or changes a file.
#include "host/files.h"

#include <sys/stat.h>

#include <string>

FileHandle openDiskFile(std::string_view name) {
    std::FILE* file = std::fopen(std::string(name).c_str(), "rb");
    if (!file) return {nullptr};
    // A directory opens on this system but reads nothing: it counts as unreadable.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return {nullptr};
    }
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
