// What a watched run of the main loop looks for, and what ended it. The windowed program
// runs the loop unwatched (runSteps) and pays for none of it.
#pragma once

#include <cstdint>
#include <optional>

// What runWatched looks for.
struct Watch {
    bool frames = false;  // end the run after each frame
    // A store to one of these addresses ends the run, right after the storing instruction.
    // They lie among the debug cells (kDebugCellsFirst to kDebugCellsLast).
    struct Stores {
        uint16_t first;
        uint16_t last;
    };
    std::optional<Stores> stores;
    bool inputLoop = false;  // end the run when the program is back in the input loop
    // End the run right after the test hook has loaded the program, before its first
    // instruction, so that the caller may choose where it starts.
    bool programLoad = false;
    // The host's clock is emulatedSeconds() and the host queues no keys: the loop then
    // consults it only where a frame can fall (the frames fall on the same steps).
    bool clockFollowsCycles = false;
};

// What ended a watched run before its steps were done.
enum class WatchEvent : uint8_t {
    None,              // all steps ran
    FrameDrawn,        // a frame was drawn (Watch::frames)
    StoreSeen,         // the instruction just run stored into the watched addresses
    InputLoopReached,  // regPC lies in the test hook's window after the hook fired
    Jammed,            // the processor met a JAM (6510 model) and stopped; regPC addresses it
    ProgramLoaded,     // the test hook has just loaded the program (Watch::programLoad)
};

// Whether a store to `address` ends a run that `watch` watches.
inline bool storeWatched(const Watch& watch, uint16_t address) {
    return watch.stores && address >= watch.stores->first && address <= watch.stores->last;
}

// The event, and for StoreSeen the store the machine saw: where, and the byte stored
// (which a chip at that address may not keep; what it means is the caller's to say).
struct WatchReport {
    WatchEvent event = WatchEvent::None;
    uint16_t storeAddress = 0;
    uint8_t storeValue = 0;
};
