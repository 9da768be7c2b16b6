// What one run of one program (or one routine test) came to: the verdict, why and where
// it stopped, and the final state that the reports show; and the list of its fields that
// every report walks.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "cpu/state.h"

inline constexpr int kStatusPass = 0;
inline constexpr int kStatusFail = 1;
inline constexpr int kStatusLimit = 2;
inline constexpr int kStatusError = 3;

// The verdicts, one row each: the word that opens a result line, the exit status it gives
// (RunResult::status() says when a failure gives another), and the JUnit element of a
// test case that did not pass.
// clang-format off
#define BREADBIN_VERDICTS(X)                                                                  \
    X(Pass,  "PASS",  kStatusPass,  "")        /* the run passed */                           \
    X(Fail,  "FAIL",  kStatusFail,  "failure") /* or the byte written with --debug-exit */    \
    X(Limit, "LIMIT", kStatusLimit, "error")   /* a limit came before any verdict */          \
    X(Error, "ERROR", kStatusError, "error")   /* bad usage, an unreadable input or an unwritable output */
// clang-format on

enum class Verdict : uint8_t {
#define BREADBIN_VERDICT_ENUM(verdict, word, status, element) verdict,
    BREADBIN_VERDICTS(BREADBIN_VERDICT_ENUM)
#undef BREADBIN_VERDICT_ENUM
};

struct VerdictInfo {
    std::string_view word;
    int status;
    std::string_view junitElement;
};
inline constexpr VerdictInfo kVerdicts[] = {
#define BREADBIN_VERDICT_INFO(verdict, word, status, element) {word, status, element},
    BREADBIN_VERDICTS(BREADBIN_VERDICT_INFO)
#undef BREADBIN_VERDICT_INFO
};
inline constexpr std::size_t kVerdictCount = std::size(kVerdicts);
constexpr const VerdictInfo& verdictInfo(Verdict verdict) {
    return kVerdicts[static_cast<std::size_t>(verdict)];
}

// Why a run stopped, one row each, with its name in the summary.
// clang-format off
#define BREADBIN_STOP_REASONS(X)                                                              \
    X(DebugExit,  "debug-exit")                                                               \
    X(UntilText,  "until-text")                                                               \
    X(FailText,   "fail-text")                                                                \
    X(InputLoop,  "input-loop")                                                               \
    X(FrameLimit, "frame-limit")                                                              \
    X(CycleLimit, "cycle-limit")                                                              \
    X(Jam,        "jam")       /* the processor met a JAM opcode and stopped */               \
    X(Returned,   "returned")  /* a routine test's call returned */                           \
    X(NotRun,     "not-run")                                                                  \
    X(Crashed,    "crashed")
// clang-format on

enum class StopReason : uint8_t {
#define BREADBIN_STOP_ENUM(reason, name) reason,
    BREADBIN_STOP_REASONS(BREADBIN_STOP_ENUM)
#undef BREADBIN_STOP_ENUM
};
inline constexpr std::string_view kStopReasonNames[] = {
#define BREADBIN_STOP_NAME(reason, name) name,
    BREADBIN_STOP_REASONS(BREADBIN_STOP_NAME)
#undef BREADBIN_STOP_NAME
};
inline constexpr std::size_t kStopReasonCount = std::size(kStopReasonNames);
constexpr std::string_view stopReasonName(StopReason stop) {
    return kStopReasonNames[static_cast<std::size_t>(stop)];
}

// The timings of one stopwatch id (the debug cells): how many, the shortest, the longest
// and all together, in cycles.
struct StopwatchTimes {
    uint64_t id = 0;
    uint64_t count = 0;
    uint64_t min = 0;
    uint64_t max = 0;
    uint64_t total = 0;
    bool operator==(const StopwatchTimes&) const = default;
};
// Adds `more` to `times`, id by id.
void addTimes(std::vector<StopwatchTimes>& times, const std::vector<StopwatchTimes>& more);

struct RunResult {
    std::string machine;  // the machine's name
    std::string cpu;      // the processor model's name
    std::string cia;      // the CIAs' model where the machine has them, else ""
    std::string video;    // the VIC's standard where the machine has one, else ""
    std::string program;  // as given on the command line (a test's: its test file)
    std::string test;     // a routine test's name; empty for a program's run
    Verdict verdict = Verdict::Error;
    StopReason stop = StopReason::NotRun;
    std::string message;  // one line: what decided the run
    std::string details;  // further lines for a failure: every mismatch
    std::string trace;    // for a run that did not pass with --trace: its last instructions
    std::string screen;   // the final screen, 25 lines of text
    uint64_t frames = 0;
    uint64_t cycles = 0;
    uint64_t instructions = 0;
    CpuState registers{};
    uint64_t hash = 0;      // FNV-1a 64 of RAM and the registers
    int exitByte = -1;      // the byte written to the debug register, a cc65 exit's ST, or -1
    uint64_t start = 0;     // the address the program started at
    std::string startedBy;  // why there: "load", "upstart", "option" ("" without a program)
    std::string routine;    // the label that regPC lies in at the end, "" without one
    std::string counts;     // a run's execution counts on their way to the batch (coverage.h)
    std::vector<StopwatchTimes> stopwatch;  // the debug cells' timings, by id
    std::vector<std::string> console;       // the lines written to the debug console

    // The exit status, from the verdict's: a program's failure through the debug register
    // (or a cc65 program's exit) has the byte written (ST) as its status (a run that wrote 0 and
    // then failed its expectations, 1); a routine test that fails or could not finish fails the
    // run, 1, status 3 staying for what could not be read or written.
    int status() const;
};

// Where a field of the result goes: the trip from a run's process to the batch (every
// field), the JSON summary, and the summary's hash text.
enum ResultFieldUse : uint8_t { kEncoded = 1, kSummarised = 2, kHashText = 4 };

// Every field of a result, listed once, with its name and its uses: the batch encoding,
// the summary and the JUnit report walk this list. One more field is one more line here
// (and, for a new type, one overload in each of them).
template <class Result, class Visit>
void forEachResultField(Result& result, Visit&& visit) {
    visit("program", result.program, kEncoded | kSummarised);
    visit("machine", result.machine, kEncoded | kSummarised);
    visit("cpu", result.cpu, kEncoded | kSummarised);
    visit("cia", result.cia, kEncoded | kSummarised);
    visit("video", result.video, kEncoded | kSummarised);
    visit("test", result.test, kEncoded | kSummarised);
    visit("verdict", result.verdict, kEncoded | kSummarised);
    visit("stop", result.stop, kEncoded | kSummarised);
    visit("message", result.message, kEncoded | kSummarised);
    visit("details", result.details, kEncoded);
    visit("trace", result.trace, kEncoded);
    visit("screen", result.screen, kEncoded);
    visit("debugExit", result.exitByte, kEncoded | kSummarised);
    visit("frames", result.frames, kEncoded | kSummarised);
    visit("cycles", result.cycles, kEncoded | kSummarised);
    visit("instructions", result.instructions, kEncoded | kSummarised);
    visit("registers", result.registers, kEncoded | kSummarised);
    visit("hash", result.hash, kEncoded | kSummarised | kHashText);
    visit("start", result.start, kEncoded | kSummarised);
    visit("startedBy", result.startedBy, kEncoded | kSummarised);
    visit("routine", result.routine, kEncoded | kSummarised);
    visit("counts", result.counts, kEncoded);
    visit("stopwatch", result.stopwatch, kEncoded | kSummarised);
    visit("console", result.console, kEncoded | kSummarised);
}

// The result for an input that could not be read or an output that cannot be written.
RunResult badInput(std::string program, std::string message);
// "PASS name: message", the line printed for each program or test.
std::string resultLine(const RunResult& result);
// The exit status of a batch: 0 when every program passed, else the largest status.
int batchStatus(const std::vector<RunResult>& results);
