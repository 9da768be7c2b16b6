// Coverage: the execution counts (reports/counts.h) as an lcov tracefile, placed on the
// source lines of the user's 64tass listings, or on the lines of a disassembly written
// beside it.
#pragma once

#include <string>
#include <vector>

#include "app/runner/source_map/labels.h"
#include "app/runner/source_map/listing.h"

// Writes the counts to `path` as an lcov tracefile: per source line of `listing` the
// times its instruction ran (DA), both ways of each conditional branch (BRDA), and the
// routines that JSRs called, named by `labels`, else by the listing, else by address
// (FN, FNDA). Without a listing the lines are those of a disassembly of every address
// that ran outside the ROM areas, written to `path` + ".s".
bool writeCoverage(const std::string& path, const std::vector<ListingLine>& listing,
                   const LabelTable& labels, std::string& error);
