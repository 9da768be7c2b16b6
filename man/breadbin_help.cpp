// breadbin-help: the help and version text of breadbin, for its manual page. breadbin
// itself takes no options and ignores its command line, so the build asks this tool
// instead (help2man runs it with --help and --version). The file names, sizes and keys
// come from the constants that the program itself uses.
#include <cstdio>
#include <string_view>

#include "machine/machine.h"
#include "machine/screen.h"

namespace {

int printHelp() {
    std::printf(
        "Usage: breadbin\n"
        "\n"
        "Runs the breadbin Commodore 64 emulator in a %d x %d window, as a runner for\n"
        "machine-code test programs. At start it reads the machine's ROM images %s,\n"
        "%s and %s from the working directory, each reported by a status\n"
        "line with the number of bytes loaded. The first time the firmware waits for\n"
        "keyboard input, it loads the program file %s (a two-byte load address,\n"
        "then the bytes from there on) and runs it from its load address. A missing or\n"
        "short file loads fewer bytes, and the run goes on.\n"
        "\n"
        "The %d x %d text screen fills the upper %d pixel rows of the window; the\n"
        "status lines sit below it. Host key presses do not reach the emulated machine:\n"
        "Escape ends the run, and a request to close the window is ignored.\n"
        "\n"
        "breadbin takes no options; its command line is ignored. For runs without a\n"
        "display, with stop conditions and reports, see breadbin-run.\n",
        kWindowWidth, kWindowHeight, kKernalFile.data(), kBasicFile.data(), kCharFile.data(),
        kTestProgramFile.data(), kScreenColumns, kScreenRows, 2 * kScreenLines);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string_view option = argc == 2 ? argv[1] : "";
    if (option == "--help") return printHelp();
    if (option == "--version") {
        std::printf("breadbin %s\n", BREADBIN_VERSION);
        return 0;
    }
    std::fprintf(stderr, "usage: %s --help | --version\n", argv[0]);
    return 2;
}
