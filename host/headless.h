// Control of the headless host, for tests and the headless runner. The headless host
// implements host.h in memory: a zeroed page, status text kept as lines (and drawn into
// the page like the window's), keys pushed by the caller, a clock that is real or set by
// the caller, and the seeded random sequence. Nothing here exists in the SDL host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host.h"

// Back to the state of a fresh process: no window, no page, no text, no keys, the real
// clock, the random sequence at its default seed, the counters at zero.
void headlessReset();

// Queues a key for pollKey, after those already queued. An empty string is ignored, as
// pollKey could not tell it from no key.
void headlessPushKey(std::string_view key);

// Switches to the virtual clock at `seconds`: clockSeconds returns exactly that value on
// every call until the caller sets or advances it.
void headlessSetClock(double seconds);
// Moves the virtual clock on by `seconds` (from the last reading when the clock was real).
void headlessAdvanceClock(double seconds);
// Switches to the real clock (the default): the steady clock, read at every call.
void headlessUseRealClock();
// Makes the clock follow `source`: clockSeconds returns what it returns, for a clock
// that advances with the emulated cycles. Setting the clock or switching to the real
// clock ends it.
void headlessFollowClock(double (*source)());
// How many times the real clock has been read since the reset.
int64_t headlessClockRefreshCount();

// Provides a file from memory: openFile finds `contents` under `name` before it looks at
// the file system (an empty file reads as a missing one). For a run that needs no files
// of its own, such as the runner's built-in firmware and its program argument.
void headlessProvideFile(std::string_view name, std::vector<uint8_t> contents);
void headlessForgetProvidedFiles();

// Restarts the random sequence from `seed` and drops the queued values.
void headlessSeedRandom(uint64_t seed);
// Queues an exact value for randomUnit; queued values come first, in order.
void headlessQueueRandom(double value);

// The status lines: those ended so far, oldest first, then the line being written when
// it is not empty.
std::vector<std::string> headlessStatusLines();
// What text row `row` (from 1) of the 80 x 60 grid shows, without trailing blanks.
std::string headlessTextRow(int row);

// lockPixels and unlockPixels calls since the reset, whether the page is locked now,
// and the arguments of the last unlockPixels.
int64_t headlessLockCount();
int64_t headlessUnlockCount();
bool headlessPixelsLocked();
std::pair<int, int> headlessLastUnlockRows();

// Whether openWindow has been called since the reset, and the page's size.
bool headlessWindowOpened();
int headlessWindowWidth();
int headlessWindowHeight();
