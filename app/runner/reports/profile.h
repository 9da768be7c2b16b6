// Profiles: the execution counts (reports/counts.h) as a callgrind profile, which
// callgrind_annotate and KCachegrind read.
#pragma once

#include <string>
#include <vector>

#include "app/runner/reports/result.h"
#include "app/runner/source_map/labels.h"
#include "app/runner/source_map/source_map.h"

// Writes the counts to `path` as a callgrind profile (events Instructions and Cycles),
// which callgrind_annotate and KCachegrind read: the routines, each starting at a label
// (of `labels` or the listing), at an address a JSR called, or at a ROM area, with their
// own costs per source line (the listing's, else the address as a line of "program.prg")
// and every JSR site's calls with what they ran in all, from the JSR to the RTS that
// returned (interrupts that came in between included).
// The stopwatch's timings of the runs head it as comments ("# stopwatch 1: ...").
bool writeProfile(const std::string& path, const std::vector<ListingLine>& listing,
                  const LabelTable& labels, const std::vector<StopwatchTimes>& stopwatch,
                  std::string& error);
