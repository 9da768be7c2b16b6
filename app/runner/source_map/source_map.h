// One map of a run's program, from the files its toolchains write: where each address's
// code came from (source file and line), the labels and their scopes, the segments. Every
// report that shows an address or counts a line asks it.
//
// Formats read, recognised by their content:
//   ld65 --dbgfile (ca65 assembly and cc65 C built with -g)
//   64tass --list=FILE --line-numbers, and its labels (-l, --vice-labels)
//   ACME --report, and its labels (--vicelabels, -l)
//   dasm -l (listing) and -s (symbols)
//   VICE's monitor labels ("al C:0801 .start"), which ld65's -Ln writes too
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/source_map/labels.h"
#include "app/runner/source_map/listing.h"

// A segment of the linked program, as ld65 lays it out.
struct Segment {
    std::string name;
    uint16_t start;
    uint32_t size;
};

// A source file the map names lines of: its path, and the file and line that named it.
struct NamedSource {
    std::string path;
    std::string namedIn;
    int namedAt;
};

struct SourceMap {
    LabelTable labels;
    std::vector<ListingLine> lines;  // in the order read; at one address, the first read wins
    std::vector<Segment> segments;
    std::vector<NamedSource> sources;
    // ld65's debug info names cc65's C64 start-up (crt0.o of c64.lib) among its modules.
    bool cc65Startup = false;
};

// Whether the program starts and ends through cc65's C64 start-up: the debug info says so,
// or the labels name its exit, `_exit` (ld65's -Ln). Such a program is back in the input
// loop only through exit(), which leaves main's return code in ST.
bool endsThroughCc65Exit(const SourceMap& map);

// The formats, one row each: its name in messages, and the start of the first line that
// is not empty, which tells it. A file that none of them starts is read as labels.
struct DebugInfoFormat {
    std::string_view name;
    std::string_view firstLine;
    bool (*read)(std::string_view text, const std::string& path, SourceMap& map,
                 std::string& error);
};
extern const DebugInfoFormat kDebugInfoFormats[5];
// The formats' names as a list: "ld65 --dbgfile, ..., or labels (...)".
std::string debugInfoFormatList();
// The name of the format of `text`: a row's, or "labels".
std::string_view debugInfoFormatOf(std::string_view text);

// Reads the text of a file of any format above, read from `path`, into `map`. False, with
// one line "FILE:LINE: what is wrong" in `error`, on a damaged file, one of no known
// format, a name that stands for another address already, or a source file named for
// code that is not there; the map then is as it was.
bool readDebugInfo(std::string_view text, const std::string& path, SourceMap& map,
                   std::string& error);
// Reads the file at `path` (readDebugInfo), or says why it cannot be read.
bool readDebugInfoFile(const std::string& path, SourceMap& map, std::string& error);

// The map's lines by address: for each of the 65536 addresses, the first line read whose
// code lies there, or null.
using LineIndex = std::vector<const ListingLine*>;
LineIndex indexLines(const std::vector<ListingLine>& lines);
// "math.s:12", the file's name without its folder, or "" for none.
std::string shortPlace(const ListingLine* line);
