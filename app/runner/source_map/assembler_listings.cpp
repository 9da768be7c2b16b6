// The listings and symbol files of ACME and dasm. Both list a line as its number in its
// file, its address, the bytes it assembled to and its source; a line counts as code
// where its statement is an instruction (data, directives and macro calls are none).
#include <algorithm>
#include <cctype>

#include "app/runner/io/text.h"
#include "app/runner/source_map/readers.h"
#include "app/runner/source_map/reading.h"
#include "app/runner/source_map/source_map.h"

namespace {

// ACME's report: "; ******** Source: NAME" opens each stretch of a file; then lines of
// the line number in 6 columns, 2 blanks, the address, a blank, the bytes in hex and,
// from column 32, the source line as written.
constexpr std::string_view kAcmeSourceLine = "; ******** Source: ";
constexpr std::size_t kAcmeAddressColumn = 8;
constexpr std::size_t kAcmeBytesColumn = 13;
constexpr std::size_t kAcmeSourceColumn = 32;
// dasm's listing: "------- FILE NAME LEVEL n PASS m" opens each stretch of a file, then
// lines of the line number, the address, up to kDasmBytesShown bytes ('*' after them when
// there are more) and the source as dasm lays it out again.
constexpr std::string_view kDasmFileLine = "------- FILE ";
constexpr int kDasmBytesShown = 4;

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

std::string_view firstWord(std::string_view text) {
    text = trimmed(text);
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ') ++end;
    return text.substr(0, end);
}

// The source of a listed line: its label (the word at its start, "" where it starts with a
// blank or names a local label) and whether its statement is an instruction.
struct ListedSource {
    std::string label;
    bool code = false;
};
ListedSource readSource(std::string_view source) {
    ListedSource read;
    std::string_view statement = source;
    if (!source.empty() && source.front() != ' ') {
        std::string_view word = firstWord(source);
        if (isMnemonic(word)) {
            read.code = true;
            return read;
        }
        statement = source.substr(word.size());
        if (word.ends_with(':')) word.remove_suffix(1);
        if (isLabelName(word)) read.label = word;
    }
    read.code = isMnemonic(firstWord(statement));
    return read;
}

// A file's line number, checked: a listing's lines of code all have one.
bool lineNumber(std::string_view text, const std::string& path, int number, int& line,
                std::string& error) {
    uint64_t value = 0;
    if (!isDigits(text) || !parseNumber(text, INT32_MAX, value)) {
        error = placeInFile(path, number) + quotedValue(text, '"') + " is not a line number";
        return false;
    }
    line = static_cast<int>(value);
    return true;
}

// One line of a listing that may be code: its address and line number as listed, the
// bytes it assembled to, and its source.
struct ListedLine {
    std::string_view address;
    std::string_view number;
    uint32_t size = 0;
    std::string_view source;
};

// A listing format: the line that opens each stretch of a file (the file's name after
// it), how a line of code reads, and what the file should have been.
struct ListingFormat {
    std::string_view fileLine;
    bool (*takeLine)(std::string_view line, ListedLine& listed);  // false: no bytes
    std::string_view what;
};

bool readListed(std::string_view text, const std::string& path, SourceMap& map, std::string& error,
                const ListingFormat& format) {
    std::string file;
    int number = 0;
    std::size_t before = map.lines.size();
    for (std::string_view raw : splitLines(text)) {
        ++number;
        if (raw.starts_with(format.fileLine)) {
            // dasm adds " LEVEL n PASS m" after the name.
            std::string_view name = raw.substr(format.fileLine.size());
            file = sourcePath(path, trimmed(name.substr(0, name.find(" LEVEL "))));
            map.sources.push_back({file, path, number});
            continue;
        }
        std::string line = expandTabs(raw);
        ListedLine listed;
        if (!format.takeLine(line, listed)) continue;
        ListedSource source = readSource(listed.source);
        if (!source.code) continue;
        int lineInFile = 0;
        if (!lineNumber(listed.number, path, number, lineInFile, error)) return false;
        if (file.empty()) {
            error = placeInFile(path, number) + "code before the first \"" +
                    std::string(trimmed(format.fileLine)) + "\" line";
            return false;
        }
        map.lines.push_back({static_cast<uint16_t>(hexValue(listed.address)), file, lineInFile,
                             source.label, listed.size});
    }
    if (map.lines.size() > before) return true;
    error = path + ": no instruction in it (" + std::string(format.what) + "?)";
    return false;
}

// ACME: the columns are fixed.
bool takeAcmeLine(std::string_view line, ListedLine& listed) {
    if (line.size() <= kAcmeBytesColumn || line[kAcmeAddressColumn + 4] != ' ' ||
        line[kAcmeBytesColumn] == ' ')
        return false;
    listed.address = line.substr(kAcmeAddressColumn, 4);
    // Hex pairs; a long line's bytes end in "..." where ACME stopped showing them.
    std::string_view bytes = firstWord(line.substr(kAcmeBytesColumn));
    if (bytes.ends_with("...")) bytes.remove_suffix(3);
    if (!isHexText(listed.address, 4) || bytes.empty() || bytes.size() % 2 != 0 ||
        !std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return false;
    listed.number = trimmed(line.substr(0, kAcmeAddressColumn));
    listed.size = static_cast<uint32_t>(bytes.size() / 2);
    listed.source = line.size() > kAcmeSourceColumn ? line.substr(kAcmeSourceColumn) : "";
    return true;
}

// dasm: the fields are a blank or more apart; the bytes are hex pairs a blank apart, and
// the source starts past a wider gap, or right after the '*' that follows the last byte
// shown.
bool takeDasmLine(std::string_view line, ListedLine& listed) {
    std::string_view rest = trimmed(line);
    listed.number = firstWord(rest);
    rest = trimmed(rest.substr(listed.number.size()));
    listed.address = firstWord(rest);
    if (!isHexText(listed.address, 4)) return false;
    rest = trimmed(rest.substr(listed.address.size()));
    while (listed.size < kDasmBytesShown && rest.size() >= 2 && isHexText(rest.substr(0, 2), 2) &&
           (rest.size() == 2 || rest[2] == ' ' || rest[2] == '*')) {
        ++listed.size;
        bool more = rest.size() > 2 && rest[2] == '*';
        bool gap = rest.size() > 3 && rest[2] == ' ' && rest[3] == ' ';
        rest.remove_prefix(std::min<std::size_t>(rest.size(), 3));
        if (more || gap) break;
    }
    listed.source = trimmed(rest);
    return listed.size > 0;
}

constexpr ListingFormat kAcmeReport = {kAcmeSourceLine, takeAcmeLine, "a report of acme --report"};
constexpr ListingFormat kDasmListing = {kDasmFileLine, takeDasmLine, "a listing of dasm -l"};

}  // namespace

bool readAcmeReport(std::string_view text, const std::string& path, SourceMap& map,
                    std::string& error) {
    return readListed(text, path, map, error, kAcmeReport);
}

bool readDasmListing(std::string_view text, const std::string& path, SourceMap& map,
                     std::string& error) {
    return readListed(text, path, map, error, kDasmListing);
}

// dasm's symbols: "--- Symbol List", then "NAME  VALUE  (FLAGS)" a line, then "--- End of
// Symbol List."; a subroutine's local labels ("1.loop") name no one address, nor do
// values past $FFFF or strings.
bool readDasmSymbols(std::string_view text, const std::string& path, SourceMap& map,
                     std::string& error) {
    LabelsAdded added{map.labels};
    int number = 0;
    for (std::string_view line : splitLines(text)) {
        ++number;
        if (line.starts_with("---") || trimmed(line).empty()) continue;
        std::string_view name = firstWord(line);
        std::string_view value = firstWord(trimmed(line).substr(name.size()));
        if (!name.empty() && std::isdigit(static_cast<unsigned char>(name.front()))) continue;
        if (!isLabelName(name)) {
            error = placeInFile(path, number) + quotedValue(name, '"') + " is not a label name";
            added.drop();
            return false;
        }
        if (!isHexText(value, 8)) {
            if (value.starts_with('"')) continue;
            error = placeInFile(path, number) + quotedValue(value, '"') + " is not a hex value";
            added.drop();
            return false;
        }
        if (hexValue(value) > 0xFFFF) continue;
        std::string problem;
        if (!added.add(name, static_cast<uint16_t>(hexValue(value)), true, problem)) {
            error = placeInFile(path, number) + problem;
            added.drop();
            return false;
        }
    }
    added.keep();
    return true;
}
