// Watching a run, for the headless runner: the run's counters, events that end a run
// early (a frame, a store to one address, the return to the input loop) and a trace of
// the last instructions. The windowed program uses runSteps alone and pays for none of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "cpu/state.h"

// The main loop consults the host (a key, the frame clock) once every this many steps, and
// at the end of every call of runSteps or runWatched.
inline constexpr uint64_t kStepsPerHostCheck = 256;

// Frames drawn since start-up.
extern uint64_t framesDrawn;
// Whether a frame draws the screen into the pixel memory (true unless a caller says
// otherwise). A run that looks only at the final picture turns it off and draws that
// picture itself; the frame's interrupt, its count and its cycle reset stay as they are.
extern bool drawFrames;
// Cycles charged since start-up. While a run is under way the loop keeps it current at
// every clock reading, so a clock that follows the emulated cycles can use it.
uint64_t cyclesSinceStart();

// What ended a watched run before its steps were done.
enum class WatchEvent : uint8_t {
    None,              // all steps ran
    FrameDrawn,        // a frame was drawn (watchFrames)
    StoreSeen,         // the instruction just run stored into the watched addresses
    InputLoopReached,  // regPC lies in the test hook's window after the hook fired
    Jammed,            // the processor met a JAM (6510 model) and stopped; regPC addresses it
    ProgramLoaded,     // the test hook has just loaded the program (watchProgramLoad)
};

// What runWatched looks for. Set them before the run.
extern bool watchFrames;  // end the run after each frame
// The watched addresses lie among the debug cells (kDebugCellsFirst to kDebugCellsLast).
extern int32_t watchedStore;       // -1, or the first address whose store ends the run
extern uint16_t watchedStoreSpan;  // the addresses after it that end it too (0: none)
extern uint16_t storeSeenAt;       // after StoreSeen: the address stored to
// A store seen at any address but the debug register returns at once, before the frame
// check that ends the stretch: the stretch goes on in the next call (which the caller
// makes as long as the stretch's rest), so frames fall where they would unwatched.
extern bool watchInputLoop;  // end the run when the program is back in the input loop
// End the run right after the test hook has loaded the program, before its first
// instruction, so that the caller may choose where it starts. The stretch that the load
// fell in goes on in the next call: its frame check is left to the end of the stretch, so
// frames fall where they fall without the watch.
extern bool watchProgramLoad;

// One executed instruction as the trace keeps it: where it was, its bytes as the
// processor saw them, and the registers before it ran.
struct TraceEntry {
    uint16_t pc;
    uint8_t bytes[3];
    uint8_t a, x, y, s, p;
};
// Keeps the last `length` instructions of watched runs from now on (0: none).
void startTrace(std::size_t length);
// The kept instructions, oldest first.
std::vector<TraceEntry> traceEntries();

// What ran at one address: the instructions that started there, the cycles they charged
// (an interrupt's entry belongs to none), for a conditional branch the times it was
// taken, and the JSRs that called it.
struct ExecutionCount {
    uint64_t instructions;
    uint64_t cycles;
    uint64_t taken;
    uint64_t calls;
};
// One count per address while counting is on, else null. Watched runs and routine tests
// add to it; nothing clears it but startCounting.
extern ExecutionCount* executionCounts;
// A JSR site's calls while counting: the routine called, how often, and what the calls
// ran in all, from the first cycle of the JSR to the last of the RTS that returned
// (what a routine test's expect.cycles counts, interrupts that came in between included).
struct CallCount {
    uint16_t target;
    uint64_t calls;
    uint64_t instructions;
    uint64_t cycles;
};
// One per JSR site while counting is on, else null; a site seen calling a second target
// (code that changes its own JSRs) keeps the first, and the rest go to callsElsewhere.
extern CallCount* callCounts;
struct CallSite {
    uint16_t site;
    uint16_t target;
    bool operator<(const CallSite& other) const {
        return site != other.site ? site < other.site : target < other.target;
    }
};
extern std::map<CallSite, CallCount> callsElsewhere;

// The calls under way while counting, innermost last; and the totals they are measured by
// (the cycles of interrupts' entries among them).
struct OpenCall {
    uint16_t site;
    uint16_t target;
    uint16_t returnAddress;  // where the returning RTS lands
    uint8_t stackPointer;    // regS before the JSR
    uint64_t instructionsAt;
    uint64_t cyclesAt;
};
inline constexpr std::size_t kMaxOpenCalls = 1024;  // deeper calls are not measured
extern OpenCall* openCalls;
extern std::size_t openCallCount;
extern uint64_t countedInstructions;
extern uint64_t countedCycles;
// A call begins: the JSR at `site` (or a routine test's call, as if from there) to
// `target`, with regS `stackPointer` before it; the JSR's instructions (1, or 0 for a
// test's call) and cycles are counted already.
void openCall(uint16_t site, uint16_t target, uint8_t stackPointer, uint64_t jsrInstructions,
              uint64_t jsrCycles);
// After an RTS to `pc` with regS `stackPointer`: closes the call it returned from, and any
// calls inside it that never returned.
void closeCall(uint16_t pc, uint8_t stackPointer);
// The count of the calls from `site` to `target`: the site's own, or, for a site seen
// calling another target first, one in callsElsewhere.
CallCount& callCountOf(uint16_t site, uint16_t target);

// Turns counting on, every count 0; and off.
void startCounting();
void stopCounting();

// Runs up to `count` steps of the main loop like runSteps, ending early at a watched
// event. Returns the steps run; `event` says why it ended. An event's step is complete:
// a store's instruction has run, and an input-loop stop happens before the step starts.
// A JAM ends every run, watched or not, without the frame check: a stopped processor
// takes no interrupt.
uint64_t runWatched(uint64_t count, WatchEvent& event);

// The frame step as the loop takes it between stretches: when the clock has passed the
// deadline, count the frame, draw it (drawFrames), raise the interrupt and set the next
// deadline. Returns whether a frame came. For callers that run the interpreter themselves.
bool frameCheck();

// The whole machine at one moment: the registers, RAM and the main loop's own state.
// The ROM buffers are left out: nothing writes them after start-up.
struct MachineSnapshot {
    CpuState registers;
    uint8_t ram[kRamSize];
    double frameDeadline;
    bool testProgramLoaded;
    uint64_t framesDrawn;
    uint64_t cyclesOfEarlierFrames;
};
void saveMachine(MachineSnapshot& snapshot);
void restoreMachine(const MachineSnapshot& snapshot);
