// Coverage and profiles: the machine's execution counts (what ran at each address, and how often a
// branch was taken or a routine called) as an lcov tracefile, placed on the source lines
// of the user's 64tass listings, or on the lines of a disassembly written beside it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/debug_cells.h"
#include "app/runner/labels.h"

// One instruction of a listing: its address, the source file and line it came from, and
// the label that the line starts with ("" without one).
struct ListingLine {
    uint16_t address;
    std::string file;
    int line;
    std::string label;
};

// Reads a listing that 64tass writes with --list=FILE --line-numbers: its instructions,
// not its data. Where 64tass leaves a line's number out (it does for the file it was
// given, as opposed to the files that file includes), the line is found by its text in
// the source file, read beside the listing. False, with one line in `error`, when the
// listing or a source file it needs cannot be read, or it holds no instruction.
bool readListing(const std::string& path, std::vector<ListingLine>& lines, std::string& error);

// The counts that are not zero, with the bytes at their addresses, for the trip from a
// run's process to the batch; and the batch adding them to its own counts.
std::string encodeCounts();
bool mergeCounts(std::string_view bytes);

// Writes the counts to `path` as an lcov tracefile: per source line of `listing` the
// times its instruction ran (DA), both ways of each conditional branch (BRDA), and the
// routines that JSRs called, named by `labels`, else by the listing, else by address
// (FN, FNDA). Without a listing the lines are those of a disassembly of every address
// that ran outside the ROM areas, written to `path` + ".s".
bool writeCoverage(const std::string& path, const std::vector<ListingLine>& listing,
                   const LabelTable& labels, std::string& error);

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
