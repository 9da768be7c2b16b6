// Start-up and the main loop: one step per emulated instruction, with the key poll, the
// forced status bit, the test hook, the instruction, the frame timing, the keyboard stub
// and the raster register around each; and the same loop under watch for the headless
// runner. All of the loop's state lives here.
//
// The loop runs in stretches: the steps between two host checks. At the start of each
// stretch the loop lets the host do its own work and takes a key; at its end it does the
// frame check. A stretch is kStepsPerHostCheck steps, or one step while keys are
// pending. A clock read costs tens of nanoseconds and an instruction a few, so a frame
// comes at most a stretch (well under a microsecond) after its deadline,
// far below the millisecond the frame timing resolves. The frame check that ends a
// stretch comes after the stretch's last keyboard stub and raster register clear rather
// than before them: the frame neither reads nor writes what they touch.
//
// Within a stretch the interpreter runs in legs (step_loop.h), and between two legs the
// loop does what the instructions of a leg leave to it: the test hook and the input-loop
// watch before a step, the keyboard stub and the raster register after one.
#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "cpu/call.h"
#include "host/host.h"
#include "machine/step_loop.h"

double frameDeadline;
bool testProgramLoaded;
uint32_t* framebuffer;
MachineConfig machineConfig;
uint64_t framesDrawn;
bool drawFrames = true;

bool watchFrames;
int32_t watchedStore = -1;
uint16_t watchedStoreSpan;
uint16_t storeSeenAt;
bool watchInputLoop;
bool watchProgramLoad;

LegEnd legEnd;
ExecutionCount* executionCounts;
CallCount* callCounts;
std::map<CallSite, CallCount> callsElsewhere;
OpenCall* openCalls;
std::size_t openCallCount;
uint64_t countedInstructions;
uint64_t countedCycles;
TraceEntry* traceRing;
uint64_t traceRingMask;
uint64_t traceNext;

namespace {

uint64_t cyclesOfEarlierFrames;  // cycles charged before the current frame began
std::vector<TraceEntry> traceStorage;
std::vector<ExecutionCount> countStorage;
std::vector<CallCount> callStorage;
std::vector<OpenCall> openCallStorage;
std::size_t traceLength;

// One fresh clock reading in whole milliseconds, truncated toward zero.
double nowMs() { return std::trunc(clockSeconds() * kMillisecondsPerSecond); }

// Takes the next key; Escape ends the run. Returns whether a key was taken, so that the
// loop polls again at the next step.
bool pollForEscape() {
    std::string_view key = pollKey();
    if (key == kEscapeKey) endProcess(0);
    return !key.empty();
}

// The variant of the next leg: what this run and the moment ask for.
StepFeatures stepFeatures(bool watching) {
    return {.window = !testProgramLoaded || (watching && watchInputLoop),
            .stores = watching && watchedStore >= 0,
            .observe = watching && (traceRing != nullptr || executionCounts != nullptr),
            .model = machineConfig.cpu};
}

using LegRunner = uint64_t (*)(uint64_t steps);
constexpr LegRunner kLegRunners[kStepFeatureVariants] = {
#define BREADBIN_LEG_RUNNER(i) &runLeg<StepFeatures::fromIndex(i)>,
    BREADBIN_FOR_EACH_LEG_VARIANT(BREADBIN_LEG_RUNNER)
#undef BREADBIN_LEG_RUNNER
};

// The main loop: `count` steps, or fewer when a watched event ends it; returns the steps run.
uint64_t runMainLoop(uint64_t count, bool watching, WatchEvent& event) {
    event = WatchEvent::None;
    uint64_t done = 0;
    while (done < count && event == WatchEvent::None) {
        hostService();
        // How long the stretch is: one step while keys are pending, so that the next is
        // taken at the next step.
        uint64_t stretchEnd =
            done + (pollForEscape() ? 1 : std::min(count - done, kStepsPerHostCheck));
        while (done < stretchEnd) {
            if (inTestHookWindow(cpu.regPC)) {
                if (!testProgramLoaded) {
                    loadProgramFile(kTestProgramFile);
                    testProgramLoaded = true;
                    if (watching && watchProgramLoad) {
                        event = WatchEvent::ProgramLoaded;
                        return done;
                    }
                } else if (watching && watchInputLoop) {
                    event = WatchEvent::InputLoopReached;
                    break;
                }
            }
            // Whether the step runs alone: when it starts with the raster register set (by a
            // program loaded over it, or by a caller) or with $DC00 reading $FE, its
            // instruction may not be one that stores, and the loop does its work after it.
            bool alone = memory.ram[kRasterRegister] != 0 ||
                         readByte(kKeyboardColumnSelect) == kScanColumnZero;
            done += kLegRunners[stepFeatures(watching).index()](alone ? 1 : stretchEnd - done);
            updateKeyboardPort();
            writeByte(kRasterRegister, 0);
            if (legEnd.jammed) {
                event = WatchEvent::Jammed;
                return done;
            }
            if (legEnd.storeSeen &&
                static_cast<uint16_t>(legEnd.storeAddress - watchedStore) <= watchedStoreSpan) {
                event = WatchEvent::StoreSeen;
                storeSeenAt = legEnd.storeAddress;
                // A debug cell's store returns before the frame check, so that the
                // stretch goes on in the next call and frames fall where they would;
                // the debug register's ends the run, after it.
                if (storeSeenAt != kDebugExitRegister) return done;
                break;
            }
        }
        if (frameCheck() && watching && watchFrames && event == WatchEvent::None)
            event = WatchEvent::FrameDrawn;
    }
    return done;
}

}  // namespace

// The frame step: when the clock has passed the deadline, draw the screen, raise the
// interrupt and set the next deadline from a fresh reading.
bool frameCheck() {
    if (nowMs() <= frameDeadline) return false;
    cyclesOfEarlierFrames += static_cast<uint64_t>(cpu.cycleCount);
    cpu.cycleCount = 0;
    ++framesDrawn;
    if (drawFrames) drawTextScreen();
    raiseIrq(cpu);
    // The interrupt's entry belongs to no instruction, but to the calls under way.
    if (executionCounts) countedCycles += static_cast<uint64_t>(cpu.cycleCount);
    frameDeadline = nowMs() + kFramePeriodMs;
    return true;
}

void saveMachine(MachineSnapshot& snapshot) {
    snapshot.registers = cpu;
    std::copy(std::begin(memory.ram), std::end(memory.ram), snapshot.ram);
    snapshot.frameDeadline = frameDeadline;
    snapshot.testProgramLoaded = testProgramLoaded;
    snapshot.framesDrawn = framesDrawn;
    snapshot.cyclesOfEarlierFrames = cyclesOfEarlierFrames;
}

void restoreMachine(const MachineSnapshot& snapshot) {
    cpu = snapshot.registers;
    std::copy(std::begin(snapshot.ram), std::end(snapshot.ram), memory.ram);
    frameDeadline = snapshot.frameDeadline;
    testProgramLoaded = snapshot.testProgramLoaded;
    framesDrawn = snapshot.framesDrawn;
    cyclesOfEarlierFrames = snapshot.cyclesOfEarlierFrames;
}

#define BREADBIN_COMPILE_LEG(i) template uint64_t runLeg<StepFeatures::fromIndex(i)>(uint64_t);
BREADBIN_COMPILE_LEG(0)
BREADBIN_COMPILE_LEG(1)
BREADBIN_COMPILE_LEG(2)
BREADBIN_COMPILE_LEG(3)
#undef BREADBIN_COMPILE_LEG

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
    loadRomFile(kKernalFile, memory.kernalRom, kKernalRomBufferSize);
    loadRomFile(kBasicFile, memory.basicRom, kBasicRomBufferSize);
    loadRomFile(kCharFile, memory.charRom, kCharRomBufferSize);
    printLineEnd();
    writeByte(0x0000, kPortDirectionAtPowerUp);
    writeByte(kPortAddress, kPortAtPowerUp);
    cpuReset(cpu);
    setFlag(cpu, kFlagBit5, 1);
    frameDeadline = nowMs() + kFramePeriodMs;
    testProgramLoaded = false;
}

void runSteps(uint64_t count) {
    WatchEvent ignored;
    runMainLoop(count, false, ignored);
}

uint64_t runWatched(uint64_t count, WatchEvent& event) { return runMainLoop(count, true, event); }

void runMachine(int argc, char** argv) {
    startMachine(argc, argv);
    for (;;) runSteps(UINT64_MAX);
}

void traceInstruction(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t s, uint8_t p) {
    traceRing[traceNext++ & traceRingMask] = {
        pc,
        {readByte(pc), readByte(static_cast<uint16_t>(pc + 1)),
         readByte(static_cast<uint16_t>(pc + 2))},
        a,
        x,
        y,
        s,
        p};
}

void startCounting() {
    countStorage.assign(kRamSize, ExecutionCount{});
    callStorage.assign(kRamSize, CallCount{});
    openCallStorage.assign(kMaxOpenCalls, OpenCall{});
    executionCounts = countStorage.data();
    callCounts = callStorage.data();
    openCalls = openCallStorage.data();
    callsElsewhere.clear();
    openCallCount = 0;
    countedInstructions = countedCycles = 0;
}

void stopCounting() {
    executionCounts = nullptr;
    callCounts = nullptr;
    openCalls = nullptr;
    countStorage = {};
    callStorage = {};
    openCallStorage = {};
    callsElsewhere.clear();
    openCallCount = 0;
}

void openCall(uint16_t site, uint16_t target, uint8_t stackPointer, uint64_t jsrInstructions,
              uint64_t jsrCycles) {
    if (openCallCount == kMaxOpenCalls) return;
    openCalls[openCallCount++] = {site,
                                  target,
                                  static_cast<uint16_t>(site + kJsrLength),
                                  stackPointer,
                                  countedInstructions - jsrInstructions,
                                  countedCycles - jsrCycles};
}

CallCount& callCountOf(uint16_t site, uint16_t target) {
    CallCount* count = &callCounts[site];
    if (count->calls == 0) count->target = target;
    if (count->target != target) {
        count = &callsElsewhere[{site, target}];
        count->target = target;
    }
    return *count;
}

void closeCall(uint16_t pc, uint8_t stackPointer) {
    for (std::size_t i = openCallCount; i-- > 0;) {
        const OpenCall& call = openCalls[i];
        if (call.returnAddress != pc || call.stackPointer != stackPointer) continue;
        CallCount& count = callCountOf(call.site, call.target);
        ++count.calls;
        count.instructions += countedInstructions - call.instructionsAt;
        count.cycles += countedCycles - call.cyclesAt;
        openCallCount = i;
        return;
    }
}

void startTrace(std::size_t length) {
    traceLength = length;
    traceStorage.assign(length == 0 ? 0 : std::bit_ceil(length), TraceEntry{});
    traceRing = length == 0 ? nullptr : traceStorage.data();
    traceRingMask = traceStorage.empty() ? 0 : traceStorage.size() - 1;
    traceNext = 0;
}

std::vector<TraceEntry> traceEntries() {
    uint64_t kept = std::min<uint64_t>(traceNext, traceLength);
    std::vector<TraceEntry> entries;
    entries.reserve(kept);
    for (uint64_t i = traceNext - kept; i < traceNext; ++i)
        entries.push_back(traceRing[i & traceRingMask]);
    return entries;
}
