// The emulated machine as a whole: start-up, the main loop with its frame timing and
// test hook, the ROM and program loaders, the text-screen renderer and the keyboard port
// stub. It reaches the host only through host/host.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cpu/model.h"
#include "cpu/state.h"
#include "machine/cia.h"
#include "machine/config.h"
#include "machine/contract.h"
#include "machine/drive.h"
#include "machine/input.h"
#include "machine/port.h"
#include "machine/sid.h"
#include "machine/vic.h"

// ---- constants of the run
inline constexpr int kWindowWidth = 640;
inline constexpr int kWindowHeight = 480;
inline constexpr int kWindowBitsPerPixel = 32;
inline constexpr int kWindowPages = 2;
inline constexpr int kWindowFlags = 0;
inline constexpr int kWindowRefreshRate = 60;
inline constexpr int kStatusFirstRow = 55;
inline constexpr int kStatusLastRow = 60;
inline constexpr uint8_t kPortDirectionAtPowerUp = 0x2F;  // ram[$00]
inline constexpr uint8_t kPortAtPowerUp = 0xE7;           // ram[$01]: KERNAL and BASIC visible
inline constexpr double kMillisecondsPerSecond = 1000;
inline constexpr std::string_view kTestProgramFile = "tests/start";
inline constexpr std::string_view kKernalFile = "kernal.rom";
inline constexpr std::string_view kBasicFile = "basic.rom";
inline constexpr std::string_view kCharFile = "chargen.rom";
inline constexpr int32_t kOpcodeFetchCycles = 2;
inline constexpr uint16_t kRasterRegister = 0xD012;
inline constexpr uint16_t kScreenMatrix = 0x0400;
inline constexpr uint16_t kColourMemory = 0xD800;
inline constexpr uint16_t kBackgroundColour = 0xD021;
inline constexpr uint16_t kKeyboardColumnSelect = 0xDC00;
inline constexpr uint16_t kKeyboardRowData = 0xDC01;
// The main loop consults the host (a key, the frame clock) once every this many steps.
inline constexpr uint64_t kStepsPerHostCheck = 256;
// Past this many cycles without a frame (a clock that stands still), the cycles of the frame
// under way are added to the earlier frames' at the end of a stretch, so that
// cpu.cycleCount never overflows.
inline constexpr int32_t kCycleCountFold = int32_t{1} << 30;
// Folds cpu.cycleCount into the earlier frames' cycles once it has passed kCycleCountFold
// (the minimal machine; the C64's frames keep it within one frame).
void foldCycleCount();

// ---- the machine's state

// The main loop's own state.
struct LoopState {
    double frameDeadline;    // the clock reading in whole ms to exceed before the next frame
    bool testProgramLoaded;  // the test hook has fired; never cleared
    uint64_t framesDrawn;    // frames since start-up
    // Cycles charged before the current frame began: the run's clock is this plus
    // cpu.cycleCount (cyclesSinceStart).
    uint64_t cyclesOfEarlierFrames;
    // Steps left in the stretch under way, between two host checks (0: the next step
    // starts a stretch). A watched run that ends inside a stretch leaves the rest of it to
    // the next, so that the frames fall where they would unwatched.
    uint64_t stretchLeft;
};

// How the processor takes interrupts on the C64 (c64_loop.cpp): where the last instruction
// looked at the lines, and the NMI edge not yet served.
struct InterruptState {
    // The cycle in which the last instruction sampled the lines (its next-to-last, or the
    // first of a branch taken within its page); kNever when no instruction has run since an
    // interrupt's entry, whose handler runs one instruction before any other interrupt.
    uint64_t pollAt;
    bool polledMask;       // flag I as that sample saw it (CLI, SEI and PLP act one later)
    uint64_t nmiEdgeAt;    // the cycle the NMI line fell, until the NMI is taken (else kNever)
    uint64_t nmiFallSeen;  // the last fall of CIA 2's output taken as an edge (kNever: none)
};

inline constexpr std::size_t kColourRamSize = 1024;

// Everything of the machine but the processor's registers (cpu) and memory (memory), which
// live apart for speed: one value, which a snapshot copies and a restore assigns. The
// chips are the C64's; the minimal machine has none of them and leaves them at rest.
struct MachineState {
    LoopState loop;
    ProcessorPort port;
    Cia cia1;  // at $DC00, on the IRQ line
    Cia cia2;  // at $DD00, on the NMI line
    Vic vic;
    Sid sid;
    InputState input;  // the keys and joysticks held, and the place in the input script
    uint8_t colourRam[kColourRamSize];  // four bits a cell
    InterruptState interrupts;
    uint8_t lastIoWrite;  // the byte of the last write to a chip
    // Devices 8 to 11 with their channels and status (an image's bytes are shared between
    // copies of the state until one writes).
    std::array<Drive, kDriveCount> drives;
    SerialBus bus;  // who talks and who listens between the KERNAL's calls
};

extern MachineState machine;
extern MachineConfig machineConfig;  // the machine the loop runs; the windowed program's is
                                     // always the default
extern uint32_t* framebuffer;        // the window's pixel memory, taken once at start-up
// Whether a frame draws the screen into the pixel memory (true unless a caller says
// otherwise). A run that looks only at the final picture turns it off and draws that
// picture itself; the frame's interrupt, its count and its cycle reset stay as they are.
extern bool drawFrames;

// The whole machine at one moment. The ROM buffers are left out: nothing writes them
// after start-up.
struct MachineSnapshot {
    CpuState registers;
    uint8_t ram[kRamSize];
    MachineState machine;
};
void saveMachine(MachineSnapshot& snapshot);
void restoreMachine(const MachineSnapshot& snapshot);

// ---- start-up and the main loop

struct Watch;
struct WatchReport;
enum class WatchEvent : uint8_t;

// Start-up: host, window, ROMs, status lines, processor port, reset, first deadline.
void startMachine(int argc, char** argv);
// Runs `count` steps of the main loop (the process ends earlier when Escape is read). The
// loop consults the host (a key, the frame clock) every kStepsPerHostCheck steps and at
// the end of every call.
void runSteps(uint64_t count);
// The program's entry: start-up, then steps until Escape ends the process with status 0.
[[noreturn]] void runMachine(int argc, char** argv);

// Runs up to `count` steps of the main loop like runSteps, ending early at an event that
// `watch` asks for (machine/watch.h); returns the steps run and says in `report` why it
// ended. An event's step is complete: a store's instruction has run, and an input-loop
// stop happens before the step starts. A JAM ends every run, watched or not, without the frame
// check: a stopped processor takes no interrupt. Unlike runSteps, a call that ends inside a stretch
// leaves its rest to the next call, so that frames fall on the same steps however a run is
// cut into calls.
uint64_t runWatched(const Watch& watch, uint64_t count, WatchReport& report);

// The test hook, as both machines' loops take it before a step: the first time the processor
// is in the hook's window, the test program is loaded; after that, the window is the input
// loop. Returns the event that ends a run watched by `watch` (null: none), or None.
WatchEvent testHookBeforeStep(const Watch* watch);
// What both machines' legs look at for `watch` (null: none), now: the test hook's window
// (until the test program is loaded, for an input-loop watch, and while serial routines
// are served), and the trace ring and execution counts where the run keeps them.
bool legsWatchWindow(const Watch* watch);
bool legsObserve(const Watch* watch);

// The frame step as the loop takes it at the end of a stretch: when the clock has passed
// the deadline, count the frame, draw it (drawFrames), raise the interrupt and set the
// next deadline. Returns whether a frame came. For callers that run the interpreter
// themselves.
bool frameCheck();

// Cycles charged since start-up. While a run is under way the loop keeps it current at
// every clock reading, so a clock that follows the emulated cycles can use it.
uint64_t cyclesSinceStart();
// The clock that follows the emulated cycles: the seconds they stand for at the machine's
// clock rate. A run that gives it to the host (and says so in its watch) lets the loop
// leave out the clock readings that cannot see a frame due.
double emulatedSeconds();

// The longest step: the model's longest instruction (7 cycles; 8 for the 6510's
// undocumented read-modify-write forms through a pointer) and a frame's interrupt entry.
constexpr uint64_t maxCyclesPerStep(CpuModel model) {
    return (model == CpuModel::Mos6510 ? 8 : 7) + 7;
}

// The byte the processor would read at `address`, without what a read does to a chip.
uint8_t peekByte(uint16_t address);
// The byte the last store to `address` wrote, where a chip there may not keep it (the
// debug cells in the C64's I/O area).
uint8_t storedByte(uint16_t address);
// Stores `value` at `address` as a processor's store would, outside any instruction: into
// the chip that the address reaches on the C64 (the port, the I/O area), into RAM on the
// minimal machine.
void pokeByte(uint16_t address, uint8_t value);

// ---- loading

// Fills `destination` from the start of the named file, up to `capacity` bytes, and
// prints "<name> loaded <count> bytes long" in the status area.
void loadRomFile(std::string_view fileName, uint8_t* destination, int capacity);
// Copies a program file (two-byte load address, then data) into RAM and points regPC
// at its load address.
void loadProgramFile(std::string_view fileName);

// ---- screen and keyboard

// Redraws the 40 x 25 text screen into the framebuffer's even rows 0-398, from RAM and the
// character ROM as the minimal machine keeps them.
void drawTextScreen();
// Draws what the running machine shows: drawTextScreen, or on the C64 the text screen as
// its VIC reads it.
void drawScreen();
// The keyboard stub, updateKeyboardPort, is inline in machine/keyboard.h: it acts after
// every step while $DC00 reads $FE.
