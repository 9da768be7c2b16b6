// What one run of one program came to: the verdict, why and where it stopped, and the
// final state that the reports show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
    NotRun,
    Crashed,
};

inline constexpr int kStatusPass = 0;
inline constexpr int kStatusFail = 1;
inline constexpr int kStatusLimit = 2;
inline constexpr int kStatusError = 3;

struct RunResult {
    std::string program;  // as given on the command line
    Verdict verdict = Verdict::Error;
    int status = kStatusError;
    StopReason stop = StopReason::NotRun;
    std::string message;  // one line: what decided the run
    std::string details;  // further lines for a failure: every mismatch, the trace
    std::string screen;   // the final screen, 25 lines of text
    uint64_t frames = 0;
    uint64_t cycles = 0;
    uint64_t instructions = 0;
    CpuState registers{};
    uint64_t hash = 0;  // FNV-1a 64 of RAM and the registers
    int exitByte = -1;  // the byte written to $D7FF, or -1
};

// The stop reason's name in the summary ("debug-exit", "cycle-limit", ...).
std::string_view stopReasonName(StopReason stop);
// The verdict's word at the start of a result line ("PASS", "FAIL", "LIMIT", "ERROR").
std::string_view verdictWord(Verdict verdict);
// The result for an input that could not be read or an output that cannot be written.
RunResult badInput(std::string program, std::string message);
