// What a run leaves behind in text: the summary as JSON, hex dumps of RAM, the
// disassembled trace, the state hash and the result line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/runner/labels.h"
#include "app/runner/result.h"
#include "cpu/model.h"
#include "machine/counting.h"
#include "machine/trace.h"

inline constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325;
// FNV-1a 64 over `length` bytes, continuing from `hash`.
uint64_t fnv1a64(const uint8_t* bytes, std::size_t length, uint64_t hash = kFnvOffsetBasis);
// The hash of the machine's state: all 64 KiB of RAM, then A, X, Y, S, P and PC (low, high).
uint64_t machineStateHash();

// ---- text from outside (program names, files, screen texts) in each report's own form.
// One reading of UTF-8 serves them all: a byte that does not start a valid sequence
// (overlong forms and surrogates included) counts as one invalid byte.

inline constexpr int32_t kInvalidByte = -1;
// The code point that starts at text[at], moving `at` past it; kInvalidByte (moving one
// byte on) where the bytes there are not UTF-8.
int32_t nextCodePoint(std::string_view text, std::size_t& at);
// UTF-8 of a code point.
void appendUtf8(std::string& out, int32_t codePoint);
// Text for a terminal line: control characters (C0, DEL and C1, newlines included) and
// invalid bytes written as escapes (\n, \t, \x1b, \xff), so the text stays on its line
// and sends no control sequence; the rest as it is.
std::string terminalText(std::string_view text);
// How much of a value from outside a message quotes: its first kQuotedValueBytes bytes
// (without splitting a UTF-8 sequence), then "..." and the value's length, so that a
// message stays a line however long the value. Messages of the libraries that read the
// command line and the test files are cut the same way at kLibraryMessageBytes.
inline constexpr std::size_t kQuotedValueBytes = 64;
inline constexpr std::size_t kLibraryMessageBytes = 256;
// `text` cut as above at `bytes`: "abc", or "aaaa... (1000000 bytes)".
std::string cutValue(std::string_view text, std::size_t bytes = kQuotedValueBytes);
// `text` between two `mark`s, cut as above: 'abc', or 'aaaa...' (1000000 bytes).
std::string quotedValue(std::string_view text, char mark = '\'');
// Text as a JSON string, quotes included: always valid UTF-8, control characters and DEL
// escaped, an invalid byte replaced by U+FFFD.
std::string jsonString(std::string_view text);
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

// `length` bytes from `bytes`, shown from `address` on: 16 a line, "C000: A9 01 60".
std::string hexDump(uint16_t address, const uint8_t* bytes, std::size_t length);

// One instruction of the processor model as assembly: "LDA #$01", "STA ($20),Y",
// "BNE $C004" (the target); "??? ($02)" for a byte the model has no instruction for.
std::string disassemble(uint16_t pc, const uint8_t bytes[3], CpuModel model = kDefaultCpuModel);
// One trace line: address (with its label+N when `labels` has one), bytes, instruction
// and the registers before it ran.
std::string traceLine(const TraceEntry& entry, CpuModel model = kDefaultCpuModel,
                      const LabelTable& labels = {});
// "$C010", and " (add8+3)" after it when a label lies at or below the address.
std::string addressText(uint16_t address, const LabelTable& labels);
// "$C0" and "$C010".
std::string hexByte(unsigned value);
std::string hexWord(unsigned value);

// "PASS name: message", the line printed for each program.
std::string resultLine(const RunResult& result);
