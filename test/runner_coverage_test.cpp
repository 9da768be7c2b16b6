// breadbin-run --coverage, as a subprocess: a program of our own with known trip counts,
// assembled here with a listing, counted in one run, in a batch and in routine tests;
// the tracefile read back by lcov and genhtml.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "runner_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kRunner = BREADBIN_RUN_BINARY;

// Five calls of count (each calling inner), a branch taken 4 times and not taken once,
// a routine never run, data that is not a line; inner lives in an included file, whose
// lines 64tass numbers in the listing (the main file's it leaves to be found).
constexpr const char* kProgram = R"(*       = $c000
start   ldx #5
loop    jsr count
        dex
        bne loop
        lda #0
        sta $d7ff
count   inc total
        jsr inner
        rts
never   nop
total   .byte 0
        .include "inner.asm"
)";
constexpr const char* kInner = "; inner: returns at once\ninner   rts\n";

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Coverage : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-coverage-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        std::ofstream(folder / "prog.asm") << kProgram;
        std::ofstream(folder / "inner.asm") << kInner;
        ProcessOutcome assembled =
            runProcess(TASS,
                       {"--quiet", "--cbm-prg", "-o", file("prog.prg"), "-l", file("prog.lbl"),
                        "--list=" + file("prog.lst"), "--line-numbers", file("prog.asm")},
                       60);
        ASSERT_EQ(assembled.status, 0) << assembled.err;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const std::string& name) const { return (folder / name).string(); }
    static ProcessOutcome runner(const std::vector<std::string>& arguments) {
        return runProcess(kRunner, arguments, 60);
    }
    // The record of source file `name` in the tracefile at `path`.
    std::string record(const std::string& path, const std::string& name) const {
        std::string text = readText(path);
        std::size_t start = text.find("SF:" + file(name) + "\n");
        if (start == std::string::npos) return "";
        return text.substr(start, text.find("end_of_record", start) - start);
    }
    fs::path folder;
};

struct Expected {
    const char* file;
    const char* line;  // a line the record holds
};

TEST_F(Coverage, CountsLandOnTheListingsLinesAndAddUpAcrossABatch) {
    const std::string info = file("c.info");
    const std::string profile = file("c.callgrind");
    ProcessOutcome one =
        runner({"--debug-exit", "--coverage", info, "--profile", profile, "--listing",
                file("prog.lst"), "--labels", file("prog.lbl"), file("prog.prg")});
    ASSERT_EQ(one.status, 0) << one.err;
    // clang-format off
    const std::vector<Expected> once = {
        {"prog.asm", "DA:2,1\n"}, {"prog.asm", "DA:3,5\n"}, {"prog.asm", "DA:5,5\n"},
        {"prog.asm", "BRDA:5,0,0,4\n"}, {"prog.asm", "BRDA:5,0,1,1\n"},
        {"prog.asm", "DA:7,1\n"}, {"prog.asm", "DA:8,5\n"}, {"prog.asm", "DA:11,0\n"},
        {"prog.asm", "FN:8,count\n"}, {"prog.asm", "FNDA:5,count\n"}, {"prog.asm", "LF:10\nLH:9\n"},
        {"inner.asm", "DA:2,5\n"}, {"inner.asm", "FNDA:5,inner\n"},
    };
    // clang-format on
    for (const Expected& expected : once)
        EXPECT_NE(record(info, expected.file).find(expected.line), std::string::npos)
            << expected.line << readText(info);
    EXPECT_EQ(record(info, "prog.asm").find("DA:12,"), std::string::npos) << "data is no line";

    // lcov and genhtml read it.
    ProcessOutcome summary =
        runProcess(LCOV, {"--summary", info, "--rc", "lcov_branch_coverage=1"}, 60);
    EXPECT_EQ(summary.status, 0) << summary.err;
    EXPECT_NE((summary.out + summary.err).find("lines......: 90.9% (10 of 11 lines)"),
              std::string::npos)
        << summary.out << summary.err;
    ProcessOutcome html = runProcess(GENHTML, {"--quiet", "-o", file("html"), info}, 60);
    EXPECT_EQ(html.status, 0) << html.err;
    EXPECT_TRUE(fs::exists(folder / "html" / "index.html"));

    // The profile: start's five calls of count, each 5 instructions and 30 cycles (JSR,
    // INC abs, JSR inner, inner's RTS, RTS), from line 3 to line 8; callgrind_annotate
    // reads it and puts count's own 15 instructions beside its name.
    std::string calls = readText(profile);
    EXPECT_NE(calls.find("fn=start\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("cfn=count\ncalls=5 8\n3 25 150\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("cfn=inner\ncalls=5 2\n9 10 60\n"), std::string::npos) << calls;
    ProcessOutcome annotated =
        runProcess(CALLGRIND_ANNOTATE, {"--inclusive=yes", "--threshold=100", profile}, 60);
    EXPECT_EQ(annotated.status, 0) << annotated.err;
    EXPECT_NE(annotated.out.find(":count"), std::string::npos) << annotated.out;

    // The same program twice in a batch: each count twice over; and a repeat run gives
    // the same bytes.
    const std::string twice = file("twice.info");
    std::vector<std::string> batch = {"--debug-exit",  "--coverage",     twice,
                                      "--listing",     file("prog.lst"), file("prog.prg"),
                                      file("prog.prg")};
    ASSERT_EQ(runner(batch).status, 0);
    const std::string first = readText(twice);
    EXPECT_NE(record(twice, "prog.asm").find("DA:3,10\n"), std::string::npos) << first;
    EXPECT_NE(record(twice, "prog.asm").find("BRDA:5,0,0,8\n"), std::string::npos) << first;
    ASSERT_EQ(runner(batch).status, 0);
    EXPECT_EQ(readText(twice), first);
}

TEST_F(Coverage, RoutineTestsAndRunsWithoutAListingAreCountedToo) {
    std::ofstream(folder / "t.toml")
        << "program = \"" << file("prog.prg") << "\"\nlabels = \"" << file("prog.lbl")
        << "\"\n[[test]]\nname = \"counts\"\ncall = \"count\"\n"
           "expect = { cycles = 30 }\n";
    const std::string info = file("t.info");
    const std::string profile = file("t.callgrind");
    ProcessOutcome tested =
        runner({"--test", file("t.toml"), "--coverage", info, "--profile", profile, "--listing",
                file("prog.lst"), "--labels", file("prog.lbl")});
    ASSERT_EQ(tested.status, 0) << tested.out << tested.err;
    EXPECT_NE(record(info, "prog.asm").find("DA:8,1\n"), std::string::npos) << readText(info);
    EXPECT_NE(record(info, "prog.asm").find("FNDA:1,count\n"), std::string::npos);
    EXPECT_NE(record(info, "prog.asm").find("DA:3,0\n"), std::string::npos);
    // The test's call in the profile: the 30 cycles its expect.cycles says.
    std::string calls = readText(profile);
    std::size_t call = calls.find("cfn=count\ncalls=1 8\n");
    ASSERT_NE(call, std::string::npos) << calls;
    std::size_t costs = calls.find('\n', call + 19) + 1;
    EXPECT_EQ(
        calls.substr(costs, calls.find('\n', costs) - costs).substr(calls.find(' ', costs) - costs),
        " 4 30")
        << calls;
    // What the profile counts is the test's call and nothing else: not the firmware's boot
    // that the test file started from (callgrind_annotate's totals are the call's).
    EXPECT_NE(calls.find("summary: 4 24\n"), std::string::npos) << calls;
    ProcessOutcome annotated =
        runProcess(CALLGRIND_ANNOTATE, {"--inclusive=yes", "--threshold=100", profile}, 60);
    ASSERT_EQ(annotated.status, 0) << annotated.err;
    EXPECT_NE(annotated.out.find("4 (100.0%) 24 (100.0%)  PROGRAM TOTALS"), std::string::npos)
        << annotated.out;
    EXPECT_NE(annotated.out.find("(routine tests)\n"), std::string::npos) << annotated.out;
    EXPECT_EQ(annotated.out.find(":$E"), std::string::npos) << "no firmware routine ran";
    // Run in the sources' folder, the routine has one name, relative as callgrind_annotate
    // shows its own costs' files, whether it was called or ran.
    ASSERT_EQ(runProcess(kRunner,
                         {"--test", "t.toml", "--profile", "here.callgrind", "--listing",
                          "prog.lst", "--labels", "prog.lbl"},
                         60, folder.string())
                  .status,
              0);
    annotated =
        runProcess(CALLGRIND_ANNOTATE, {"--inclusive=yes", "--threshold=100", "here.callgrind"}, 60,
                   folder.string());
    EXPECT_NE(annotated.out.find("  prog.asm:count\n"), std::string::npos) << annotated.out;
    EXPECT_EQ(annotated.out.find("/prog.asm:count"), std::string::npos) << annotated.out;

    // Without a listing: a disassembly of what ran beside the tracefile, as its source.
    const std::string bare = file("bare.info");
    ASSERT_EQ(runner({"--debug-exit", "--coverage", bare, file("prog.prg")}).status, 0);
    std::string disassembly = readText(bare + ".s");
    EXPECT_NE(disassembly.find("C000" + std::string(15, ' ') + "LDX #$05\n"), std::string::npos)
        << disassembly;
    EXPECT_EQ(disassembly.find("\nE"), std::string::npos) << "the firmware's ROM is left out";
    std::string text = readText(bare);
    EXPECT_NE(text.find("SF:" + bare + ".s\n"), std::string::npos) << text;
    EXPECT_NE(text.find("FNDA:5,$C00D\n"), std::string::npos) << text;
    ProcessOutcome summary = runProcess(LCOV, {"--summary", bare}, 60);
    EXPECT_EQ(summary.status, 0) << summary.err;
}

TEST_F(Coverage, BadListingsGiveStatusThreeAndOneLineAndWriteNothing) {
    std::ofstream(folder / "empty.lst") << "; no instructions here\n";
    fs::copy_file(folder / "prog.lst", folder / "moved.lst");
    // Every line numbered, the included file's past what any number type holds.
    std::string listing = readText(folder / "prog.lst");
    for (std::size_t at = 0; (at = listing.find("\n\t.", at)) != std::string::npos;)
        listing.insert(++at, 1, '1');
    std::size_t numbered = listing.find("\t.", listing.find("inner.asm\n"));
    numbered = listing.rfind('\n', numbered) + 1;
    ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(listing[numbered]))) << listing;
    listing.replace(numbered, listing.find('\t', numbered) - numbered, "99999999999999999999");
    std::ofstream(folder / "huge.lst") << listing;
    fs::remove(folder / "prog.asm");  // the unnumbered lines can no longer be found
    struct Case {
        std::vector<std::string> arguments;
        const char* said;
    };
    const std::vector<Case> cases = {
        {{"--listing", file("prog.lst")}, "--listing places the counts of --coverage"},
        {{"--coverage", file("x.info"), "--listing", file("none.lst")}, "none.lst"},
        {{"--coverage", file("x.info"), "--listing", file("empty.lst")}, "no instruction in it"},
        {{"--coverage", file("x.info"), "--listing", file("moved.lst")},
         "its source cannot be read"},
        {{"--coverage", file("nofolder/x.info")}, "nofolder"},
        {{"--coverage", file("x.info"), "--listing", file("huge.lst")},
         "the line number 99999999999999999999 is too large"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back(file("prog.prg"));
        ProcessOutcome outcome = runner(arguments);
        EXPECT_EQ(outcome.status, 3) << c.said;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
        EXPECT_FALSE(fs::exists(folder / "x.info"));
    }
}

// The debug cells: console text to standard error and the summary, stopwatch timings by
// id in the summary and the profile (a batch's added up), in a run and in a routine test.
TEST_F(Coverage, DebugCellsTimeAndPrint) {
    std::ofstream(folder / "cells.asm") << R"(        .include "kernal.inc"
*       = $c000
        ldx #0
print   lda text,x
        beq timed
        sta debugConsole
        inx
        bne print
timed   ldy #3
again   sta stopwatchStart
        nop
        lda #7
        sta stopwatchStop
        dey
        bne again
        sta stopwatchStart
        lda #9
        sta stopwatchStop
        lda debugConsole
        sta result
        lda #0
        sta debugExitRegister
timeit  sta stopwatchStart
        nop
        sta stopwatchStop
        rts
        .enc "none"             ; the console takes the bytes as they are: ASCII
text    .text "hello"
        .byte 13, 10
        .text "world"
        .byte 0
result  .byte 0
)";
    ProcessOutcome assembled =
        runProcess(TASS,
                   {"--quiet", "--cbm-prg", "-I", std::string(BREADBIN_SOURCE_DIR) + "/firmware",
                    "-o", file("cells.prg"), "-l", file("cells.lbl"), file("cells.asm")},
                   60);
    ASSERT_EQ(assembled.status, 0) << assembled.err;
    // The minimal machine keeps the console's last byte in its cell (on the C64 the cell
    // lies in the SID, which reads back the last byte written to the chip).
    ProcessOutcome run =
        runner({"--machine", "minimal", "--debug-exit", "--summary", file("s.json"), "--labels",
                file("cells.lbl"), "--expect", "result=0x64", file("cells.prg")});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string name = file("cells.prg");
    EXPECT_NE(run.err.find(name + ": hello\n" + name + ": world\n"), std::string::npos) << run.err;
    nlohmann::json summary = nlohmann::json::parse(readText(file("s.json")), nullptr, false);
    ASSERT_TRUE(summary.is_object());
    EXPECT_EQ(summary["console"], nlohmann::json({"hello", "world"}));
    EXPECT_EQ(summary["stopwatch"],
              nlohmann::json::parse(R"([{"id":7,"count":3,"min":8,"max":8,"total":24},
                                         {"id":9,"count":1,"min":6,"max":6,"total":6}])"));

    // Twice in a batch, with a profile: the timings add up over the runs.
    ProcessOutcome batch = runner({"--debug-exit", "--profile", file("p.callgrind"), name, name});
    EXPECT_EQ(batch.status, 0) << batch.err;
    std::string profile = readText(file("p.callgrind"));
    EXPECT_NE(profile.find("# stopwatch 7: count 6, min 8, max 8, total 48 cycles\n"),
              std::string::npos)
        << profile;

    // A routine test: the id is what A holds.
    std::ofstream(folder / "cells.toml")
        << "program = \"" << name << "\"\nlabels = \"" << file("cells.lbl")
        << "\"\n[[test]]\nname = \"times\"\ncall = \"timeit\"\nset = { a = 5 }\n";
    ProcessOutcome tested = runner({"--test", file("cells.toml"), "--summary", file("t.json")});
    EXPECT_EQ(tested.status, 0) << tested.out << tested.err;
    nlohmann::json tests = nlohmann::json::parse(readText(file("t.json")), nullptr, false);
    ASSERT_TRUE(tests.is_array() && tests.size() == 1) << readText(file("t.json"));
    EXPECT_EQ(tests[0]["stopwatch"],
              nlohmann::json::parse(R"([{"id":5,"count":1,"min":6,"max":6,"total":6}])"));
}

// Recursion: down calls itself until X is 0; each call's inclusive cost holds the calls
// inside it. And a routine that frames interrupt: its inclusive cycles in the profile are
// the test's cycles, the interrupts' included.
TEST_F(Coverage, RecursionAndInterruptsInTheProfile) {
    std::ofstream(folder / "deep.asm") << R"(*       = $c000
start   ldx #3
        jsr down
        lda #0
        sta $d7ff
down    dex
        beq out
        jsr down
out     rts
wait    ldy #0
        ldx #0
spin    dex
        bne spin
        dey
        bne spin
        rts
)";
    ProcessOutcome assembled = runProcess(
        TASS,
        {"--quiet", "--cbm-prg", "-o", file("deep.prg"), "-l", file("deep.lbl"), file("deep.asm")},
        60);
    ASSERT_EQ(assembled.status, 0) << assembled.err;
    const std::string profile = file("deep.callgrind");
    ASSERT_EQ(runner({"--debug-exit", "--profile", profile, "--labels", file("deep.lbl"),
                      file("deep.prg")})
                  .status,
              0);
    // Three calls of down ($C00A), one a line (the address without a listing): from start
    // 12 instructions and 49 cycles (JSR, DEX, BEQ, the 33-cycle call inside, RTS); from
    // down to itself the two inner ones, 33 + 17 cycles.
    std::string calls = readText(profile);
    EXPECT_NE(calls.find("cfn=down\ncalls=1 49162\n49154 12 49\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("cfn=down\ncalls=2 49162\n49165 12 50\n"), std::string::npos) << calls;

    std::ofstream(folder / "wait.toml")
        << "program = \"" << file("deep.prg") << "\"\nlabels = \"" << file("deep.lbl")
        << "\"\n[[test]]\nname = \"waits\"\ncall = \"wait\"\n"
           "irq = true\nset = { i = false }\n";
    const std::string waited = file("wait.callgrind");
    // The minimal machine's frame interrupt: on the C64 the cycles the VIC takes on bad lines
    // fall outside the instructions the profile counts.
    ProcessOutcome tested =
        runner({"--test", file("wait.toml"), "--machine", "minimal", "--profile", waited,
                "--summary", file("w.json"), "--labels", file("deep.lbl")});
    ASSERT_EQ(tested.status, 0) << tested.out << tested.err;
    nlohmann::json summary = nlohmann::json::parse(readText(file("w.json")), nullptr, false);
    ASSERT_TRUE(summary.is_array() && summary.size() == 1);
    EXPECT_GT(summary[0]["frames"].get<uint64_t>(), 0u) << "interrupts came during the call";
    std::string text = readText(waited);
    std::size_t call = text.find("cfn=wait\ncalls=1 ");
    ASSERT_NE(call, std::string::npos) << text;
    std::size_t costs = text.find('\n', text.find('\n', call) + 1) + 1;
    std::string line = text.substr(costs, text.find('\n', costs) - costs);
    EXPECT_EQ(line.substr(line.rfind(' ') + 1),
              std::to_string(summary[0]["cycles"].get<uint64_t>()))
        << line;
}

// Prints a character through CHROUT, then ends the run through the debug register; the
// firmware's labels name what it runs of the firmware.
constexpr const char* kChrout = R"(*       = $c000
start   lda #65
        jsr $ffd2
        lda #0
        sta $d7ff
)";

// The trace through CHROUT names the entry and the routine behind its vector by the
// firmware's labels (built into the runner from its source); the user's labels come
// first, for an address and for a name; with --dir the ROMs' addresses are named by
// nothing (they may be any firmware).
TEST_F(Coverage, TracesNameTheFirmwaresRoutinesWhereTheUsersLabelsDoNot) {
    std::ofstream(folder / "chrout.asm") << kChrout;
    ASSERT_EQ(runProcess(TASS,
                         {"--quiet", "--cbm-prg", "-o", file("chrout.prg"), "-l",
                          file("chrout.lbl"), file("chrout.asm")},
                         60)
                  .status,
              0);
    // A label of the user's at CHROUT's address, and one that shares a name with a routine
    // of the firmware's at another address.
    std::ofstream(folder / "mine.lbl") << "print = $ffd2\nreset = $c000\n";
    struct Case {
        std::vector<std::string> options;
        const char* shown;     // a line of the trace
        const char* notShown;  // and what it must not show
    };
    const Case cases[] = {
        {{}, "FFD2 CHROUT           6C 26 03  JMP ($0326)", "program.prg"},
        {{"--labels", file("chrout.lbl")}, "C002 start+2          20 D2 FF  JSR $FFD2", "\nFFD2  "},
        {{"--labels", file("mine.lbl")}, "FFD2 print            6C 26 03", "CHROUT"},
        {{"--dir", BREADBIN_BUILD_DIR "/demo"}, "FFD2  6C 26 03  JMP ($0326)", "CHROUT"},
    };
    for (const Case& c : cases) {
        // An expectation that fails ($02 is 0) keeps the trace of a run that exits.
        std::vector<std::string> arguments = {"--debug-exit", "--trace", "300"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {"--expect", "$02=1", file("chrout.prg")});
        ProcessOutcome run = runner(arguments);
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << c.shown << "\n" << run.out;
        EXPECT_EQ(run.out.find(c.notShown), std::string::npos) << c.notShown << "\n" << run.out;
    }

    // A routine test's trace the same, unless its file names a ROM folder.
    for (const char* dir : {"", "dir = \"" BREADBIN_BUILD_DIR "/demo\"\n"}) {
        std::ofstream(folder / "chrout.toml")
            << "program = \"chrout.prg\"\n"
            << dir << "[[test]]\nname = \"prints\"\ncall = \"$FFD2\"\nset = { a = 65 }\n"
            << "expect = { a = 66 }\n";
        ProcessOutcome tested = runner({"--test", file("chrout.toml"), "--trace", "400"});
        EXPECT_EQ(tested.status, 1) << tested.out << tested.err;
        EXPECT_EQ(tested.out.find("FFD2 CHROUT") != std::string::npos, *dir == 0) << tested.out;
    }

    // A profile read back by callgrind_annotate names CHROUT and the firmware's start-up
    // by their labels, and a run that returns ends in the firmware's inputLoop.
    ASSERT_EQ(runner({"--debug-exit", "--profile", file("p.callgrind"), file("chrout.prg")}).status,
              0);
    ProcessOutcome annotated =
        runProcess(CALLGRIND_ANNOTATE, {"--inclusive=yes", "--threshold=100", file("p.callgrind")});
    ASSERT_EQ(annotated.status, 0) << annotated.err;
    for (const char* routine : {"program.prg:CHROUT\n", "program.prg:chroutRoutine\n",
                                "program.prg:reset\n", "program.prg:cintRoutine\n"})
        EXPECT_NE(annotated.out.find(routine), std::string::npos) << routine << annotated.out;
    EXPECT_EQ(annotated.out.find("program.prg:$E"), std::string::npos) << annotated.out;
    std::ofstream(folder / "ret.asm") << "*       = $c000\n        rts\n";
    ASSERT_EQ(runProcess(TASS, {"--quiet", "--cbm-prg", "-o", file("ret.prg"), file("ret.asm")}, 60)
                  .status,
              0);
    ProcessOutcome run = runner({"--until-input", "--summary", "-", file("ret.prg")});
    EXPECT_NE(run.out.find("\"routine\":\"inputLoop\""), std::string::npos) << run.out;
}

}  // namespace
