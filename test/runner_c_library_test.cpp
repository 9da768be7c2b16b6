// cc65's C64 library on the open firmware: C programs compiled by cl65 clear the screen,
// place the cursor and print through the machine's routines at their addresses, and end
// with main's return code as their status; machine-code programs print through BASIC's
// routines and end in READY.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runner_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kRunner = BREADBIN_RUN_BINARY;

// The final screen's rows, from --screen-text.
std::vector<std::string> screenRows(const std::string& text) {
    std::vector<std::string> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        rows.push_back(text.substr(start, end - start));
    return rows;
}

class CLibrary : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-clib-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    // Compiles `source` as NAME.c with cl65 for the C64, with ld65's debug info NAME.dbg
    // and labels NAME.lbl beside NAME.prg; `flags` go before the file.
    void compile(const std::string& name, const std::string& source,
                 const std::vector<std::string>& flags = {}) {
        std::ofstream(folder / (name + ".c")) << source;
        std::vector<std::string> arguments = {
            "-t", "c64",        "-g", "-Wl", "--dbgfile," + name + ".dbg,-Ln," + name + ".lbl",
            "-o", name + ".prg"};
        arguments.insert(arguments.end(), flags.begin(), flags.end());
        arguments.push_back(name + ".c");
        ProcessOutcome built = runProcess(CL65, arguments, 60, folder.string());
        ASSERT_EQ(built.status, 0) << built.out << built.err;
    }
    fs::path folder;
};

// clrscr() ($E544), gotoxy() and cputs() (PLOT with the colour pointer at $EA24) and
// printf() (CHROUT) put the text where they say, on a cleared screen; under --until-input
// main's return code, which cc65's exit leaves in ST, is the run's status, whichever of
// ld65's files tells the runner that the program is cc65's.
TEST_F(CLibrary, ConioAndStdioPrintAndMainsReturnIsTheStatus) {
    const char* source = R"(#include <conio.h>
#include <stdio.h>
int main(void) {
    clrscr();
    gotoxy(5, 3);
    cputs("AT FIVE THREE");
    printf("\nSUM %d\n", 40 + 2);
    return STATUS;
}
)";
    struct Case {
        int status;
        const char* debugInfo;
    };
    for (const Case c :
         {Case{0, ".dbg"}, Case{1, ".dbg"}, Case{1, ".lbl"}, Case{0, ".lbl"}, Case{7, ".dbg"}}) {
        SCOPED_TRACE(std::to_string(c.status) + c.debugInfo);
        compile("conio", source, {"-DSTATUS=" + std::to_string(c.status)});
        ProcessOutcome run = runProcess(
            kRunner,
            {"--until-input", "--debug-info", (folder / "conio").string() + c.debugInfo,
             "--screen-text", (folder / "screen.txt").string(), (folder / "conio.prg").string()});
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        std::string shown = "exit status $0" + std::to_string(c.status) + " in ST";
        EXPECT_NE(run.out.find(shown), std::string::npos) << run.out;
        std::ifstream in(folder / "screen.txt");
        std::vector<std::string> rows =
            screenRows(std::string(std::istreambuf_iterator<char>(in), {}));
        ASSERT_EQ(rows.size(), 25u);
        EXPECT_EQ(rows[1].find_first_not_of(' '), std::string::npos) << "the banner is cleared";
        EXPECT_EQ(rows[3].substr(0, 18), "     AT FIVE THREE") << rows[3];
        EXPECT_EQ(rows[4].substr(0, 6), "SUM 42") << rows[4];
    }
}

// cgetc() waits for the keys typed and takes them through $E5B4; cputcxy() paints its
// cell in the colour textcolor() chose, through the colour pointer set at $EA24.
TEST_F(CLibrary, CgetcTakesTypedKeysAndCputcxyPaintsItsCell) {
    compile("keys", R"(#include <conio.h>
int main(void) {
    char first = cgetc();
    char second = cgetc();
    textcolor(COLOR_RED);
    cputcxy(0, 0, first);
    return first == 'q' && second == 'w' ? 0 : 1;
}
)");
    ProcessOutcome run = runProcess(
        kRunner, {"--until-input", "--type", "qw", "--debug-info", (folder / "keys.dbg").string(),
                  "--dump", "$0400:1", "--dump", "$D800:1", (folder / "keys.prg").string()});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "0400: 11\nD800: 02\n") << "Q's screen code, in red";
}

// ST is no status without cc65's start-up: an assembly program that returns with ST at
// $40, as after reading a file to its end, passes; its labels name no _exit.
TEST_F(CLibrary, AnAssemblyProgramLeavingStAfterAReadPasses) {
    std::ofstream(folder / "read.asm") << "*       = $c000\n        lda #$40\n        sta $90\n"
                                          "        rts\n";
    ProcessOutcome built =
        runProcess(TASS, {"--quiet", "--cbm-prg", "-o", "read.prg", "-l", "read.lbl", "read.asm"},
                   60, folder.string());
    ASSERT_EQ(built.status, 0) << built.err;
    ProcessOutcome run =
        runProcess(kRunner, {"--until-input", "--labels", (folder / "read.lbl").string(),
                             (folder / "read.prg").string()});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("in ST"), std::string::npos) << run.out;
}

// LINPRT ($BDCD), STROUT ($AB1E, past a page) and READY ($A474) on the screen, each
// keeping the register its documentation says it keeps (the program BRKs otherwise).
TEST(BasicRoutines, PrintANumberAndAStringAndEndInReady) {
    ProcessOutcome run = runProcess(
        kRunner, {"--until-input", "--screen-text", "-", MAPS_PROGRAM_DIR "/basic_print.prg"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::vector<std::string> rows = screenRows(run.out);
    ASSERT_GE(rows.size(), 25u);
    std::size_t first = 0;
    while (first < rows.size() && rows[first].find("65535") == std::string::npos) ++first;
    ASSERT_LT(first + 9, rows.size()) << run.out;
    EXPECT_EQ(rows[first].substr(0, 12), "0 65535 1234") << rows[first];
    EXPECT_EQ(rows[first + 1].substr(0, 20), "PRINTED BY STROUT...") << rows[first + 1];
    EXPECT_EQ(rows[first + 8].substr(0, 4), "END ") << rows[first + 8];
    EXPECT_EQ(rows[first + 9].substr(0, 6), "READY.") << rows[first + 9];
    EXPECT_EQ(run.out.find("BRK"), std::string::npos) << run.out;
}

}  // namespace
