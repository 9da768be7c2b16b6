// 64tass listings: where each instruction of a program came from, the source file and
// line, for the counts of --coverage and --profile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
