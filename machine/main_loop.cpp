// Start-up and the main loop: one step per emulated instruction, with the key poll, the
// forced status bit, the test hook, the frame timing, the keyboard stub and the raster
// register around each instruction.
//
// The loop consults the host in stretches: it asks for a key and reads the clock once
// every kStepsPerHostCheck steps (and at every step while keys are pending), and works
// from those answers in between. A clock read costs tens of nanoseconds and an
// instruction a few, so this is what keeps the loop fast; a frame then comes at most a
// stretch (well under a microsecond) after its deadline, far below the millisecond the
// frame timing resolves. The frame check that ends a stretch runs at the start of the
// next step, before its key poll: between the two only the keyboard stub and the raster
// register ran, and the frame neither reads nor writes what they touch.
#include <algorithm>
#include <cmath>

#include "cpu/interpreter.h"
#include "host/host.h"
#include "machine/keyboard.h"
#include "machine/machine.h"

double frameDeadline;
bool testProgramLoaded;
uint32_t* framebuffer;

namespace {
constexpr uint32_t kStepsPerHostCheck = 256;

// One fresh clock reading in whole milliseconds, truncated toward zero.
double nowMs() { return std::trunc(clockSeconds() * kMillisecondsPerSecond); }

bool inTestHookWindow(uint16_t pc) {
    return static_cast<uint16_t>(pc - kTestHookFirst) <= kTestHookLast - kTestHookFirst;
}

// The frame step: when the clock has passed the deadline, draw the screen, raise the
// interrupt and set the next deadline from a fresh reading.
void frameCheck(CpuState& c, double& deadline) {
    if (nowMs() > deadline) {
        c.cycleCount = 0;
        drawTextScreen();
        raiseIrq(c);
        deadline = nowMs() + kFramePeriodMs;
    }
}

// Takes the next key; Escape ends the run. Returns whether a key was taken, so that the
// loop polls again at the next step.
bool pollForEscape() {
    std::string_view key = pollKey();
    if (key == kEscapeKey) endProcess(0);
    return !key.empty();
}

// What happens around every instruction. Its fields are the loop's locals: the
// interpreter copies them in and stores them back when it returns. WatchHook: whether
// the test hook is still armed; once it has fired, the loop runs without the check.
template <bool WatchHook>
struct MainLoopStep {
    uint64_t unscheduled;  // steps of the run not yet given to a stretch
    uint64_t countdown;    // one more than the steps that may start before the next check
    double deadline;       // frameDeadline while the loop runs
    bool frameCheckDue;    // an instruction of this run awaits its frame check
    bool hookFired;

    bool beforeInstruction(CpuState& c) {
        if (--countdown == 0) [[unlikely]] {
            if (!checkHost(c)) return false;
        }
        setFlag(c, kFlagBit5, 1);
        if (WatchHook && inTestHookWindow(c.regPC)) [[unlikely]] fireTestHook(c);
        return true;
    }

    void afterInstruction(CpuState&) {
        updateKeyboardPort();
        writeByte(kRasterRegister, 0);
    }

    // Between two stretches: the frame check of the instruction just run, then either
    // the end of the run, or the key poll of the step about to start and its stretch.
    bool checkHost(CpuState& c) {
        if (frameCheckDue) frameCheck(c, deadline);
        frameCheckDue = true;
        if (unscheduled == 0 || (WatchHook && hookFired)) return false;
        bool keyTaken = pollForEscape();
        countdown = keyTaken ? 1 : std::min<uint64_t>(unscheduled, kStepsPerHostCheck);
        unscheduled -= countdown;
        return true;
    }

    // Loads "tests/start"; the same step then runs the program's first instruction. The
    // run stops after this step, so that the rest of it runs without the hook check.
    void fireTestHook(CpuState& c) {
        cpu = c;
        loadProgramFile(kTestProgramFile);
        c = cpu;
        hookFired = true;
        unscheduled += countdown - 1;
        countdown = 1;
    }
};

template <bool WatchHook>
uint64_t runStretches(uint64_t count) {
    MainLoopStep<WatchHook> step{count, 1, frameDeadline, false, false};
    runInterpreter(step);
    frameDeadline = step.deadline;
    if (step.hookFired) testProgramLoaded = true;
    return step.unscheduled;
}
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
    if (!testProgramLoaded) count = runStretches<true>(count);
    if (testProgramLoaded && count > 0) runStretches<false>(count);
}

void runMachine(int argc, char** argv) {
    startMachine(argc, argv);
    for (;;) runSteps(UINT64_MAX);
}
