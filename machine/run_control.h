// Watching a run, for the headless runner: the run's counters, events that end a run
// early (a frame, a store to one address, the return to the input loop) and a trace of
// the last instructions. The windowed program uses runSteps alone and pays for none of it.
#pragma once

#include <cstddef>
#include <cstdint>
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
    StoreSeen,         // the instruction just run stored into watchedStore
    InputLoopReached,  // regPC lies in the test hook's window after the hook fired
    Jammed,            // the processor met a JAM (6510 model) and stopped; regPC addresses it
};

// What runWatched looks for. Set them before the run.
extern bool watchFrames;      // end the run after each frame
extern int32_t watchedStore;  // -1, or the address whose store ends the run
extern bool watchInputLoop;   // end the run when the program is back in the input loop

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

// Runs up to `count` steps of the main loop like runSteps, ending early at a watched
// event. Returns the steps run; `event` says why it ended. An event's step is complete:
// a store's instruction has run, and an input-loop stop happens before the step starts.
// A JAM ends every run, watched or not, without the frame check: a stopped processor
// takes no interrupt.
uint64_t runWatched(uint64_t count, WatchEvent& event);
