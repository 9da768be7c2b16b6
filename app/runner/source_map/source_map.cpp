#include "app/runner/source_map/source_map.h"

#include <cctype>
#include <filesystem>

#include "app/runner/io/input_file.h"
#include "app/runner/io/text.h"
#include "app/runner/source_map/readers.h"
#include "app/runner/source_map/reading.h"
#include "cpu/decoder.h"

namespace {

bool readTassListingText(std::string_view text, const std::string& path, SourceMap& map,
                         std::string& error) {
    std::size_t before = map.lines.size();
    if (!readListingText(text, path, map.lines, error)) return false;
    // The files the listing named lines of, each once, where it first did.
    for (std::size_t i = before; i < map.lines.size(); ++i) {
        if (i > before && map.lines[i].file == map.lines[i - 1].file) continue;
        bool known = false;
        for (const NamedSource& source : map.sources)
            known = known || source.path == map.lines[i].file;
        if (!known) map.sources.push_back({map.lines[i].file, path, 0});
    }
    return true;
}

bool readLabelText(std::string_view text, const std::string& path, SourceMap& map,
                   std::string& error) {
    return readLabels(text, path, map.labels, error);
}

std::string_view firstLineOf(std::string_view text) {
    for (std::string_view line : splitLines(text)) {
        if (!trimmed(line).empty()) return line;
    }
    return "";
}

}  // namespace

// clang-format off
const DebugInfoFormat kDebugInfoFormats[5] = {
    // name                firstLine               read
    {"ld65 --dbgfile",     "version\t",            readLd65DebugInfo},
    {"64tass --list",      "; 64tass ",            readTassListingText},
    {"acme --report",      "; ******** Source: ",  readAcmeReport},
    {"dasm -l",            "------- FILE ",        readDasmListing},
    {"dasm -s",            "--- Symbol List",      readDasmSymbols},
};
// clang-format on

std::string debugInfoFormatList() {
    std::string list;
    for (const DebugInfoFormat& format : kDebugInfoFormats) list += std::string(format.name) + ", ";
    return list + "or labels (VICE's al C:0801 .start, or start = $0801)";
}

std::string_view debugInfoFormatOf(std::string_view text) {
    std::string_view first = firstLineOf(text);
    for (const DebugInfoFormat& format : kDebugInfoFormats) {
        if (first.starts_with(format.firstLine)) return format.name;
    }
    return "labels";
}

bool readDebugInfo(std::string_view text, const std::string& path, SourceMap& map,
                   std::string& error) {
    SourceMap before = map;
    std::size_t sources = map.sources.size();
    std::string_view first = firstLineOf(text);
    auto read = readLabelText;
    for (const DebugInfoFormat& format : kDebugInfoFormats) {
        if (first.starts_with(format.firstLine)) read = format.read;
    }
    bool done = read(text, path, map, error);
    LabelTable scratch;
    std::string ignored;
    if (!done && read == readLabelText && !readLabels(first, path, scratch, ignored)) {
        // A file whose first line is not labels either: say what it could have been.
        error += " (it is none of " + debugInfoFormatList() + ")";
    }
    // The sources of the lines read are there to be counted and shown.
    for (std::size_t i = sources; done && i < map.sources.size(); ++i) {
        const NamedSource& source = map.sources[i];
        std::error_code problem;
        if (!std::filesystem::is_regular_file(source.path, problem)) {
            error = placeInFile(source.namedIn, source.namedAt) + "the source " + source.path +
                    " is not there";
            done = false;
        }
    }
    if (!done) map = std::move(before);
    return done;
}

bool readDebugInfoFile(const std::string& path, SourceMap& map, std::string& error) {
    std::string text;
    return readTextFile(path, text, error) && readDebugInfo(text, path, map, error);
}

LineIndex indexLines(const std::vector<ListingLine>& lines) {
    LineIndex index(0x10000, nullptr);
    for (const ListingLine& line : lines) {
        for (uint32_t at = 0; at < line.size && line.address + at < index.size(); ++at) {
            const ListingLine*& place = index[line.address + at];
            if (!place) place = &line;
        }
    }
    return index;
}

bool endsThroughCc65Exit(const SourceMap& map) {
    return map.cc65Startup || map.labels.byName.contains("_exit");
}

std::string shortPlace(const ListingLine* line) {
    if (!line) return "";
    return std::filesystem::path(line->file).filename().string() + ":" + std::to_string(line->line);
}

bool isMnemonic(std::string_view word) {
    word = word.substr(0, word.find('.'));
    if (word.size() != 3) return false;
    std::string upper;
    for (char c : word) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const OpcodeInfo& info : kOpcodeTable<CpuModel::Mos6510>) {
        if (info.mnemonic == upper) return true;
    }
    return false;
}

std::string placeInFile(const std::string& path, int line) {
    return line > 0 ? path + ":" + std::to_string(line) + ": " : path + ": ";
}
