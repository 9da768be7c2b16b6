// The window host: host.h over an SDL2 window. Nothing else in the program includes SDL.
//
// Implements: the window (one page of our own, copied into the window's surface, or for
// full screen into a streaming texture that the renderer scales), the status text drawn
// into it, the real clock, keys from the window's events (Escape, other keys by their SDL
// names, a close request), and, through the shared files and random pieces, read-only
// files and the fixed random sequence. hostService pumps the events and presents the
// changed rows about every ten milliseconds: the band of rows whose pixels differ from
// what the window last showed, or every row after the window was exposed or resized.
// Ignores: the bits per pixel (always 32), the refresh rate (the emulation never waits
// for the display) and pages beyond the first (never shown). The pixel lock is the
// marker of host.h: only the emulation thread touches the page.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "host/clock.h"
#include "host/files.h"
#include "host/host.h"
#include "host/shown_rows.h"
#include "host/text_area.h"

namespace {

constexpr const char* kWindowTitle = "breadbin";
constexpr double kServicePeriodSeconds = 0.010;  // events pumped and the page shown this often
// hostService looks at the clock once in this many calls: the loop calls it every few
// hundred instructions, so that is every few tens of microseconds.
constexpr int kServiceCallsPerClockRead = 64;
constexpr int kKeyQueueSize = 64;
constexpr std::size_t kKeyNameSize = 32;
constexpr int kNoRow = std::numeric_limits<int>::max();

struct KeyName {
    std::array<char, kKeyNameSize> text;
    std::size_t length;
};

struct WindowHost {
    SDL_Window* window = nullptr;
    // The renderer and its texture, only when the page cannot go to the window's surface:
    // full screen (scaled), or a system that gives the window no surface.
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    std::vector<uint32_t> pages;
    std::vector<uint32_t> shown;  // the first page as the window last showed it
    bool showAll = true;          // the next presentation sends the marked rows, changed or not
    int width = 0;
    int height = 0;
    int dirtyFirstRow = kNoRow;  // rows changed since the last presentation; none when first > last
    int dirtyLastRow = -1;
    double nextServiceTime = 0.0;
    int serviceCalls = 0;                     // since the clock was last read
    std::array<KeyName, kKeyQueueSize> keys;  // a ring: oldest at keyHead
    int keyHead = 0;
    int keysPending = 0;
    KeyName takenKey;  // pollKey's result points into it until the next key is taken
};

WindowHost host;

[[noreturn]] void failWindow(const char* stage) {
    std::fprintf(stderr, "breadbin: cannot open the window: %s: %s\n", stage, SDL_GetError());
    std::fflush(stderr);
    SDL_Quit();
    std::exit(1);
}

void markRowsChanged(int first, int last) {
    host.dirtyFirstRow = std::min(host.dirtyFirstRow, std::max(first, 0));
    host.dirtyLastRow = std::max(host.dirtyLastRow, std::min(last, host.height - 1));
}

void markAllChanged() { markRowsChanged(0, host.height - 1); }

void markTextChanged() { markRowsChanged(textAreaFirstPixelRow(), textAreaLastPixelRow()); }

// What the window shows is lost or unknown: the next presentation sends the whole page.
void showAllAgain() {
    markAllChanged();
    host.showAll = true;
}

std::size_t rowOffset(int row) { return static_cast<std::size_t>(row) * host.width; }

const uint32_t* pageRow(int row) { return host.pages.data() + rowOffset(row); }

int pagePitch() { return host.width * static_cast<int>(sizeof(uint32_t)); }

void queueKey(std::string_view name) {
    if (host.keysPending >= kKeyQueueSize) return;  // a full queue drops new keys
    KeyName& slot = host.keys[(host.keyHead + host.keysPending) % kKeyQueueSize];
    slot.length = std::min(name.size(), kKeyNameSize);
    std::memcpy(slot.text.data(), name.data(), slot.length);
    ++host.keysPending;
}

void queueKeyPress(const SDL_KeyboardEvent& key) {
    if (key.keysym.sym == SDLK_ESCAPE) {
        queueKey(kEscapeKey);
        return;
    }
    std::string_view name = SDL_GetKeyName(key.keysym.sym);
    if (!name.empty()) {
        queueKey(name);
        return;
    }
    char code[kKeyNameSize];
    int length = std::snprintf(code, sizeof code, "key-%d", static_cast<int>(key.keysym.sym));
    queueKey(std::string_view(code, static_cast<std::size_t>(length)));
}

void pumpEvents() {
    bool closeQueued = false;  // one close of the last window also brings SDL_QUIT
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_KEYDOWN: queueKeyPress(event.key); break;
            case SDL_QUIT:
                if (!closeQueued) queueKey(kCloseRequestKey);
                closeQueued = true;
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE && !closeQueued) {
                    queueKey(kCloseRequestKey);
                    closeQueued = true;
                } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                           event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                    showAllAgain();
                }
                break;
            default: break;
        }
    }
}

// Copies rows first..last into the window's surface and sends them; false when the
// window could not take them. A surface larger than the page (a window manager may
// enlarge the window) is cleared around it when the whole page is sent.
bool showOnSurface(int first, int last, bool whole) {
    // Asked for at each presentation: a window whose size changed has a new surface.
    SDL_Surface* surface = SDL_GetWindowSurface(host.window);
    if (!surface) return false;
    bool clearAround = whole && (surface->w > host.width || surface->h > host.height);
    if (clearAround) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    int width = std::min(host.width, surface->w);
    last = std::min(last, surface->h - 1);
    if (first <= last && width > 0) {
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
        // A surface without alpha (XRGB, as X servers give) takes the page's pixels as
        // they are, a copy row by row; any other format is converted.
        Uint32 format = surface->format->format;
        Uint32 pageFormat =
            format == SDL_PIXELFORMAT_RGB888 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_ARGB8888;
        auto* rows = static_cast<uint8_t*>(surface->pixels) +
                     static_cast<std::size_t>(first) * surface->pitch;
        int converted = SDL_ConvertPixels(width, last - first + 1, pageFormat, pageRow(first),
                                          pagePitch(), format, rows, surface->pitch);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        if (converted != 0) return false;
    }
    SDL_Rect sent = clearAround ? SDL_Rect{0, 0, surface->w, surface->h}
                                : SDL_Rect{0, first, width, last - first + 1};
    return sent.w <= 0 || sent.h <= 0 || SDL_UpdateWindowSurfaceRects(host.window, &sent, 1) == 0;
}

// Updates rows first..last of the texture and presents all of it, scaled to the window.
bool showThroughRenderer(int first, int last) {
    SDL_Rect rows = {0, first, host.width, last - first + 1};
    if (SDL_UpdateTexture(host.texture, &rows, pageRow(first), pagePitch()) != 0) return false;
    SDL_RenderClear(host.renderer);
    SDL_RenderCopy(host.renderer, host.texture, nullptr, nullptr);
    SDL_RenderPresent(host.renderer);
    return true;
}

void presentChangedRows() {
    // The rows the renderer marked changed when it released the pixel lock.
    if (pixelLock.changedFirst <= pixelLock.changedLast) {
        markRowsChanged(pixelLock.changedFirst, pixelLock.changedLast);
        pixelLock.changedFirst = INT_MAX;
        pixelLock.changedLast = -1;
    }
    if (host.dirtyFirstRow > host.dirtyLastRow) return;
    bool whole = host.showAll;
    RowBand band = {host.dirtyFirstRow, host.dirtyLastRow};
    if (whole) {
        std::memcpy(host.shown.data() + rowOffset(band.first), pageRow(band.first),
                    static_cast<std::size_t>(band.last - band.first + 1) * pagePitch());
    } else {
        band = takeChangedRows(host.pages.data(), host.shown.data(), host.width, band.first,
                               band.last);
    }
    host.dirtyFirstRow = kNoRow;
    host.dirtyLastRow = -1;
    host.showAll = false;
    if (band.first > band.last) return;
    bool sent = host.renderer ? showThroughRenderer(band.first, band.last)
                              : showOnSurface(band.first, band.last, whole);
    if (!sent) showAllAgain();  // tried again at the next presentation
}

}  // namespace

void hostInit(int /*argc*/, char** /*argv*/) {}

// The refresh rate is not used: the emulation thread never waits for the display.
void openWindow(int width, int height, int /*bitsPerPixel*/, int pages, int flags,
                int /*refreshRate*/) {
    // Without its own signal handlers SDL leaves Ctrl-C to end the process as usual.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window surface as the display's own image (on X11 in shared memory), not the
    // texture of a GPU renderer that SDL would put behind it: sending a band of rows then
    // costs that band, where the texture costs a whole presentation, milliseconds under
    // a software GL such as a display without a GPU has. SDL_FRAMEBUFFER_ACCELERATION in
    // the environment still decides.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) failWindow("SDL_Init failed");
    // With no display SDL falls back to drivers that show nothing, and the run could not
    // be seen or stopped: those are taken only when asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool invisible =
        driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && !SDL_getenv("SDL_VIDEODRIVER")) {
        SDL_SetError("SDL found only its %s driver (SDL_VIDEODRIVER=%s runs without a display)",
                     driver, driver);
        failWindow("no display");
    }
    Uint32 windowFlags = flags != 0 ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0;
    host.window = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   width, height, windowFlags);
    if (!host.window) failWindow("SDL_CreateWindow failed");
    SDL_StopTextInput();  // keys arrive as key presses; text events would only fill the queue
    // A window of the page's size takes the page in its surface, row for row; full screen
    // needs the renderer to scale it, as does a system that has no window surface.
    if (flags != 0 || !SDL_GetWindowSurface(host.window)) {
        host.renderer = SDL_CreateRenderer(host.window, -1, 0);  // no vsync: never waits
        if (!host.renderer) failWindow("SDL_CreateRenderer failed");
        SDL_RenderSetLogicalSize(host.renderer, width, height);
        host.texture = SDL_CreateTexture(host.renderer, SDL_PIXELFORMAT_ARGB8888,
                                         SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!host.texture) failWindow("SDL_CreateTexture failed");
    }
    host.width = width;
    host.height = height;
    try {
        host.pages.assign(static_cast<std::size_t>(width) * height * std::max(pages, 1), 0);
        host.shown.assign(static_cast<std::size_t>(width) * height, 0);
    } catch (const std::bad_alloc&) {
        SDL_SetError("no memory for %d x %d pixels", width, height);
        failWindow("cannot allocate the pixel memory");
    }
    textAreaAttach(host.pages.data(), width, height);
    showAllAgain();
    presentChangedRows();
    host.nextServiceTime = steadySeconds() + kServicePeriodSeconds;
}

uint32_t* pixelMemory() { return host.pages.empty() ? nullptr : host.pages.data(); }

void setTextRows(int first, int last) {
    textAreaSetRows(first, last);
    markTextChanged();
}

void printText(std::string_view text) {
    textAreaPrint(text);
    markTextChanged();
}

void printNumber(int value) {
    textAreaPrintNumber(value);
    markTextChanged();
}

void printLineEnd() {
    textAreaLineEnd();
    markTextChanged();
}

void hostService() {
    if (!host.window || ++host.serviceCalls < kServiceCallsPerClockRead) return;
    host.serviceCalls = 0;
    if (steadySeconds() < host.nextServiceTime) return;
    pumpEvents();
    presentChangedRows();
    host.nextServiceTime = steadySeconds() + kServicePeriodSeconds;
}

double clockSeconds() { return steadySeconds(); }

std::string_view pollKey() {
    if (host.keysPending == 0) return {};
    host.takenKey = host.keys[host.keyHead];
    host.keyHead = (host.keyHead + 1) % kKeyQueueSize;
    --host.keysPending;
    return std::string_view(host.takenKey.text.data(), host.takenKey.length);
}

FileHandle openFile(std::string_view name) { return openDiskFile(name); }

void endProcess(int status) {
    std::fflush(nullptr);
    if (host.texture) SDL_DestroyTexture(host.texture);
    if (host.renderer) SDL_DestroyRenderer(host.renderer);
    if (host.window) SDL_DestroyWindow(host.window);
    SDL_Quit();
    std::exit(status);
}
