// The main loop, shared by runSteps (main_loop.cpp) and runWatched (watched_loop.cpp);
// each instantiates the interpreter with it in its own file.
//
// The loop runs in stretches. The interpreter runs the instructions of a stretch and,
// unless the run is watched, makes no call of its own, so that the compiler keeps all
// registers in machine registers; whatever needs a call makes it pause and return here, and it
// resumes where it stopped. Between two stretches the loop consults the host: it does the frame
// check of the instruction just run and asks for a key, once every kStepsPerHostCheck steps (and at
// every step while keys are pending). A clock read costs tens of nanoseconds and an instruction a
// few, so a frame comes at most a stretch (well under a microsecond) after its deadline, far below
// the millisecond the frame timing resolves. The frame check that ends a stretch comes after the
// stretch's last keyboard stub and raster register clear rather than before them: the frame neither
// reads nor writes what they touch.
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
extern uint64_t traceNext;  // instructions traced so far

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
    if (drawFrames) drawTextScreen();
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

// Which opcodes store into their operand's address: the only instructions after which
// the raster register or $DC00 can have changed, and the ones the store watch looks at.
inline constexpr std::array<bool, 256> kStoresToOperand = [] {
    std::array<bool, 256> table{};
    for (int opcode = 0; opcode < 256; ++opcode)
        table[opcode] = storesToOperand(static_cast<uint8_t>(opcode));
    return table;
}();

// The watches that look at single instructions are kept out of line: inlined into the
// handler of every opcode they made the watched loop take the compiler minutes to build.
// The registers come by value, so that the loop's own stay in machine registers.

// Keeps the instruction at `pc`, about to run, in the trace ring.
[[gnu::noinline]] inline void traceInstruction(uint16_t pc, uint8_t a, uint8_t x, uint8_t y,
                                               uint8_t s, uint8_t p) {
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

// Where the instruction at `pc`, one that stores into its operand, is about to store.
[[gnu::noinline]] inline int32_t storeAddress(uint16_t pc, uint8_t x, uint8_t y) {
    CpuState probe{};
    probe.regPC = pc;
    probe.regX = x;
    probe.regY = y;
    return peekEffectiveAddress(probe);
}

// What a stretch leaves for the loop when it pauses. It lives in memory rather than in
// the interpreter's locals: it is touched only when a stretch pauses, and as locals it
// would take machine registers that the processor's registers need.
struct StretchState {
    uint64_t leftover;  // when paused: the steps of the stretch not yet started
    bool paused;        // the stretch stopped early, for the work the loop does
    bool keyboardDue;   // the keyboard stub may act after the last instruction
    bool hookDue;       // the step about to start is in the test hook's window
    WatchEvent event;   // a watched event ends the run
};
inline StretchState stretch;

// What happens around every instruction inside a stretch. HookArmed: the test hook has
// not fired yet (once it has, the loop runs without the check). Watching: the run looks
// for the events of run_control.h and keeps the trace.
template <bool HookArmed, bool Watching>
struct MainLoopStep {
    uint64_t countdown;    // one more than the steps of the stretch not yet started
    int32_t pendingStore;  // where the current instruction stores, or -1 (Watching)

    bool beforeInstruction(CpuState& c) {
        if (--countdown == 0) [[unlikely]]
            return false;
        if constexpr (Watching && !HookArmed) {
            if (watchInputLoop && inTestHookWindow(c.regPC)) [[unlikely]] {
                stretch.event = WatchEvent::InputLoopReached;
                return pauseBeforeThisStep();
            }
        }
        setFlag(c, kFlagBit5, 1);
        if (HookArmed && inTestHookWindow(c.regPC)) [[unlikely]] {
            stretch.hookDue = true;
            return pauseBeforeThisStep();
        }
        if constexpr (Watching) {
            if (traceRing) traceInstruction(c.regPC, c.regA, c.regX, c.regY, c.regS, c.regP);
        }
        return true;
    }

    // The store watch looks only at the opcodes that store into their operand.
    template <uint8_t Opcode>
    void beforeExecute(CpuState& c) {
        if constexpr (Watching && kStoresToOperand[Opcode]) {
            if (watchedStore >= 0)
                pendingStore = storeAddress(static_cast<uint16_t>(c.regPC - 1), c.regX, c.regY);
        }
    }

    // The raster register reads 0 after every step, and the keyboard stub acts after
    // every step while $DC00 reads $FE. $DC00 reads either RAM or, with the character
    // ROM visible, charRom[$C00], which no instruction can change (the loop sees to the
    // case where that byte is $FE). Within a stretch only an instruction that stores into
    // its operand can change either byte of RAM (pushes stay in page one), so the other
    // opcodes need nothing here; runStretch sees to a stretch that starts with either
    // byte set.
    template <uint8_t Opcode>
    void afterInstruction(CpuState&) {
        if constexpr (kStoresToOperand[Opcode]) {
            writeByte(kRasterRegister, 0);
            if (memory.ram[kKeyboardColumnSelect] == kScanColumnZero) [[unlikely]] {
                stretch.keyboardDue = true;
                pauseAfterThisStep();
            }
            if constexpr (Watching) {
                if (pendingStore >= 0 && pendingStore == watchedStore) [[unlikely]] {
                    stretch.event = WatchEvent::StoreSeen;
                    pauseAfterThisStep();
                }
            }
        }
    }

    bool pauseBeforeThisStep() {
        stretch.leftover = countdown;  // this step included
        stretch.paused = true;
        return false;
    }

    void pauseAfterThisStep() {
        if (stretch.paused) return;
        stretch.leftover = countdown - 1;
        countdown = 1;  // the next step stops at once
        stretch.paused = true;
    }
};

// Runs `steps` steps of a stretch, with the variant of the step that fits the test hook.
// A stretch that starts with the raster register set (by a program loaded over it, or
// by a caller) or with $DC00 at $FE runs its first step alone, so that the loop can do
// that step's work whatever its instruction; the rest comes back as leftover.
template <bool Watching>
void runStretch(uint64_t steps) {
    uint64_t later = 0;
    bool stepAlone =
        memory.ram[kRasterRegister] != 0 || memory.ram[kKeyboardColumnSelect] == kScanColumnZero;
    if (stepAlone) {
        later = steps - 1;
        steps = 1;
    }
    stretch.paused = false;
    if (!testProgramLoaded) {
        MainLoopStep<true, Watching> step{steps + 1, -1};
        runInterpreter(step);
    } else {
        MainLoopStep<false, Watching> step{steps + 1, -1};
        runInterpreter(step);
    }
    if (!stepAlone) return;
    bool stepRan = !stretch.paused || stretch.leftover == 0;
    if (stepRan) {
        writeByte(kRasterRegister, 0);
        stretch.keyboardDue = true;  // updateKeyboardPort reads $DC00 itself
    }
    if (later == 0) return;
    stretch.leftover = (stretch.paused ? stretch.leftover : 0) + later;
    stretch.paused = true;
}

// Runs `count` steps of the main loop; returns the steps run. Watching: the run ends
// early at the watched events of run_control.h.
template <bool Watching>
uint64_t runMainLoop(uint64_t count, WatchEvent& event) {
    stretch = StretchState{};
    uint64_t unscheduled = count;  // steps not yet given to a stretch
    bool frameCheckDue = false;    // an instruction of this run awaits its frame check
    // A character ROM whose byte at $C00 is $FE makes $DC00 read $FE whenever that ROM is
    // visible: then the stub is looked at after every step, in stretches of one step.
    bool stubAfterEveryStep = memory.charRom[kKeyboardColumnSelect - 0xD000] == kScanColumnZero;
    uint64_t stretchLength = stubAfterEveryStep ? 1 : kStepsPerHostCheck;
    for (;;) {
        if (frameCheckDue && frameCheck(frameDeadline) && Watching && watchFrames &&
            stretch.event == WatchEvent::None) {
            stretch.event = WatchEvent::FrameDrawn;
        }
        frameCheckDue = true;
        if (unscheduled == 0 || stretch.event != WatchEvent::None) break;
        uint64_t steps = pollForEscape() ? 1 : std::min(unscheduled, stretchLength);
        unscheduled -= steps;
        // The stretch, with the work that made it pause, until it is done.
        for (;;) {
            runStretch<Watching>(steps);
            if (stretch.keyboardDue || stubAfterEveryStep) {
                updateKeyboardPort();
                stretch.keyboardDue = false;
            }
            if (stretch.hookDue) {
                loadProgramFile(kTestProgramFile);
                testProgramLoaded = true;
                stretch.hookDue = false;
            }
            if (!stretch.paused || stretch.leftover == 0) break;
            if (stretch.event != WatchEvent::None) {
                unscheduled += stretch.leftover;
                break;
            }
            steps = stretch.leftover;
        }
    }
    event = stretch.event;
    return count - unscheduled;
}
