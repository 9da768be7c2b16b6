// The emulated machine as a whole: start-up, the main loop with its frame timing and
// test hook, the ROM and program loaders, the text-screen renderer and the keyboard port
// stub. It reaches the host only through host/host.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "cpu/model.h"
#include "cpu/state.h"
#include "machine/config.h"
#include "machine/contract.h"

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

// ---- state of the main loop
extern double frameDeadline;    // the clock reading in whole ms to exceed before the next frame
extern bool testProgramLoaded;  // the test hook has fired; never cleared
extern uint32_t* framebuffer;   // the window's pixel memory, taken once at start-up
extern MachineConfig machineConfig;  // the machine the loop runs; the windowed program's is
                                     // always the default

// ---- start-up and the main loop

// Start-up: host, window, ROMs, status lines, processor port, reset, first deadline.
void startMachine(int argc, char** argv);
// Runs `count` steps of the main loop (the process ends earlier when Escape is read).
void runSteps(uint64_t count);
// The program's entry: start-up, then steps until Escape ends the process with status 0.
[[noreturn]] void runMachine(int argc, char** argv);

// ---- loading

// Fills `destination` from the start of the named file, up to `capacity` bytes, and
// prints "<name> loaded <count> bytes long" in the status area.
void loadRomFile(std::string_view fileName, uint8_t* destination, int capacity);
// Copies a program file (two-byte load address, then data) into RAM and points regPC
// at its load address.
void loadProgramFile(std::string_view fileName);

// ---- screen and keyboard

// Redraws the 40 x 25 text screen into the framebuffer's even rows 0-398.
void drawTextScreen();
// The keyboard stub, updateKeyboardPort, is inline in machine/keyboard.h: it acts after
// every step while $DC00 reads $FE.
