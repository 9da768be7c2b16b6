// The batch's wire format: a result as bytes, for the trip from a run's process to the
// batch, made from the result's field list; and the length-prefixed fields it is made of,
// which the pool's records use too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/runner/reports/result.h"

// Appends "LENGTH:BYTES".
void appendField(std::string& out, std::string_view value);
// Takes a field from the front of `in`; false when `in` does not start with a whole one.
bool takeField(std::string_view& in, std::string_view& value);

// A result as bytes.
std::string encodeResult(const RunResult& result);
// The result back from its bytes; false when they are not a whole result.
bool decodeResult(std::string_view bytes, RunResult& result);
