// breadbin-run's routine tests, labels and start address, run as a subprocess: test files
// against the small routines of programs/routines (cycle counts worked out by hand in its
// comments), errors in test and label files, address options given as labels, BASIC
// upstart programs, and the reports of routine tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "runner_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kRunner = BREADBIN_RUN_BINARY;
const fs::path kRoutines = ROUTINES_DIR;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class RoutineTests : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "breadbin-routines-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const std::string& name) const { return (folder / name).string(); }
    // A test file against the routines program and its labels, then `body`.
    std::string testFile(const std::string& name, const std::string& body,
                         const std::string& labels = "routines.lbl") const {
        std::ofstream(folder / name) << "program = \"" << (kRoutines / "routines.prg").string()
                                     << "\"\nlabels = \"" << (kRoutines / labels).string() << "\"\n"
                                     << body;
        return file(name);
    }
    void writeBytes(const std::string& name, const std::string& bytes) const {
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }
    static ProcessOutcome runner(const std::vector<std::string>& arguments) {
        return runProcess(kRunner, arguments, 60);
    }
    fs::path folder;
};

struct TestLine {
    const char* toml;      // one [[test]]
    const char* expected;  // its line after "VERDICT file: ", or the line's start with '*'
};

// The same tests on both machines, with the same verdicts and cycles: on the C64 the chips
// run during a test (its jiffy interrupt, CIA 1's, comes only with irq = true) and a
// routine that reads a timer sees it count.
TEST_F(RoutineTests, EachTestEndsWithItsVerdictAndEveryMismatchInOneLine) {
    // clang-format off
    const std::vector<TestLine> cases = {
        {R"(name = "adds with carry"
call = "add8"
set = { a = 0x12, c = true, "num1" = 0x34 }
expect = { a = 0x47, c = false, z = false, n = false, "result" = [0x47, 0x00], cycles = 31 })",
         "PASS adds with carry (31 cycles)"},
        {R"(name = "carries out, in a bound"
call = "add8"
set = { a = 0xF0, c = false, "num1" = 0x20 }
expect = { a = 0x10, c = false, "result+1" = 1, cycles = "<= 31" })",
         "PASS carries out, in a bound (31 cycles)"},
        {R"(name = "every mismatch"
call = "add8"
set = { a = 0x12, c = false, "$FB" = 0x34 }
expect = { a = 0x47, "result+1" = 1, cycles = 38 })",
         "FAIL every mismatch: A: expected $47, got $46; result+1: expected $01, got $00; "
         "cycles: expected 38, got 31"},
        {R"(name = "a bound that fails"
call = "add8"
expect = { cycles = "< 31" })",
         "FAIL a bound that fails: cycles: expected < 31, got 31"},
        {R"(name = "fills three bytes"
call = "fill"
set = { a = 0xAA, x = 3 }
expect = { x = 0, z = true, "buffer" = [0xAA, 0xAA, 0xAA, 0], cycles = 41 })",
         "PASS fills three bytes (41 cycles)"},
        {R"(name = "strings in PETSCII"
call = "getkey"
set = { "buffer" = "Hi, $1!" }
expect = { "buffer" = [0x48, 0x49, 0x2C, 0x20, 0x24, 0x31, 0x21], "buffer+7" = 0 })",
         "PASS strings in PETSCII (14 cycles)"},
        {R"(name = "the real getkey"
call = "readkey"
expect = { a = 1, cycles = 30 })",
         "PASS the real getkey (30 cycles)"},
        {R"(name = "a mocked getkey"
call = "readkey"
mock = { "getkey" = { a = 0x41, c = true } }
expect = { a = 0x42, calls.getkey = 1, cycles = 28 })",
         "PASS a mocked getkey (28 cycles)"},
        {R"(name = "counts the mock's calls"
call = "twokeys"
mock = { "getkey" = { a = 0x10 } }
expect = { a = 0x21, calls.getkey = 1 })",
         "FAIL counts the mock's calls: A: expected $21, got $20; calls of getkey: expected 1, got 2"},
        {R"(name = "trashes the table"
call = "trash"
expect = { "table" = [0xFF, 0xFF] })",
         "*PASS trashes the table ("},
        {R"(name = "the table is back"
call = "getkey"
expect = { "table" = [1, 2, 3, 4] })",
         "PASS the table is back (14 cycles)"},
        {R"(name = "within its writes"
call = "outside"
writes = ["$C300", "result:2"])",
         "PASS within its writes (20 cycles)"},
        {R"(name = "outside its writes"
call = "outside"
writes = ["result"])",
         "*ERROR outside its writes: wrote $C300 (table+256), outside its writes, at $C0"},
        {R"(name = "the stack is memory too"
call = "pushes"
writes = [])",
         "*ERROR the stack is memory too: wrote $01"},
        {R"(name = "the stack declared"
call = "pushes"
writes = ["$0100:256"])",
         "PASS the stack declared (19 cycles)"},
        {R"(name = "times out"
call = "spin"
max-cycles = 500)",
         "*ERROR times out: did not return within 500 cycles, at $C0"},
        {R"(name = "hits BRK"
call = "crash")",
         "*ERROR hits BRK: BRK at $C0"},
        {R"(name = "no frame without irq"
call = "waitframe"
max-cycles = 50000)",
         "*ERROR no frame without irq: did not return within 50000 cycles"},
        {R"(name = "a frame with irq"
call = "waitframe"
irq = true
max-cycles = 50000)",
         "*PASS a frame with irq ("},
        {R"(name = "an interrupt's pushes are writes too"
call = "spin"
irq = true
writes = []
max-cycles = 50000)",
         "*ERROR an interrupt's pushes are writes too: wrote $01"},
        {R"(name = "an interrupt's pushes in the stack declared"
call = "waitframe"
irq = true
writes = ["$0000:1024", "$DC00"]
max-cycles = 50000)",
         "*PASS an interrupt's pushes in the stack declared ("},  // with the handler's writes
        {R"(name = "runs to the debug exit"
run = "main"
expect = { "result" = 0x2A })",
         "PASS runs to the debug exit (12 cycles)"},
        {R"(name = "a failing debug exit"
run = "failing")",
         "FAIL a failing debug exit: debug exit $05"},
    };
    // clang-format on
    struct Machine {
        const char* name;
        int timerCount;   // what ciatimer sees the timer count between its two reads
        int borderReads;  // what $D020 reads after a test sets it to 5 (the VIC's unused bits)
    };
    for (Machine machine : {Machine{"minimal", 0, 0x05}, Machine{"c64", 6, 0xF5}}) {
        SCOPED_TRACE(machine.name);
        std::string body =
            std::string("machine = \"") + machine.name + "\"\n[defaults]\nmax-cycles = 100000\n";
        for (const TestLine& c : cases) body += std::string("\n[[test]]\n") + c.toml + "\n";
        body += "\n[[test]]\nname = \"a timer\"\ncall = \"ciatimer\"\nexpect = { a = " +
                std::to_string(machine.timerCount) + ", cycles = 44 }\n";
        body +=
            "\n[[test]]\nname = \"a chip's register\"\ncall = \"getkey\"\n"
            "set = { \"$D020\" = 5 }\nexpect = { \"$D020\" = " +
            std::to_string(machine.borderReads) + " }\n";
        std::string path = testFile(std::string(machine.name) + ".toml", body);
        ProcessOutcome outcome = runner({"--test", path});
        EXPECT_EQ(outcome.status, 1) << outcome.err;
        std::vector<std::string> lines = linesOf(outcome.out);
        ASSERT_EQ(lines.size(), cases.size() + 2) << outcome.out << outcome.err;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            std::string expected = cases[i].expected;
            bool prefix = expected.front() == '*';
            if (prefix) expected.erase(0, 1);
            std::size_t space = expected.find(' ');
            expected.insert(space + 1, path + ": ");
            if (prefix) {
                EXPECT_EQ(lines[i].substr(0, expected.size()), expected);
            } else {
                EXPECT_EQ(lines[i], expected);
            }
        }
        EXPECT_EQ(lines[cases.size()], "PASS " + path + ": a timer (44 cycles)");
        EXPECT_EQ(lines.back(), "PASS " + path + ": a chip's register (14 cycles)");
        EXPECT_NE(outcome.out.find("(crash+1)"), std::string::npos) << "BRK names its label";
    }
}

TEST_F(RoutineTests, ScreenAndAsciiEncodingsAndTheMonitorLabelFormat) {
    std::string path = testFile("encodings.toml", R"(encoding = "screen"
[[test]]
name = "screen codes"
call = "getkey"
set = { "buffer" = "@Az[" }
expect = { "buffer" = [0, 1, 26, 27] }
)",
                                "routines.vlbl");
    ProcessOutcome outcome = runner({"--test", path});
    EXPECT_EQ(outcome.status, 0) << outcome.out << outcome.err;
    std::string ascii = testFile("ascii.toml", R"(encoding = "ascii"
[[test]]
name = "ascii bytes"
call = "getkey"
set = { "buffer" = "aZ{" }
expect = { "buffer" = [0x61, 0x5A, 0x7B] }
)");
    outcome = runner({"--test", ascii});
    EXPECT_EQ(outcome.status, 0) << outcome.out << outcome.err;
}

struct BadFile {
    const char* toml;  // after program and labels (lines 1 and 2)
    const char* said;  // in the one line: "FILE:LINE: KEY..."
};

TEST_F(RoutineTests, ErrorsInATestFileNameFileLineAndKeyAndNothingRuns) {
    // clang-format off
    const std::vector<BadFile> cases = {
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nset = { a = }\n", ":6: "},
        {"colour = 1\n", ":3: colour: unknown key"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nexpct = { a = 1 }\n", ":6: test.expct: unknown key"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nset = { a = \"one\" }\n", ":6: set.a: must be a whole number"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nset = { a = 300 }\n", ":6: set.a: 300 is out of range"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nset = { c = 1 }\n", ":6: set.c: must be true or false"},
        {"[[test]]\nname = \"x\"\ncall = \"nothere\"\n", ":5: call: no label 'nothere'"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nexpect = { \"nothere+1\" = 1 }\n",
         ":6: expect.nothere+1: neither a register, a flag nor memory: no label 'nothere'"},
        {"[[test]]\ncall = \"add8\"\n", ":3: test: has no name"},
        {"[[test]]\nname = \"x\"\n", ":3: test: \"x\" has neither call nor run"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nrun = \"main\"\n", ":3: test: has both call and run"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nexpect = { cycles = \"about 30\" }\n",
         ":6: expect.cycles: \"about 30\" is neither a number nor a bound"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nexpect = { calls.getkey = 1 }\n",
         ":6: expect.calls.getkey: no such mock in this test"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nmock = { getkey = { q = 1 } }\n",
         ":6: mock.getkey.q: a mock sets registers and flags only"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nwrites = [\"result:0\"]\n", ":6: writes: 'result:0' is not ADDR:LEN"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\nset = { pc = 1 }\n", ":6: set.pc: the test starts where call or run says"},
        {"encoding = \"ebcdic\"\n[[test]]\nname = \"x\"\ncall = \"add8\"\n", ":3: encoding: \"ebcdic\" is not petscii"},
        {"cpu = \"z80\"\n[[test]]\nname = \"x\"\ncall = \"add8\"\n", ":3: cpu: \"z80\" is not a processor model"},
        {"machine = \"vic20\"\n[[test]]\nname = \"x\"\ncall = \"add8\"\n", ":3: machine: \"vic20\" is not a machine"},
        {"cia = 6581\n[[test]]\nname = \"x\"\ncall = \"add8\"\n", ":3: cia: \"6581\" is not a CIA model"},
        {"cia = true\n[[test]]\nname = \"x\"\ncall = \"add8\"\n", ":3: cia: must be a string"},
        {"[defaults]\nname = \"x\"\n", ":4: defaults.name: unknown key"},
        {"test = 1\n", ":3: test: must be [[test]] tables"},
        {"\n", ":1: test: no [[test]] in the file"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\ninput = \"frame 1 press FOO\"\n",
         ":6: input: input line 1: unknown key 'FOO'"},
        {"[[test]]\nname = \"x\"\ncall = \"add8\"\ninput = \"frame 1\\nfly\"\n",
         ":6: input: input line 1: expected 'frame N' or 'cycle N' and an action"},
    };
    // clang-format on
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.toml);
        std::string path = testFile("bad.toml", c.toml);
        ProcessOutcome outcome = runner({"--test", path});
        EXPECT_EQ(outcome.status, 3);
        std::vector<std::string> lines = linesOf(outcome.out);
        ASSERT_EQ(lines.size(), 1u) << outcome.out;
        EXPECT_EQ(lines[0].rfind("ERROR " + path + ": " + path + c.said, 0), 0u) << lines[0];
    }
    // A label file the test file names, and one that is wrong.
    std::ofstream(folder / "wrong.lbl") << "add8 = $C000\nadd9 = nowhere\n";
    std::ofstream(folder / "labels.toml") << "program = \"" << (kRoutines / "routines.prg").string()
                                          << "\"\nlabels = \"wrong.lbl\"\n";
    ProcessOutcome outcome = runner({"--test", file("labels.toml")});
    EXPECT_EQ(outcome.status, 3);
    EXPECT_NE(outcome.out.find(file("wrong.lbl") + ":2: \"nowhere\" is not an address"),
              std::string::npos)
        << outcome.out;
}

// Three tests: one passes (31 cycles), one fails on its cycles, one spins to its limit.
constexpr const char* kThreeTests = R"([[test]]
name = "adds"
call = "add8"
expect = { cycles = 31 }
[[test]]
name = "adds wrongly"
call = "add8"
expect = { cycles = 30 }
[[test]]
name = "spins"
call = "spin"
max-cycles = 100
)";

// The result lines of a run of routine tests, without what follows them.
std::multiset<std::string> resultLines(const std::string& out) {
    std::multiset<std::string> lines;
    for (const std::string& line : linesOf(out)) {
        if (line.rfind("PASS ", 0) == 0 || line.rfind("FAIL ", 0) == 0 ||
            line.rfind("ERROR ", 0) == 0)
            lines.insert(line);
    }
    return lines;
}

// The machine of a file's tests: --machine, --cpu and --cia, or the file's keys of the
// same names in their place (a name of digits also as a number); the summary names it.
TEST_F(RoutineTests, TheFileOrTheOptionsChooseTheMachine) {
    struct MachineCase {
        const char* keys;
        std::vector<std::string> options;
        const char* machine;
        const char* cpu;
        const char* cia;  // "" where the machine has none
    };
    // clang-format off
    const MachineCase cases[] = {
        {"", {}, "minimal", "plain", ""},
        {"", {"--machine", "c64", "--cia", "8521", "--cpu", "6510"}, "c64", "6510", "8521"},
        {"machine = \"c64\"\ncpu = 6510\ncia = 8521\n", {}, "c64", "6510", "8521"},
        {"machine = \"minimal\"\ncpu = \"plain\"\n", {"--machine=c64", "--cpu=6510"}, "minimal", "plain", ""},
        {"cia = \"6526\"\n", {"--machine", "c64", "--cia", "8521"}, "c64", "plain", "6526"},
    };
    // clang-format on
    for (const MachineCase& c : cases) {
        SCOPED_TRACE(c.keys);
        std::string path = testFile(
            "machine.toml", std::string(c.keys) + "[[test]]\nname = \"x\"\ncall = \"add8\"\n");
        std::vector<std::string> arguments = {"--test", path, "--summary", file("s.json")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ProcessOutcome outcome = runner(arguments);
        ASSERT_EQ(outcome.status, 0) << outcome.out << outcome.err;
        nlohmann::json summary = nlohmann::json::parse(readText(file("s.json")), nullptr, false);
        ASSERT_TRUE(summary.is_array() && summary.size() == 1) << outcome.err;
        EXPECT_EQ(summary[0]["machine"], c.machine);
        EXPECT_EQ(summary[0]["cpu"], c.cpu);
        EXPECT_EQ(summary[0]["cia"], c.cia);
    }
}

// A test's input: keys typed and a joystick held from its call on, read by routines through
// the firmware's scan and GETIN and from CIA 1's port; only the C64 takes it.
TEST_F(RoutineTests, ATestPressesKeysAndMovesAJoystickAtItsFrames) {
    std::string path = testFile("input.toml", R"(machine = "c64"
[defaults]
max-cycles = 2000000
irq = true
[[test]]
name = "typed"
call = "typedkey"
input = "frame 3 type \"q\""
expect = { a = 0x51 }
[[test]]
name = "shifted"
call = "typedkey"
input = "at frame 1 press shift+2"
expect = { a = 0x22 }
[[test]]
name = "joystick"
call = "joystick2"
input = "cycle 0 joy2 left+fire"
expect = { a = 0xEB }
[[test]]
name = "nothing held"
call = "joystick2"
expect = { a = 0xFF }
[[test]]
name = "too late"
call = "typedkey"
input = "frame 100 type \"q\""
max-cycles = 100000
)");
    ProcessOutcome outcome = runner({"--test", path});
    EXPECT_EQ(outcome.status, 1) << outcome.out << outcome.err;
    for (const char* name : {"typed", "shifted", "joystick", "nothing held"})
        EXPECT_EQ(countOf(outcome.out, std::string("PASS ") + path + ": " + name), 1u)
            << outcome.out;
    EXPECT_EQ(countOf(outcome.out, "ERROR " + path + ": too late: did not return within 100000"),
              1u)
        << outcome.out;
    std::string wrong = testFile("minimal.toml",
                                 "[[test]]\nname = \"x\"\ncall = \"joystick2\"\n"
                                 "input = \"frame 1 joy2 up\"\n");
    ProcessOutcome refused = runner({"--test", wrong});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.out.find("input needs machine = \"c64\""), std::string::npos) << refused.out;
}

// expect.sid: the bytes last written to the SID's registers (by name or address), on the
// C64's chip and in the minimal machine's cells alike.
TEST_F(RoutineTests, ATestExpectsTheBytesLastWrittenToTheSid) {
    std::string path = testFile("sid.toml", R"([[test]]
name = "written"
call = "sidvolume"
expect = { sid = { Volume = 15, "$D404" = 0x21, Control3 = 0 } }
[[test]]
name = "not written"
call = "sidvolume"
expect = { sid = { Volume = 14, Control1 = 0x20 } }
)");
    for (const char* machine : {"minimal", "c64"}) {
        SCOPED_TRACE(machine);
        ProcessOutcome outcome = runner({"--test", path, "--machine", machine});
        EXPECT_EQ(outcome.status, 1) << outcome.out;
        EXPECT_EQ(countOf(outcome.out, "PASS " + path + ": written"), 1u) << outcome.out;
        EXPECT_EQ(countOf(outcome.out, "FAIL " + path +
                                           ": not written: sid.Control1: expected $20, "
                                           "got $21; sid.Volume: expected $0E, got $0F"),
                  1u)
            << outcome.out;
    }
    std::string bad = testFile("badsid.toml",
                               "[[test]]\nname = \"x\"\ncall = \"sidvolume\"\n"
                               "expect = { sid = { Loudness = 1 } }\n");
    ProcessOutcome refused = runner({"--test", bad});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.out.find(":6: expect.sid.Loudness: neither a SID register's name"),
              std::string::npos)
        << refused.out;
}

TEST_F(RoutineTests, ShardsCoverEveryTestExactlyOnce) {
    // Seven entries: three tests in each of two files, and a broken file that counts as
    // one; the files given out of the order of their names.
    const std::string tests = kThreeTests;
    std::vector<std::string> arguments = {"--test", testFile("c.toml", tests),
                                          "--test", testFile("b.toml", "[[test]]\nbogus = 1\n"),
                                          "--test", testFile("a.toml", tests)};
    const std::multiset<std::string> all = resultLines(runner(arguments).out);
    ASSERT_EQ(all.size(), 7u);
    for (int count = 1; count <= 5; ++count) {
        std::multiset<std::string> covered;
        for (int index = 1; index <= count; ++index) {
            std::string shard = std::to_string(index) + "/" + std::to_string(count);
            SCOPED_TRACE(shard);
            std::vector<std::string> sharded = arguments;
            sharded.insert(sharded.end(), {"--shard", shard, "--junit", file("shard.xml")});
            ProcessOutcome outcome = runner(sharded);
            std::multiset<std::string> share = resultLines(outcome.out);
            bool allPass = std::all_of(share.begin(), share.end(), [](const std::string& line) {
                return line.rfind("PASS ", 0) == 0;
            });
            EXPECT_EQ(outcome.status == 0, allPass) << outcome.err;
            covered.insert(share.begin(), share.end());
            std::string xml = readText(file("shard.xml"));
            EXPECT_NE(xml.find("<testsuite name=\"breadbin-run shard " + shard + "\" tests=\"" +
                               std::to_string(share.size()) + "\""),
                      std::string::npos)
                << xml;
        }
        EXPECT_EQ(covered, all) << count << " shards";
    }

    // A test runner's sharding variables give the same share, and the status file.
    std::vector<std::string> asShard = arguments;
    asShard.insert(asShard.end(), {"--shard", "2/3"});
    std::vector<std::string> bazel = {"TEST_TOTAL_SHARDS=3", "TEST_SHARD_INDEX=1",
                                      "TEST_SHARD_STATUS_FILE=" + file("status")};
    ProcessOutcome outcome = runProcess(kRunner, arguments, 60, "", withEnvironment(bazel));
    EXPECT_EQ(outcome.out, runner(asShard).out);
    EXPECT_EQ(resultLines(outcome.out).size(), 2u) << outcome.out;
    EXPECT_TRUE(fs::exists(file("status")));
}

TEST_F(RoutineTests, ReportsFilterRepeatAndParallelFiles) {
    const std::string tests = kThreeTests;
    std::string one = testFile("one.toml", tests);
    fs::create_directories(folder / "more");
    std::string two = testFile("more/two.toml", tests);
    testFile("more/three.toml", tests);
    std::vector<std::string> arguments = {
        "--test",  one,           "--test",    (folder / "more").string(),
        "--junit", file("r.xml"), "--summary", file("s.json"),
        "-j",      "2",           "--trace",   "1"};
    ProcessOutcome first = runner(arguments);
    std::string junit = readText(file("r.xml"));
    std::string summary = readText(file("s.json"));
    EXPECT_EQ(first.status, 1);
    // Files in the order given, a folder's in name order, the tests of each in order.
    std::vector<std::string> lines;
    for (const std::string& line : linesOf(first.out)) {
        if (line.rfind("PASS ", 0) == 0 || line.rfind("FAIL ", 0) == 0 ||
            line.rfind("ERROR ", 0) == 0)
            lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 9u) << first.out << first.err;
    EXPECT_EQ(lines[0].rfind("PASS " + one + ": adds", 0), 0u);
    EXPECT_EQ(lines[3].rfind("PASS " + file("more/three.toml") + ": adds", 0), 0u);
    EXPECT_EQ(lines[8].rfind("ERROR " + two + ": spins", 0), 0u);
    EXPECT_EQ(countOf(first.out, "last 1 instruction:\n"), 6u) << "each failure with its trace";
    EXPECT_NE(junit.find("<testsuites tests=\"9\" failures=\"3\" errors=\"3\""), std::string::npos)
        << junit;
    EXPECT_EQ(countOf(junit, "<testcase name=\"adds wrongly\" classname=\"" + one + "\""), 1u);
    nlohmann::json parsed = nlohmann::json::parse(summary, nullptr, false);
    ASSERT_TRUE(parsed.is_array()) << summary;
    ASSERT_EQ(parsed.size(), 9u);
    EXPECT_EQ(parsed[1]["test"], "adds wrongly");
    EXPECT_EQ(parsed[1]["verdict"], "FAIL");
    EXPECT_EQ(parsed[0]["cycles"], 31);
    EXPECT_EQ(parsed[0]["routine"], "add8") << "a call returns to where the hook left regPC";

    ProcessOutcome again = runner(arguments);
    EXPECT_EQ(again.out, first.out);
    EXPECT_EQ(readText(file("r.xml")), junit);
    EXPECT_EQ(readText(file("s.json")), summary);

    ProcessOutcome filtered = runner({"--test", one, "--filter", "adds*"});
    EXPECT_EQ(linesOf(filtered.out).size(), 2u) << filtered.out;
    filtered = runner({"--test", one, "--filter", "a?ds"});
    EXPECT_EQ(filtered.status, 0);
    EXPECT_EQ(linesOf(filtered.out).size(), 1u) << filtered.out;

    // A failure with --trace shows the last instructions with their labels.
    ProcessOutcome traced = runner({"--test", one, "--filter", "adds wrongly", "--trace", "2"});
    EXPECT_NE(traced.out.find("\nC00E add8+14          60        RTS"), std::string::npos)
        << traced.out;

    fs::create_directories(folder / "empty");
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--test", one, "--debug-exit"},
          std::vector<std::string>{"--test", one, "prog.prg"},
          std::vector<std::string>{"--test", file("none.toml")},
          std::vector<std::string>{"--test", (folder / "empty").string()}}) {
        ProcessOutcome bad = runner(wrong);
        EXPECT_EQ(bad.status, 3) << wrong.back() << bad.out;
    }
}

TEST_F(RoutineTests, AddressOptionsTakeLabelsAndTheSummaryNamesTheRoutine) {
    std::string program = (kRoutines / "routines.prg").string();
    for (const char* labels : {"routines.lbl", "routines.vlbl"}) {
        SCOPED_TRACE(labels);
        ProcessOutcome outcome =
            runner({program, "--labels", (kRoutines / labels).string(), "--start", "main",
                    "--debug-exit", "--expect", "result=0x2A", "--expect", "result+1=0", "--dump",
                    "table+1:3", "--summary", file("s.json")});
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, "C201: 02 03 04\n");
        nlohmann::json summary = nlohmann::json::parse(readText(file("s.json")));
        EXPECT_EQ(summary["routine"], "main");
        EXPECT_EQ(summary["startedBy"], "option");
    }
    std::string labels = (kRoutines / "routines.lbl").string();
    ProcessOutcome failed = runner({program, "--labels", labels, "--start", "main", "--debug-exit",
                                    "--expect", "result=1", "--trace", "3"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find(" main+"), std::string::npos) << failed.out;

    std::ofstream(folder / "bad.lbl") << "; labels\nal C:C000 .add8\nal C:1000x .bad\n";
    std::ofstream(folder / "twice.lbl") << "add8 = $C001\n";
    using Arguments = std::vector<std::string>;
    const std::vector<std::pair<Arguments, std::string>> cases = {
        {{program, "--labels", file("bad.lbl")},
         file("bad.lbl") + ":3: \"1000x\" is not a hex address"},
        {{program, "--labels", labels, "--labels", file("twice.lbl")},
         file("twice.lbl") + ":1: \"add8\" is $C001 here but $C000 before"},
        {{program, "--expect", "result=1"}, "--expect: no label 'result'"},
        {{program, "--labels", labels, "--dump", "nothere:2"}, "--dump: no label 'nothere'"},
        {{program, "--labels", labels, "--start", "table+$FFFF"},
         "--start: 'table+$FFFF' lies past $FFFF"},
    };
    for (const auto& [arguments, said] : cases) {
        ProcessOutcome outcome = runner(arguments);
        EXPECT_EQ(outcome.status, 3);
        EXPECT_NE(outcome.err.find(said), std::string::npos) << outcome.err;
        EXPECT_EQ(linesOf(outcome.err).size(), 1u) << outcome.err;
    }
}

struct UpstartCase {
    const char* name;
    std::string line;  // the BASIC line after the link word and the line number
    std::vector<std::string> options;
    unsigned start;
    const char* startedBy;
    const char* note;  // in the result line, "" for none
};

TEST_F(RoutineTests, AnUpstartProgramStartsAtItsSysNumber) {
    // The machine code at $0810 and $0811 ends the run with a pass; started anywhere else
    // the bytes of the BASIC line run as instructions instead.
    const std::string code = std::string("\xA9\x00\x8D\xFF\xD7\x4C\x15\x08", 8);
    auto programFile = [&](const std::string& line) {
        std::string bytes = std::string("\x01\x08\x0F\x08\x0A\x00", 6) + line;
        bytes.resize(2 + 0x0F, '\0');  // the code starts at $0810
        return bytes + code;
    };
    // clang-format off
    const std::vector<UpstartCase> cases = {
        {"SYS with a space", "\x9E 2064", {}, 0x0810, "upstart", ""},
        {"SYS without one", "\x9E" "2064", {}, 0x0810, "upstart", ""},
        {"SYS and several spaces", "\x9E   2064:", {}, 0x0810, "upstart", ""},
        {"a number too large", "\x9E" "65536", {}, 0x0801, "load", "the SYS number at $0801 is above 65535"},
        {"not SYS", "\x99" "2064", {}, 0x0801, "load", "does not start with SYS"},
        {"SYS and no number", "\x9E" "A", {}, 0x0801, "load", "is not followed by a number"},
        {"--start load", "\x9E" "2064", {"--start", "load"}, 0x0801, "option", ""},
        {"--start an address", "\x99", {"--start", "$0810"}, 0x0810, "option", ""},
    };
    // clang-format on
    for (const UpstartCase& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes("upstart.prg", programFile(c.line));
        std::vector<std::string> arguments = {
            file("upstart.prg"), "--debug-exit", "--cycles", "200000", "--summary", file("s.json")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ProcessOutcome outcome = runner(arguments);
        nlohmann::json summary = nlohmann::json::parse(readText(file("s.json")), nullptr, false);
        ASSERT_TRUE(summary.is_object()) << outcome.err;
        EXPECT_EQ(summary["start"], c.start);
        EXPECT_EQ(summary["startedBy"], c.startedBy);
        if (c.start == 0x0810) {
            EXPECT_EQ(outcome.status, 0) << outcome.err;
        }
        EXPECT_EQ(countOf(outcome.out, "not an upstart"), *c.note ? 1u : 0u) << outcome.out;
        if (*c.note) {
            EXPECT_NE(outcome.out.find(c.note), std::string::npos) << outcome.out;
        }
    }
    // A line cut short by the end of the file.
    writeBytes("short.prg", std::string("\x01\x08\x0F\x08\x0A\x00\x9E\x32\x30", 9));
    ProcessOutcome outcome = runner({file("short.prg"), "--cycles", "100000"});
    EXPECT_NE(outcome.out.find("not an upstart: the BASIC line at $0801 has no terminating $00"),
              std::string::npos)
        << outcome.out;
}

}  // namespace
