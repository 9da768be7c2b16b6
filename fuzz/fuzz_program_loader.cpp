// The program loader and the test hook: any bytes as a program file. Loaded directly,
// the data lands at its load address and nowhere else (bytes past $FFFF are dropped) and
// regPC points there; loaded by the hook of a booted machine, the program then runs.
#include <cstring>
#include <vector>

#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    constexpr uint8_t kUntouched = 0x5A;
    constexpr uint16_t kPcBefore = 0x1234;
    constexpr uint64_t kBootSteps = 400'000;  // far more than the firmware needs
    constexpr uint64_t kProgramSteps = 20'000;
    std::vector<uint8_t> file(data, data + size);

    freshHost();
    headlessProvideFile(kTestProgramFile, file);
    std::memset(memory.ram, kUntouched, kRamSize);
    cpu.regPC = kPcBefore;
    loadProgramFile(kTestProgramFile);
    if (size < 2) {
        require(cpu.regPC == kPcBefore);
    } else {
        uint16_t load = static_cast<uint16_t>(data[0] | data[1] << 8);
        require(cpu.regPC == load);
        std::size_t placed = std::min<std::size_t>(size - 2, kRamSize - load);
        require(std::memcmp(&memory.ram[load], data + 2, placed) == 0);
        for (std::size_t address = 0; address < kRamSize; ++address) {
            if (address < load || address >= load + placed)
                require(memory.ram[address] == kUntouched);
        }
    }

    freshHost();
    headlessProvideFile(kTestProgramFile, file);
    startMachine(0, nullptr);
    runMachineFor(kBootSteps, [] { return machine.loop.testProgramLoaded; });
    require(machine.loop.testProgramLoaded);
    runMachineFor(kProgramSteps, [] { return false; });
    return 0;
}
