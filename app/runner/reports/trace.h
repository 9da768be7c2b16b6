// The trace of a run that did not pass (--trace): its last instructions, one line each,
// disassembled in the run's processor model, with labels beside the addresses.
#pragma once

#include <string>

#include "app/runner/reports/result.h"
#include "app/runner/source_map/source_map.h"
#include "cpu/model.h"
#include "machine/trace.h"

// One trace line: address (with its label+N when `labels` has one, and the source's
// "file:line" of `places`, when given), bytes, instruction and the registers before it
// ran.
std::string traceLine(const TraceEntry& entry, CpuModel model = kDefaultCpuModel,
                      const LabelTable& labels = {}, const LineIndex* places = nullptr);
// The trace block of a result: "last N instructions:" and the lines of the instructions
// the machine kept (startTrace), into result.trace, the one field every report takes it
// from.
// Its places come from `map`'s lines, when it has any.
void keepTrace(RunResult& result, CpuModel model, const SourceMap& map);
