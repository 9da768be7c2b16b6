// The main loop, shared by runSteps (main_loop.cpp) and runWatched (watched_loop.cpp);
// each instantiates the interpreter with it in its own file.
//
// The loop runs in stretches. The interpreter runs the instructions of a stretch and
// makes no call of its own, so that the compiler keeps all registers in machine
// registers; whatever needs a call makes it pause and return here, and it resumes where
// it stopped. Between two stretches the loop consults the host: it does the frame check
// of the instruction just run and asks for a key, once every kStepsPerHostCheck steps
// (and at every step while keys are pending). A clock read costs tens of nanoseconds and
// an instruction a few, so a frame comes at most a stretch (well under a microsecond)
// after its deadline, far below the millisecond the frame timing resolves. The frame
// check that ends a stretch comes after the stretch's last keyboard stub and raster
// register clear rather than before them: the frame neither reads nor writes what they
// touch.
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
// interrupt and set the next deadline from a fresh reading.
inline bool frameCheck(double& deadline) {
    if (nowMs() <= deadline) return false;
    cyclesOfEarlierFrames += static_cast<uint64_t>(cpu.cycleCount);
    cpu.cycleCount = 0;
    ++framesDrawn;
    drawTextScreen();
    raiseIrq(cpu);
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

// The loop's state while a stretch runs: the interpreter's locals, and what it leaves
// for the loop when it pauses.
struct StretchState {
    uint64_t countdown;             // one more than the steps of the stretch not yet started
    uint64_t leftover;              // when paused: the steps of the stretch not yet started
    bool paused;                    // the stretch stopped early, for the work below
    bool keyboardDue;               // the keyboard stub may act after the last instruction
    bool hookDue;                   // the step about to start is in the test hook's window
    WatchEvent event;               // a watched event ends the run
    int32_t pendingStore;           // where the current instruction stores, or -1
};

// What happens around every instruction inside a stretch. HookArmed: the test hook has
// not fired yet (once it has, the loop runs without the check). Watching: the run looks
// for the events of run_control.h and keeps the trace.
template <bool HookArmed, bool Watching>
struct MainLoopStep : StretchState {
    bool beforeInstruction(CpuState& c) {
        if (--countdown == 0) [[unlikely]] return false;
        if constexpr (Watching && !HookArmed) {
            if (watchInputLoop && inTestHookWindow(c.regPC)) [[unlikely]] {
                event = WatchEvent::InputLoopReached;
                return pauseBeforeThisStep();
            }
        }
        setFlag(c, kFlagBit5, 1);
        if (HookArmed && inTestHookWindow(c.regPC)) [[unlikely]] {
            hookDue = true;
            return pauseBeforeThisStep();
        }
        if constexpr (Watching) noteInstruction(c);
        return true;
    }

    // The keyboard stub acts only while $DC00 reads $FE, and $DC00 reads either RAM or,
    // with the character ROM visible, charRom[$C00], which no instruction can change.
    // While charRom[$C00] is not $FE (the loop sees to the other case), one comparison of
    // RAM rules the stub out.
    void afterInstruction(CpuState&) {
        writeByte(kRasterRegister, 0);
        if (memory.ram[kKeyboardColumnSelect] == kScanColumnZero) [[unlikely]] {
            keyboardDue = true;
            pauseAfterThisStep();
        }
        if constexpr (Watching) {
            if (pendingStore >= 0 && pendingStore == watchedStore) [[unlikely]] {
                event = WatchEvent::StoreSeen;
                pauseAfterThisStep();
            }
        }
    }

    bool pauseBeforeThisStep() {
        leftover = countdown;  // this step included
        paused = true;
        return false;
    }

    void pauseAfterThisStep() {
        if (paused) return;
        leftover = countdown - 1;
        countdown = 1;  // the next step stops at once
        paused = true;
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

// Runs `steps` steps of a stretch, with the variant of the step that fits the test hook.
template <bool Watching>
void runStretch(StretchState& state, uint64_t steps) {
    state.countdown = steps + 1;
    state.paused = false;
    if (!testProgramLoaded) {
        MainLoopStep<true, Watching> step{state};
        runInterpreter(step);
        state = step;
    } else {
        MainLoopStep<false, Watching> step{state};
        runInterpreter(step);
        state = step;
    }
}

// Runs `count` steps of the main loop; returns the steps run. Watching: the run ends
// early at the watched events of run_control.h.
template <bool Watching>
uint64_t runMainLoop(uint64_t count, WatchEvent& event) {
    StretchState state{};
    state.event = WatchEvent::None;
    state.pendingStore = -1;
    uint64_t unscheduled = count;  // steps not yet given to a stretch
    bool frameCheckDue = false;    // an instruction of this run awaits its frame check
    // A character ROM whose byte at $C00 is $FE makes $DC00 read $FE whenever that ROM is
    // visible: then the stub is looked at after every step, in stretches of one step.
    bool stubAfterEveryStep = memory.charRom[kKeyboardColumnSelect - 0xD000] == kScanColumnZero;
    uint64_t stretchLength = stubAfterEveryStep ? 1 : kStepsPerHostCheck;
    for (;;) {
        if (frameCheckDue && frameCheck(frameDeadline) && Watching && watchFrames &&
            state.event == WatchEvent::None) {
            state.event = WatchEvent::FrameDrawn;
        }
        frameCheckDue = true;
        if (unscheduled == 0 || state.event != WatchEvent::None) break;
        uint64_t steps = pollForEscape() ? 1 : std::min(unscheduled, stretchLength);
        unscheduled -= steps;
        // The stretch, with the work that made it pause, until it is done.
        for (;;) {
            runStretch<Watching>(state, steps);
            if (state.keyboardDue || stubAfterEveryStep) {
                updateKeyboardPort();
                state.keyboardDue = false;
            }
            if (state.hookDue) {
                loadProgramFile(kTestProgramFile);
                testProgramLoaded = true;
                state.hookDue = false;
            }
            if (!state.paused || state.leftover == 0) break;
            if (state.event != WatchEvent::None) {
                unscheduled += state.leftover;
                break;
            }
            steps = state.leftover;
        }
    }
    event = state.event;
    return count - unscheduled;
}
