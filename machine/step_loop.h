// The main loop's step, shared by runSteps (main_loop.cpp) and runWatched
// (watched_loop.cpp); each instantiates the interpreter with it in its own file.
//
// The loop consults the host in stretches: it asks for a key and reads the clock once
// every kStepsPerHostCheck steps (and at every step while keys are pending), and works
// from those answers in between. A clock read costs tens of nanoseconds and an
// instruction a few, so this is what keeps the loop fast; a frame then comes at most a
// stretch (well under a microsecond) after its deadline, far below the millisecond the
// frame timing resolves. The frame check that ends a stretch runs at the start of the
// next step, before its key poll: between the two only the keyboard stub and the raster
// register ran, and the frame neither reads nor writes what they touch.
#pragma once

#include <algorithm>
#include <cmath>

#include "cpu/interpreter.h"
#include "host/host.h"
#include "machine/keyboard.h"
#include "machine/machine.h"
#include "machine/run_control.h"

inline constexpr uint64_t kStepsPerHostCheck = 256;

// The loop's state that survives between runs, besides the machine's own.
extern uint64_t cyclesOfEarlierFrames;  // cycles charged before the current frame began
extern TraceEntry* traceRing;           // the trace's ring, a power of two long, or null
extern uint64_t traceRingMask;
extern uint64_t traceNext;              // instructions traced so far

// One fresh clock reading in whole milliseconds, truncated toward zero.
inline double nowMs() { return std::trunc(clockSeconds() * kMillisecondsPerSecond); }

inline bool inTestHookWindow(uint16_t pc) {
    return static_cast<uint16_t>(pc - kTestHookFirst) <= kTestHookLast - kTestHookFirst;
}

// The frame step: when the clock has passed the deadline, draw the screen, raise the
// interrupt and set the next deadline from a fresh reading. The cycle count is kept
// current in `cpu` at each reading, for a clock that follows the emulated cycles.
inline bool frameCheck(CpuState& c, double& deadline) {
    cpu.cycleCount = c.cycleCount;
    if (nowMs() <= deadline) return false;
    cyclesOfEarlierFrames += static_cast<uint64_t>(c.cycleCount);
    c.cycleCount = 0;
    ++framesDrawn;
    drawTextScreen();
    raiseIrq(c);
    cpu.cycleCount = c.cycleCount;
    deadline = nowMs() + kFramePeriodMs;
    return true;
}

// Takes the next key; Escape ends the run. Returns whether a key was taken, so that the
// loop polls again at the next step.
inline bool pollForEscape() {
    std::string_view key = pollKey();
    if (key == kEscapeKey) endProcess(0);
    return !key.empty();
}

// Which opcodes store into their operand's address, for the store watch.
inline constexpr std::array<bool, 256> kStoresToOperand = [] {
    std::array<bool, 256> table{};
    for (int opcode = 0; opcode < 256; ++opcode) table[opcode] = storesToOperand(static_cast<uint8_t>(opcode));
    return table;
}();

// What happens around every instruction. Its fields are the loop's locals: the
// interpreter copies them in and stores them back when it returns. WatchHook: the test
// hook is still armed (once it has fired the loop runs without the check). Watching:
// the run looks for the events of run_control.h and keeps the trace.
template <bool WatchHook, bool Watching>
struct MainLoopStep {
    uint64_t unscheduled;  // steps of the run not yet started and not in the current stretch
    uint64_t countdown;    // one more than the steps of the stretch not yet started
    double deadline;       // frameDeadline while the loop runs
    bool frameCheckDue;    // an instruction of this run awaits its frame check
    bool hookFired;
    WatchEvent event;
    int32_t pendingStore;  // where the current instruction stores, or -1

    bool beforeInstruction(CpuState& c) {
        if constexpr (Watching) {
            if (watchInputLoop && (!WatchHook || hookFired) && inTestHookWindow(c.regPC) &&
                event == WatchEvent::None) [[unlikely]] {
                endAfterThisStep(WatchEvent::InputLoopReached);
            }
        }
        if (--countdown == 0) [[unlikely]] {
            if (!checkHost(c)) return false;
        }
        setFlag(c, kFlagBit5, 1);
        if (WatchHook && inTestHookWindow(c.regPC)) [[unlikely]] fireTestHook(c);
        if constexpr (Watching) noteInstruction(c);
        return true;
    }

    void afterInstruction(CpuState&) {
        updateKeyboardPort();
        writeByte(kRasterRegister, 0);
        if constexpr (Watching) {
            if (pendingStore >= 0 && pendingStore == watchedStore) [[unlikely]] {
                endAfterThisStep(WatchEvent::StoreSeen);
            }
        }
    }

    // Between two stretches: the frame check of the instruction just run, then either
    // the end of the run, or the key poll of the step about to start and its stretch.
    bool checkHost(CpuState& c) {
        if (frameCheckDue && frameCheck(c, deadline) && Watching && watchFrames && event == WatchEvent::None) {
            event = WatchEvent::FrameDrawn;
        }
        frameCheckDue = true;
        if (unscheduled == 0 || (WatchHook && hookFired) || event != WatchEvent::None) return false;
        bool keyTaken = pollForEscape();
        countdown = keyTaken ? 1 : std::min(unscheduled, kStepsPerHostCheck);
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

    // Ends the run before the next step: the steps of the stretch go back unstarted, and
    // the next step's check does the frame check and stops.
    void endAfterThisStep(WatchEvent why) {
        event = why;
        unscheduled += countdown - 1;
        countdown = 1;
    }

    // The trace entry and the store watch of the instruction about to run.
    void noteInstruction(const CpuState& c) {
        uint8_t opcode = readByte(c.regPC);
        pendingStore = -1;
        if (watchedStore >= 0 && kStoresToOperand[opcode]) pendingStore = peekEffectiveAddress(c);
        if (traceRing) {
            TraceEntry& entry = traceRing[traceNext++ & traceRingMask];
            entry = {c.regPC,
                     {opcode, readByte(static_cast<uint16_t>(c.regPC + 1)), readByte(static_cast<uint16_t>(c.regPC + 2))},
                     c.regA, c.regX, c.regY, c.regS, c.regP};
        }
    }
};

// Runs `count` steps with one variant of the step; returns the steps not started.
template <bool WatchHook, bool Watching>
uint64_t runStretches(uint64_t count, WatchEvent& event) {
    MainLoopStep<WatchHook, Watching> step{count, 1, frameDeadline, false, false, WatchEvent::None, -1};
    runInterpreter(step);
    frameDeadline = step.deadline;
    if (step.hookFired) testProgramLoaded = true;
    event = step.event;
    return step.unscheduled;
}

// Runs `count` steps, the armed test hook's variant first; returns the steps run.
template <bool Watching>
uint64_t runMainLoop(uint64_t count, WatchEvent& event) {
    uint64_t left = count;
    event = WatchEvent::None;
    if (!testProgramLoaded) {
        left = runStretches<true, Watching>(left, event);
        if (event != WatchEvent::None) return count - left;
    }
    if (testProgramLoaded && left > 0) left = runStretches<false, Watching>(left, event);
    return count - left;
}
