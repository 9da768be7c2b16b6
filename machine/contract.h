// The machine's contract with its firmware, its test programs and its users: numbers set
// once in cmake/BreadbinContract.cmake, which hands the same values to the assembler.
#pragma once

#include <cstdint>

// The emulated machine's clock, in cycles per second: the rate at which the headless
// runner's emulated-time clock advances.
inline constexpr uint64_t kCyclesPerSecond = BREADBIN_CLOCK_HZ;
// The next frame's deadline is a fresh clock reading in whole milliseconds plus this.
inline constexpr double kFramePeriodMs = BREADBIN_FRAME_PERIOD_MS;
// The deadline must be exceeded, so frames come this many milliseconds apart.
inline constexpr uint64_t kFrameIntervalMs = BREADBIN_FRAME_INTERVAL_MS;
// The test hook loads the test program the first time regPC lies in this window.
inline constexpr uint16_t kTestHookFirst = BREADBIN_TEST_HOOK_FIRST;
inline constexpr uint16_t kTestHookLast = BREADBIN_TEST_HOOK_LAST;
// With the runner's --debug-exit, a store here ends the run; the byte is its status.
inline constexpr uint16_t kDebugExitRegister = BREADBIN_DEBUG_REGISTER;
// breadbin-run's other debug cells: a store to the first starts the stopwatch, one to the
// second stops it (the byte stored is the timing's id), and the bytes stored to the third
// are console text. With the debug register they make one short range that the runner
// watches.
inline constexpr uint16_t kStopwatchStart = BREADBIN_STOPWATCH_START;
inline constexpr uint16_t kStopwatchStop = BREADBIN_STOPWATCH_STOP;
inline constexpr uint16_t kDebugConsole = BREADBIN_CONSOLE;
inline constexpr uint16_t kDebugCellsFirst = kStopwatchStart;
inline constexpr uint16_t kDebugCellsLast = kDebugExitRegister;
// A store here from the open firmware's KERNAL is a drive request (machine/drive_port.h).
inline constexpr uint16_t kDriveRequest = BREADBIN_DRIVE_REQUEST;
static_assert(kDriveRequest < kDebugCellsFirst, "the drive request cell is no debug cell");
static_assert(kStopwatchStart + 1 == kStopwatchStop && kStopwatchStop + 1 == kDebugConsole &&
                  kDebugConsole + 1 == kDebugExitRegister,
              "the debug cells lie side by side, the debug register last");
