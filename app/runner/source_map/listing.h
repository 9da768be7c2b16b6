// 64tass listings: where each instruction of a program came from, the source file and
// line, for the counts of --coverage and --profile.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One line of source that code came from: the address its bytes start at, the source
// file and line, the label that the line starts with ("" without one), and how many
// bytes from the address on the line's code may take (an assembly line's instruction
// starts at the address; a C line's instructions lie anywhere in its bytes).
struct ListingLine {
    uint16_t address;
    std::string file;
    int line;
    std::string label;
    uint32_t size = 1;
};

// Reads a listing that 64tass writes with --list=FILE --line-numbers: its instructions,
// not its data. Where 64tass leaves a line's number out (it does for the file it was
// given, as opposed to the files that file includes), the line is found by its text in
// the source file, read beside the listing. False, with one line in `error`, when the
// listing or a source file it needs cannot be read, or it holds no instruction.
bool readListing(const std::string& path, std::vector<ListingLine>& lines, std::string& error);
// The same for the text of a listing read from `path`.
bool readListingText(std::string_view text, const std::string& path,
                     std::vector<ListingLine>& lines, std::string& error);
