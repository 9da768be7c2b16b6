// Start-up and the main loop: one step per emulated instruction, with the key poll, the
// forced status bit, the test hook, the instruction, the frame timing, the keyboard stub
// and the raster register around each; and the same loop under watch for the headless
// runner. All of the loop's state lives here.
//
// The loop runs in stretches: the steps between two host checks. At the start of each
// stretch the loop lets the host do its own work and takes a key; at its end it does the
// frame check. A stretch is kStepsPerHostCheck steps, or one step while keys are
// pending. A clock read costs tens of nanoseconds and an instruction a few, so a frame
// comes at most a stretch (well under a microsecond) after its deadline, far below the
// millisecond the frame timing resolves. (Where the host's clock follows the emulated
// cycles, the checks that could not see a frame are left out: quietCycleCount.) The frame
// check that ends a stretch comes after the stretch's last keyboard stub and raster
// register clear rather than before them: the frame neither reads nor writes what they
// touch.
//
// Within a stretch the interpreter runs in legs (step_loop.h), and between two legs the
// loop does what the instructions of a leg leave to it: the test hook and the input-loop
// watch before a step, the keyboard stub and the raster register after one.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

#include "cpu/call.h"
#include "host/host.h"
#include "machine/c64.h"
#include "machine/step_loop.h"
#include "machine/watch.h"

MachineState machine;
MachineConfig machineConfig;
uint32_t* framebuffer;
bool drawFrames = true;
LegEnd legEnd;

namespace {

// One fresh clock reading in whole milliseconds, truncated toward zero.
double nowMs() { return std::trunc(clockSeconds() * kMillisecondsPerSecond); }

// The variant of the next leg: what this run and the moment ask for.
StepFeatures stepFeatures(const Watch* watch) {
    return {.window = legsWatchWindow(watch),
            .observe = legsObserve(watch),
            .model = machineConfig.cpu};
}

// Where the host's clock follows the cycles (Watch::clockFollowsCycles) and queues no keys,
// the host's check at the end of a stretch only reads the clock for the frame: until the
// cycles reach the frame's deadline it cannot see a frame due, so a leg that ends a stretch
// may go on for whole stretches more without it (runLeg), and the frames fall on the same
// steps. The cycleCount below which that holds: the first count whose whole milliseconds
// pass the deadline, less one for the rounding of the clock's division. 0 (no stretches
// joined) for any other host clock.
int32_t quietCycleCount(const Watch* watch) {
    if (!watch || !watch->clockFollowsCycles) return 0;
    double due = (std::floor(machine.loop.frameDeadline) + 1) *
                     static_cast<double>(kCyclesPerSecond) / kMillisecondsPerSecond -
                 1 - static_cast<double>(machine.loop.cyclesOfEarlierFrames);
    return static_cast<int32_t>(std::clamp(due, 0.0, double{kCycleCountFold}));
}

using LegRunner = uint64_t (*)(uint64_t steps, uint64_t quietStretches, int32_t quietBelow);
constexpr auto kLegRunners = [] {
    std::array<LegRunner, kStepFeatureVariants> runners{};
#define BREADBIN_LEG_RUNNER(i) runners[i] = &runLeg<StepFeatures::fromIndex(i)>;
    BREADBIN_FOR_EACH_LEG_VARIANT(BREADBIN_LEG_RUNNER)
#undef BREADBIN_LEG_RUNNER
    return runners;
}();

// The main loop: `count` steps, or fewer when an event that `watch` (null: none) asks for
// ends it; returns the steps run. With `keepGrid` a stretch that the call ends inside
// goes on in the next call; without, the call's end ends its stretch too.
uint64_t runMainLoop(uint64_t count, const Watch* watch, bool keepGrid, WatchReport& report) {
    report = {};
    LoopState& loop = machine.loop;
    uint64_t done = 0;
    while (done < count && report.event == WatchEvent::None) {
        if (loop.stretchLeft == 0) {
            hostService();
            // One step while keys are pending, so that the next is taken at the next step.
            loop.stretchLeft = pollForEscape() ? 1 : kStepsPerHostCheck;
        }
        uint64_t stretchEnd = done + std::min(count - done, loop.stretchLeft);
        uint64_t stretchStart = done;
        // Whole stretches that a leg ending this one may join, within the call's steps.
        uint64_t quiet = stretchEnd - stretchStart == loop.stretchLeft
                             ? (count - stretchEnd) / kStepsPerHostCheck
                             : 0;
        int32_t quietBelow = quiet ? quietCycleCount(watch) : 0;
        while (done < stretchEnd) {
            if ((report.event = testHookBeforeStep(watch)) != WatchEvent::None) break;
            if (serveRoutineCounted(cpu)) continue;
            // Whether the step runs alone: when it starts with the raster register set (by a
            // program loaded over it, or by a caller) or with $DC00 reading $FE, its
            // instruction may not be one that stores, and the loop does its work after it.
            bool alone = memory.ram[kRasterRegister] != 0 ||
                         readByte(kKeyboardColumnSelect) == kScanColumnZero;
            if (alone) {
                done += kLegRunners[stepFeatures(watch).index()](1, 0, 0);
            } else {
                done +=
                    kLegRunners[stepFeatures(watch).index()](stretchEnd - done, quiet, quietBelow);
                stretchEnd += legEnd.joined;
                loop.stretchLeft += legEnd.joined;
                quiet -= legEnd.joined / kStepsPerHostCheck;
            }
            serveDriveRequestAfterLeg();
            minimalChipsAfterStep();
            if (legEnd.jammed) {
                report.event = WatchEvent::Jammed;
                loop.stretchLeft -= done - stretchStart;
                return done;
            }
            if (legEnd.storeSeen && watch && storeWatched(*watch, legEnd.storeAddress)) {
                report.event = WatchEvent::StoreSeen;
                report.storeAddress = legEnd.storeAddress;
                report.storeValue = storedByte(legEnd.storeAddress);
                break;
            }
        }
        loop.stretchLeft -= done - stretchStart;
        // A stretch that the program load or a watched store cut short goes on in the next
        // call (the load's frame check is left to the end of its stretch); one that the
        // call's end cut short, too, when the caller keeps the grid.
        if (loop.stretchLeft != 0 &&
            (report.event != WatchEvent::None || (keepGrid && done == count)))
            break;
        loop.stretchLeft = 0;
        foldCycleCount();
        if (frameCheck() && watch && watch->frames && report.event == WatchEvent::None)
            report.event = WatchEvent::FrameDrawn;
    }
    return done;
}

}  // namespace

bool loopStopsAtCalled(uint16_t pc) { return loopStopsAt(pc); }

bool legsWatchWindow(const Watch* watch) {
    return !machine.loop.testProgramLoaded || (watch && watch->inputLoop) || servedRoutines.armed;
}

bool legsObserve(const Watch* watch) {
    return watch && (trace.ring != nullptr || counting.executionCounts != nullptr);
}

WatchEvent testHookBeforeStep(const Watch* watch) {
    if (!inTestHookWindow(cpu.regPC)) return WatchEvent::None;
    if (!machine.loop.testProgramLoaded) {
        loadProgramFile(kTestProgramFile);
        machine.loop.testProgramLoaded = true;
        return watch && watch->programLoad ? WatchEvent::ProgramLoaded : WatchEvent::None;
    }
    return watch && watch->inputLoop ? WatchEvent::InputLoopReached : WatchEvent::None;
}

// Takes the next key; Escape ends the run. Returns whether a key was taken, so that the
// loop polls again at the next step.
bool pollForEscape() {
    std::string_view key = pollKey();
    if (key == kEscapeKey) endProcess(0);
    return !key.empty();
}

// The frame step: when the clock has passed the deadline, draw the screen, raise the
// interrupt and set the next deadline from a fresh reading.
bool frameCheck() {
    LoopState& loop = machine.loop;
    if (nowMs() <= loop.frameDeadline) return false;
    loop.cyclesOfEarlierFrames += static_cast<uint64_t>(cpu.cycleCount);
    cpu.cycleCount = 0;
    ++loop.framesDrawn;
    if (drawFrames) drawTextScreen();
    raiseIrq(cpu);
    // The interrupt's entry belongs to no instruction, but to the calls under way.
    if (counting.executionCounts) counting.cycles += static_cast<uint64_t>(cpu.cycleCount);
    loop.frameDeadline = nowMs() + kFramePeriodMs;
    return true;
}

void saveMachine(MachineSnapshot& snapshot) {
    snapshot.registers = cpu;
    std::copy(std::begin(memory.ram), std::end(memory.ram), snapshot.ram);
    snapshot.machine = machine;
}

void restoreMachine(const MachineSnapshot& snapshot) {
    cpu = snapshot.registers;
    std::copy(std::begin(snapshot.ram), std::end(snapshot.ram), memory.ram);
    machine = snapshot.machine;
}

uint8_t peekByte(uint16_t address) {
    return machineConfig.kind == MachineKind::C64 ? peekC64(address) : readByte(address);
}

uint8_t storedByte(uint16_t address) {
    return machineConfig.kind == MachineKind::C64 ? c64StoredByte(address) : memory.ram[address];
}

void pokeByte(uint16_t address, uint8_t value) {
    if (machineConfig.kind == MachineKind::C64) {
        pokeC64(address, value);
    } else {
        memory.ram[address] = value;
    }
}

ScreenView screenView() {
    if (machineConfig.kind == MachineKind::C64) return c64ScreenView();
    return {&memory.ram[kScreenMatrix], false};
}

void drawScreen() {
    if (machineConfig.kind == MachineKind::C64) {
        drawTextScreenFrom(c64ScreenSource());
    } else {
        drawTextScreen();
    }
}

BREADBIN_COMPILE_LEG(0)
BREADBIN_COMPILE_LEG(1)

void foldCycleCount() {
    if (cpu.cycleCount < kCycleCountFold) return;
    machine.loop.cyclesOfEarlierFrames += static_cast<uint64_t>(cpu.cycleCount);
    cpu.cycleCount = 0;
}

uint64_t cyclesSinceStart() {
    return machine.loop.cyclesOfEarlierFrames + static_cast<uint64_t>(cpu.cycleCount);
}

double emulatedSeconds() {
    return static_cast<double>(cyclesSinceStart()) / static_cast<double>(kCyclesPerSecond);
}

void startMachine(int argc, char** argv) {
    hostInit(argc, argv);
    // The buffers live in static storage; a fresh start sees them, and the registers,
    // all zero, as a new process does.
    cpu = CpuState{};
    memory = MemoryMap{};
    machine = MachineState{};
    openWindow(kWindowWidth, kWindowHeight, kWindowBitsPerPixel, kWindowPages, kWindowFlags,
               kWindowRefreshRate);
    framebuffer = pixelMemory();
    setTextRows(kStatusFirstRow, kStatusLastRow);
    loadRomFile(kKernalFile, memory.kernalRom, kKernalRomBufferSize);
    loadRomFile(kBasicFile, memory.basicRom, kBasicRomBufferSize);
    loadRomFile(kCharFile, memory.charRom, kCharRomBufferSize);
    printLineEnd();
    if (machineConfig.kind == MachineKind::C64) {
        startC64();
    } else {
        writeByte(0x0000, kPortDirectionAtPowerUp);
        writeByte(kPortAddress, kPortAtPowerUp);
        cpuReset(cpu);
        setFlag(cpu, kFlagBit5, 1);
    }
    machine.loop.frameDeadline = nowMs() + kFramePeriodMs;
    machine.loop.testProgramLoaded = false;
}

void runSteps(uint64_t count) {
    WatchReport ignored;
    if (machineConfig.kind == MachineKind::C64) {
        runC64Loop(count, nullptr, ignored);
    } else {
        runMainLoop(count, nullptr, false, ignored);
    }
}

uint64_t runWatched(const Watch& watch, uint64_t count, WatchReport& report) {
    if (machineConfig.kind == MachineKind::C64) return runC64Loop(count, &watch, report);
    return runMainLoop(count, &watch, true, report);
}

void runMachine(int argc, char** argv) {
    startMachine(argc, argv);
    for (;;) runSteps(UINT64_MAX);
}
