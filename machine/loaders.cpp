// The ROM and program loaders. Neither stops the run: a missing or short file yields
// fewer bytes, and each says so in the status area.
#include <cstdio>
#include <filesystem>
#include <string>

#include "host/host.h"
#include "machine/machine.h"
#include "machine/program_file.h"

namespace {
constexpr long kFirstByte = 1;  // file positions count from 1
constexpr long kProgramData = kFirstByte + kLoadAddressBytes;

// One line on standard error for a ROM that gave no bytes, naming the folder it was
// looked for in: the usual cause is a program started in the wrong folder.
void reportEmptyRom(std::string_view fileName) {
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    if (error) folder = "the working directory";
    std::fprintf(stderr, "breadbin: %.*s: no bytes loaded (missing or empty) in %s\n",
                 static_cast<int>(fileName.size()), fileName.data(), folder.c_str());
}
}  // namespace

void loadRomFile(std::string_view fileName, uint8_t* destination, int capacity) {
    FileHandle handle = openFile(fileName);
    int count = readFile(handle, 0, destination, capacity);
    closeFile(handle);
    printText(fileName);
    printText(" loaded");
    printNumber(count);
    printText(" bytes long");
    printLineEnd();
    if (count == 0) reportEmptyRom(fileName);
}

void loadProgramFile(std::string_view fileName) {
    FileHandle handle = openFile(fileName);
    uint8_t header[kLoadAddressBytes] = {0, 0};
    int headerBytes = readFile(handle, kFirstByte, header, kLoadAddressBytes);
    if (headerBytes < static_cast<int>(kLoadAddressBytes)) {
        // No complete load address: nothing is loaded and execution carries on where it was.
        bool opened = handle.file != nullptr;
        closeFile(handle);
        printText(fileName);
        printText(opened ? ": program file too short," : ": program file not found,");
        printText(" nothing loaded");
        printLineEnd();
        return;
    }
    uint16_t load = loadAddressOf(header);
    // Bytes that would land past $FFFF are dropped: the read stops at the end of RAM.
    auto room = static_cast<int>(kRamSize - load);
    readFile(handle, kProgramData, &memory.ram[load], room);
    closeFile(handle);
    cpu.regPC = load;
}
