// What the emulator needs from its host: a window with directly addressable pixel
// memory, a status text area, a clock, key polling, files, random numbers and the end of
// the process. Two implementations are chosen at link time: sdl_host.cpp (a real window,
// the breadbin program) and headless_host.cpp (an in-memory twin for tests and the
// headless runner, with a control header of its own, headless.h). All calls come from
// the emulator's one thread.
//
// The main loop calls hostService, asks for a key and reads the clock once every few
// hundred instructions and works from those answers in between, so none of them is on
// the per-instruction path.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string_view>

// ---- start and window

// The first call of a run. The command line is handed over and used for nothing else.
void hostInit(int argc, char** argv);

// Opens the window: width x height pixels of 32 bits, `pages` pages of which the first is
// shown, flags 0 for a window rather than full screen. When the window cannot be opened
// it writes one line naming the cause on standard error and ends the process with
// status 1.
void openWindow(int width, int height, int bitsPerPixel, int pages, int flags, int refreshRate);

// The shown page: height rows of width pixels, no gap between rows, each pixel alpha,
// red, green, blue from the most significant byte down. Zeroed when the window opens.
uint32_t* pixelMemory();

// Pixels are written only between lockPixels and unlockPixels. The lock is a marker
// that both hosts share, inline here, so that taking it around every strip the renderer
// writes costs nothing measurable: only the emulation thread touches the page, so there
// is nothing to wait for. unlockPixels(-1, -1) marks every row changed (otherwise rows
// first..last); the window host shows changed rows at its next presentation (about
// every 10 ms), never inside the call.
struct PixelLock {
    int64_t locks = 0;    // lockPixels calls so far
    int64_t unlocks = 0;  // unlockPixels calls so far
    bool held = false;
    int lastFirstRow = 0;  // the arguments of the last unlockPixels
    int lastLastRow = 0;
    int changedFirst = INT_MAX;  // the rows changed since the host last looked; none when
    int changedLast = -1;        // changedFirst > changedLast
};
extern PixelLock pixelLock;

inline void lockPixels() {
    ++pixelLock.locks;
    pixelLock.held = true;
}
inline void unlockPixels(int firstRow, int lastRow) {
    ++pixelLock.unlocks;
    pixelLock.held = false;
    pixelLock.lastFirstRow = firstRow;
    pixelLock.lastLastRow = lastRow;
    bool allRows = firstRow < 0 || lastRow < 0;
    pixelLock.changedFirst = std::min(pixelLock.changedFirst, allRows ? 0 : firstRow);
    pixelLock.changedLast = std::max(pixelLock.changedLast, allRows ? INT_MAX : lastRow);
}

// ---- status text: an 80 x 60 grid of 8 x 8 cells over the window

// Confines text to rows first..last of the grid (counted from 1) and puts the cursor at
// row `first`, column 1.
void setTextRows(int first, int last);
// Writes text at the cursor without ending the line.
void printText(std::string_view text);
// Writes a number as "% d" does: a space (a minus sign when negative), then the digits.
void printNumber(int value);
// Ends the line, scrolling within the text rows when the last one is full.
void printLineEnd();

// ---- clock and keys

// The host's own work, called by the main loop between stretches of steps: the window
// host pumps the window's events into the key queue and presents the changed rows, about
// every 10 ms (between those it only reads the clock); the headless host does nothing.
void hostService();

// Seconds from a monotonic counter (since the process started), resolving well below a
// millisecond: a fresh reading at every call and nothing else, with no system call (tens
// of nanoseconds).
double clockSeconds();

// Never waits: removes and returns the next pending key as a short string, or the empty
// string when none is pending. Escape is the one-character string of code 27; a request
// to close the window arrives as kCloseRequestKey; other keys arrive under their names
// ("A", "Return", "Left Shift"). The string stays valid until the next key is taken.
std::string_view pollKey();

inline constexpr std::string_view kEscapeKey = "\x1b";
inline constexpr std::string_view kCloseRequestKey = "close-request";

// ---- files: read-only; nothing the emulator does creates or changes a file

struct FileHandle {
    std::FILE* file;  // null when the file could not be opened
};

// Opens a file for reading. A missing or unreadable file gives a handle that is not open.
FileHandle openFile(std::string_view name);
// Reads up to `count` bytes into `destination` from `position` (1 is the first byte, 0
// the current position) and returns how many it delivered; the position then lies after
// the last byte delivered. A handle that is not open, a count below 1 or a negative
// position delivers 0 bytes and leaves the destination alone.
int readFile(FileHandle& handle, long position, uint8_t* destination, int count);
// True when the position has reached the file's size, and for a handle that is not open.
bool atEndOfFile(FileHandle& handle);
void closeFile(FileHandle& handle);

// ---- random numbers and the end

// The next number of a uniform sequence in [0, 1). The argument 1.0 asks for the next
// value (any other does the same); the emulated system never seeds the sequence, which
// starts from the same fixed seed in every run.
double randomUnit(float request);

// Ends the run at once with `status`, closing the window.
[[noreturn]] void endProcess(int status);
