// The runner's pieces that carry logic of their own: reading the command line and its
// numbers, escaping for JSON and XML, hex dumps, the disassembly of the trace, the
// result's trip between processes, and the JUnit counts.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/runner/batch/sharding.h"
#include "app/runner/batch/wire.h"
#include "app/runner/cli/help.h"
#include "app/runner/cli/options.h"
#include "app/runner/cli/parse.h"
#include "app/runner/io/text.h"
#include "app/runner/program/debug_cells.h"
#include "app/runner/reports/junit.h"
#include "app/runner/reports/summary.h"
#include "app/runner/reports/trace.h"
#include "app/runner/routines/routine_file.h"
#include "app/runner/source_map/labels.h"

namespace {

struct NumberCase {
    const char* text;
    uint64_t max;
    bool ok;
    uint64_t value;
};

TEST(RunnerNumbers, HexTakesADollarOrZeroXPrefixAndEverythingElseIsDecimal) {
    // clang-format off
    const NumberCase cases[] = {
        {"0", 0xFFFF, true, 0},
        {"49152", 0xFFFF, true, 49152},
        {"$C000", 0xFFFF, true, 0xC000},
        {"$c000", 0xFFFF, true, 0xC000},
        {"0xC000", 0xFFFF, true, 0xC000},
        {"0XFF", 0xFF, true, 0xFF},
        {"0100", 0xFFFF, true, 100},  // a leading zero does not make it octal
        {"$10000", 0xFFFF, false, 0},
        {"65536", 0xFFFF, false, 0},
        {"18446744073709551615", UINT64_MAX, true, UINT64_MAX},
        {"18446744073709551616", UINT64_MAX, false, 0},
        {"", 0xFFFF, false, 0},
        {"$", 0xFFFF, false, 0},
        {"0x", 0xFFFF, false, 0},
        {"-1", 0xFFFF, false, 0},
        {"+1", 0xFFFF, false, 0},
        {"$-1", 0xFFFF, false, 0},
        {"12abc", 0xFFFF, false, 0},
        {" 12", 0xFFFF, false, 0},
        {"C000", 0xFFFF, false, 0},  // hex needs its prefix
        {"1e3", 0xFFFF, false, 0},
    };
    // clang-format on
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.text);
        uint64_t value = 7;
        EXPECT_EQ(parseNumber(c.text, c.max, value), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : 7);
    }
}

TEST(RunnerNumbers, MemoryRangesAndExpectationsStayInsideTheAddressSpace) {
    struct RangeCase {
        const char* text;
        bool ok;
        uint16_t address;
        uint32_t length;
    };
    // clang-format off
    const RangeCase ranges[] = {
        {"$C000:16", true, 0xC000, 16}, {"0:65536", true, 0, 65536}, {"$FFFF:1", true, 0xFFFF, 1},
        {"$FFFF:2", false, 0, 0},       {"$C000:0", false, 0, 0},    {"$C000", false, 0, 0},
        {":16", false, 0, 0},           {"$C000:", false, 0, 0},     {"$10000:1", false, 0, 0},
        {"$C000:16:1", false, 0, 0},    {"$C000=16", false, 0, 0},
    };
    // clang-format on
    for (const RangeCase& c : ranges) {
        SCOPED_TRACE(c.text);
        MemoryRange range{};
        EXPECT_EQ(parseMemoryRange(c.text, range), c.ok);
        if (c.ok) {
            EXPECT_EQ(range.address, c.address);
            EXPECT_EQ(range.length, c.length);
        }
    }
    struct ExpectCase {
        const char* text;
        bool ok;
        uint16_t address;
        uint8_t value;
    };
    // clang-format off
    const ExpectCase expectations[] = {
        {"$C000=$42", true, 0xC000, 0x42},
        {"0xD7FF=0", true, 0xD7FF, 0},
        {"1024=255", true, 1024, 255},
        {"$C000=256", false, 0, 0},
        {"$C000", false, 0, 0},
        {"=1", false, 0, 0},
        {"$C000=", false, 0, 0},
        {"$1C000=1", false, 0, 0},
        {"$C000=$1=2", false, 0, 0},
    };
    // clang-format on
    for (const ExpectCase& c : expectations) {
        SCOPED_TRACE(c.text);
        MemoryExpectation expectation{};
        EXPECT_EQ(parseExpectation(c.text, expectation), c.ok);
        if (c.ok) {
            EXPECT_EQ(expectation.address, c.address);
            EXPECT_EQ(expectation.value, c.value);
        }
    }
}

ParseOutcome parse(const std::vector<std::string_view>& arguments, RunnerOptions& options,
                   std::string& error) {
    return parseOptions(arguments, options, error);
}

TEST(RunnerOptions, EveryOptionReachesItsField) {
    RunnerOptions options;
    std::string error;
    ASSERT_EQ(parse({"--dir",       "roms",         "--frames=50",  "--cycles",
                     "$1000",       "--until-text", "OK",           "--until-text=DONE",
                     "--fail-text", "-FAIL-",       "--debug-exit", "--until-input",
                     "--realtime",  "--seed",       "0x2A",         "--screen-text",
                     "-",           "--screenshot", "s.png",        "--summary",
                     "s.json",      "--junit",      "j.xml",        "--trace",
                     "10",          "--dump",       "$C000:4",      "--dump=0:1",
                     "--expect",    "$C000=1",      "-j",           "3",
                     "--cpu",       "6510",         "--",           "--odd-name.prg"},
                    options, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(options.romDir, "roms");
    EXPECT_EQ(options.frameLimit, 50u);
    EXPECT_EQ(options.cycleLimit, 0x1000u);
    EXPECT_EQ(options.untilTexts, (std::vector<std::string>{"OK", "DONE"}));
    EXPECT_EQ(options.failTexts, (std::vector<std::string>{"-FAIL-"}));
    EXPECT_TRUE(options.debugExit);
    EXPECT_TRUE(options.untilInput);
    EXPECT_TRUE(options.realtime);
    EXPECT_EQ(options.seed, 42u);
    EXPECT_EQ(options.screenTextFile, "-");
    EXPECT_EQ(options.screenshotFile, "s.png");
    EXPECT_EQ(options.summaryFile, "s.json");
    EXPECT_EQ(options.junitFile, "j.xml");
    EXPECT_EQ(options.traceLength, 10u);
    ASSERT_EQ(options.dumps.size(), 2u);
    EXPECT_EQ(options.dumps[0].address, 0xC000);
    EXPECT_EQ(options.dumps[1].length, 1u);
    ASSERT_EQ(options.expectations.size(), 1u);
    EXPECT_EQ(options.jobs, 3u);
    EXPECT_EQ(options.machine.cpu, CpuModel::Mos6510);
    EXPECT_EQ(options.programs, (std::vector<std::string>{"--odd-name.prg"}));
}

TEST(RunnerOptions, ValuesComeSeparateAfterAnEqualsSignOrAttachedToAShortName) {
    struct Case {
        std::vector<std::string_view> arguments;
        uint64_t jobs;
        std::vector<std::string> programs;
    };
    // clang-format off
    const Case cases[] = {
        {{"-j4", "a.prg"}, 4, {"a.prg"}},
        {{"-j", "4", "a.prg"}, 4, {"a.prg"}},
        {{"--jobs=$10"}, 16, {}},
        {{"a.prg", "--jobs", "2", "b.prg"}, 2, {"a.prg", "b.prg"}},
        {{"--", "-j4"}, 0, {"-j4"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        RunnerOptions options;
        std::string error;
        ASSERT_EQ(parse(c.arguments, options, error), ParseOutcome::Run) << error;
        EXPECT_EQ(options.jobs, c.jobs);
        EXPECT_EQ(options.programs, c.programs);
    }
}

TEST(RunnerOptions, DefaultsAndTheLimitInForce) {
    RunnerOptions options;
    std::string error;
    ASSERT_EQ(parse({}, options, error), ParseOutcome::Run);
    EXPECT_TRUE(options.programs.empty());
    EXPECT_FALSE(options.realtime);
    EXPECT_EQ(options.seed, kDefaultRandomSeed);
    EXPECT_EQ(options.machine.kind, MachineKind::C64);
    EXPECT_EQ(options.machine.cpu, CpuModel::Mos6510);
    EXPECT_EQ(effectiveCycleLimit(options), kDefaultCycleLimit);
    EXPECT_EQ(effectiveFrameLimit(options), std::nullopt);
    EXPECT_EQ(kDefaultCycleLimit, 60u * 985248u);
    // On the wall clock, 60 seconds are counted in frames: one every 21 ms.
    options.realtime = true;
    EXPECT_EQ(effectiveCycleLimit(options), std::nullopt);
    EXPECT_EQ(effectiveFrameLimit(options), 60000u / 21);
    // A limit given replaces both defaults.
    for (bool realtime : {false, true}) {
        options.realtime = realtime;
        options.frameLimit = 10;
        options.cycleLimit.reset();
        EXPECT_EQ(effectiveCycleLimit(options), std::nullopt);
        EXPECT_EQ(effectiveFrameLimit(options), 10u);
        options.frameLimit.reset();
        options.cycleLimit = 99;
        EXPECT_EQ(effectiveCycleLimit(options), 99u);
        EXPECT_EQ(effectiveFrameLimit(options), std::nullopt);
    }
}

TEST(RunnerOptions, HelpAndVersionWinOverTheRestOfTheLine) {
    RunnerOptions options;
    std::string error;
    EXPECT_EQ(parse({"a.prg", "--help"}, options, error), ParseOutcome::Help);
    EXPECT_EQ(parse({"-h"}, options, error), ParseOutcome::Help);
    EXPECT_EQ(parse({"--version", "--frames", "3"}, options, error), ParseOutcome::Version);
    // Every option shows in the help.
    std::string help = helpText();
    for (const char* name :
         {"--dir",        "--frames",      "--cycles",   "--until-text", "--fail-text",
          "--debug-exit", "--until-input", "--realtime", "--seed",       "--screen-text",
          "--screenshot", "--summary",     "--trace",    "--dump",       "--expect",
          "--junit",      "--jobs",        "--help",     "--version",    "--start",
          "--labels",     "--test",        "--filter"}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
    }
}

struct BadLine {
    std::vector<std::string_view> arguments;
    const char* named;  // the message must name this
};

// The README and the help quote the contract's numbers as the constants say them, and
// none of the 50 Hz figures they once gave.
TEST(RunnerDocs, TheReadmeAndTheHelpQuoteTheContractsNumbers) {
    std::ifstream in(BREADBIN_SOURCE_DIR "/README.md");
    std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(readme.empty());
    char debugRegister[8];
    std::snprintf(debugRegister, sizeof debugRegister, "$%04X", unsigned{kDebugExitRegister});
    std::string interval = std::to_string(kFrameIntervalMs) + " ms";
    std::string frames = std::to_string(kDefaultRealtimeFrameLimit) + " frames";
    std::string cycles = std::to_string(kCyclesPerSecond / 1000) + "," +
                         std::to_string(kCyclesPerSecond % 1000);  // 985,248
    for (const std::string& text : {std::string(debugRegister), interval, frames, cycles}) {
        EXPECT_NE(readme.find(text), std::string::npos) << "README: " << text;
        std::string help = helpText();
        std::string plain = text == cycles ? std::to_string(kCyclesPerSecond) : text;
        EXPECT_NE(help.find(plain), std::string::npos) << "help: " << plain;
    }
    for (const char* stale : {"20 ms", "50 frames", "3000 frames", "--frames 3000"})
        EXPECT_EQ(readme.find(stale), std::string::npos) << "README: " << stale;
    // The console's bounds, as the cuts say them.
    for (const std::string& cut : {consoleLineCut(), consoleRunCut()})
        EXPECT_NE(readme.find("`" + cut + "`"), std::string::npos) << "README: " << cut;
    EXPECT_NE(readme.find("the first " + std::to_string(kQuotedValueBytes) + " bytes of a value"),
              std::string::npos);
    EXPECT_NE(readme.find("nested more than " + std::to_string(kMaxTestFileNesting) + " levels"),
              std::string::npos);
    EXPECT_NE(readme.find("first " + std::to_string(kConsoleLineBytes) + " bytes of a line and " +
                          std::to_string(kConsoleRunBytes) + " bytes in all"),
              std::string::npos);
}

// The README names every option of the command line, so that an option added to the
// table cannot go undocumented (it names --jobs beside -j, and --help and --version in
// passing). A name is found whole: "--cpu" in "--cpus" would not count.
TEST(RunnerDocs, TheReadmeNamesEveryOption) {
    std::ifstream in(BREADBIN_SOURCE_DIR "/README.md");
    std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(readme.empty());
    auto namedWhole = [&](const std::string& name) {
        for (std::size_t at = readme.find(name); at != std::string::npos;
             at = readme.find(name, at + 1)) {
            char next = at + name.size() < readme.size() ? readme[at + name.size()] : ' ';
            if (!std::isalnum(static_cast<unsigned char>(next)) && next != '-') return true;
        }
        return false;
    };
    std::vector<std::string> names = optionNames();
    EXPECT_GT(names.size(), 20u);
    for (const std::string& name : names) EXPECT_TRUE(namedWhole(name)) << "README: " << name;
}

TEST(RunnerOptions, BadLinesAreRefusedWithAMessageNamingTheCulprit) {
    // clang-format off
    const std::vector<BadLine> cases = {
        {{"--bogus"}, "--bogus"},
        {{"-x"}, "-x"},
        {{"--frames"}, "--frames"},
        {{"a.prg", "--cycles"}, "--cycles"},
        {{"--frames", "ten"}, "ten"},
        {{"--frames", "0"}, "--frames"},
        {{"--frames", "-5"}, "--frames"},
        {{"--cycles", "$"}, "--cycles"},
        {{"--cycles", "999999999999999999999"}, "--cycles"},
        {{"--trace", "0"}, "--trace"},
        {{"--trace", "2000000"}, "--trace"},
        {{"--jobs", "0"}, "--jobs"},
        {{"--seed", "x"}, "--seed"},
        {{"--dump", "$C000"}, "$C000"},
        {{"--dump", "$FFF0:$20"}, "--dump"},
        {{"--expect", "$C000=$100"}, "--expect"},
        {{"--expect", "C000=1"}, "--expect"},
        {{"--until-text", ""}, "--until-text"},
        {{"--fail-text="}, "--fail-text"},
        {{"--debug-exit=1"}, "--debug-exit"},
        {{"--summary", ""}, "--summary"},
        {{"--screenshot", "-"}, "--screenshot"},
        {{"a.prg", "b.prg", "--screen-text", "-"}, "--screen-text"},
        {{"a.prg", "b.prg", "--summary", "s.json"}, "--summary"},
        {{"a.prg", "b.prg", "--screenshot", "s.png"}, "--screenshot"},
        {{"a.prg", "b.prg", "--dump", "0:1"}, "--dump"},
        {{"-"}, "PROGRAM"},
        {{"--dir="}, "--dir"},
        {{"--dir", ""}, "--dir"},
        {{"--jobs=0"}, "--jobs"},
        {{"-j0"}, "--jobs"},
        {{"--realtime=yes"}, "--realtime"},
        {{"--cpu", "6502"}, "'6502' is not a processor model (plain or 6510)"},
        {{"--cpu="}, "--cpu"},
        {{"--machine", "vic20"}, "'vic20' is not a machine (minimal or c64)"},
        {{"--cia", "6581"}, "'6581' is not a CIA model (6526 or 8521)"},
        {{"--cia="}, "--cia"},
        {{"a.prg", "--start", ""}, "--start"},
        {{"a.prg", "--start", "main"}, "--start"},
        {{"a.prg", "--labels", "/no/such.lbl"}, "/no/such.lbl"},
        {{"--test", "t.toml", "--debug-exit"}, "--debug-exit"},
        {{"--test", "t.toml", "a.prg"}, "PROGRAM"},
        {{"--test", "t.toml", "--expect", "$C000=1"}, "--expect"},
        {{"--test", "t.toml", "--dir", "roms"}, "--dir is for running programs"},
        {{"a.prg", "--filter", "adds*"}, "--filter is for routine tests"},
    };
    // clang-format on
    for (const BadLine& c : cases) {
        SCOPED_TRACE(c.named);
        RunnerOptions options;
        std::string error;
        EXPECT_EQ(parse(c.arguments, options, error), ParseOutcome::Error);
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(RunnerText, JsonStringsEscapeQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(jsonString("plain"), "\"plain\"");
    EXPECT_EQ(jsonString("say \"hi\"\\"), "\"say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(jsonString("a\nb\tc\rd"), "\"a\\nb\\tc\\rd\"");
    EXPECT_EQ(jsonString(std::string_view("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(jsonString(std::string_view("\0", 1)), "\"\\u0000\"");
}

// Text from outside in each report: a terminal line keeps it on the line and sends no
// control sequence; JSON and XML are always valid UTF-8.
TEST(RunnerText, OutsideTextStaysOnItsLineAndEveryReportStaysValidUtf8) {
    struct Case {
        std::string_view text, terminal, json, xml;
    };
    // clang-format off
    const Case cases[] = {
        {"a\nb\tc", "a\\nb\\tc", "\"a\\nb\\tc\"", "a\nb\tc"},
        {"\x1b[31mred", "\\x1b[31mred", "\"\\u001b[31mred\"", "?[31mred"},
        {"caf\xc3\xa9 \xf0\x9f\x8d\x9e", "caf\xc3\xa9 \xf0\x9f\x8d\x9e", "\"caf\xc3\xa9 \xf0\x9f\x8d\x9e\"", "caf\xc3\xa9 \xf0\x9f\x8d\x9e"},
        {"\xc2\x9b" "2J", "\\xc2\\x9b2J", "\"\xc2\x9b" "2J\"", "?2J"},  // the one-byte CSI
        {"x\xffy", "x\\xffy", "\"x\\ufffdy\"", "x\xef\xbf\xbdy"},
        {"\xc0\xaf", "\\xc0\\xaf", "\"\\ufffd\\ufffd\"", "\xef\xbf\xbd\xef\xbf\xbd"},  // overlong '/'
        {"\xed\xa0\x80", "\\xed\\xa0\\x80", "\"\\ufffd\\ufffd\\ufffd\"",
         "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate
        {"end\xe2\x82", "end\\xe2\\x82", "\"end\\ufffd\\ufffd\"", "end\xef\xbf\xbd\xef\xbf\xbd"},  // cut short
        {"\xef\xbf\xbe", "\xef\xbf\xbe", "\"\xef\xbf\xbe\"", "?"},  // U+FFFE: no XML character
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(terminalText(c.text), c.terminal);
        EXPECT_EQ(jsonString(c.text), c.json);
        EXPECT_EQ(xmlEscape(c.text), c.xml);
        EXPECT_EQ(terminalText(c.text).find_first_of("\n\x1b"), std::string::npos);
        // nlohmann's writer refuses text that is not UTF-8.
        EXPECT_NO_THROW(nlohmann::json(nlohmann::json::parse(c.json)).dump());
        EXPECT_NO_THROW(nlohmann::json(xmlEscape(c.text)).dump());
    }
}

TEST(RunnerText, XmlTextEscapesMarkupAndDropsWhatXmlCannotHold) {
    EXPECT_EQ(xmlEscape("a<b>&\"c\"'d'"), "a&lt;b&gt;&amp;&quot;c&quot;&apos;d&apos;");
    EXPECT_EQ(xmlEscape("line\nnext\ttab\r"), "line\nnext\ttab\r");
    EXPECT_EQ(xmlEscape(std::string_view("\x01x\x1b\x7f", 4)), "?x??");
}

TEST(RunnerText, HexDumpsShowSixteenBytesALineFromTheGivenAddress) {
    std::vector<uint8_t> bytes(20);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(hexDump(0xC000, bytes.data(), 3), "C000: A0 A1 A2\n");
    EXPECT_EQ(hexDump(0x0FF8, bytes.data(), 20),
              "0FF8: A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\n"
              "1008: B0 B1 B2 B3\n");
    EXPECT_EQ(hexDump(0xFFF0, bytes.data(), 16),
              "FFF0: A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\n");
}

// A trace line: the address, the instruction's bytes as long as it is, its disassembly
// in the run's processor model, and the registers before it ran.
TEST(RunnerText, TheTraceShowsEachInstructionWithItsBytesAndRegisters) {
    TraceEntry undocumented{0xC000, {0xDB, 0x00, 0xC1}, 0x01, 0x02, 0x03, 0xF9, 0x24};
    EXPECT_EQ(traceLine(undocumented, CpuModel::Mos6510),
              "C000  DB 00 C1  DCP $C100,Y   A=01 X=02 Y=03 S=F9 P=24");
    TraceEntry entry{0xC000, {0x8D, 0x00, 0xC1}, 0x01, 0x02, 0x03, 0xF9, 0x24};
    EXPECT_EQ(traceLine(entry), "C000  8D 00 C1  STA $C100     A=01 X=02 Y=03 S=F9 P=24");
    TraceEntry single{0xE600, {0x58, 0x4C, 0x00}, 0, 0, 0, 0xFF, 0x20};
    EXPECT_EQ(traceLine(single), "E600  58        CLI           A=00 X=00 Y=00 S=FF P=20");
}

TEST(RunnerText, TheStateHashIsFnv1a64) {
    // Published FNV-1a 64 values.
    EXPECT_EQ(fnv1a64(nullptr, 0), 0xCBF29CE484222325u);
    const uint8_t a[] = {'a'};
    EXPECT_EQ(fnv1a64(a, 1), 0xAF63DC4C8601EC8Cu);
    const uint8_t foobar[] = {'f', 'o', 'o', 'b', 'a', 'r'};
    EXPECT_EQ(fnv1a64(foobar, 6), 0x85944171F73967E8u);
    // Continuing a hash equals hashing the whole.
    EXPECT_EQ(fnv1a64(foobar + 3, 3, fnv1a64(foobar, 3)), fnv1a64(foobar, 6));
}

RunResult sampleResult(Verdict verdict, int status) {
    RunResult result;
    result.program = "tests/a <1>.prg";
    result.cpu = "6510";
    result.verdict = verdict;
    result.stop = StopReason::DebugExit;
    result.message = "debug exit $05 after 3 frames";
    result.details = "$C000 holds $01, expected $02\n";
    result.screen = std::string(25, 'x') + "\n";
    result.screen += std::string("a:b\0c", 5);
    result.frames = 3;
    result.cycles = 985248;
    result.instructions = 123456789012;
    result.registers = CpuState{1, 2, 3, 0xF9, 0x24, 0xE600, 0, 0};
    result.hash = 0xFEDCBA9876543210;
    result.exitByte =
        status;  // the status follows from the verdict and, for a debug exit, the byte
    EXPECT_EQ(result.status(), status);
    return result;
}

TEST(RunnerBatch, AResultSurvivesItsTripBetweenProcesses) {
    RunResult sent = sampleResult(Verdict::Fail, 5);
    RunResult received;
    ASSERT_TRUE(decodeResult(encodeResult(sent), received));
    EXPECT_EQ(received.program, sent.program);
    EXPECT_EQ(received.cpu, sent.cpu);
    EXPECT_EQ(received.verdict, sent.verdict);
    EXPECT_EQ(received.status(), 5);
    EXPECT_EQ(received.stop, sent.stop);
    EXPECT_EQ(received.message, sent.message);
    EXPECT_EQ(received.details, sent.details);
    EXPECT_EQ(received.screen, sent.screen);
    EXPECT_EQ(received.frames, 3u);
    EXPECT_EQ(received.cycles, 985248u);
    EXPECT_EQ(received.instructions, 123456789012u);
    EXPECT_EQ(received.registers.regPC, 0xE600);
    EXPECT_EQ(received.registers.regS, 0xF9);
    EXPECT_EQ(received.hash, sent.hash);
    EXPECT_EQ(received.exitByte, 5);

    RunResult noExit = sampleResult(Verdict::Pass, 0);
    noExit.exitByte = -1;
    ASSERT_TRUE(decodeResult(encodeResult(noExit), received));
    EXPECT_EQ(received.exitByte, -1);
}

TEST(RunnerBatch, ATruncatedOrGarbledResultIsRefused) {
    std::string bytes = encodeResult(sampleResult(Verdict::Pass, 0));
    RunResult received;
    EXPECT_FALSE(decodeResult("", received));
    EXPECT_FALSE(decodeResult(bytes.substr(0, bytes.size() - 1), received));
    EXPECT_FALSE(decodeResult(bytes + "0:", received));
    EXPECT_FALSE(decodeResult("99999:abc", received));
    EXPECT_FALSE(decodeResult("x:abc", received));
}

TEST(RunnerResult, TheStatusFollowsFromTheVerdict) {
    struct Case {
        Verdict verdict;
        StopReason stop;
        int exitByte;
        int status;
    };
    // clang-format off
    const Case cases[] = {
        {Verdict::Pass, StopReason::DebugExit, 0, 0},  {Verdict::Pass, StopReason::InputLoop, -1, 0},
        {Verdict::Fail, StopReason::DebugExit, 5, 5},  {Verdict::Fail, StopReason::DebugExit, 255, 255},
        {Verdict::Fail, StopReason::DebugExit, 0, 1},  // wrote 0, then an expectation failed
        {Verdict::Fail, StopReason::FailText, -1, 1},  {Verdict::Fail, StopReason::CycleLimit, -1, 1},
        {Verdict::Limit, StopReason::FrameLimit, -1, 2}, {Verdict::Error, StopReason::NotRun, -1, 3},
        {Verdict::Error, StopReason::Crashed, -1, 3},
    };
    // clang-format on
    for (const Case& c : cases) {
        RunResult result;
        result.verdict = c.verdict;
        result.stop = c.stop;
        result.exitByte = c.exitByte;
        EXPECT_EQ(result.status(), c.status)
            << verdictInfo(c.verdict).word << " " << stopReasonName(c.stop);
    }
}

// The summary is JSON whatever the program's name and the message hold.
TEST(RunnerResult, TheSummaryParsesAsJsonWithEveryField) {
    RunResult result = sampleResult(Verdict::Fail, 5);
    result.program = "bad\xff\nname\x1b.prg";
    result.message = "\"\xc3(\" on screen";
    nlohmann::ordered_json summary = nlohmann::ordered_json::parse(summaryJson(result));
    EXPECT_EQ(summary["program"], "bad\xef\xbf\xbd\nname\x1b.prg");
    EXPECT_EQ(summary["message"], "\"\xef\xbf\xbd(\" on screen");
    EXPECT_EQ(summary["verdict"], "FAIL");
    EXPECT_EQ(summary["status"], 5);
    EXPECT_EQ(summary["stop"], "debug-exit");
    EXPECT_EQ(summary["debugExit"], 5);
    EXPECT_EQ(summary["frames"], 3);
    EXPECT_EQ(summary["cycles"], 985248);
    EXPECT_EQ(summary["instructions"], 123456789012u);
    EXPECT_EQ(summary["regPC"], 0xE600);
    EXPECT_EQ(summary["registers"]["s"], 0xF9);
    EXPECT_EQ(summary["flags"]["i"], true);
    EXPECT_EQ(summary["hash"], "fnv1a64:fedcba9876543210");
    EXPECT_EQ(summary["cpu"], "6510");
    EXPECT_FALSE(summary.contains("screen"));
    result.exitByte = -1;
    result.verdict = Verdict::Pass;
    EXPECT_TRUE(nlohmann::json::parse(summaryJson(result))["debugExit"].is_null());
    // The result line keeps such a name on one line, and the report holds it as UTF-8.
    std::string line = resultLine(result);
    EXPECT_EQ(line, "PASS bad\\xff\\nname\\x1b.prg: \"\\xc3(\" on screen");
    EXPECT_NO_THROW(nlohmann::json(junitReport({result})).dump());
}

TEST(RunnerBatch, TheBatchStatusIsZeroWhenAllPassElseTheLargest) {
    EXPECT_EQ(batchStatus({sampleResult(Verdict::Pass, 0), sampleResult(Verdict::Pass, 0)}), 0);
    EXPECT_EQ(batchStatus({sampleResult(Verdict::Pass, 0), sampleResult(Verdict::Fail, 1)}), 1);
    EXPECT_EQ(batchStatus({sampleResult(Verdict::Limit, 2), sampleResult(Verdict::Fail, 1)}), 2);
    EXPECT_EQ(batchStatus({sampleResult(Verdict::Error, 3), sampleResult(Verdict::Fail, 0x42)}),
              0x42);
}

int countOf(const std::string& xml, const std::string& what) {
    int count = 0;
    for (std::size_t at = xml.find(what); at != std::string::npos; at = xml.find(what, at + 1))
        ++count;
    return count;
}

TEST(RunnerJunit, FailuresAndErrorsAreCountedApartAndEveryCaseKeepsItsScreen) {
    std::vector<RunResult> results = {
        sampleResult(Verdict::Pass, 0), sampleResult(Verdict::Fail, 5),
        sampleResult(Verdict::Limit, 2), sampleResult(Verdict::Error, 3),
        sampleResult(Verdict::Fail, 1)};
    results[3].screen.clear();
    std::string xml = junitReport(results);
    EXPECT_NE(xml.find("<testsuite name=\"breadbin-run\" tests=\"5\" failures=\"2\" errors=\"2\""),
              std::string::npos)
        << xml;
    EXPECT_EQ(countOf(xml, "<testcase "), 5);
    EXPECT_EQ(countOf(xml, "<failure "), 2);
    EXPECT_EQ(countOf(xml, "<error "), 2);
    EXPECT_EQ(countOf(xml, "<system-out>"), 4);
    EXPECT_NE(xml.find("name=\"tests/a &lt;1&gt;.prg\""), std::string::npos);
    // The type says what stopped the run; a run that could not start is an "error".
    EXPECT_EQ(countOf(xml, "type=\"debug-exit\""), 3);
    EXPECT_EQ(countOf(xml, "type=\"error\""), 1);
    EXPECT_NE(xml.find("time=\"1.000\""), std::string::npos);  // emulated seconds
    EXPECT_EQ(xml.find(std::string_view("\0", 1)), std::string::npos);
}

}  // namespace

namespace {

TEST(RunnerLabels, BothFormatsGiveNamesAddressesAndLabelPlusOffset) {
    LabelTable labels;
    std::string error;
    ASSERT_TRUE(
        readLabels("al C:C000 .add8\nal c010 .sub8 ; the other\n\n; a comment\n"
                   "result\t\t= $c100\ntable = 0xC200 ; data\nzp = 251\nalso = $C000\r\n"
                   "colours= [1, 2]\ntext = \"hi\"\n",
                   "a.lbl", labels, error))
        << error;
    struct Case {
        uint16_t address;
        const char* shown;
    };
    // clang-format off
    const Case cases[] = {
        {0xC000, "add8"}, {0xC00F, "add8+15"}, {0xC010, "sub8"}, {0xC0FF, "sub8+239"},
        {0xC100, "result"}, {0xC201, "table+1"}, {0x00FB, "zp"}, {0x00FA, ""}, {0xFFFF, "table+15871"},
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(labelFor(labels, c.address), c.shown) << c.address;
    EXPECT_EQ(routineContaining(labels, 0xC005)->name, "add8") << "the first read at an address";
    struct Parsed {
        const char* text;
        bool ok;
        uint16_t address;
    };
    // clang-format off
    const Parsed parsed[] = {
        {"add8", true, 0xC000}, {"add8+3", true, 0xC003}, {"table+$10", true, 0xC210},
        {"$C000", true, 0xC000}, {"49152", true, 0xC000}, {"also", true, 0xC000},
        {"nothere", false, 0}, {"add8+", false, 0}, {"add8+x", false, 0}, {"table+$FFFF", false, 0},
        {"+3", false, 0}, {"", false, 0},
    };
    // clang-format on
    for (const Parsed& p : parsed) {
        uint16_t address = 0;
        std::string problem;
        EXPECT_EQ(parseAddress(p.text, labels, address, problem), p.ok) << p.text;
        if (p.ok) {
            EXPECT_EQ(address, p.address) << p.text;
        } else {
            EXPECT_FALSE(problem.empty()) << p.text;
        }
    }
}

TEST(RunnerLabels, ABadLineIsNamedByFileAndLineAndAddsNothing) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"al C:C000 .ok\nal C:XYZ .bad\n", "b.lbl:2: \"XYZ\" is not a hex address"},
        {"al C000 add8\n", "b.lbl:1: \"add8\" is not a label (.name)"},
        {"al C000 .a .b\n", "b.lbl:1: more than an address and a name"},
        {"add8 = $10000\n", "b.lbl:1: \"$10000\" is not an address"},
        {"1st = $C000\n", "b.lbl:1: \"1st\" is not a label name"},
        {"just words\n", "b.lbl:1: neither \"al ADDRESS .name\" nor \"name = $ADDRESS\""},
        {"x = 1\nx = 2\n", "b.lbl:2: \"x\" is $0002 here but $0001 before"},
    };
    // clang-format on
    for (const auto& [text, said] : cases) {
        LabelTable labels;
        std::string error;
        EXPECT_FALSE(readLabels(text, "b.lbl", labels, error)) << text;
        EXPECT_EQ(error.rfind(said, 0), 0u) << error;
        EXPECT_TRUE(labels.byName.empty() && labels.byAddress.empty()) << text;
    }
}

// Found by fuzzing: the TOML reader and our own messages quote what they saw, control
// characters and all; the error is still one line.
TEST(TestFiles, AnErrorIsOneLine) {
    for (const char* text : {"irq = tru\n", "name = \"a\x1b[2Jb\n", "x = 'a\tb\n",
                             "[[test]]\nname = \"two\\nlines\"\n"}) {
        TestFile file;
        std::string error;
        EXPECT_FALSE(readTestFile(text, "t.toml", {}, file, error)) << text;
        EXPECT_EQ(error.rfind("t.toml:", 0), 0u) << error;
        EXPECT_EQ(error.find_first_of("\n\t\x1b"), std::string::npos) << error;
    }
}

// Files nested deeper than the reader may go are refused by the line where they go too
// deep, before the reader sees them; what only looks deep (dots and brackets in strings
// and comments, dots in numbers) is not.
TEST(TestFiles, NestingPastTheLimitIsRefusedAtItsLine) {
    auto repeated = [](const std::string& part, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += part;
        return text;
    };
    const int deep = kMaxTestFileNesting;
    struct Case {
        std::string text;
        int line;  // where the file goes too deep; 0 when it does not
    };
    const std::vector<Case> cases = {
        {"a" + repeated(".a", deep) + " = 1\n", 1},
        {"x = 1\n\n[a" + repeated(".a", deep) + "]\n", 3},
        {"[" + repeated("a.", deep / 2) + "a]\n" + repeated("b.", deep / 2) + "b = 1\n", 2},
        {"x = " + repeated("[", deep + 1) + repeated("]", deep + 1) + "\n", 1},
        {"x = " + repeated("{a = ", deep + 1) + "1" + repeated("}", deep + 1) + "\n", 1},
        {"s = \"\"\"\n" + repeated(".[{", deep) + "\n\"\"\"\n" + "a" + repeated(".a", deep) +
             " = 1\n",
         4},
        {"\"" + repeated("a.", deep) + "\" = 1\n", 0},
        {"s = '" + repeated(".[", deep) + "'\n", 0},
        {"# " + repeated(".[", deep) + "\n", 0},
        {"x = [" + repeated("1.5, ", deep) + "1.5]\n", 0},
        {"a" + repeated(".a", deep - 2) + " = 1\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        TestFile file;
        std::string error;
        EXPECT_FALSE(readTestFile(c.text, "t.toml", {}, file, error));
        std::string said = "t.toml:" + std::to_string(c.line) + ": nested more than " +
                           std::to_string(kMaxTestFileNesting) + " levels deep";
        if (c.line) {
            EXPECT_EQ(error, said);
        } else {
            EXPECT_EQ(error.find("nested"), std::string::npos) << error;
        }
    }
}

// A value quoted in a message keeps its first bytes, never half a character, and says how
// long it was.
TEST(RunnerText, QuotedValuesAreCutWithoutSplittingACharacter) {
    const std::string bound(kQuotedValueBytes, 'a');
    const std::string e = "\xc3\xa9";  // U+00E9, two bytes
    struct Case {
        std::string value;
        std::string quoted;
        std::string cut;
    };
    const std::vector<Case> cases = {
        {"abc", "'abc'", "abc"},
        {bound, "'" + bound + "'", bound},
        {bound + "b", "'" + bound + "...' (65 bytes)", bound + "... (65 bytes)"},
        {bound.substr(1) + e, "'" + bound.substr(1) + "...' (65 bytes)",
         bound.substr(1) + "... (65 bytes)"},
        {bound.substr(2) + e + "b", "'" + bound.substr(2) + e + "...' (65 bytes)",
         bound.substr(2) + e + "... (65 bytes)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quotedValue(c.value), c.quoted);
        EXPECT_EQ(cutValue(c.value), c.cut);
    }
    EXPECT_EQ(quotedValue("x", '"'), "\"x\"");
}

}  // namespace
