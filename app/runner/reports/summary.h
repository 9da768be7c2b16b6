// The JSON summary of a run (--summary), and of a run of routine tests as an array of
// them, made from the result's field list; and the hash of the machine's state it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/runner/io/output_file.h"
#include "app/runner/reports/result.h"

inline constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325;
// FNV-1a 64 over `length` bytes, continuing from `hash`.
uint64_t fnv1a64(const uint8_t* bytes, std::size_t length, uint64_t hash = kFnvOffsetBasis);
// The hash of the machine's state: all 64 KiB of RAM, then A, X, Y, S, P and PC (low, high).
uint64_t machineStateHash();

// A field of the result as text (forEachResultField): a string as it is, the word of a
// verdict or stop reason, a number, "null" for no debug exit, the hash's "fnv1a64:" text,
// the registers as a JSON object; `quoted` when JSON writes it as a string.
struct FieldText {
    std::string text;
    bool quoted;
};
FieldText fieldText(const std::string& text, unsigned uses);
FieldText fieldText(Verdict verdict, unsigned uses);
FieldText fieldText(StopReason stop, unsigned uses);
FieldText fieldText(int exitByte, unsigned uses);
FieldText fieldText(uint64_t number, unsigned uses);
FieldText fieldText(const CpuState& registers, unsigned uses);
// The console's lines as a JSON array of strings; the stopwatch's timings as one of
// objects {"id", "count", "min", "max", "total"}.
FieldText fieldText(const std::vector<std::string>& lines, unsigned uses);
FieldText fieldText(const std::vector<StopwatchTimes>& times, unsigned uses);

// The summary: one JSON object on one line, ended by a newline: every summarised field,
// then the status, regPC and the flags that follow from them.
std::string summaryJson(const RunResult& result);

// The summary of routine tests (--summary): a JSON array of the tests' summaries, one a
// line, made as the results come (SpooledReport).
class TestsSummary {
public:
    bool start(std::string& error) { return spool_.start(error); }
    bool add(const RunResult& result, std::string& error);
    bool write(const std::string& path, std::string& error);

private:
    SpooledReport spool_;
};
