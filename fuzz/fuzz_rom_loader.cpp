// The ROM loader: any bytes as each ROM image. The count shown is what the file gave up
// to the buffer's size, the bytes beyond it are untouched, and the status line says so;
// a machine started on such a KERNAL then runs without fault.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    constexpr uint8_t kUntouched = 0xA5;
    constexpr uint64_t kSteps = 20'000;
    std::vector<uint8_t> file(data, data + size);
    struct Rom {
        std::string_view name;
        uint8_t* buffer;
        std::size_t capacity;
    };
    const Rom roms[] = {{kKernalFile, memory.kernalRom, kKernalRomBufferSize},
                        {kBasicFile, memory.basicRom, kBasicRomBufferSize},
                        {kCharFile, memory.charRom, kCharRomBufferSize}};
    for (const Rom& rom : roms) {
        freshHost();
        headlessProvideFile(rom.name, file);
        std::memset(rom.buffer, kUntouched, rom.capacity);
        loadRomFile(rom.name, rom.buffer, static_cast<int>(rom.capacity));
        std::size_t count = std::min(size, rom.capacity);
        require(std::memcmp(rom.buffer, data, count) == 0);
        for (std::size_t i = count; i < rom.capacity; ++i) require(rom.buffer[i] == kUntouched);
        std::vector<std::string> lines = headlessStatusLines();
        require(lines.size() == 1 && lines[0] == std::string(rom.name) + " loaded " +
                                                     std::to_string(count) + " bytes long");
    }

    freshHost();
    headlessProvideFile(kKernalFile, file);
    startMachine(0, nullptr);
    runMachineFor(kSteps, [] { return false; });
    return 0;
}
