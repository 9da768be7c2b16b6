// What one run of one program came to: the verdict, why and where it stopped, and the
// final state that the reports show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/debug_cells.h"
#include "cpu/state.h"

enum class Verdict : uint8_t {
    Pass,   // status 0
    Fail,   // status 1, or the byte written with --debug-exit
    Limit,  // status 2: a limit came before any verdict
    Error,  // status 3: bad usage, an unreadable input or an unwritable output
};

enum class StopReason : uint8_t {
    DebugExit,
    UntilText,
    FailText,
    InputLoop,
    FrameLimit,
    CycleLimit,
    Jam,       // the processor met a JAM opcode and stopped
    Returned,  // a routine test's call returned
    NotRun,
    Crashed,
};

inline constexpr int kStatusPass = 0;
inline constexpr int kStatusFail = 1;
inline constexpr int kStatusLimit = 2;
inline constexpr int kStatusError = 3;

struct RunResult {
    std::string machine;  // the machine's name
    std::string cpu;      // the processor model's name
    std::string cia;      // the CIAs' model where the machine has them, else ""
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
    int exitByte = -1;      // the byte written to the debug register, or -1
    uint64_t start = 0;     // the address the program started at
    std::string startedBy;  // why there: "load", "upstart", "option" ("" without a program)
    std::string routine;    // the label that regPC lies in at the end, "" without one
    std::string counts;     // a run's execution counts on their way to the batch (coverage.h)
    std::vector<StopwatchTimes> stopwatch;  // the debug cells' timings, by id
    std::vector<std::string> console;       // the lines written to the debug console

    // The exit status, from the verdict: a program's failure through the debug register
    // has the byte written as its status (a run that wrote 0 and then failed its
    // expectations, 1); a routine test's failure is 1.
    int status() const {
        switch (verdict) {
            case Verdict::Pass: return kStatusPass;
            case Verdict::Fail:
                return stop == StopReason::DebugExit && exitByte > 0 && test.empty() ? exitByte
                                                                                     : kStatusFail;
            case Verdict::Limit: return kStatusLimit;
            case Verdict::Error: break;
        }
        // A routine test that could not finish fails the run; status 3 stays for what
        // could not be read or written.
        return test.empty() ? kStatusError : kStatusFail;
    }
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

// The stop reason's name in the summary ("debug-exit", "cycle-limit", ...).
std::string_view stopReasonName(StopReason stop);
// The verdict's word at the start of a result line ("PASS", "FAIL", "LIMIT", "ERROR").
std::string_view verdictWord(Verdict verdict);
// The result for an input that could not be read or an output that cannot be written.
RunResult badInput(std::string program, std::string message);
