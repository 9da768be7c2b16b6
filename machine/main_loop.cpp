// Start-up and the main loop of the windowed program: one step per emulated instruction,
// with the key poll, the forced status bit, the test hook, the frame timing, the
// keyboard stub and the raster register around each instruction (see step_loop.h).
#include "machine/step_loop.h"

double frameDeadline;
bool testProgramLoaded;
uint32_t* framebuffer;
uint64_t framesDrawn;
bool drawFrames = true;
uint64_t cyclesOfEarlierFrames;

uint64_t cyclesSinceStart() {
    return cyclesOfEarlierFrames + static_cast<uint64_t>(cpu.cycleCount);
}

void startMachine(int argc, char** argv) {
    hostInit(argc, argv);
    // The buffers live in static storage; a fresh start sees them, and the registers,
    // all zero, as a new process does.
    cpu = CpuState{};
    memory = MemoryMap{};
    framesDrawn = 0;
    cyclesOfEarlierFrames = 0;
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
    WatchEvent ignored;
    runMainLoop<false>(count, ignored);
}

void runMachine(int argc, char** argv) {
    startMachine(argc, argv);
    for (;;) runSteps(UINT64_MAX);
}
