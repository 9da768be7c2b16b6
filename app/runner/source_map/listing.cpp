#include "app/runner/source_map/listing.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

#include "app/runner/io/input_file.h"
#include "app/runner/io/text.h"
#include "app/runner/source_map/reading.h"

namespace {

// A source file's lines, tabs expanded, read once.
struct SourceFile {
    std::vector<std::string> lines;
    std::size_t next = 0;  // where the search for the next unnumbered line starts
};

// A listing on its way through: the files its ":N" lines name, the current one, the
// source files read so far, and the column where the source text starts.
struct ListingReader {
    std::string path;
    std::map<std::string, std::string> fileNames;  // ":N" to the file's name
    std::map<std::string, SourceFile> sources;
    std::string file;
    std::size_t sourceColumn = 0;
    int number = 0;  // of the listing's line being read

    std::string where() const { return path + ":" + std::to_string(number) + ": "; }

    // ":N ;******  Processing input file: NAME", "Processing file:", "Return to file:": the
    // file the lines that follow come from.
    void takeFileLine(const std::string& line) {
        std::size_t space = line.find(' ');
        std::size_t colon = line.rfind(": ");
        if (space == std::string::npos || colon == std::string::npos || colon < space) return;
        std::string index = line.substr(0, space);
        if (line.find("Processing") != std::string::npos) {
            // Named as given to 64tass; we take it beside the listing.
            fileNames[index] = sourcePath(path, line.substr(colon + 2));
        }
        file = fileNames[index];
    }

    // The line of an instruction that 64tass left unnumbered: found by its text in the
    // source file, after the line found there last.
    bool findInSource(const std::string& source, ListingLine& entry, std::string& error) {
        auto [place, fresh] = sources.try_emplace(file);
        SourceFile& read = place->second;
        if (fresh) {
            std::string text;
            if (!readTextFile(file, text, error)) {
                error = where() +
                        "the listing does not number this line, and its source cannot be read: " +
                        error;
                return false;
            }
            for (std::string_view sourceLine : splitLines(text))
                read.lines.push_back(expandTabs(sourceLine));
        }
        std::size_t at = read.next;
        while (at < read.lines.size() && read.lines[at] != source) ++at;
        if (at == read.lines.size()) {
            error = where() + terminalText(source) + ": not found in " + file + " after line " +
                    std::to_string(read.next);
            return false;
        }
        entry.line = static_cast<int>(at) + 1;
        read.next = at + 1;
        return true;
    }

    // "[LINE]  .ADDR  BYTES  MONITOR  SOURCE": an instruction, into `out`; ">ADDR" is data,
    // and other lines are none. False, with `error`, for a line number that is no line's.
    bool takeInstruction(const std::string& line, std::vector<ListingLine>& out,
                         std::string& error) {
        std::size_t dot = line.find_first_not_of("0123456789 ");
        if (dot == std::string::npos || line[dot] != '.' || file.empty()) return true;
        std::size_t end = line.find(' ', dot);
        std::string address = line.substr(dot + 1, end == std::string::npos ? end : end - dot - 1);
        if (!isHexText(address, 4)) return true;
        // A line without bytes is a label or a scope's start (".proc" lists as its label
        // alone), no instruction.
        if (end == std::string::npos ||
            (sourceColumn > end &&
             trimmed(std::string_view(line).substr(end, sourceColumn - end)).empty()))
            return true;
        std::string source =
            sourceColumn && line.size() > sourceColumn ? line.substr(sourceColumn) : "";
        ListingLine entry{static_cast<uint16_t>(hexValue(address)), file, 0, ""};
        // A label starts the line; 64tass's anonymous "-" and "+" are no names.
        if (!source.empty() &&
            (std::isalpha(static_cast<unsigned char>(source[0])) || source[0] == '_'))
            entry.label = source.substr(0, source.find(' '));
        std::string_view numbered = std::string_view(line).substr(0, dot);
        numbered = numbered.substr(0, numbered.find(' '));
        if (numbered.empty()) {
            if (!findInSource(source, entry, error)) return false;
        } else {
            std::errc problem =
                std::from_chars(numbered.data(), numbered.data() + numbered.size(), entry.line).ec;
            if (problem != std::errc{} || entry.line < 1) {
                error = where() + "the line number " + cutValue(numbered) +
                        (problem != std::errc{} ? " is too large" : " names no line");
                return false;
            }
        }
        out.push_back(std::move(entry));
        return true;
    }
};

}  // namespace

bool readListing(const std::string& path, std::vector<ListingLine>& out, std::string& error) {
    std::string text;
    return readTextFile(path, text, error) && readListingText(text, path, out, error);
}

bool readListingText(std::string_view text, const std::string& path, std::vector<ListingLine>& out,
                     std::string& error) {
    ListingReader reader;
    reader.path = path;
    std::size_t before = out.size();
    for (std::string_view raw : splitLines(text)) {
        ++reader.number;
        std::string line = expandTabs(raw);
        if (line.starts_with(";Line")) {
            reader.sourceColumn = line.find(";Source");
        } else if (line.starts_with(":")) {
            reader.takeFileLine(line);
        } else if (!reader.takeInstruction(line, out, error)) {
            return false;
        }
    }
    if (out.size() == before) {
        error = path + ": no instruction in it (a listing of 64tass --list=FILE --line-numbers?)";
        return false;
    }
    return true;
}
