// Addresses as the command line and test files give them: a number ($hex, 0xhex or
// decimal), a label or label+N, and what is made of them (--dump ADDR:LEN, --expect
// ADDR=BYTE).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/runner/source_map/labels.h"

// One cell the run must leave holding a value (--expect ADDR=BYTE).
struct MemoryExpectation {
    uint16_t address;
    uint8_t value;
};

// A stretch of RAM to print in hex at the end (--dump ADDR:LEN).
struct MemoryRange {
    uint16_t address;
    uint32_t length;  // 1 to the end of the address space
};

// Reads an address: a number ($hex, 0xhex or decimal, to $FFFF), a label, or label+N
// within the address space. False, with what is wrong in `error`, otherwise.
bool parseAddress(std::string_view text, const LabelTable& labels, uint16_t& address,
                  std::string& error);
// Reads ADDR:LEN, a range within the 64 KiB address space; ADDR may be a label or label+N
// of `labels` (parseAddress). On failure `problem`, when given, says what is wrong.
bool parseMemoryRange(std::string_view text, MemoryRange& range, const LabelTable& labels = {},
                      std::string* problem = nullptr);
// Reads ADDR=BYTE, ADDR as for parseMemoryRange.
bool parseExpectation(std::string_view text, MemoryExpectation& expectation,
                      const LabelTable& labels = {}, std::string* problem = nullptr);
