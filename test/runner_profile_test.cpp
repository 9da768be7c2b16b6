// The firmware's own labels, built into the runner from its source: traces, profiles and
// the summary name the firmware's routines where the user's labels leave an address
// unnamed, only while the built-in firmware runs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runner_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kRunner = BREADBIN_RUN_BINARY;

// Prints a character through CHROUT, then ends the run through the debug register.
constexpr const char* kProgram = R"(*       = $c000
start   lda #65
        jsr $ffd2
        lda #0
        sta $d7ff
)";

class FirmwareLabels : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-fwlabels-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        std::ofstream(folder / "prog.asm") << kProgram;
        ProcessOutcome built = runProcess(
            TASS, {"--quiet", "--cbm-prg", "-o", "prog.prg", "-l", "prog.lbl", "prog.asm"}, 60,
            folder.string());
        ASSERT_EQ(built.status, 0) << built.err;
        // A label of the user's for CHROUT's address, and one that shares a name with a
        // routine of the firmware's at another address.
        std::ofstream(folder / "mine.lbl") << "print = $ffd2\nreset = $c000\n";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const std::string& name) const { return (folder / name).string(); }
    fs::path folder;
};

// The trace through CHROUT names the entry and the routine behind its vector by the
// firmware's labels; the user's labels come first; with --dir the ROMs' addresses are
// named by nothing (they may be any firmware).
TEST_F(FirmwareLabels, TracesNameTheFirmwaresRoutinesWhereTheUsersLabelsDoNot) {
    struct Case {
        std::vector<std::string> options;
        const char* shown;     // a line of the trace
        const char* notShown;  // and what it must not show
    };
    const Case cases[] = {
        {{}, "FFD2 CHROUT           6C 26 03  JMP ($0326)", "program.prg"},
        {{"--labels", file("prog.lbl")}, "C002 start+2          20 D2 FF  JSR $FFD2", "\nFFD2  "},
        {{"--labels", file("mine.lbl")}, "FFD2 print            6C 26 03", "CHROUT"},
        {{"--dir", BREADBIN_BUILD_DIR "/demo"}, "FFD2  6C 26 03  JMP ($0326)", "CHROUT"},
    };
    for (const Case& c : cases) {
        // An expectation that fails ($02 is 0) keeps the trace of a run that exits.
        std::vector<std::string> arguments = {"--debug-exit", "--trace", "300"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {"--expect", "$02=1", file("prog.prg")});
        ProcessOutcome run = runProcess(kRunner, arguments, 60);
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << c.shown << "\n" << run.out;
        EXPECT_EQ(run.out.find(c.notShown), std::string::npos) << c.notShown << "\n" << run.out;
    }
}

// A profile read back by callgrind_annotate names CHROUT and the firmware's start-up by
// their labels, and a run that returns ends in the firmware's inputLoop.
TEST_F(FirmwareLabels, ProfilesAndTheSummaryNameTheFirmwaresRoutines) {
    ASSERT_EQ(
        runProcess(kRunner, {"--debug-exit", "--profile", file("p.callgrind"), file("prog.prg")})
            .status,
        0);
    ProcessOutcome annotated =
        runProcess(CALLGRIND_ANNOTATE, {"--inclusive=yes", "--threshold=100", file("p.callgrind")});
    ASSERT_EQ(annotated.status, 0) << annotated.err;
    for (const char* routine : {"program.prg:CHROUT\n", "program.prg:chroutRoutine\n",
                                "program.prg:reset\n", "program.prg:cintRoutine\n"})
        EXPECT_NE(annotated.out.find(routine), std::string::npos) << routine << annotated.out;
    EXPECT_EQ(annotated.out.find("program.prg:$E"), std::string::npos) << annotated.out;

    std::ofstream(folder / "ret.asm") << "*       = $c000\n        rts\n";
    ASSERT_EQ(
        runProcess(TASS, {"--quiet", "--cbm-prg", "-o", "ret.prg", "ret.asm"}, 60, folder.string())
            .status,
        0);
    ProcessOutcome run = runProcess(kRunner, {"--until-input", "--summary", "-", file("ret.prg")});
    EXPECT_NE(run.out.find("\"routine\":\"inputLoop\""), std::string::npos) << run.out;
}

}  // namespace
