// window_probe: looks at the breadbin window on an X display for the real-window tests.
// It finds the window, reads its pixels back from the X server and compares them with
// what the emulator must show, and sends the window manager's close request. Every
// check retries until it holds or its time is up, since the window shows the page only
// at its next presentation. Exit status 0 when the check holds, 1 when it does not, 2
// for a wrong command line.
//
//   window_probe find TITLE SECONDS                  prints the id of the shown window
//   window_probe status ID SECONDS LINE...           the status rows show these lines
//   window_probe cell ID SECONDS CHARGEN ROW COLUMN CODE BACKGROUND FOREGROUND...
//                                                    a screen cell shows its glyph
//   window_probe changes ID SECONDS                  the emulated screen changes
//   window_probe close ID                            sends WM_DELETE_WINDOW
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/text_area.h"
#include "machine/machine.h"
#include "machine/screen.h"

namespace {

constexpr int kStatusFirstPixelRow = (kStatusFirstRow - 1) * kTextCellSize;
constexpr int kScreenPixelRows = kScreenLines * 2;
constexpr int kCellPixels = 16;  // a cell is 16 window pixels wide and 16 rows high
constexpr uint32_t kRgb = 0x00FFFFFF;
constexpr auto kRetryPause = std::chrono::milliseconds(20);
constexpr const char* kProgramWindow = "breadbin";  // the title of the window under test

Display* display = nullptr;
bool xFailed = false;

int noteXError(Display*, XErrorEvent*) {
    xFailed = true;
    return 0;
}

// The window's pixels as 0x00RRGGBB, row after row; empty when they cannot be read.
std::vector<uint32_t> capture(Window window) {
    xFailed = false;
    XImage* image =
        XGetImage(display, window, 0, 0, kWindowWidth, kWindowHeight, AllPlanes, ZPixmap);
    XSync(display, False);
    if (!image || xFailed) return {};
    std::vector<uint32_t> pixels;
    if (image->red_mask == 0xFF0000 && image->green_mask == 0x00FF00 &&
        image->blue_mask == 0x0000FF) {
        pixels.resize(std::size_t{kWindowWidth} * kWindowHeight);
        for (int y = 0; y < kWindowHeight; ++y) {
            for (int x = 0; x < kWindowWidth; ++x) {
                pixels[std::size_t{static_cast<std::size_t>(y)} * kWindowWidth + x] =
                    static_cast<uint32_t>(XGetPixel(image, x, y)) & kRgb;
            }
        }
    } else {
        std::fprintf(stderr, "window_probe: the display is not 24-bit true colour\n");
    }
    XDestroyImage(image);
    return pixels;
}

bool windowNamed(Window window, const std::string& title) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    char* name = nullptr;
    bool same = XFetchName(display, window, &name) && name && title == name;
    if (name) XFree(name);
    return same;
}

Window findWindow(Window parent, const std::string& title) {
    Window root;
    Window parentOut;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        found = windowNamed(children[i], title) ? children[i] : findWindow(children[i], title);
    }
    if (children) XFree(children);
    return found;
}

// Runs `check` on fresh captures until it returns an empty complaint or time is up;
// then prints the last complaint.
bool retry(Window window, double seconds,
           const std::function<std::string(const std::vector<uint32_t>&)>& check) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string complaint = "the window could not be read";
    do {
        std::vector<uint32_t> pixels = capture(window);
        if (!pixels.empty()) {
            complaint = check(pixels);
            if (complaint.empty()) return true;
        } else if (Window again = findWindow(DefaultRootWindow(display), kProgramWindow)) {
            // A window that cannot be read may have been replaced (SDL may make the window
            // anew for its renderer): the program's window as it is now.
            window = again;
        }
        std::this_thread::sleep_for(kRetryPause);
    } while (std::chrono::steady_clock::now() < deadline);
    std::fprintf(stderr, "window_probe: %s\n", complaint.c_str());
    return false;
}

std::string describePixel(int x, int y, uint32_t seen, uint32_t expected) {
    char text[128];
    std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, expected %06X", x, y, seen, expected);
    return text;
}

int commandFind(const std::string& title, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        xFailed = false;
        Window window = findWindow(DefaultRootWindow(display), title);
        if (window && !xFailed) {
            std::printf("%lu\n", window);
            return 0;
        }
        std::this_thread::sleep_for(kRetryPause);
    } while (std::chrono::steady_clock::now() < deadline);
    std::fprintf(stderr, "window_probe: no window \"%s\" within %g s\n", title.c_str(), seconds);
    return 1;
}

// The status rows must show exactly what the text area draws for these lines.
int commandStatus(Window window, double seconds, const std::vector<std::string>& lines) {
    std::vector<uint32_t> expected(std::size_t{kWindowWidth} * kWindowHeight);
    textAreaReset();
    textAreaAttach(expected.data(), kWindowWidth, kWindowHeight);
    textAreaSetRows(kStatusFirstRow, kStatusLastRow);
    for (const std::string& line : lines) {
        textAreaPrint(line);
        textAreaLineEnd();
    }
    return retry(window, seconds,
                 [&](const std::vector<uint32_t>& pixels) -> std::string {
                     for (int y = kStatusFirstPixelRow; y < kWindowHeight; ++y) {
                         for (int x = 0; x < kWindowWidth; ++x) {
                             std::size_t i =
                                 std::size_t{static_cast<std::size_t>(y)} * kWindowWidth + x;
                             if (pixels[i] != (expected[i] & kRgb)) {
                                 return "status area: " +
                                        describePixel(x, y, pixels[i], expected[i] & kRgb);
                             }
                         }
                     }
                     return {};
                 })
               ? 0
               : 1;
}

// The cell's 16 x 16 block: its glyph from the character image on the even rows, in
// the background and one of the given foreground colours; the odd rows black (the page
// starts zeroed and the renderer never writes them).
int commandCell(Window window, double seconds, const std::string& chargenPath, int row, int column,
                int code, int background, const std::vector<int>& foregrounds) {
    std::ifstream in(chargenPath, std::ios::binary);
    std::vector<uint8_t> chargen((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    if (chargen.size() < std::size_t(code + 1) * kGlyphRows) {
        std::fprintf(stderr, "window_probe: %s holds no glyph %d\n", chargenPath.c_str(), code);
        return 1;
    }
    auto rgb = [](int colour) { return pixelOf(palette[colour & 0x0F]) & kRgb; };
    return retry(
               window, seconds,
               [&](const std::vector<uint32_t>& pixels) -> std::string {
                   std::string lastComplaint;
                   for (int foreground : foregrounds) {
                       lastComplaint.clear();
                       for (int dy = 0; dy < kCellPixels && lastComplaint.empty(); ++dy) {
                           for (int dx = 0; dx < kCellPixels && lastComplaint.empty(); ++dx) {
                               int x = column * kCellPixels + dx;
                               int y = row * kCellPixels + dy;
                               uint32_t expected = 0;
                               if (dy % 2 == 0) {
                                   bool set =
                                       chargen[code * kGlyphRows + dy / 2] >> (7 - dx / 2) & 1;
                                   expected = set ? rgb(foreground) : rgb(background);
                               }
                               uint32_t seen =
                                   pixels[std::size_t{static_cast<std::size_t>(y)} * kWindowWidth +
                                          x];
                               if (seen != expected)
                                   lastComplaint = describePixel(x, y, seen, expected);
                           }
                       }
                       if (lastComplaint.empty()) return {};
                   }
                   return "cell (" + std::to_string(row) + ", " + std::to_string(column) +
                          "): " + lastComplaint;
               })
               ? 0
               : 1;
}

// The emulated screen's rows change between a first capture and a later one: the
// machine is still running and the window still presents its frames.
int commandChanges(Window window, double seconds) {
    std::vector<uint32_t> first = capture(window);
    if (first.empty()) {
        std::fprintf(stderr, "window_probe: the window could not be read\n");
        return 1;
    }
    std::size_t screenPixels = std::size_t{kWindowWidth} * kScreenPixelRows;
    return retry(window, seconds,
                 [&](const std::vector<uint32_t>& pixels) -> std::string {
                     bool changed =
                         !std::equal(first.begin(), first.begin() + static_cast<long>(screenPixels),
                                     pixels.begin());
                     return changed ? std::string{} : "the emulated screen did not change";
                 })
               ? 0
               : 1;
}

// What a window manager's close button sends: a WM_PROTOCOLS client message carrying
// WM_DELETE_WINDOW.
int commandClose(Window window) {
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom* protocols = nullptr;
    int count = 0;
    bool listed = false;
    if (XGetWMProtocols(display, window, &protocols, &count)) {
        listed = std::find(protocols, protocols + count, deleteWindow) != protocols + count;
        XFree(protocols);
    }
    if (!listed) {
        std::fprintf(stderr, "window_probe: the window does not take WM_DELETE_WINDOW\n");
        return 1;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    xFailed = false;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    if (xFailed) std::fprintf(stderr, "window_probe: the close request could not be sent\n");
    return xFailed ? 1 : 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: window_probe find TITLE SECONDS | status ID SECONDS LINE... |\n"
                 "       cell ID SECONDS CHARGEN ROW COLUMN CODE BACKGROUND FOREGROUND... |\n"
                 "       changes ID SECONDS | close ID\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return usage();
    display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "window_probe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(noteXError);
    const std::string& command = args[0];
    if (command == "find" && args.size() == 3) return commandFind(args[1], std::stod(args[2]));
    if (command == "close" && args.size() == 2) return commandClose(std::stoul(args[1]));
    if (args.size() < 3) return usage();
    Window window = std::stoul(args[1]);
    double seconds = std::stod(args[2]);
    if (command == "status") return commandStatus(window, seconds, {args.begin() + 3, args.end()});
    if (command == "changes" && args.size() == 3) return commandChanges(window, seconds);
    if (command == "cell" && args.size() >= 9) {
        std::vector<int> foregrounds;
        for (std::size_t i = 8; i < args.size(); ++i) foregrounds.push_back(std::stoi(args[i]));
        return commandCell(window, seconds, args[3], std::stoi(args[4]), std::stoi(args[5]),
                           std::stoi(args[6]), std::stoi(args[7]), foregrounds);
    }
    return usage();
}
