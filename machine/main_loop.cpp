// Start-up and the main loop: one step per emulated instruction, with the key poll, the
// forced status bit, the test hook, the frame timing, the keyboard stub and the raster
// register around each instruction.
#include <cmath>

#include "cpu/interpreter.h"
#include "host/host.h"
#include "machine/keyboard.h"
#include "machine/machine.h"

double frameDeadline;
bool testProgramLoaded;
uint32_t* framebuffer;

namespace {
// One fresh clock reading in whole milliseconds, truncated toward zero.
double nowMs() { return std::trunc(clockSeconds() * kMillisecondsPerSecond); }

bool inTestHookWindow(uint16_t pc) { return pc >= kTestHookFirst && pc <= kTestHookLast; }

// What happens around every instruction. Its fields are the loop's locals: the
// interpreter copies them in and stores them back when it returns.
struct MainLoopStep {
    uint64_t remaining;
    double deadline;  // frameDeadline while the loop runs
    bool loaded;      // testProgramLoaded while the loop runs

    bool beforeInstruction(CpuState& c) {
        if (remaining == 0) return false;
        --remaining;
        std::string_view key = pollKey();
        if (!key.empty() && key == kEscapeKey) endProcess(0);
        setFlag(c, kFlagBit5, 1);
        if (inTestHookWindow(c.regPC) && !loaded) [[unlikely]] {
            cpu = c;
            loadProgramFile(kTestProgramFile);
            c = cpu;
            loaded = true;
        }
        return true;
    }

    void afterInstruction(CpuState& c) {
        if (nowMs() > deadline) [[unlikely]] {
            c.cycleCount = 0;
            drawTextScreen();
            raiseIrq(c);
            deadline = nowMs() + kFramePeriodMs;
        }
        updateKeyboardPort();
        writeByte(kRasterRegister, 0);
    }
};
}  // namespace

void startMachine(int argc, char** argv) {
    hostInit(argc, argv);
    // The buffers live in static storage; a fresh start sees them, and the registers,
    // all zero, as a new process does.
    cpu = CpuState{};
    memory = MemoryMap{};
    openWindow(kWindowWidth, kWindowHeight, kWindowBitsPerPixel, kWindowPages, kWindowFlags,
               kWindowRefreshRate);
    framebuffer = pixelMemory();
    setTextRows(kStatusFirstRow, kStatusLastRow);
    loadRomFile(kKernalFile, memory.kernalRom, kKernalRomSize);
    loadRomFile(kBasicFile, memory.basicRom, kBasicRomSize);
    loadRomFile(kCharFile, memory.charRom, kCharRomSize);
    printLineEnd();
    writeByte(0x0000, kPortDirectionAtPowerUp);
    writeByte(0x0001, kPortAtPowerUp);
    cpuReset(cpu);
    setFlag(cpu, kFlagBit5, 1);
    frameDeadline = nowMs() + kFramePeriodMs;
    testProgramLoaded = false;
}

void runSteps(uint64_t count) {
    MainLoopStep step{count, frameDeadline, testProgramLoaded};
    runInterpreter(step);
    frameDeadline = step.deadline;
    testProgramLoaded = step.loaded;
}

void runMachine(int argc, char** argv) {
    startMachine(argc, argv);
    for (;;) runSteps(UINT64_MAX);
}
