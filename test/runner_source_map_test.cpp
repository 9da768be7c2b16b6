// The source map: one program written for each assembler (64tass, ca65 with ld65, ACME,
// dasm) and a C file compiled with cl65, built here by the real tools; their files read
// into the map, and the same coverage counted through each. Damaged files, as table rows.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/runner/source_map/source_map.h"
#include "runner_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kRunner = BREADBIN_RUN_BINARY;

// The body every assembler's program shares, from line 4 on: start calls count five
// times (a branch taken 4 times and not once), then ends the run through the debug
// register; never never runs; total is data, no line of code. `LABEL` stands where ca65
// wants a colon after a label, and `BYTE` for each one's data directive.
constexpr const char* kBody = R"(startLABEL   ldx #5
loopLABEL    jsr count
        dex
        bne loop
        lda #0
        sta $d7ff
countLABEL   inc total
        rts
neverLABEL   nop
totalLABEL   BYTE 0
)";

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// One toolchain: the program's first three lines (which put it at $C000 in a file with
// its load address), its label suffix and data directive, how to build it, and the files
// of it that breadbin-run reads.
struct Toolchain {
    const char* name;
    const char* source;
    const char* head;
    const char* label;
    const char* byteDirective;
    std::vector<std::vector<std::string>> build;  // commands, run in the folder
    std::vector<std::string> debugInfo;
};

// ld65 puts the load address before the code at $C000.
constexpr const char* kLd65Config =
    "MEMORY { HEAD: start = $BFFE, size = 2, file = %O; RAM: start = $C000, size = $1000, "
    "file = %O; }\nSEGMENTS { LOADADDR: load = HEAD, type = ro; CODE: load = RAM, type = rw; "
    "}\n";

const std::vector<Toolchain> kToolchains = {
    {"64tass",
     "prog.asm",
     "; 64tass\n*       = $c000\n\n",
     "",
     ".byte",
     {{TASS, "--quiet", "--cbm-prg", "-o", "prog.prg", "--list=prog.lst", "--line-numbers", "-l",
       "prog.lbl", "prog.asm"}},
     {"prog.lst", "prog.lbl"}},
    {"ca65",
     "prog.s",
     ".segment \"LOADADDR\"\n.word $c000\n.segment \"CODE\"\n",
     ":",
     ".byte",
     {{CA65, "-g", "-o", "prog.o", "prog.s"},
      {LD65, "-C", "prog.cfg", "--dbgfile", "prog.dbg", "-o", "prog.prg", "prog.o"}},
     {"prog.dbg"}},
    {"acme",
     "prog.a",
     "; ACME\n*       = $c000\n\n",
     "",
     "!byte",
     {{ACME, "-f", "cbm", "-o", "prog.prg", "--report", "prog.rpt", "--vicelabels", "prog.vl",
       "prog.a"}},
     {"prog.rpt", "prog.vl"}},
    {"dasm",
     "prog.asm",
     "        processor 6502\n        org $c000\n\n",
     "",
     ".byte",
     {{DASM, "prog.asm", "-oprog.prg", "-lprog.lst", "-sprog.sym"}},
     {"prog.lst", "prog.sym"}},
};

class SourceMapTools : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-maps-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    // A new folder in the test's.
    fs::path folderNamed(const char* name) const {
        fs::create_directories(root / name);
        return root / name;
    }
    // Compiles `source` as NAME.c in `folder` with cl65 for the C64 with -g, linking it
    // with ld65's debug info NAME.dbg and its -Ln labels NAME.lbl into NAME.prg; `flags`
    // go before the file.
    static void compileC(const fs::path& folder, const std::string& name, const char* source,
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
    // Builds the program with `toolchain` in a folder of its own, which it returns.
    fs::path build(const Toolchain& toolchain) {
        fs::path folder = folderNamed(toolchain.name);
        std::string body =
            replaced(replaced(kBody, "LABEL", toolchain.label), "BYTE", toolchain.byteDirective);
        std::ofstream(folder / toolchain.source) << toolchain.head << body;
        std::ofstream(folder / "prog.cfg") << kLd65Config;
        for (const std::vector<std::string>& command : toolchain.build) {
            ProcessOutcome built = runProcess(command.front(), {command.begin() + 1, command.end()},
                                              60, folder.string());
            EXPECT_EQ(built.status, 0) << toolchain.name << ": " << built.out << built.err;
        }
        return folder;
    }
    fs::path root;
};

// Row `row` of a screen as --screen-text writes it (25 rows of 40 characters), from its
// column 0 on, `length` long.
std::string screenAt(const std::string& screen, std::size_t row, std::size_t length) {
    constexpr std::size_t kRowLength = 40 + 1;
    return screen.size() < (row + 1) * kRowLength ? "" : screen.substr(row * kRowLength, length);
}

// The tracefile's record of the program's source, without its SF: line.
std::string sourceRecord(const std::string& info, const std::string& source) {
    std::string text = readText(info);
    std::size_t start = text.find(source + "\n");
    if (start == std::string::npos) return "";
    start += source.size() + 1;
    return text.substr(start, text.find("end_of_record", start) - start);
}

TEST_F(SourceMapTools, EveryToolchainGivesTheSameLabelsLinesAndCoverage) {
    std::string first;
    for (const Toolchain& toolchain : kToolchains) {
        SCOPED_TRACE(toolchain.name);
        fs::path folder = build(toolchain);
        std::string source = (folder / toolchain.source).string();
        SourceMap map;
        std::string error;
        for (const std::string& file : toolchain.debugInfo)
            ASSERT_TRUE(readDebugInfoFile((folder / file).string(), map, error)) << error;
        // clang-format off
        const std::pair<const char*, uint16_t> labels[] = {
            {"start", 0xC000}, {"loop", 0xC002}, {"count", 0xC00D}, {"never", 0xC011}, {"total", 0xC012},
        };
        // clang-format on
        for (const auto& [name, address] : labels) {
            auto found = map.labels.byName.find(name);
            ASSERT_NE(found, map.labels.byName.end()) << name;
            EXPECT_EQ(found->second, address) << name;
        }
        LineIndex index = indexLines(map.lines);
        // clang-format off
        const std::pair<uint16_t, int> lines[] = {
            {0xC000, 4}, {0xC002, 5}, {0xC005, 6}, {0xC006, 7}, {0xC008, 8}, {0xC00A, 9},
            {0xC00D, 10}, {0xC010, 11}, {0xC011, 12},
        };
        // clang-format on
        for (const auto& [address, line] : lines) {
            ASSERT_NE(index[address], nullptr) << std::hex << address;
            EXPECT_EQ(index[address]->line, line) << std::hex << address;
            EXPECT_EQ(index[address]->file, source);
        }
        EXPECT_EQ(index[0xC012], nullptr) << "data is no line of code";

        std::vector<std::string> arguments = {"--debug-exit", "--coverage",
                                              (folder / "prog.info").string()};
        for (const std::string& file : toolchain.debugInfo) {
            arguments.push_back("--debug-info");
            arguments.push_back((folder / file).string());
        }
        arguments.push_back((folder / "prog.prg").string());
        ProcessOutcome run = runProcess(kRunner, arguments, 60);
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        std::string record = sourceRecord((folder / "prog.info").string(), source);
        EXPECT_NE(record.find("DA:5,5\nDA:6,5\nDA:7,5\n"), std::string::npos) << record;
        EXPECT_NE(record.find("BRDA:7,0,0,4\nBRDA:7,0,1,1\n"), std::string::npos) << record;
        EXPECT_NE(record.find("FNDA:5,count\n"), std::string::npos) << record;
        EXPECT_NE(record.find("LF:9\nLH:8\n"), std::string::npos) << record;
        if (first.empty()) first = record;
        EXPECT_EQ(record, first) << "against " << kToolchains.front().name;
    }
}

// A test file's debug-info key: its labels for the tests' calls and expectations, its
// lines for the coverage of the run; a damaged file on the command line stops the run
// with one line and status 3.
TEST_F(SourceMapTools, TestFilesTakeDebugInfoAndBadFilesStopTheRun) {
    const Toolchain& ca65 = kToolchains[1];
    ASSERT_EQ(std::string(ca65.name), "ca65");
    fs::path folder = build(ca65);
    std::ofstream(folder / "t.toml") << "program = \"prog.prg\"\ndebug-info = \"prog.dbg\"\n"
                                        "[[test]]\nname = \"counts\"\ncall = \"count\"\n"
                                        "expect = { total = 1 }\n";
    const std::string info = (folder / "t.info").string();
    ProcessOutcome tested =
        runProcess(kRunner, {"--test", (folder / "t.toml").string(), "--coverage", info}, 60);
    ASSERT_EQ(tested.status, 0) << tested.out << tested.err;
    std::string record = sourceRecord(info, (folder / "prog.s").string());
    EXPECT_NE(record.find("DA:10,1\nDA:11,1\n"), std::string::npos) << record;
    EXPECT_NE(record.find("DA:4,0\n"), std::string::npos) << record;

    std::ofstream(folder / "bad.dbg") << "version\tmajor=2,minor=0\nspan\tid=0,seg=9\n";
    ProcessOutcome refused = runProcess(
        kRunner, {"--debug-info", (folder / "bad.dbg").string(), (folder / "prog.prg").string()},
        60);
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.err, "breadbin-run: " + (folder / "bad.dbg").string() +
                               ":2: seg 9: no such record in the file\n");
}

// 64tass lists a scope's start (".proc") as its label alone, with no bytes: no line of
// code, and the instructions after it keep their lines.
TEST_F(SourceMapTools, TassScopesAreNoLinesAndTheirLabelsAreScoped) {
    fs::path folder = folderNamed("proc");
    std::ofstream(folder / "p.asm") << "*       = $c000\n"
                                       "        jsr add8\n"
                                       "        rts\n"
                                       "add8    .proc\n"
                                       "        clc\n"
                                       "loop    rts\n"
                                       "        .pend\n";
    ProcessOutcome built = runProcess(TASS,
                                      {"--quiet", "-o", "p.prg", "--list=p.lst", "--line-numbers",
                                       "--vice-labels", "-l", "p.vl", "p.asm"},
                                      60, folder.string());
    ASSERT_EQ(built.status, 0) << built.err;
    SourceMap map;
    std::string error;
    for (const char* file : {"p.lst", "p.vl"})
        ASSERT_TRUE(readDebugInfoFile((folder / file).string(), map, error)) << error;
    LineIndex index = indexLines(map.lines);
    ASSERT_NE(index[0xC004], nullptr);
    EXPECT_EQ(index[0xC004]->line, 5);
    EXPECT_EQ(shortPlace(index[0xC005]), "p.asm:6");
    EXPECT_EQ(map.labels.byName.at("add8.loop"), 0xC005);
}

// A C program run on the built-in firmware with its debug info: --expect takes its
// globals as cc65 exports them, the trace shows the C file and line beside the function,
// the tracefile counts C lines (lcov reads it) and the profile names C functions
// (callgrind_annotate reads it).
TEST_F(SourceMapTools, CProgramsTraceCountAndProfileByCLines) {
    fs::path folder = folderNamed("spin");
    compileC(folder, "spin", R"(int result;
unsigned spins;

int add16(int a, int b) {
    return a + b;
}

void spin(void) {
    for (;;) {
        ++spins;
    }
}

int main(void) {
    result = add16(1000, 2000);
    spin();
    return 0;
}
)");
    const std::string dbg = (folder / "spin.dbg").string(), prg = (folder / "spin.prg").string();
    const std::string info = (folder / "spin.info").string();
    const std::string profile = (folder / "spin.callgrind").string();
    // 3000 = $0BB8
    ProcessOutcome counted =
        runProcess(kRunner,
                   {"--debug-info", dbg, "--cycles", "100000", "--expect", "_result=$B8",
                    "--expect", "_result+1=$0B", "--coverage", info, "--profile", profile, prg},
                   60);
    ASSERT_EQ(counted.status, 0) << counted.out << counted.err;
    std::string record = sourceRecord(info, (folder / "spin.c").string());
    EXPECT_NE(record.find("FNDA:1,_add16\n"), std::string::npos) << record;
    EXPECT_NE(record.find("FNDA:1,_spin\n"), std::string::npos) << record;
    EXPECT_EQ(record.find("DA:5,0\n"), std::string::npos) << "add16's return ran: " << record;
    EXPECT_NE(record.find("DA:17,0\n"), std::string::npos) << "main never returns: " << record;
    ProcessOutcome summary = runProcess(LCOV, {"--summary", info}, 60);
    EXPECT_EQ(summary.status, 0) << summary.err;
    EXPECT_NE((summary.out + summary.err).find("functions..: 100.0% (2 of 2 functions)"),
              std::string::npos)
        << summary.out << summary.err;
    ProcessOutcome annotated = runProcess(CALLGRIND_ANNOTATE, {profile}, 60);
    EXPECT_EQ(annotated.status, 0) << annotated.err;
    EXPECT_NE(annotated.out.find("spin.c:_spin"), std::string::npos) << annotated.out;
    EXPECT_NE(annotated.out.find("spin.c:_add16"), std::string::npos) << annotated.out;

    // The run that reaches its limit in spin's loop shows where, line by line.
    ProcessOutcome traced =
        runProcess(kRunner, {"--debug-info", dbg, "--cycles", "100000", "--trace", "6", prg}, 60);
    EXPECT_EQ(traced.status, 2) << traced.err;
    std::size_t start = traced.out.find("last 6 instructions:\n");
    ASSERT_NE(start, std::string::npos) << traced.out;
    std::string trace = traced.out.substr(start + 21);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 6) << trace;
    for (std::size_t at = 0; at < trace.size(); at = trace.find('\n', at) + 1) {
        std::string line = trace.substr(at, trace.find('\n', at) - at);
        EXPECT_NE(line.find(" spin.c:"), std::string::npos) << line;
    }
    EXPECT_NE(traced.out.find(" _spin+"), std::string::npos) << traced.out;
    EXPECT_NE(traced.out.find(" spin.c:10 "), std::string::npos) << traced.out;
}

// breadbin.h for cc65: a C program's console line (its PETSCII letters back in ASCII),
// its stopwatch timing and its exit status, through the debug cells.
TEST_F(SourceMapTools, CProgramsEndWriteAndTimeThroughBreadbinH) {
    fs::path folder = folderNamed("header");
    const char* source = R"(#include <breadbin.h>

static int square(int x) {
    return x * x;
}

int main(void) {
    int i;
    unsigned total = 0;
    breadbin_puts("Squares, 0 to 9");
    breadbin_start();
    for (i = 0; i < 10; ++i) total += square(i);
    breadbin_stop(7);
    breadbin_exit(total == EXPECTED ? 0 : 1);
    return 0;
}
)";
    struct Case {
        const char* expected;
        int status;
    };
    for (const Case c : {Case{"285", 0}, Case{"286", 1}}) {
        compileC(folder, "squares", source,
                 {"-I", BREADBIN_C_INCLUDE_DIR, std::string("-DEXPECTED=") + c.expected});
        const std::string prg = (folder / "squares.prg").string();
        ProcessOutcome run = runProcess(kRunner, {"--debug-exit", "--summary", "-", prg}, 60);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_TRUE(run.err.starts_with(prg + ": Squares, 0 to 9\n")) << run.err;
        nlohmann::json summary = nlohmann::json::parse(run.out.substr(0, run.out.find('\n')));
        EXPECT_EQ(summary["console"], nlohmann::json::array({"Squares, 0 to 9"}));
        ASSERT_EQ(summary["stopwatch"].size(), 1u) << summary;
        EXPECT_EQ(summary["stopwatch"][0]["id"], 7);
        EXPECT_GT(summary["stopwatch"][0]["total"], 100) << "ten calls of square";
    }
}

// Routine tests call C functions: arguments as cc65 passes them (the last in A/X, the
// others on its software stack through sp, from ld65's -Ln labels), the return value
// expected as an int or a char; a file that cannot place the arguments is refused.
TEST_F(SourceMapTools, RoutineTestsCallCFunctionsWithArguments) {
    fs::path folder = folderNamed("calls");
    compileC(folder, "lib", R"(unsigned char buffer[8];

int add16(int a, int b) {
    return a + b;
}

void fill(unsigned char* to, unsigned count, unsigned char value) {
    while (count--) *to++ = value;
}

signed char negate(signed char x) {
    return -x;
}

int main(void) {
    return 0;
}
)");
    std::ofstream(folder / "lib_test.toml")
        << "program = \"lib.prg\"\ndebug-info = [\"lib.dbg\", \"lib.lbl\"]\n"
           "[[test]]\nname = \"adds\"\ncall = \"_add16\"\nargs = [1000, -3000]\n"
           "expect = { return = -2000 }\n"
           "[[test]]\nname = \"fills\"\ncall = \"_fill\"\n"
           "args = [\"_buffer+1\", 4, { char = 0x2A }]\n"
           "set = { \"_buffer\" = [9, 9, 9, 9, 9, 9] }\n"
           "expect = { \"_buffer\" = [9, 42, 42, 42, 42, 9] }\n"
           "[[test]]\nname = \"negates\"\ncall = \"_negate\"\nargs = [{ char = 5 }]\n"
           "expect = { return = { char = -5 } }\n"
           "[[test]]\nname = \"wrong sum\"\ncall = \"_add16\"\nargs = [1, 2]\n"
           "expect = { return = -4 }\n";
    ProcessOutcome tested =
        runProcess(kRunner, {"--test", (folder / "lib_test.toml").string()}, 60);
    EXPECT_EQ(tested.status, 1) << tested.out << tested.err;
    const std::string file = (folder / "lib_test.toml").string();
    for (const char* line : {"PASS %: adds (", "PASS %: fills (", "PASS %: negates (",
                             "FAIL %: wrong sum: return: expected 65532 (-4), got 3\n"}) {
        std::string wanted = replaced(line, "%", file);
        EXPECT_NE(tested.out.find(wanted), std::string::npos) << wanted << "\n" << tested.out;
    }

    struct Refused {
        const char* keys;
        const char* said;
    };
    const Refused refused[] = {
        {"debug-info = \"lib.dbg\"\n[[test]]\nname = \"t\"\ncall = \"_add16\"\nargs = [1, 2]\n",
         "args: no label \"sp\" for cc65's stack (give ld65's -Ln labels as debug-info)"},
        {"debug-info = [\"lib.dbg\", \"lib.lbl\"]\n[[test]]\nname = \"t\"\ncall = \"_add16\"\n"
         "args = [70000]\n",
         "args: 70000 is out of range (-32768 to 65535)"},
        {"debug-info = [\"lib.dbg\", \"lib.lbl\"]\n[[test]]\nname = \"t\"\ncall = \"_negate\"\n"
         "args = [{ char = 5, int = 1 }]\n",
         "args: a table here is { char = N }"},
        {"debug-info = [\"lib.dbg\", \"lib.lbl\"]\n[[test]]\nname = \"t\"\ncall = \"_negate\"\n"
         "args = 5\n",
         "args: must be an array of the C function's arguments"},
    };
    for (const Refused& r : refused) {
        std::ofstream(folder / "bad.toml") << "program = \"lib.prg\"\n" << r.keys;
        ProcessOutcome run = runProcess(kRunner, {"--test", (folder / "bad.toml").string()}, 60);
        EXPECT_EQ(run.status, 3) << r.keys;
        EXPECT_NE(run.out.find(r.said), std::string::npos) << r.said << "\n" << run.out << run.err;
    }
}

TEST(SourceMapFormats, ViceLabelsSkipCheapLocalsAndReadScopesWithDots) {
    LabelTable labels;
    std::string error;
    ASSERT_TRUE(
        readLabels("al 00C000 .add8\nal C:c004 .add8:loop\nal 00C006 .@skip\n"
                   "al C:c009 .@skip\nal 00C000 .add8\n",
                   "v.lbl", labels, error))
        << error;
    EXPECT_EQ(labels.byName.size(), 2u);
    EXPECT_EQ(labels.byName.at("add8"), 0xC000);
    EXPECT_EQ(labels.byName.at("add8.loop"), 0xC004);
}

// A C file compiled and linked by cl65 with -g: its lines are the C file's, not those of
// the assembly that cc65 wrote on the way (and deleted), and its functions are labels as
// cc65 exports them.
TEST_F(SourceMapTools, CcSixtyFiveMapsCodeToCLinesAndFunctionsToTheirExports) {
    fs::path folder = folderNamed("c");
    compileC(folder, "add", R"(int add16(int a, int b) {
    return a + b;
}

int main(void) {
    return add16(1, 2) == 3 ? 0 : 1;
}
)");
    SourceMap map;
    std::string error;
    ASSERT_TRUE(readDebugInfoFile((folder / "add.dbg").string(), map, error)) << error;
    ASSERT_FALSE(map.lines.empty());
    std::vector<int> lines;
    for (const ListingLine& line : map.lines) {
        EXPECT_EQ(line.file, (folder / "add.c").string());
        lines.push_back(line.line);
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 6, 7})) << "main's code from its return on";
    ASSERT_TRUE(map.labels.byName.count("_add16"));
    ASSERT_TRUE(map.labels.byName.count("_main"));
    LineIndex index = indexLines(map.lines);
    const ListingLine* entry = index[map.labels.byName.at("_add16")];
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(shortPlace(entry), "add.c:1");
    EXPECT_EQ(labelFor(map.labels, map.labels.byName.at("_main") + 3), "_main+3");
    bool code = false;
    for (const Segment& segment : map.segments)
        code = code || (segment.name == "CODE" && segment.size > 0);
    EXPECT_TRUE(code);

    // Without its C file, the map is refused at the line that names it.
    fs::remove(folder / "add.c");
    SourceMap without;
    EXPECT_FALSE(readDebugInfoFile((folder / "add.dbg").string(), without, error));
    EXPECT_NE(error.find("add.dbg:"), std::string::npos) << error;
    EXPECT_NE(error.find("add.c is not there"), std::string::npos) << error;
    EXPECT_TRUE(without.lines.empty() && without.labels.byName.empty());
}

TEST(SourceMapFormats, TheFormatIsToldByTheFirstLine) {
    struct Case {
        const char* text;
        const char* format;
    };
    // clang-format off
    const Case cases[] = {
        {"version\tmajor=2,minor=0\n", "ld65 --dbgfile"},
        {"\n; 64tass Turbo Assembler Macro V1.58 listing file\n", "64tass --list"},
        {"\n; ******** Source: prog.a\n", "acme --report"},
        {"------- FILE prog.asm LEVEL 1 PASS 2\n", "dasm -l"},
        {"--- Symbol List (sorted by symbol)\n", "dasm -s"},
        {"al C:c000 .start\n", "labels"},
        {"start = $c000\n", "labels"},
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(debugInfoFormatOf(c.text), c.format) << c.text;
}

TEST(SourceMapFormats, DamagedFilesAreRefusedWithFileAndLineAndChangeNothing) {
    struct Case {
        const char* text;
        const char* said;
    };
    const std::string v2 = "version\tmajor=2,minor=0\n";
    const std::string seg = "seg\tid=0,name=\"CODE\",start=0xC000,size=0x10\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"version\tmajor=3,minor=0\n", "f:1: version 3 of ld65's debug info"},
        {"version\tminor=0\n", "f:1: version without major"},
        {v2 + "file\tid=0,name=\"a.s\n", "f:2: the string of name does not end"},
        {v2 + "file\tid=0,name=\"a.s\"x\n", "f:2: no ',' after name"},
        {v2 + "seg no tab\n", "f:2: not \"KIND<tab>key=value,...\""},
        {v2 + "span\tid=0,seg=4,start=0,size=1\n", "f:2: seg 4: no such record in the file"},
        {v2 + "seg\tid=0,name=\"CODE\",start=0x10000,size=1\n",
         "f:2: start=0x10000 is not a number"},
        {v2 + seg + "span\tid=0,seg=0,start=15,size=2\n", "f:3: size=2 is not a number"},
        {v2 + seg + "seg\tid=0,name=\"DATA\",start=0,size=0\n", "f:3: seg id 0 twice"},
        {v2 + "line\tid=0,file=7,line=1\n", "f:2: file 7: no such record in the file"},
        {v2 + "file\tid=0,name=\"gone.c\"\n" + seg + "span\tid=0,seg=0,start=0,size=3\n" +
             "line\tid=0,file=0,line=1,type=1,span=0\n",
         "f:2: the source " + (fs::absolute("gone.c").lexically_normal().string()) +
             " is not there"},
        {v2 + "sym\tid=0,name=\"x\",scope=0,val=0x10000,type=lab\n", "f:2: val=0x10000"},
        {v2 + "scope\tid=0,name=\"\"\nsym\tid=0,name=\"a-b\",scope=0,val=1,type=lab\n",
         "f:3: \"a-b\" is not a label name"},
        {"\n; ******** Source: a.a\n    x1  c000 a902               lda #2\n",
         "f:3: \"x1\" is not a line number"},
        {"\n; ******** Source: a.a\n     1  c000                    lda #2\n",
         "f: no instruction in it (a report of acme --report?)"},
        // An odd count of hex digits is no bytes (the fuzz target found it as a line of
        // no bytes at all).
        {"\n; ******** Source: a.a\n     1  c000 a90                lda #2\n",
         "f: no instruction in it (a report of acme --report?)"},
        {"--- Symbol List\nfoo  zz12\n", "f:2: \"zz12\" is not a hex value"},
        {"al C:c000 .a\nal C:c001 .a\n", "f:2: \"a\" is $C001 here but $C000 before"},
        {"--- Symbol List\nfoo  c000\nfoo  c001\n", "f:3: \"foo\" is $C001 here but $C000 before"},
        {"------- FILE a.asm LEVEL 1 PASS 1\n", "f: no instruction in it (a listing of dasm -l?)"},
        {"hello world\n",
         "f:1: neither \"al ADDRESS .name\" nor \"name = $ADDRESS\" (it is none of "
         "ld65 --dbgfile, 64tass --list"},
    };
    for (const auto& [text, said] : cases) {
        SourceMap map;
        map.labels.byName.emplace("kept", 0x1000);
        map.lines.push_back({0x1000, "kept.s", 1, "", 1});
        std::string error;
        EXPECT_FALSE(readDebugInfo(text, "f", map, error)) << text;
        EXPECT_EQ(error.substr(0, std::string(said).size()), said) << text;
        // A file that reads as labels is not said to be of no known format.
        if (text.starts_with("al ")) {
            EXPECT_EQ(error, said);
        }
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_EQ(map.labels.byName.size(), 1u) << text;
        EXPECT_EQ(map.lines.size(), 1u) << text;
    }
}

// ld65's scopes name their labels "scope.label"; cheap locals and a name two modules give
// different addresses name none; constants are names, not routines.
TEST(SourceMapFormats, Ld65ScopesLocalsAndConstants) {
    const std::string text =
        "version\tmajor=2,minor=0\n"
        "seg\tid=0,name=\"CODE\",start=0xC000,size=0x10\n"
        "scope\tid=0,name=\"\",mod=0\n"
        "scope\tid=1,name=\"add8\",mod=0,type=scope,parent=0\n"
        "scope\tid=2,name=\"inner\",mod=0,type=scope,parent=1\n"
        "scope\tid=3,name=\"\",mod=1\n"
        "sym\tid=0,name=\"add8\",scope=0,val=0xC004,seg=0,type=lab\n"
        "sym\tid=1,name=\"loop\",scope=2,val=0xC006,seg=0,type=lab\n"
        "sym\tid=2,name=\"@skip\",parent=0,val=0xC008,seg=0,type=lab\n"
        "sym\tid=3,name=\"twice\",scope=0,val=0xC00A,seg=0,type=lab\n"
        "sym\tid=4,name=\"twice\",scope=3,val=0xC00C,seg=0,type=lab\n"
        "sym\tid=5,name=\"border\",scope=0,val=0xD020,type=equ\n"
        "sym\tid=6,name=\"big\",scope=0,val=0x12345,type=equ\n"
        "sym\tid=7,name=\"printf\",scope=0,type=imp\n";
    SourceMap map;
    std::string error;
    ASSERT_TRUE(readDebugInfo(text, "f.dbg", map, error)) << error;
    EXPECT_EQ(map.labels.byName.at("add8"), 0xC004);
    EXPECT_EQ(map.labels.byName.at("add8.inner.loop"), 0xC006);
    EXPECT_EQ(map.labels.byName.at("border"), 0xD020);
    for (const char* none : {"@skip", "twice", "big", "printf", "loop"})
        EXPECT_EQ(map.labels.byName.count(none), 0u) << none;
    EXPECT_EQ(labelFor(map.labels, 0xC007), "add8+3") << "a scope's labels name no routine";
    EXPECT_EQ(labelFor(map.labels, 0xC00F), "add8+11");
    EXPECT_EQ(labelFor(map.labels, 0xC010), "") << "a label ends with its segment";
    EXPECT_EQ(labelFor(map.labels, 0xD020), "") << "constants name no routine";
    ASSERT_EQ(map.segments.size(), 1u);
    EXPECT_EQ(map.segments[0].name, "CODE");
    EXPECT_EQ(map.segments[0].start, 0xC000);
}

// clrscr() ($E544), gotoxy() and cputs() (PLOT with the colour pointer at $EA24) and
// printf() (CHROUT) put the text where they say, on a cleared screen; under --until-input
// main's return code, which cc65's exit leaves in ST, is the run's status, whether one of
// ld65's files or nothing but the program's start-up tells the runner that it is cc65's.
TEST_F(SourceMapTools, ConioAndStdioPrintAndMainsReturnIsTheStatus) {
    fs::path folder = folderNamed("conio");
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
    for (const Case c : {Case{0, ".dbg"}, Case{1, ".dbg"}, Case{1, ".lbl"}, Case{0, ".lbl"},
                         Case{7, ".dbg"}, Case{1, ""}, Case{0, ""}}) {
        SCOPED_TRACE(std::to_string(c.status) + c.debugInfo);
        compileC(folder, "conio", source, {"-DSTATUS=" + std::to_string(c.status)});
        std::vector<std::string> arguments = {"--until-input", "--screen-text",
                                              (folder / "screen.txt").string()};
        if (*c.debugInfo) {
            arguments.push_back("--debug-info");
            arguments.push_back((folder / "conio").string() + c.debugInfo);
        }
        arguments.push_back((folder / "conio.prg").string());
        ProcessOutcome run = runProcess(kRunner, arguments);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        std::string shown = "exit status $0" + std::to_string(c.status) + " in ST";
        EXPECT_NE(run.out.find(shown), std::string::npos) << run.out;
        std::string screen = readText(folder / "screen.txt");
        EXPECT_EQ(screenAt(screen, 1, 40), std::string(40, ' ')) << "the banner is cleared";
        EXPECT_EQ(screenAt(screen, 3, 18), "     AT FIVE THREE") << screen;
        EXPECT_EQ(screenAt(screen, 4, 6), "SUM 42") << screen;
    }
}

// cgetc() waits for the keys typed and takes them through $E5B4; cputcxy() paints its
// cell in the colour textcolor() chose, through the colour pointer set at $EA24.
TEST_F(SourceMapTools, CgetcTakesTypedKeysAndCputcxyPaintsItsCell) {
    fs::path folder = folderNamed("keys");
    compileC(folder, "keys", R"(#include <conio.h>
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

// A program starts as after RUN, with the cursor still; cgetc() with the cursor on lets it
// blink while it waits and puts the cell back from the blink's copies ($CE and $0287) when
// a key comes. Eight keys, nine frames apart, come in both phases of the blink: after each
// the cell holds its character in its colour.
TEST_F(SourceMapTools, CgetcPutsTheBlinkingCursorCellBackWithItsColour) {
    fs::path folder = folderNamed("blink");
    compileC(folder, "blink", R"(#include <conio.h>
int main(void) {
    unsigned char i, wrong = 0;
    textcolor(COLOR_RED);
    cputcxy(3, 2, 'a');
    gotoxy(3, 2);
    cursor(1);
    for (i = 0; i < 8; ++i) {
        cgetc();
        if (*(unsigned char*)0x0453 != 1 || (*(unsigned char*)0xD853 & 15) != COLOR_RED) ++wrong;
    }
    return wrong;
}
)");
    std::ofstream keys(folder / "keys.txt");
    for (int frame = 100; frame < 172; frame += 9) keys << "frame " << frame << " press q\n";
    keys.close();
    ProcessOutcome run = runProcess(
        kRunner, {"--until-input", "--input", (folder / "keys.txt").string(), "--debug-info",
                  (folder / "blink.dbg").string(), (folder / "blink.prg").string()});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
}

// ST is no status without cc65's start-up: an assembly program that returns with ST at
// $40, as after reading a file to its end, passes; its labels name no _exit.
TEST_F(SourceMapTools, AnAssemblyProgramLeavingStAfterAReadPasses) {
    fs::path folder = folderNamed("read");
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
TEST(SourceMapBasicRoutines, PrintANumberAndAStringAndEndInReady) {
    ProcessOutcome run = runProcess(
        kRunner, {"--until-input", "--screen-text", "-", MAPS_PROGRAM_DIR "/basic_print.prg"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::size_t first = run.out.find("\n0 65535 1234 ");
    ASSERT_NE(first, std::string::npos) << run.out;
    first = (first + 1) / 41;
    EXPECT_EQ(screenAt(run.out, first + 1, 20), "PRINTED BY STROUT...") << run.out;
    EXPECT_EQ(screenAt(run.out, first + 8, 4), "END ") << run.out;
    EXPECT_EQ(screenAt(run.out, first + 9, 7), "READY. ") << run.out;
    EXPECT_EQ(run.out.find("BRK"), std::string::npos) << run.out;
}

}  // namespace
