// What a run leaves behind in text: the summary as JSON, hex dumps of RAM, the
// disassembled trace, the state hash and the result line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/runner/result.h"
#include "machine/run_control.h"

inline constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325;
// FNV-1a 64 over `length` bytes, continuing from `hash`.
uint64_t fnv1a64(const uint8_t* bytes, std::size_t length, uint64_t hash = kFnvOffsetBasis);
// The hash of the machine's state: all 64 KiB of RAM, then A, X, Y, S, P and PC (low, high).
uint64_t machineStateHash();

// Text as a JSON string, quotes included.
std::string jsonString(std::string_view text);
// The summary: one JSON object on one line, ended by a newline.
std::string summaryJson(const RunResult& result);

// `length` bytes from `bytes`, shown from `address` on: 16 a line, "C000: A9 01 60".
std::string hexDump(uint16_t address, const uint8_t* bytes, std::size_t length);

// One instruction as assembly: "LDA #$01", "STA ($20),Y", "BNE $C004" (the target).
std::string disassemble(uint16_t pc, const uint8_t bytes[3]);
// One trace line: address, bytes, instruction and the registers before it ran.
std::string traceLine(const TraceEntry& entry);

// "PASS name: message", the line printed for each program.
std::string resultLine(const RunResult& result);
