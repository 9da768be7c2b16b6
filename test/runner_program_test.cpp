// breadbin-run itself, run as a subprocess with a time limit on small programs of our
// own (test/programs/runner/): every stop condition, every output, repeat runs that
// must match byte for byte, bad command lines and files, and batches with their JUnit
// report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/runner/reports/png_image.h"
#include "runner_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kRunner = BREADBIN_RUN_BINARY;
const fs::path kPrograms = RUNNER_TEST_PROGRAM_DIR;
const fs::path kFirmware = BREADBIN_BUILD_DIR "/firmware";
const fs::path kDemo = BREADBIN_BUILD_DIR "/firmware/demo.prg";
const fs::path kRoutines = ROUTINES_DIR;

constexpr uint64_t kDefaultCycles = 60 * 985248;
constexpr uint64_t kBadLineStall = 43;  // the most a bad line holds the processor
constexpr uint64_t kLongestStep = 14;   // a 7-cycle instruction and a frame's interrupt entry
constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kLightGreen = 0xFF9AD284;  // the firmware's text colour

std::string program(const char* name) {
    return (kPrograms / (std::string(name) + ".prg")).string();
}

// A test file against the routines program and its labels, then `body`.
std::string routinesTestFile(const std::string& body) {
    return "program = \"" + (kRoutines / "routines.prg").string() + "\"\nlabels = \"" +
           (kRoutines / "routines.lbl").string() + "\"\n" + body;
}

ProcessOutcome runner(const std::vector<std::string>& arguments, const std::string& folder = "") {
    return runProcess(kRunner, arguments, 60, folder);
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A field of the summary, parsed as JSON: a string's contents, or a number or object as
// JSON writes it. Parsing also checks that the summary is JSON.
std::string field(const std::string& json, const std::string& name) {
    nlohmann::ordered_json summary = nlohmann::ordered_json::parse(json, nullptr, false);
    if (summary.is_discarded()) return "<not JSON>";
    if (!summary.contains(name)) return "<missing " + name + ">";
    const nlohmann::ordered_json& value = summary[name];
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// Whether `text` is `prefix` followed by exactly `digits` characters of `allowed`.
bool prefixAndDigits(const std::string& text, const std::string& prefix, std::size_t digits,
                     const std::string& allowed) {
    return text.size() == prefix.size() + digits && text.rfind(prefix, 0) == 0 &&
           text.find_first_not_of(allowed, prefix.size()) == std::string::npos;
}

uint64_t numberField(const std::string& json, const std::string& name) {
    return std::stoull(field(json, name));
}

int countOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// A folder of the test's own, removed afterwards.
class RunnerProgram : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-run-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const char* name) const { return (folder / name).string(); }

    // Runs with --summary into a file and returns the summary.
    std::string summaryOf(std::vector<std::string> arguments, ProcessOutcome& outcome) {
        arguments.push_back("--summary");
        arguments.push_back(file("summary.json"));
        outcome = runner(arguments);
        return readText(file("summary.json"));
    }

    fs::path folder;
};

struct StopCase {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* stop;
    const char* said;  // in the result line
};

TEST_F(RunnerProgram, EachStopConditionEndsTheRunWithItsStatus) {
    // clang-format off
    const std::vector<StopCase> cases = {
        {"debug exit 0 passes", {program("debug_pass"), "--debug-exit"}, 0, "debug-exit", "PASS"},
        {"debug exit 5 fails with 5",
         {program("debug_fail"), "--debug-exit"},
         5,
         "debug-exit",
         "debug exit $05"},
        {"return to the input loop",
         {program("returns"), "--until-input"},
         0,
         "input-loop",
         "input loop"},
        {"until text",
         {program("shows_text"), "--until-text", "READY"},
         0,
         "until-text",
         "\"READY\" on screen"},
        {"until text across rows",
         {program("shows_text"), "--until-text", "WRAP"},
         0,
         "until-text",
         "WRAP"},
        {"fail text",
         {program("shows_text"), "--until-text", "NEVER", "--fail-text", "OOPS"},
         1,
         "fail-text",
         "FAIL"},
        {"frame limit",
         {program("shows_text"), "--until-text", "NEVER", "--frames", "20"},
         2,
         "frame-limit",
         "frame limit 20"},
        {"cycle limit",
         {program("spins"), "--cycles", "100000"},
         2,
         "cycle-limit",
         "cycle limit 100000"},
        {"default limit", {program("spins")}, 2, "cycle-limit", "cycle limit 59114880"},
        {"expectations alone decide at the limit",
         {program("returns"), "--cycles", "$30000", "--expect", "$C100=$42"},
         0,
         "cycle-limit",
         "PASS"},
        {"a fail text makes the limit a limit",
         {program("returns"), "--cycles", "$30000", "--fail-text", "NEVER", "--expect", "$C100=$42"},
         2,
         "cycle-limit",
         "LIMIT"},
        {"a waiting verdict makes the limit a limit",
         {program("spins"), "--debug-exit", "--cycles", "50000", "--expect", "$C100=$42"},
         1,
         "cycle-limit",
         "$C100 holds"},
        {"a mismatch fails a run that passed",
         {program("returns"), "--until-input", "--expect", "$C100=$43"},
         1,
         "input-loop",
         "$C100 holds $42, expected $43"},
        {"expectations that hold keep the pass",
         {program("debug_pass"), "--debug-exit", "--expect", "$C200=$DE", "--expect", "0xC203=239"},
         0,
         "debug-exit",
         "PASS"},
    };
    // clang-format on
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessOutcome outcome;
        std::string summary = summaryOf(c.arguments, outcome);
        ASSERT_FALSE(outcome.timedOut);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_EQ(field(summary, "stop"), c.stop) << summary;
        EXPECT_EQ(numberField(summary, "status"), static_cast<uint64_t>(c.status));
        EXPECT_NE(outcome.out.find(c.said), std::string::npos) << outcome.out;
    }
}

TEST_F(RunnerProgram, LimitsStopWhereTheySay) {
    ProcessOutcome outcome;
    std::string summary = summaryOf({program("shows_text"), "--frames", "37"}, outcome);
    EXPECT_EQ(numberField(summary, "frames"), 37u);

    summary = summaryOf({program("spins"), "--cycles", "123457"}, outcome);
    uint64_t cycles = numberField(summary, "cycles");
    EXPECT_GE(cycles, 123457u);
    EXPECT_LT(cycles, 123457u + kLongestStep);

    // Without a limit, 60 emulated seconds: on the minimal machine a frame every 21 ms of
    // emulated time, give or take the frame step's rounding; on the C64 (the default) the
    // VIC's frames, where a bad line may stall the last instruction by up to 43 cycles.
    summary = summaryOf({program("spins"), "--machine", "minimal"}, outcome);
    cycles = numberField(summary, "cycles");
    EXPECT_GE(cycles, kDefaultCycles);
    EXPECT_LT(cycles, kDefaultCycles + kLongestStep);
    EXPECT_NEAR(static_cast<double>(numberField(summary, "frames")), 60 * 1000 / 21.0, 5);
    summary = summaryOf({program("spins")}, outcome);
    cycles = numberField(summary, "cycles");
    EXPECT_GE(cycles, kDefaultCycles);
    EXPECT_LT(cycles, kDefaultCycles + kLongestStep + kBadLineStall);
    EXPECT_EQ(numberField(summary, "frames"), cycles / 19656);

    // A frame that falls on a step after which a run watching the debug cells stops (a
    // store to the stopwatch) counts toward the limit all the same.
    for (const char* machine : {"minimal", "c64"}) {
        summary = summaryOf(
            {program("stores_often"), "--machine", machine, "--debug-exit", "--frames", "40"},
            outcome);
        EXPECT_EQ(numberField(summary, "frames"), 40u) << machine;
    }

    // The debug register ends the run right after the store: the program's last steps.
    summary = summaryOf({program("debug_pass"), "--debug-exit"}, outcome);
    EXPECT_EQ(numberField(summary, "debugExit"), 0u);
    EXPECT_GE(numberField(summary, "frames"), 3u);
    EXPECT_EQ(numberField(summary, "regPC"), 0xC02Cu);  // after STA $D7FF, at the JMP
}

// --cpu: our self-check of decimal mode and the undocumented opcodes passes on the 6510,
// the default, and fails its first case on the documented processor; a JAM stops the
// 6510's run with its address and opcode and the trace up to it, while the documented
// processor steps over it.
TEST_F(RunnerProgram, TheCpuOptionChoosesTheProcessorModel) {
    struct ModelCase {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        const char* cpu;
        const char* stop;
        const char* said;
    };
    // clang-format off
    const ModelCase cases[] = {
        {"the 6510 passes the self-check", {program("cpu6510"), "--debug-exit", "--cpu", "6510"}, 0, "6510", "debug-exit", "debug exit $00"},
        {"the plain processor fails its first case", {program("cpu6510"), "--debug-exit", "--cpu=plain"}, 1, "plain", "debug-exit", "debug exit $01"},
        {"the 6510 is the default", {program("cpu6510"), "--debug-exit"}, 0, "6510", "debug-exit", "debug exit $00"},
        {"a JAM stops the 6510", {program("jams"), "--cpu", "6510", "--trace", "3"}, 1, "6510", "jam", "FAIL"},
        {"the plain processor steps over a JAM's byte", {program("jams"), "--cpu", "plain", "--cycles", "100000"}, 2, "plain", "cycle-limit", "LIMIT"},
    };
    // clang-format on
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessOutcome outcome;
        std::string summary = summaryOf(c.arguments, outcome);
        ASSERT_FALSE(outcome.timedOut);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_EQ(field(summary, "cpu"), c.cpu) << summary;
        EXPECT_EQ(field(summary, "stop"), c.stop) << summary;
        EXPECT_NE(outcome.out.find(c.said), std::string::npos) << outcome.out;
    }

    ProcessOutcome outcome;
    std::string summary = summaryOf({program("jams"), "--cpu", "6510", "--trace", "3"}, outcome);
    EXPECT_EQ(numberField(summary, "regPC"), 0xC007u);  // the JAM itself
    EXPECT_NE(outcome.out.find("JAM $02 at $C007: the processor stopped"), std::string::npos)
        << outcome.out;
    std::size_t start = outcome.out.find("last 3 instructions:\n");
    ASSERT_NE(start, std::string::npos) << outcome.out;
    std::string trace = outcome.out.substr(start);
    EXPECT_NE(trace.find("\nC003  E0 03     CPX #$03      A="), std::string::npos) << trace;
    EXPECT_NE(trace.find("\nC005  D0 FB     BNE $C002     A="), std::string::npos) << trace;
    EXPECT_NE(trace.find("\nC007  02        JAM           A="), std::string::npos) << trace;
}

TEST_F(RunnerProgram, TheScreenTextShowsTheFinalScreenAsTwentyFiveLines) {
    ProcessOutcome outcome =
        runner({program("debug_pass"), "--debug-exit", "--screen-text", file("screen.txt")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::string text = readText(file("screen.txt"));
    EXPECT_EQ(lineCount(text), 25);
    EXPECT_EQ(text.size(), 25u * 41u);
    EXPECT_EQ(text.substr(0, 41), "SELF TEST PASSED" + std::string(24, ' ') + "\n");
    EXPECT_EQ(lineCount(outcome.out), 1) << "the result line alone";
    EXPECT_EQ(outcome.out.rfind("PASS ", 0), 0u) << outcome.out;

    outcome = runner({program("debug_pass"), "--debug-exit", "--screen-text", "-"});
    EXPECT_EQ(outcome.out, text);
}

TEST_F(RunnerProgram, TheScreenshotIsTheFinalFrame) {
    ProcessOutcome outcome =
        runner({program("debug_pass"), "--debug-exit", "--screenshot", file("shot.png")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    PngPicture picture;
    std::string error;
    ASSERT_TRUE(readPng(file("shot.png"), picture, error)) << error;
    ASSERT_EQ(picture.width, 640);
    ASSERT_EQ(picture.height, 480);
    // "SELF TEST PASSED" on row 0 in light green on black; row 1 is blank.
    int textPixels = 0;
    for (int y = 0; y < 16; y += 2) {
        for (int x = 0; x < 16 * 16; ++x) {
            uint32_t pixel = picture.pixels[static_cast<std::size_t>(y) * 640 + x];
            EXPECT_TRUE(pixel == kBlack || pixel == kLightGreen) << x << "," << y;
            textPixels += pixel == kLightGreen;
        }
    }
    EXPECT_GT(textPixels, 100);
    for (int x = 0; x < 640; ++x) EXPECT_EQ(picture.pixels[20 * 640 + x], kBlack);
}

// --sid-log: every write to a SID register with the cycle of the store, the mirrors folded;
// the debug cells beside the registers are not the SID's and stay out.
TEST_F(RunnerProgram, TheSidLogHoldsEveryWriteWithItsCycle) {
    // $C000: LDA #$0F, STA $D418, LDA #$21, STA $D724 (a mirror of $D404), LDA #0,
    // STA $D7FF (the debug exit).
    writeBytes(folder / "sid.prg", std::string("\x00\xC0\xA9\x0F\x8D\x18\xD4\xA9\x21\x8D\x24\xD7"
                                               "\xA9\x00\x8D\xFF\xD7",
                                               17));
    ProcessOutcome outcome =
        runner({"--machine", "c64", "--debug-exit", "--sid-log", file("sid.log"), file("sid.prg")});
    ASSERT_EQ(outcome.status, 0) << outcome.out << outcome.err;
    std::vector<std::string> lines;
    std::istringstream log(readText(file("sid.log")));
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    // The firmware's start-up silences the 25 registers $D400-$D418, then the program writes.
    ASSERT_EQ(lines.size(), 1u + 25u + 2u) << readText(file("sid.log"));
    EXPECT_EQ(lines[0], "# cycle register value");
    EXPECT_NE(lines[1].find(" D418 00"), std::string::npos) << lines[1];
    unsigned long long first = 0, second = 0;
    char tail[16];
    ASSERT_EQ(std::sscanf(lines[26].c_str(), "%llu D418 0F%1s", &first, tail), 1) << lines[26];
    ASSERT_EQ(std::sscanf(lines[27].c_str(), "%llu D404 21%1s", &second, tail), 1) << lines[27];
    EXPECT_EQ(second - first, 6u);  // LDA # (2) and STA abs, whose write is its 4th cycle
}

TEST_F(RunnerProgram, TheSummaryHoldsTheRegistersFlagsAndAHash) {
    ProcessOutcome outcome;
    std::string summary = summaryOf({program("debug_fail"), "--debug-exit"}, outcome);
    EXPECT_EQ(lineCount(summary), 1);
    EXPECT_EQ(summary.front(), '{');
    EXPECT_EQ(field(summary, "program"), program("debug_fail"));
    EXPECT_EQ(field(summary, "verdict"), "FAIL");
    EXPECT_EQ(numberField(summary, "debugExit"), 5u);
    // STA ($FB),Y with A = 5 and Y = $0F: the registers when the run stopped.
    std::string registers = field(summary, "registers");
    EXPECT_NE(registers.find("\"a\":5,"), std::string::npos) << registers;
    EXPECT_NE(registers.find("\"y\":15,"), std::string::npos) << registers;
    std::string flags = field(summary, "flags");
    EXPECT_NE(flags.find("\"n\":false"), std::string::npos) << flags;
    EXPECT_NE(flags.find("\"z\":false"), std::string::npos) << flags;
    EXPECT_NE(flags.find("\"i\":false"), std::string::npos)
        << flags;  // the program runs with interrupts on
    EXPECT_TRUE(prefixAndDigits(field(summary, "hash"), "fnv1a64:", 16, "0123456789abcdef"));
    EXPECT_GT(numberField(summary, "instructions"), 0u);
    EXPECT_GT(numberField(summary, "cycles"), numberField(summary, "instructions"));

    outcome = runner({program("debug_fail"), "--debug-exit", "--summary", "-"});
    EXPECT_EQ(outcome.out, summary);
}

TEST_F(RunnerProgram, DumpsPrintRamInHexOnStandardOutput) {
    ProcessOutcome outcome =
        runner({program("debug_pass"), "--debug-exit", "--dump", "$C200:4", "--dump", "0xC1FF:1"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "C200: DE AD BE EF\nC1FF: 00\n");
}

TEST_F(RunnerProgram, TheTraceShowsTheLastInstructionsOfARunThatFailsOrTimesOut) {
    ProcessOutcome outcome = runner({program("spins"), "--cycles", "2000000", "--trace", "6"});
    EXPECT_EQ(outcome.status, 2);
    std::size_t start = outcome.out.find("last 6 instructions:\n");
    ASSERT_NE(start, std::string::npos) << outcome.out;
    std::string trace = outcome.out.substr(start);
    EXPECT_EQ(lineCount(trace), 7);
    // The loop, as it runs (unless a frame interrupt came in between): INX, STX, JMP,
    // each followed by the registers.
    const char* loop[] = {"C002  E8        INX           A=", "C003  8E 00 C1  STX $C100     A=",
                          "C006  4C 02 C0  JMP $C002     A="};
    int loopLines = 0;
    std::istringstream lines(trace);
    for (std::string text; std::getline(lines, text);) {
        for (const char* expected : loop) {
            loopLines +=
                text.rfind(expected, 0) == 0 && text.size() == std::string(expected).size() + 22 &&
                text.find(" X=") != std::string::npos && text.find(" P=") != std::string::npos;
        }
    }
    EXPECT_GE(loopLines, 3) << trace;

    outcome = runner({program("debug_pass"), "--debug-exit", "--trace", "6"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.find("instructions:"), std::string::npos) << outcome.out;
}

TEST_F(RunnerProgram, RepeatRunsGiveByteIdenticalOutputs) {
    // The demo reads the keyboard stub's random bits every frame and shows them.
    auto outputs = [&](const char* tag) {
        std::string base = file(tag);
        ProcessOutcome outcome =
            runner({kDemo.string(), "--frames", "150", "--trace", "50", "--screen-text",
                    base + ".txt", "--screenshot", base + ".png", "--summary", base + ".json",
                    "--junit", base + ".xml", "--dump", "$0400:1000"});
        EXPECT_EQ(outcome.status, 2);
        return std::vector<std::string>{readText(base + ".txt"),
                                        readText(base + ".png"),
                                        readText(base + ".json"),
                                        readText(base + ".xml"),
                                        outcome.out,
                                        outcome.err};
    };
    std::vector<std::string> first = outputs("first");
    std::vector<std::string> second = outputs("second");
    for (std::size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(first[i].empty());
        EXPECT_TRUE(first[i] == second[i]);
    }
}

TEST_F(RunnerProgram, TheSeedChoosesTheRandomBitsAndWatchesDoNotChangeTheRun) {
    ProcessOutcome outcome;
    auto hashOf = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--machine", "minimal"});  // the keyboard stub's bits
        return field(summaryOf(arguments, outcome), "hash");
    };
    std::string plain = hashOf({kDemo.string(), "--cycles", "600000"});
    EXPECT_EQ(hashOf({kDemo.string(), "--cycles", "600000", "--seed", "0x6272656164626E21"}),
              plain);
    EXPECT_NE(hashOf({kDemo.string(), "--cycles", "600000", "--seed", "1"}), plain);
    EXPECT_EQ(hashOf({kDemo.string(), "--cycles", "600000", "--seed", "1"}),
              hashOf({kDemo.string(), "--cycles", "600000", "--seed", "$1"}));
    // Watching for events and keeping a trace take the same steps as the plain run.
    EXPECT_EQ(hashOf({kDemo.string(), "--cycles", "600000", "--trace", "10", "--debug-exit",
                      "--fail-text", "NEVER"}),
              plain);
}

TEST_F(RunnerProgram, TheRealClockStillRunsToAVerdict) {
    ProcessOutcome outcome = runner({program("shows_text"), "--realtime", "--until-text", "READY"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
}

TEST_F(RunnerProgram, ADirOfRomsAndTheWorkingDirectoryDoNotMix) {
    // A folder with the firmware and tests/start; a working directory full of junk.
    fs::path roms = folder / "roms";
    for (const char* name : {"kernal.rom", "basic.rom", "chargen.rom"}) {
        writeBytes(roms / name, readText(kFirmware / name));
    }
    writeBytes(roms / "tests" / "start", readText(program("returns")));
    fs::path junk = folder / "junk";
    for (const char* name : {"kernal.rom", "basic.rom", "chargen.rom", "tests/start"}) {
        writeBytes(junk / name, std::string(100, '\x02'));
    }
    ProcessOutcome outcome =
        runner({"--dir", roms.string(), "--until-input", "--expect", "$C100=$42"}, junk.string());
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    // The built-in firmware, with a program given, ignores the junk too.
    outcome = runner({program("returns"), "--until-input"}, junk.string());
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    // No program at all: the firmware alone comes up and waits for input.
    outcome = runner({"--until-input", "--screen-text", "-"}, junk.string());
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("Breadbin open firmware"), std::string::npos) << outcome.out;
}

// The counts on the <testsuite> element.
struct SuiteCounts {
    int tests = -1, failures = -1, errors = -1;
};
SuiteCounts suiteCounts(const std::string& xml) {
    std::size_t suite = xml.find("<testsuite ");
    if (suite == std::string::npos) return {};
    std::string element = xml.substr(suite, xml.find('>', suite) - suite);
    auto count = [&](const std::string& name) {
        std::size_t at = element.find(" " + name + "=\"");
        return at == std::string::npos ? -1 : std::stoi(element.substr(at + name.size() + 3));
    };
    return {count("tests"), count("failures"), count("errors")};
}

struct BadInput {
    std::string name;
    std::vector<std::string> arguments;
    std::string named;  // the message names it
    std::vector<std::string> environment = {};
    int lines = 1;       // on standard error, or on standard output for a batch
    bool batch = false;  // a batch's lines, its JUnit report written into old.json
    bool ran = false;    // the run's own line on standard output, before what failed
};

// The longest line a message may take, whatever the values it quotes.
constexpr std::size_t kLongestMessage = 512;

std::size_t longestLine(const std::string& text) {
    std::size_t longest = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) longest = std::max(longest, line.size());
    return longest;
}

// Every entry under `root` (and /dev/full): its type, size, mode and contents, so that a
// run that failed can be shown to have created, changed and removed nothing.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    auto describe = [](const fs::path& path) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) return std::string("gone");
        std::string text = std::to_string(info.st_mode) + " " + std::to_string(info.st_size) + " " +
                           std::to_string(info.st_rdev);
        if (S_ISREG(info.st_mode)) text += " " + readText(path);
        return text;
    };
    entries["/dev/full"] = describe("/dev/full");
    for (const auto& entry : fs::recursive_directory_iterator(root))
        entries[entry.path().string()] = describe(entry.path());
    return entries;
}

TEST_F(RunnerProgram, BadOptionsAndFilesGiveStatusThreeAndOneLineAndLeaveEveryFileAsItWas) {
    writeBytes(folder / "one.prg", "\x01");
    writeBytes(folder / "roms" / "kernal.rom", std::string(8192, '\0'));
    writeBytes(folder / "roms" / "basic.rom", std::string(8192, '\0'));
    writeBytes(folder / "full" / "kernal.rom", std::string(8192, '\0'));
    writeBytes(folder / "full" / "basic.rom", std::string(8192, '\0'));
    writeBytes(folder / "full" / "chargen.rom", std::string(4096, '\0'));
    writeBytes(folder / "old.json", "an earlier summary");
    writeBytes(folder / "bad.input", "frame 1 press a\nframe 2 joy1 sideways\n");
    // FIFOs with no writer and no reader: any ordinary open of them waits for ever.
    fs::copy(folder / "full", folder / "fifo-rom");
    fs::copy(folder / "full", folder / "fifo-start");
    fs::remove(folder / "fifo-rom" / "basic.rom");
    fs::create_directory(folder / "fifo-start" / "tests");
    for (const fs::path& fifo : {folder / "fifo.prg", folder / "fifo-rom" / "basic.rom",
                                 folder / "fifo-start" / "tests" / "start", folder / "out.fifo"})
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string pass = program("debug_pass");
    const std::string nowhere = file("no/such/folder/out");
    // Test files: one that passes, one nested 40,000 keys deep, one with a key of a million
    // characters.
    writeBytes(folder / "good.toml",
               routinesTestFile("[[test]]\nname = \"adds\"\ncall = \"add8\"\n"));
    std::string deepKey = "a";
    for (int i = 0; i < 39999; ++i) deepKey += ".a";
    writeBytes(folder / "deep.toml", "program = \"x.prg\"\n" + deepKey + " = 1\n");
    writeBytes(folder / "long.toml",
               routinesTestFile("[[test]]\nname = \"x\"\ncall = \"add8\"\nset = { \"" +
                                std::string(1000000, 'x') + "\" = 1 }\n"));
    const std::string longValue(100000, 'y');  // an argument may hold at most 128 KiB
    // clang-format off
    std::vector<BadInput> cases = {
        {"unknown option", {"--colour", pass}, "--colour"},
        {"missing value", {pass, "--frames"}, "--frames"},
        {"bad number", {pass, "--cycles", "lots"}, "'lots' is not a number"},
        {"number out of range", {pass, "--trace", "0"}, "--trace"},
        {"number past 64 bits", {pass, "--cycles", "99999999999999999999999"}, "is out of range"},
        {"bad ADDR:LEN", {pass, "--dump", "$C000-$C010"}, "$C000-$C010"},
        {"range past the end", {pass, "--dump", "$FFFF:2"}, "--dump"},
        {"bad ADDR=BYTE", {pass, "--expect", "$C000=$1FF"}, "--expect"},
        {"empty text", {pass, "--until-text="}, "--until-text"},
        {"shard past its count", {pass, "--shard", "4/3"}, "--shard: '4/3'"},
        {"shard zero", {pass, "--shard", "0/3"}, "'0/3'"},
        {"shard without a count", {pass, "--shard", "2"}, "'2'"},
        {"shard count without index", {pass}, "TEST_SHARD_INDEX", {"TEST_TOTAL_SHARDS=3"}},
        {"shard index past the count",
         {pass}, "TEST_TOTAL_SHARDS='3'", {"TEST_TOTAL_SHARDS=3", "TEST_SHARD_INDEX=3"}},
        {"status file in no folder",
         {pass}, nowhere, {"TEST_TOTAL_SHARDS=1", "TEST_SHARD_INDEX=0", "TEST_SHARD_STATUS_FILE=" + nowhere}},
        {"missing program", {file("missing.prg")}, file("missing.prg")},
        {"missing program, odd name",
         {file("bad\nname\x1b[2J\xff.prg")}, file("bad\\nname\\x1b[2J\\xff.prg")},
        {"program is a folder", {folder.string()}, folder.string() + ": it is a folder"},
        {"one-byte program", {file("one.prg")}, file("one.prg") + " is too short for a program file (1 byte;"},
        {"endless program", {"/dev/zero"}, "/dev/zero: not a regular file"},
        {"program is a FIFO", {file("fifo.prg")}, file("fifo.prg") + ": not a regular file"},
        {"program is a FIFO, in a batch", {file("fifo.prg"), pass, "--debug-exit", "--junit", file("old.json")},
         file("fifo.prg") + ": not a regular file", {}, 2, true},
        {"ROM is a FIFO", {"--dir", file("fifo-rom"), pass}, file("fifo-rom") + "/basic.rom: not a regular file"},
        {"tests/start is a FIFO", {"--dir", file("fifo-start")}, file("fifo-start") + "/tests/start: not a"},
        {"unwritable screen text", {pass, "--screen-text", nowhere}, nowhere},
        {"typing on the minimal machine", {pass, "--machine", "minimal", "--type", "x"}, "--type needs --machine c64"},
        {"an unknown key", {pass, "--machine", "c64", "--type", "a{FOO}"}, "--type: unknown key 'FOO'"},
        {"a key the keyboard lacks", {pass, "--machine", "c64", "--type", "~"}, "no key for '~'"},
        {"a missing input script", {pass, "--machine", "c64", "--input", nowhere}, nowhere},
        {"a bad input script", {pass, "--machine", "c64", "--input", file("bad.input")},
         file("bad.input") + " line 2: unknown joystick line 'sideways'"},
        {"a SID log on the minimal machine", {pass, "--machine", "minimal", "--sid-log", file("sid.log")}, "--sid-log needs --machine c64"},
        {"unwritable SID log", {pass, "--machine", "c64", "--sid-log", nowhere}, nowhere},
        {"unwritable summary", {pass, "--summary", nowhere}, nowhere},
        {"unwritable screenshot", {pass, "--screenshot", nowhere}, nowhere},
        {"unwritable JUnit report", {pass, "--junit", nowhere}, nowhere},
        {"summary into a folder", {pass, "--summary", file("roms")}, file("roms") + ": it is a folder"},
        {"summary into a FIFO no one reads", {pass, "--summary", file("out.fifo")}, "no process reads it"},
        {"screenshot to a full device", {pass, "--debug-exit", "--screenshot", "/dev/full"},
         "cannot write /dev/full: No space left on device"},
        {"summary to a full device", {pass, "--debug-exit", "--summary", "/dev/full"},
         "cannot write /dev/full: No space left on device"},
        {"JUnit report to a full device", {pass, "--debug-exit", "--junit", "/dev/full"},
         "cannot write /dev/full: No space left on device", {}, 1, false, true},
        {"the first output written, the second not",
         {pass, "--debug-exit", "--screen-text", file("screen.txt"), "--summary", "/dev/full"}, "/dev/full"},
        {"an earlier summary outlives a failed run", {file("missing.prg"), "--summary", file("old.json")},
         "missing.prg"},
        {"missing ROM in --dir", {"--dir", file("roms"), pass}, file("roms") + "/chargen.rom"},
        {"missing --dir", {"--dir", file("nothing"), pass}, file("nothing") + "/kernal.rom"},
        {"no tests/start in --dir", {"--dir", file("full")}, file("full") + "/tests/start"},
        {"per-program output in a batch", {pass, pass, "--summary", "-"}, "--summary"},
        {"shard status file is a FIFO no one reads",
         {pass}, file("out.fifo") + ": no process reads it",
         {"TEST_TOTAL_SHARDS=1", "TEST_SHARD_INDEX=0", "TEST_SHARD_STATUS_FILE=" + file("out.fifo")}},
        {"two outputs, one file",
         {pass, "--debug-exit", "--screenshot", file("s.png"), "--summary", file("s.png")},
         "--screenshot and --summary both write " + file("s.png")},
        {"two outputs, one file by two names",
         {pass, "--debug-exit", "--summary", file("s.json"), "--junit", (folder / "." / "s.json").string()},
         "both write"},
        {"the profile over the coverage's disassembly",
         {pass, "--debug-exit", "--coverage", file("c.info"), "--profile", file("c.info.s")},
         "both write " + file("c.info.s")},
        {"a filter that matches no test",
         {"--test", file("good.toml"), "--filter", "nomatch*"}, "--filter 'nomatch*' matches no test"},
        {"a value of 100,000 characters", {pass, "--dump", longValue + ":1"}, "--dump: no label 'yyyyyyyy"},
        {"a test file nested 40,000 keys deep",
         {"--test", file("deep.toml"), "--test", file("good.toml"), "--junit", file("old.json")},
         file("deep.toml") + ":2: ", {}, 2, true},
        {"a test file's key of a million characters",
         {"--test", file("long.toml"), "--test", file("good.toml"), "--junit", file("old.json")},
         file("long.toml") + ":6: set.xxxxxxxx", {}, 2, true},
    };
    // clang-format on
    // A ROM image that is not exactly its size: the firmware would never start, or be cut.
    for (auto [rom, size] :
         {std::pair{"kernal.rom", 0}, std::pair{"kernal.rom", 1}, std::pair{"basic.rom", 100},
          std::pair{"chargen.rom", 4097}, std::pair{"basic.rom", 20000}}) {
        fs::path dir = folder / ("size-" + std::string(rom) + "-" + std::to_string(size));
        fs::copy(folder / "full", dir);
        writeBytes(dir / rom, std::string(static_cast<std::size_t>(size), '\xEA'));
        std::string wanted = std::string(rom) == "chargen.rom" ? "4096" : "8192";
        cases.push_back({std::string("a ") + rom + " of " + std::to_string(size),
                         {"--dir", dir.string(), pass},
                         (dir / rom).string() + " is " + std::to_string(size) +
                             (size == 1 ? " byte" : " bytes") + " long; a ",
                         {}});
        cases.back().named += std::string(rom) == "kernal.rom"  ? "KERNAL image is " + wanted
                              : std::string(rom) == "basic.rom" ? "BASIC image is " + wanted
                                                                : "character image is " + wanted;
        cases.back().named += " bytes";
    }
    auto before = snapshot(folder);
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessOutcome outcome =
            runProcess(kRunner, c.arguments, 60, folder.string(), withEnvironment(c.environment));
        EXPECT_FALSE(outcome.timedOut);
        EXPECT_EQ(outcome.signal, 0);
        bool batch = c.batch;
        EXPECT_EQ(outcome.status, 3);
        const std::string& said = batch ? outcome.out : outcome.err;
        EXPECT_EQ(lineCount(said), c.lines) << said;
        EXPECT_NE(said.find(c.named), std::string::npos) << said;
        EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
        EXPECT_LE(longestLine(said), kLongestMessage) << said.substr(0, kLongestMessage);
        if (c.ran) {
            EXPECT_EQ(lineCount(outcome.out), 1) << outcome.out;
            EXPECT_EQ(outcome.out.rfind("PASS ", 0), 0u) << outcome.out;
        } else if (!batch) {
            EXPECT_TRUE(outcome.out.empty()) << outcome.out;
        }
        std::string nowAfter = readText(file("old.json"));
        if (!batch) {
            EXPECT_EQ(snapshot(folder), before);
        } else {  // the batch's own report, the one file it writes
            EXPECT_EQ(suiteCounts(nowAfter).tests, 2) << nowAfter;
            writeBytes(folder / "old.json", "an earlier summary");
        }
    }
}

// A name that is not UTF-8 and holds a newline and an escape: the result line stays one
// line with no control sequence, the summary is JSON and the report UTF-8.
TEST_F(RunnerProgram, AnOddProgramNameKeepsEveryOutputWhole) {
    const std::string odd = file("bad\xff\nname\x1b[2J.prg");
    writeBytes(odd, readText(program("debug_pass")));
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "a batch" : "one program");
        std::vector<std::string> arguments = {odd, "--debug-exit", "--junit", file("odd.xml")};
        if (batch) arguments.push_back(program("debug_pass"));
        if (!batch) arguments.insert(arguments.end(), {"--summary", file("odd.json")});
        ProcessOutcome outcome = runner(arguments);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        const std::string& lines = outcome.out;
        EXPECT_EQ(lineCount(lines), batch ? 2 : 1) << lines;
        EXPECT_EQ(lines.find('\x1b'), std::string::npos) << lines;
        EXPECT_NE(lines.find("bad\\xff\\nname\\x1b[2J.prg"), std::string::npos) << lines;
        EXPECT_NO_THROW(nlohmann::json(readText(file("odd.xml"))).dump());
        if (!batch) {
            EXPECT_EQ(field(readText(file("odd.json")), "program"),
                      file("bad\xef\xbf\xbd\nname\x1b[2J.prg"));
        }
    }
}

TEST_F(RunnerProgram, HelpAndVersion) {
    ProcessOutcome outcome = runner({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("usage: breadbin-run", 0), 0u);
    outcome = runner({"--version"});
    EXPECT_EQ(outcome.status, 0);
    // "breadbin-run 0.1.0"
    ASSERT_EQ(outcome.out.rfind("breadbin-run ", 0), 0u) << outcome.out;
    std::string version = outcome.out.substr(13);
    EXPECT_TRUE(prefixAndDigits(version, "", version.size(), "0123456789.\n")) << version;
    EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2);
    EXPECT_EQ(lineCount(version), 1);
}

TEST_F(RunnerProgram, ABatchReportsEachProgramInOrderAndCountsThemInJunit) {
    const std::string pass = program("debug_pass");
    const std::string fail = program("debug_fail");
    ProcessOutcome outcome =
        runner({"--debug-exit", "--junit", file("report.xml"), pass, fail, pass});
    EXPECT_EQ(outcome.status, 5);  // the largest status
    std::istringstream lines(outcome.out);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line.rfind("PASS " + pass + ": debug exit $00", 0), 0u) << line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line.rfind("FAIL " + fail + ": debug exit $05", 0), 0u) << line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line.rfind("PASS " + pass, 0), 0u) << line;
    EXPECT_FALSE(std::getline(lines, line));

    std::string xml = readText(file("report.xml"));
    SuiteCounts counts = suiteCounts(xml);
    EXPECT_EQ(counts.tests, 3);
    EXPECT_EQ(counts.failures, 1);
    EXPECT_EQ(counts.errors, 0);
    EXPECT_NE(xml.find("<failure message=\"debug exit $05"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<system-out>SELF TEST FAILED"), std::string::npos) << xml;

    // One at a time gives the same report; a limit and an unreadable program are errors.
    ProcessOutcome serial =
        runner({"--debug-exit", "--junit", file("serial.xml"), "-j", "1", pass, fail, pass});
    EXPECT_EQ(serial.out, outcome.out);
    EXPECT_EQ(readText(file("serial.xml")), xml);

    outcome = runner({"--debug-exit", "--cycles", "200000", "--junit", file("errors.xml"), pass,
                      program("spins"), file("missing.prg")});
    EXPECT_EQ(outcome.status, 3);
    counts = suiteCounts(readText(file("errors.xml")));
    EXPECT_EQ(counts.tests, 3);
    EXPECT_EQ(counts.failures, 0);
    EXPECT_EQ(counts.errors, 2);
    EXPECT_EQ(lineCount(outcome.out), 3);
    EXPECT_NE(outcome.out.find("ERROR " + file("missing.prg") + ": cannot read"), std::string::npos)
        << outcome.out;
}

TEST_F(RunnerProgram, ASingleProgramWritesAJunitReportToo) {
    ProcessOutcome outcome =
        runner({program("debug_fail"), "--debug-exit", "--junit", file("one.xml")});
    EXPECT_EQ(outcome.status, 5);
    SuiteCounts counts = suiteCounts(readText(file("one.xml")));
    EXPECT_EQ(counts.tests, 1);
    EXPECT_EQ(counts.failures, 1);
    EXPECT_EQ(counts.errors, 0);
}

// Standard output on a full device: nothing is lost in silence.
TEST_F(RunnerProgram, LostStandardOutputIsOneLineAndStatusThree) {
    const std::string pass = program("debug_pass");
    const std::vector<std::vector<std::string>> cases = {
        {"--help"},
        {"--version"},
        {"--debug-exit", pass, pass},  // result lines
        {"--debug-exit", pass, "--screen-text", "-"},
        {"--debug-exit", pass, "--summary", "-"},
        {"--debug-exit", pass, "--dump", "$C000:16"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(arguments.front() + " " + arguments.back());
        ProcessOutcome outcome = runProcess(kRunner, arguments, 60, "", outputTo("/dev/full"));
        EXPECT_EQ(outcome.status, 3);
        EXPECT_EQ(lineCount(outcome.err), 1) << outcome.err;
        EXPECT_NE(outcome.err.find("cannot write standard output: No space left on device"),
                  std::string::npos)
            << outcome.err;
    }
}

// The runs a batch has under way: the children of its process.
std::vector<pid_t> childrenOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> children;
    for (pid_t child; in >> child;) children.push_back(child);
    return children;
}

// Whether a process has ended (a zombie that no one reaps has ended too). A process that
// is reaped while its file is read fails the read with "No such process", which libstdc++
// throws: that process has ended too.
bool ended(pid_t pid) {
    std::string stat;
    try {
        stat = readText("/proc/" + std::to_string(pid) + "/stat");
    } catch (const std::ios_base::failure&) {
        return true;
    }
    std::size_t state = stat.rfind(") ");
    return stat.empty() || state == std::string::npos || stat[state + 2] == 'Z' ||
           stat[state + 2] == 'X';
}

template <class Condition>
bool within(double seconds, Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A batch cut short by a signal sent once its first line is out: what it was given, and
// what it reported. With a second signal, the JUnit report goes into a FIFO that is read
// only once every line is out and the second signal sent, so that the signal comes while
// the batch writes its report.
struct Interruption {
    std::string name;
    std::vector<std::string> arguments;  // --junit follows
    int signal;
    std::size_t runs;  // the runs under way when the signal goes
    int lines;         // result lines, one per program or test
    int errors;        // in the JUnit report
    std::vector<std::string> said;
    int secondSignal = 0;
};

TEST_F(RunnerProgram, AnInterruptedBatchEndsAtOnceWithTheResultsItHasAndLeavesNoRuns) {
    // One program that passes at once, three that would spin for hours.
    const std::string spins = program("spins");
    const std::vector<std::string> programs = {"--debug-exit", "--cycles", "$FFFFFFFFFFFF",
                                               "-j",           "2",        program("debug_pass"),
                                               spins,          spins,      spins};
    // Test files: a test that passes at once, then four that spin for a billion cycles each.
    std::string tests = "[[test]]\nname = \"adds\"\ncall = \"add8\"\n";
    for (int i = 1; i <= 4; ++i)
        tests += "[[test]]\nname = \"spins " + std::to_string(i) +
                 "\"\ncall = \"spin\"\nmax-cycles = 1000000000\n";
    writeBytes(folder / "one.toml", routinesTestFile(tests));
    writeBytes(folder / "two.toml", routinesTestFile(tests));
    const std::string one = file("one.toml");
    // Batches with reports larger than a pipe holds: 100 programs, and a file of 100 tests.
    std::vector<std::string> hundred = programs;
    for (int i = 3; i < 99; ++i) hundred.push_back(spins);
    for (int i = 5; i < 100; ++i)
        tests += "[[test]]\nname = \"spins " + std::to_string(i) +
                 "\"\ncall = \"spin\"\nmax-cycles = 1000000000\n";
    writeBytes(folder / "hundred.toml", routinesTestFile(tests));
    const std::string hundredTests = file("hundred.toml");
    const std::vector<std::string> programLines = {
        "ERROR " + spins + ": not finished: the batch was interrupted",
        "ERROR " + spins + ": not run: the batch was interrupted"};
    const std::vector<std::string> testLines = {
        "PASS " + one + ": adds",
        "ERROR " + one + ": spins 1: not finished: the batch was interrupted",
        "ERROR " + one + ": spins 4: not run: the batch was interrupted"};
    // clang-format off
    const std::vector<Interruption> cases = {
        {"a batch of programs, SIGTERM", programs, SIGTERM, 2, 4, 3, programLines},
        {"a batch of programs, SIGINT", programs, SIGINT, 2, 4, 3, programLines},
        {"a batch of programs, SIGKILL", programs, SIGKILL, 2, 0, 0, {}},
        {"one test file, SIGTERM", {"--test", one}, SIGTERM, 1, 5, 4, testLines},
        {"two test files, one not started, SIGINT",
         {"--test", one, "--test", file("two.toml"), "-j", "1"}, SIGINT, 1, 10, 9,
         {testLines[0], testLines[1], testLines[2],
          "ERROR " + file("two.toml") + ": adds: not run: the batch was interrupted"}},
        {"100 programs, SIGTERM, then SIGINT while the report is written", hundred, SIGTERM, 2, 100, 99,
         programLines, SIGINT},
        {"100 tests, SIGINT, then SIGTERM while the report is written", {"--test", hundredTests}, SIGINT, 1,
         100, 99, {"ERROR " + hundredTests + ": spins 99: not run: the batch was interrupted"}, SIGTERM},
    };
    // clang-format on
    for (const Interruption& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments = c.arguments;
        std::string report = file(c.secondSignal ? "cut.fifo" : "cut.xml");
        arguments.insert(arguments.end(), {"--junit", report});
        int reader = -1;
        if (c.secondSignal) {
            ASSERT_EQ(mkfifo(report.c_str(), 0600), 0);
            reader = open(report.c_str(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(reader, 0);
        }
        RunningProcess batch = startProcess(kRunner, arguments);
        ASSERT_TRUE(readProcess(
            batch, 60, [](const std::string& out) { return out.find('\n') != std::string::npos; }));
        std::vector<pid_t> runs;
        // Runs that have ended but are not yet reaped are children too: the ones under way
        // are those that have not.
        ASSERT_TRUE(within(60, [&] {
            runs = childrenOf(batch.pid);
            return runs.size() == c.runs && std::none_of(runs.begin(), runs.end(), ended);
        }));
        auto sent = std::chrono::steady_clock::now();
        kill(batch.pid, c.signal);
        std::string xml;
        if (c.secondSignal) {
            EXPECT_TRUE(readProcess(
                batch, 60, [&](const std::string& out) { return lineCount(out) >= c.lines; }));
            kill(batch.pid, c.secondSignal);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            fcntl(reader, F_SETFL, 0);  // now wait for what comes
            char buffer[4096];
            for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;)
                xml.append(buffer, static_cast<std::size_t>(got));
            close(reader);
        }
        ProcessOutcome outcome = finishProcess(batch, 60);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
        EXPECT_FALSE(outcome.timedOut);
        EXPECT_EQ(outcome.signal, c.signal);  // the first signal, whatever came after it
        EXPECT_LT(seconds, 10.0);             // a generous bound on "at once"
        for (pid_t run : runs) EXPECT_TRUE(within(60, [&] { return ended(run); })) << run;
        if (c.signal == SIGKILL) continue;  // nothing is written after SIGKILL
        EXPECT_EQ(lineCount(outcome.out), c.lines) << outcome.out;
        EXPECT_EQ(outcome.out.rfind("PASS ", 0), 0u) << outcome.out;
        for (const std::string& line : c.said)
            EXPECT_NE(outcome.out.find(line), std::string::npos) << line << "\n" << outcome.out;
        EXPECT_GE(countOf(outcome.out, "not finished: the batch was interrupted"), 1)
            << outcome.out;
        if (!c.secondSignal) xml = readText(report);
        SuiteCounts counts = suiteCounts(xml);
        EXPECT_EQ(counts.tests, c.lines);
        EXPECT_EQ(counts.errors, c.errors);
        EXPECT_NE(xml.find("</testsuites>\n"), std::string::npos) << "the report is whole";
        fs::remove(report);
    }
}

// The programs named in a batch's result lines.
std::multiset<std::string> programsReported(const std::string& out) {
    std::multiset<std::string> names;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::size_t space = line.find(' ');
        std::size_t colon = line.find(": ", space);
        if (space != std::string::npos && colon != std::string::npos)
            names.insert(line.substr(space + 1, colon - space - 1));
    }
    return names;
}

TEST_F(RunnerProgram, ShardsCoverEveryProgramExactlyOnce) {
    // Seven programs, given out of the order of their names, one of them twice.
    std::vector<std::string> programs;
    for (const char* name : {"g", "c", "a", "f", "b", "e"}) {
        writeBytes(folder / (std::string(name) + ".prg"), readText(program("debug_pass")));
        programs.push_back(file((std::string(name) + ".prg").c_str()));
    }
    programs.push_back(programs[1]);
    const std::multiset<std::string> all(programs.begin(), programs.end());
    for (int count = 1; count <= 5; ++count) {
        std::multiset<std::string> covered;
        for (int index = 1; index <= count; ++index) {
            SCOPED_TRACE(std::to_string(index) + "/" + std::to_string(count));
            std::string shard = std::to_string(index) + "/" + std::to_string(count);
            std::vector<std::string> arguments = {"--debug-exit", "--shard", shard, "--junit",
                                                  file("shard.xml")};
            arguments.insert(arguments.end(), programs.begin(), programs.end());
            ProcessOutcome outcome = runner(arguments);
            EXPECT_EQ(outcome.status, 0) << outcome.err;
            std::multiset<std::string> share = programsReported(outcome.out);
            covered.insert(share.begin(), share.end());
            std::string xml = readText(file("shard.xml"));
            EXPECT_NE(xml.find("<testsuite name=\"breadbin-run shard " + shard + "\""),
                      std::string::npos)
                << xml;
            EXPECT_EQ(suiteCounts(xml).tests, static_cast<int>(share.size()));
        }
        EXPECT_EQ(covered, all) << count << " shards";
    }

    // A test runner's sharding variables: the same share, and the status file touched;
    // --shard, when given, wins over them.
    std::vector<std::string> arguments = {"--debug-exit"};
    arguments.insert(arguments.end(), programs.begin(), programs.end());
    std::vector<std::string> asShard = arguments;
    asShard.insert(asShard.end(), {"--shard", "3/3"});
    std::string expected = runner(asShard).out;
    EXPECT_EQ(lineCount(expected), 2) << expected;
    std::vector<std::string> bazel = {"TEST_TOTAL_SHARDS=3", "TEST_SHARD_INDEX=2",
                                      "TEST_SHARD_STATUS_FILE=" + file("status")};
    ProcessOutcome outcome = runProcess(kRunner, arguments, 60, "", withEnvironment(bazel));
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, expected);
    EXPECT_TRUE(fs::exists(file("status")));
    asShard.back() = "1/1";
    outcome = runProcess(kRunner, asShard, 60, "", withEnvironment(bazel));
    EXPECT_EQ(lineCount(outcome.out), 7) << outcome.out;
}

TEST_F(RunnerProgram, ABatchPrintsEachFailingProgramsTraceWithItsResult) {
    const std::string spins = program("spins");
    ProcessOutcome outcome = runner({"--cycles", "200000", "--trace", "5", "--junit",
                                     file("traced.xml"), program("debug_pass"), spins});
    EXPECT_EQ(outcome.status, 2);
    // Each program's line, then its five instructions and the line that heads them.
    EXPECT_EQ(lineCount(outcome.out), 2 * 7) << outcome.out;
    std::size_t second = outcome.out.find("LIMIT " + spins);
    ASSERT_NE(second, std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("\nlast 5 instructions:\n", second), std::string::npos);
    EXPECT_NE(outcome.out.find("JMP $C002"), std::string::npos);
    std::string xml = readText(file("traced.xml"));
    EXPECT_EQ(countOf(xml, "last 5 instructions:"), 2);
    EXPECT_LT(xml.find("</system-out>", xml.find("last 5 instructions:")),
              xml.find("</testcase>", xml.find("last 5 instructions:")));
}

}  // namespace

namespace {

// What the console keeps of a run (README: "Debug cells"): a line's first 4096 bytes, the
// run's first 262,144 bytes (each line end counted), each cut said once.
constexpr std::size_t kConsoleLineBytes = 4096;
constexpr std::size_t kConsoleRunBytes = 262144;
const std::string kLineCut = " [line cut at 4096 bytes]";
const std::string kRunCut = "[console cut at 262144 bytes]";

// A flood of console text (a line of 10,000 bytes, then 200,000 lines): one program, and
// the same in a batch, keep what the bounds say, on standard error and in the summary.
TEST_F(RunnerProgram, ConsoleTextIsCutAtItsBoundsAndTheCutSaidOnce) {
    const std::string flood = program("console_flood");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        bool summary;
    };
    const std::vector<Case> cases = {
        {"one program", {"--debug-exit", flood, "--summary", file("flood.json")}, true},
        {"a batch", {"--debug-exit", flood, program("debug_pass")}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessOutcome outcome = runner(c.arguments);
        EXPECT_EQ(outcome.status, 0) << outcome.err.substr(0, 1000);
        const std::string prefix = flood + ": ";
        EXPECT_EQ(countOf(outcome.err, kLineCut), 1);
        EXPECT_EQ(countOf(outcome.err, kRunCut), 1);
        EXPECT_NE(outcome.err.find(prefix + std::string(kConsoleLineBytes, 'X') + kLineCut + "\n" +
                                   prefix + "A\n"),
                  std::string::npos);
        EXPECT_LE(static_cast<std::size_t>(lineCount(outcome.err)), kConsoleRunBytes / 2 + 3);
        if (!c.summary) continue;
        nlohmann::json summary =
            nlohmann::json::parse(readText(file("flood.json")), nullptr, false);
        ASSERT_TRUE(summary.is_object());
        const nlohmann::json& lines = summary["console"];
        ASSERT_TRUE(lines.is_array() && lines.size() > 2);
        EXPECT_EQ(lines.front(), std::string(kConsoleLineBytes, 'X') + kLineCut);
        EXPECT_EQ(lines.back(), kRunCut);
        std::size_t kept = 0;
        for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
            EXPECT_EQ(lines[i], "A") << i;
            kept += 2;
        }
        EXPECT_LE(kept + kConsoleLineBytes + 1, kConsoleRunBytes);
        EXPECT_GT(kept + kConsoleLineBytes + 1, kConsoleRunBytes - 2);
    }
}

// A batch's memory does not grow with its runs' console text: once a result is reported,
// the batch keeps none of it.
TEST_F(RunnerProgram, ABatchKeepsNoConsoleTextOfTheRunsItHasReported) {
    // The peak counts this test's own copy before exec, which under AddressSanitizer (a
    // hundred MB, and growing as it holds freed blocks back) outweighs the batch.
    if (BREADBIN_UNDER_ASAN)
        GTEST_SKIP() << "the peak would be this test's own under AddressSanitizer";
    auto peakOf = [&](int programs) {
        std::vector<std::string> arguments = {"--debug-exit", "-j", "2"};
        for (int i = 0; i < programs; ++i) arguments.push_back(program("console_flood"));
        ProcessOutcome outcome = runProcess(kRunner, arguments, 60);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(lineCount(outcome.out), programs);
        return outcome.peakKilobytes;
    };
    long few = peakOf(2);
    long many = peakOf(8);
    // Each run leaves about 4 MB of console lines: six more runs kept would be 24 MB more.
    EXPECT_LT(many - few, 12 * 1024) << few << " KB for 2 runs, " << many << " KB for 8";
}

}  // namespace
