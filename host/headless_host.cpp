// The headless host: host.h in memory, for tests and the headless runner.
//
// Implements: the window as a zeroed page in memory, the status text kept as lines and
// drawn into the page, keys that the caller queues, a clock that is real, set by the
// caller or following a source of the caller's (the emulated cycles), lock counts, and,
// through the shared pieces, read-only files (with files provided from memory first) and
// the seeded random sequence. Its control is in headless.h.
// Ignores: the bits per pixel, the flags and the refresh rate of the window; hostService
// has nothing to do.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "host/clock.h"
#include "host/files.h"
#include "host/headless.h"
#include "host/host.h"
#include "host/random.h"
#include "host/text_area.h"

namespace {

struct HeadlessState {
    std::vector<uint32_t> pages;
    int width = 0;
    int height = 0;
    bool windowOpened = false;
    std::deque<std::string> keys;
    std::string lastKey;  // pollKey's result points into it until the next key is taken
    bool virtualClock = false;
    double clockReading = 0.0;          // the virtual clock, or the last real reading
    double (*clockSource)() = nullptr;  // when set, the clock follows it
    int64_t clockRefreshes = 0;
};

HeadlessState host;

// Files that a headless run provides from memory, by name; they take precedence over
// the file system.
std::map<std::string, std::vector<uint8_t>, std::less<>> providedFiles;

void startVirtualClock(double seconds) {
    host.virtualClock = true;
    host.clockReading = seconds;
}

}  // namespace

// ---- host.h

void hostInit(int /*argc*/, char** /*argv*/) {}

void openWindow(int width, int height, int /*bitsPerPixel*/, int pages, int /*flags*/,
                int /*refreshRate*/) {
    host.width = std::max(width, 0);
    host.height = std::max(height, 0);
    try {
        host.pages.assign(static_cast<std::size_t>(host.width) * host.height * std::max(pages, 1),
                          0);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "breadbin: cannot allocate the pixel memory of %d x %d pixels\n",
                     width, height);
        std::exit(1);
    }
    host.windowOpened = true;
    textAreaAttach(host.pages.data(), host.width, host.height);
}

uint32_t* pixelMemory() { return host.windowOpened ? host.pages.data() : nullptr; }

void setTextRows(int first, int last) { textAreaSetRows(first, last); }
void printText(std::string_view text) { textAreaPrint(text); }
void printNumber(int value) { textAreaPrintNumber(value); }
void printLineEnd() { textAreaLineEnd(); }

void hostService() {}

double clockSeconds() {
    if (host.clockSource) return host.clockReading = host.clockSource();
    if (host.virtualClock) return host.clockReading;
    ++host.clockRefreshes;
    return host.clockReading = steadySeconds();
}

std::string_view pollKey() {
    if (host.keys.empty()) return {};
    host.lastKey = std::move(host.keys.front());
    host.keys.pop_front();
    return host.lastKey;
}

FileHandle openFile(std::string_view name) {
    auto provided = providedFiles.find(name);
    if (provided == providedFiles.end()) return openDiskFile(name);
    std::vector<uint8_t>& contents = provided->second;
    // fmemopen wants a non-empty buffer; an empty file reads as one that is not there.
    if (contents.empty()) return {nullptr};
    return {fmemopen(contents.data(), contents.size(), "rb")};
}

void endProcess(int status) {
    std::fflush(nullptr);
    std::exit(status);
}

// ---- headless.h

void headlessReset() {
    host = HeadlessState{};
    pixelLock = PixelLock{};
    headlessForgetProvidedFiles();
    textAreaReset();
    randomReseed(kDefaultRandomSeed);
}

void headlessPushKey(std::string_view key) {
    if (key.empty()) return;
    host.keys.emplace_back(key);
}

void headlessSetClock(double seconds) {
    host.clockSource = nullptr;
    startVirtualClock(seconds);
}

void headlessAdvanceClock(double seconds) {
    host.clockSource = nullptr;
    startVirtualClock(host.clockReading + seconds);
}

void headlessUseRealClock() {
    host.clockSource = nullptr;
    host.virtualClock = false;
}

void headlessFollowClock(double (*source)()) { host.clockSource = source; }

int64_t headlessClockRefreshCount() { return host.clockRefreshes; }

void headlessProvideFile(std::string_view name, std::vector<uint8_t> contents) {
    providedFiles.insert_or_assign(std::string(name), std::move(contents));
}

void headlessForgetProvidedFiles() { providedFiles.clear(); }

void headlessSeedRandom(uint64_t seed) { randomReseed(seed); }

void headlessQueueRandom(double value) { randomQueue(value); }

std::vector<std::string> headlessStatusLines() {
    std::vector<std::string> lines = textAreaFinishedLines();
    if (!textAreaCurrentLine().empty()) lines.push_back(textAreaCurrentLine());
    return lines;
}

std::string headlessTextRow(int row) { return textAreaRowText(row); }

int64_t headlessLockCount() { return pixelLock.locks; }
int64_t headlessUnlockCount() { return pixelLock.unlocks; }
bool headlessPixelsLocked() { return pixelLock.held; }
std::pair<int, int> headlessLastUnlockRows() {
    return {pixelLock.lastFirstRow, pixelLock.lastLastRow};
}

bool headlessWindowOpened() { return host.windowOpened; }
int headlessWindowWidth() { return host.width; }
int headlessWindowHeight() { return host.height; }
