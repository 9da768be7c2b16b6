// ld65's debug info (--dbgfile, of objects assembled or compiled with -g): one record a
// line, "KIND<tab>key=value,key=value", where a value is a number (decimal or 0x hex), a
// "string" or a list of ids joined by '+'. Records name each other by id, in any order:
//   file  id, name, mod          a source file, and the objects built from it
//   seg   id, name, start, size  a segment where the linker put it
//   span  id, seg, start, size   bytes of a segment
//   line  id, file, line, type, span   a source line and the spans its code lies in;
//                                      type 0 assembly, 1 C, 2 a macro's body
//   scope id, name, parent       a scope (.proc, .scope, a C function)
//   sym   id, name, scope or parent, val, type   a symbol: a label (lab), a constant (equ),
//                                                or an import (imp, without a value)
// Other kinds (version, info, mod, lib, csym, type) say nothing the map keeps.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "app/runner/io/input_file.h"
#include "app/runner/io/text.h"
#include "app/runner/source_map/readers.h"
#include "app/runner/source_map/reading.h"
#include "app/runner/source_map/source_map.h"

namespace {

// ld65's debug info of this major version is what the reader knows.
constexpr uint64_t kLd65DebugInfoMajor = 2;
// The line types: what the code of a line is source of.
constexpr uint64_t kAssemblyLine = 0;
constexpr uint64_t kCLine = 1;
constexpr uint64_t kMacroLine = 2;

struct Record {
    std::string_view kind;
    std::map<std::string_view, std::string, std::less<>> fields;
    int number = 0;  // the line of the file
};

// One record's text into `record`, or what is wrong with it.
bool readRecord(std::string_view text, Record& record, std::string& problem) {
    std::size_t tab = text.find('\t');
    if (tab == std::string_view::npos) {
        problem = "not \"KIND<tab>key=value,...\"";
        return false;
    }
    record.kind = text.substr(0, tab);
    std::string_view rest = text.substr(tab + 1);
    while (!rest.empty()) {
        std::size_t equals = rest.find('=');
        if (equals == std::string_view::npos || equals == 0) {
            problem = quotedValue(rest, '"') + " is not key=value";
            return false;
        }
        std::string_view key = rest.substr(0, equals);
        rest.remove_prefix(equals + 1);
        std::string value;
        if (rest.starts_with('"')) {
            std::size_t at = 1;
            for (; at < rest.size() && rest[at] != '"'; ++at) {
                if (rest[at] == '\\' && at + 1 < rest.size()) ++at;
                value += rest[at];
            }
            if (at == rest.size()) {
                problem = "the string of " + std::string(key) + " does not end";
                return false;
            }
            rest.remove_prefix(at + 1);
        } else {
            value = rest.substr(0, rest.find(','));
            rest.remove_prefix(value.size());
        }
        if (!record.fields.emplace(key, std::move(value)).second) {
            problem = std::string(key) + " twice";
            return false;
        }
        if (rest.starts_with(',')) {
            rest.remove_prefix(1);
        } else if (!rest.empty()) {
            problem = "no ',' after " + std::string(key);
            return false;
        }
    }
    return true;
}

// A reader of the records: their fields asked by name, with the file's place in each
// message.
struct Ld65Reader {
    const std::string& path;
    std::string& error;

    bool fail(const Record& record, const std::string& problem) {
        error = placeInFile(path, record.number) + problem;
        return false;
    }
    bool has(const Record& record, std::string_view key) {
        return record.fields.find(key) != record.fields.end();
    }
    // A number field, up to `max`; decimal or 0x hex.
    bool number(const Record& record, std::string_view key, uint64_t max, uint64_t& value) {
        auto found = record.fields.find(key);
        if (found == record.fields.end())
            return fail(record, std::string(record.kind) + " without " + std::string(key));
        std::string_view text = found->second;
        if (text.starts_with("0x") || text.starts_with("0X")) {
            text.remove_prefix(2);
            if (!isHexText(text, 8)) return badNumber(record, key, found->second);
            value = hexValue(text);
        } else if (!parseNumber(text, UINT32_MAX, value) || text.starts_with('$')) {
            return badNumber(record, key, found->second);
        }
        if (value > max) return badNumber(record, key, found->second);
        return true;
    }
    bool badNumber(const Record& record, std::string_view key, std::string_view text) {
        return fail(record,
                    std::string(key) + "=" + cutValue(text) + " is not a number" + " that fits");
    }
    // The ids of a list field ("1+2+3"); none where the field is absent.
    bool ids(const Record& record, std::string_view key, std::vector<uint64_t>& out) {
        auto found = record.fields.find(key);
        if (found == record.fields.end()) return true;
        std::string_view text = found->second;
        while (true) {
            std::size_t plus = text.find('+');
            uint64_t id = 0;
            if (!parseNumber(text.substr(0, plus), UINT32_MAX, id) || text.starts_with('$'))
                return badNumber(record, key, found->second);
            out.push_back(id);
            if (plus == std::string_view::npos) return true;
            text.remove_prefix(plus + 1);
        }
    }
    bool text(const Record& record, std::string_view key, std::string& value) {
        auto found = record.fields.find(key);
        if (found == record.fields.end())
            return fail(record, std::string(record.kind) + " without " + std::string(key));
        value = found->second;
        return true;
    }
};

struct FileEntry {
    std::string name;
    int number;
    std::vector<uint64_t> modules;  // the objects built from it
};
struct SpanEntry {
    uint16_t address;
    uint32_t size;
};
struct ScopeEntry {
    std::string name;
    std::optional<uint64_t> parent;
};
struct LineEntry {
    uint64_t file;
    int line;
    uint64_t type;
    std::vector<SpanEntry> spans;
};

// Ids to records of one kind: an id given twice is a damaged file.
template <class Entry>
bool keep(Ld65Reader& reader, const Record& record, std::map<uint64_t, Entry>& entries,
          Entry entry) {
    uint64_t id = 0;
    if (!reader.number(record, "id", UINT32_MAX, id)) return false;
    if (!entries.emplace(id, std::move(entry)).second)
        return reader.fail(record,
                           std::string(record.kind) + " id " + std::to_string(id) + " twice");
    return true;
}

template <class Entry>
bool lookUp(Ld65Reader& reader, const Record& record, std::string_view key,
            const std::map<uint64_t, Entry>& entries, const Entry*& entry) {
    uint64_t id = 0;
    if (!reader.number(record, key, UINT32_MAX, id)) return false;
    auto found = entries.find(id);
    if (found == entries.end())
        return reader.fail(
            record, std::string(key) + " " + std::to_string(id) + ": no such record in the file");
    entry = &found->second;
    return true;
}

// The sources' lines, each file read once, for the statements of assembly lines.
struct SourceTexts {
    std::map<std::string, std::optional<std::vector<std::string>>> files;

    const std::string* line(const std::string& path, int number) {
        auto [place, fresh] = files.try_emplace(path);
        if (fresh) {
            std::string text, ignored;
            if (readTextFile(path, text, ignored)) {
                place->second.emplace();
                for (std::string_view read : splitLines(text))
                    place->second->push_back(expandTabs(read));
            }
        }
        if (!place->second || number < 1 || number > static_cast<int>(place->second->size()))
            return nullptr;
        return &(*place->second)[static_cast<std::size_t>(number - 1)];
    }
    bool missing(const std::string& path) const { return !files.at(path).has_value(); }
};

// Whether an assembly line's statement is an instruction: past its label ("name:",
// "@local:") and before its comment.
bool isInstruction(std::string_view line) {
    line = trimmed(line.substr(0, line.find(';')));
    if (std::size_t colon = line.find(':');
        colon != std::string_view::npos &&
        line.substr(0, colon).find(' ') == std::string_view::npos)
        line = trimmed(line.substr(colon + 1));
    return isMnemonic(line.substr(0, line.find_first_of(" \t")));
}

// A scope's name with those of the scopes it lies in, "outer.inner" ("" for a module's own
// scope).
std::string scopePath(const std::map<uint64_t, ScopeEntry>& scopes, uint64_t id) {
    std::string path;
    for (int depth = 0; depth < 64; ++depth) {
        auto found = scopes.find(id);
        if (found == scopes.end() || found->second.name.empty()) break;
        path = found->second.name + (path.empty() ? "" : "." + path);
        if (!found->second.parent) break;
        id = *found->second.parent;
    }
    return path;
}

}  // namespace

bool readLd65DebugInfo(std::string_view text, const std::string& path, SourceMap& map,
                       std::string& error) {
    Ld65Reader reader{path, error};
    std::vector<Record> records;
    int number = 0;
    for (std::string_view line : splitLines(text)) {
        ++number;
        if (trimmed(line).empty()) continue;
        Record& record = records.emplace_back();
        record.number = number;
        std::string problem;
        if (!readRecord(line, record, problem)) return reader.fail(record, problem);
    }
    uint64_t major = 0;
    if (records.empty() || records.front().kind != "version") {
        error = placeInFile(path, 1) + "no version record first";
        return false;
    }
    if (!reader.number(records.front(), "major", UINT32_MAX, major)) return false;
    if (major != kLd65DebugInfoMajor)
        return reader.fail(records.front(), "version " + std::to_string(major) +
                                                " of ld65's debug info; this reads version " +
                                                std::to_string(kLd65DebugInfoMajor));

    // cc65's C64 start-up among the modules: crt0.o from a library c64.lib.
    bool cc65Startup = false;
    std::map<uint64_t, std::string> libraries;
    for (const Record& record : records) {
        std::string name;
        uint64_t id = 0;
        if (record.kind != "lib") continue;
        if (!reader.text(record, "name", name) || !reader.number(record, "id", UINT32_MAX, id))
            return false;
        libraries[id] = std::filesystem::path(name).filename().string();
    }
    for (const Record& record : records) {
        std::string name;
        uint64_t library = 0;
        if (record.kind != "mod" || !reader.has(record, "lib")) continue;
        if (!reader.text(record, "name", name) ||
            !reader.number(record, "lib", UINT32_MAX, library))
            return false;
        auto found = libraries.find(library);
        if (name == "crt0.o" && found != libraries.end() && found->second == "c64.lib")
            cc65Startup = true;
    }

    // The records that others name, first.
    std::map<uint64_t, FileEntry> files;
    std::map<uint64_t, Segment> segments;
    std::map<uint64_t, ScopeEntry> scopes;
    for (const Record& record : records) {
        if (record.kind == "file") {
            FileEntry file{"", record.number, {}};
            if (!reader.text(record, "name", file.name) ||
                !reader.ids(record, "mod", file.modules) || !keep(reader, record, files, file))
                return false;
        } else if (record.kind == "seg") {
            Segment segment;
            uint64_t start = 0, size = 0;
            if (!reader.text(record, "name", segment.name) ||
                !reader.number(record, "start", 0xFFFF, start) ||
                !reader.number(record, "size", 0x10000 - start, size))
                return false;
            segment.start = static_cast<uint16_t>(start);
            segment.size = static_cast<uint32_t>(size);
            if (!keep(reader, record, segments, segment)) return false;
        } else if (record.kind == "scope") {
            ScopeEntry scope;
            uint64_t parent = 0;
            if (!reader.text(record, "name", scope.name)) return false;
            if (reader.has(record, "parent")) {
                if (!reader.number(record, "parent", UINT32_MAX, parent)) return false;
                scope.parent = parent;
            }
            if (!keep(reader, record, scopes, scope)) return false;
        }
    }
    std::map<uint64_t, SpanEntry> spans;
    for (const Record& record : records) {
        if (record.kind != "span") continue;
        const Segment* segment = nullptr;
        uint64_t start = 0, size = 0;
        if (!lookUp(reader, record, "seg", segments, segment) ||
            !reader.number(record, "start", segment->size, start) ||
            !reader.number(record, "size", segment->size - start, size) ||
            !keep(reader, record, spans,
                  SpanEntry{static_cast<uint16_t>(segment->start + start),
                            static_cast<uint32_t>(size)}))
            return false;
    }

    // The lines with code: a C line's code is also its generated assembly's, and an
    // assembly line's also a macro's body: each address keeps the line nearest to what
    // the user wrote (C, then assembly, then a macro's body).
    std::vector<LineEntry> lines;
    for (const Record& record : records) {
        if (record.kind != "line") continue;
        LineEntry entry{};
        const FileEntry* file = nullptr;
        uint64_t line = 0;
        std::vector<uint64_t> spanIds;
        if (!lookUp(reader, record, "file", files, file) ||
            !reader.number(record, "line", INT32_MAX, line) || !reader.ids(record, "span", spanIds))
            return false;
        if (reader.has(record, "type") && !reader.number(record, "type", UINT32_MAX, entry.type))
            return false;
        reader.number(record, "file", UINT32_MAX, entry.file);
        entry.line = static_cast<int>(line);
        for (uint64_t id : spanIds) {
            auto span = spans.find(id);
            if (span == spans.end())
                return reader.fail(record,
                                   "span " + std::to_string(id) + ": no such record in the file");
            if (span->second.size > 0) entry.spans.push_back(span->second);
        }
        if (!entry.spans.empty() && entry.type <= kMacroLine) lines.push_back(std::move(entry));
    }
    // cc65 assembles the file it generates from C and deletes it: an assembly line of an
    // object compiled from C whose source is gone is no line of the user's.
    std::set<uint64_t> fromC;
    for (const LineEntry& line : lines) {
        if (line.type == kCLine)
            fromC.insert(files[line.file].modules.begin(), files[line.file].modules.end());
    }
    auto generated = [&](const FileEntry& file) {
        return std::any_of(file.modules.begin(), file.modules.end(),
                           [&](uint64_t module) { return fromC.count(module) > 0; });
    };
    std::vector<uint8_t> nearest(0x10000, UINT8_MAX);  // the rank of the line kept at a byte
    constexpr uint64_t kNearestFirst[] = {kCLine, kAssemblyLine, kMacroLine};
    std::vector<ListingLine> kept;
    std::set<uint64_t> filesNamed;
    SourceTexts texts;
    for (uint8_t rank = 0; rank < std::size(kNearestFirst); ++rank) {
        for (const LineEntry& line : lines) {
            if (line.type != kNearestFirst[rank]) continue;
            const FileEntry& file = files[line.file];
            std::string source = sourcePath(path, file.name);
            for (const SpanEntry& span : line.spans) {
                if (nearest[span.address] < rank) continue;
                // An assembly line is code where its statement is an instruction (a
                // line of .byte is data), as its source says.
                if (line.type != kCLine) {
                    const std::string* statement = texts.line(source, line.line);
                    if (!statement && texts.missing(source) && generated(file)) continue;
                    if (!statement) {
                        error =
                            placeInFile(path, file.number) + "the source " + source +
                            (texts.missing(source) ? " is not there"
                                                   : " has no line " + std::to_string(line.line));
                        return false;
                    }
                    if (!isInstruction(*statement)) continue;
                }
                for (uint32_t at = 0; at < span.size; ++at)
                    nearest[span.address + at] = std::min(nearest[span.address + at], rank);
                kept.push_back({span.address, source, line.line, "", span.size});
                filesNamed.insert(line.file);
            }
        }
    }
    std::stable_sort(kept.begin(), kept.end(), [](const ListingLine& a, const ListingLine& b) {
        return a.address < b.address;
    });
    map.lines.insert(map.lines.end(), kept.begin(), kept.end());
    for (uint64_t id : filesNamed)
        map.sources.push_back({sourcePath(path, files[id].name), path, files[id].number});
    for (const auto& [id, segment] : segments) map.segments.push_back(segment);

    // The symbols with an address: labels, and constants by name only. A label in a
    // scope is named "scope.label"; ca65's cheap locals ("@loop", of a parent symbol)
    // name no one address, nor does a name that modules define at different addresses.
    struct Named {
        std::set<uint16_t> addresses;
        bool shown;
        const Record* record;
        uint32_t size;  // its own, else to its segment's end
    };
    std::map<std::string, Named> named;
    for (const Record& record : records) {
        if (record.kind != "sym" || reader.has(record, "parent")) continue;
        std::string type, name;
        if (!reader.text(record, "type", type) || !reader.text(record, "name", name)) return false;
        if (type != "lab" && type != "equ") continue;
        uint64_t value = 0, scope = 0;
        if (!reader.number(record, "val", type == "lab" ? 0xFFFF : UINT32_MAX, value) ||
            !reader.number(record, "scope", UINT32_MAX, scope))
            return false;
        if (value > 0xFFFF) continue;  // a constant that is no address
        std::string inScope = scopePath(scopes, scope);
        std::string full = inScope.empty() ? name : inScope + "." + name;
        if (!isLabelName(full))
            return reader.fail(record, quotedValue(full, '"') + " is not a label name");
        uint64_t size = 0, segmentId = 0;
        if (reader.has(record, "size") && !reader.number(record, "size", 0x10000, size))
            return false;
        if (!size && reader.has(record, "seg")) {
            if (!reader.number(record, "seg", UINT32_MAX, segmentId)) return false;
            auto segment = segments.find(segmentId);
            if (segment != segments.end() && value >= segment->second.start &&
                value < segment->second.start + segment->second.size)
                size = segment->second.start + segment->second.size - value;
        }
        auto [place, fresh] = named.try_emplace(
            full,
            Named{{}, type == "lab" && inScope.empty(), &record, static_cast<uint32_t>(size)});
        place->second.addresses.insert(static_cast<uint16_t>(value));
    }
    LabelsAdded added{map.labels};
    for (const auto& [name, entry] : named) {
        if (entry.addresses.size() != 1) continue;
        std::string problem;
        if (!added.add(name, *entry.addresses.begin(), entry.shown, problem, entry.size)) {
            added.drop();
            return reader.fail(*entry.record, problem);
        }
    }
    added.keep();
    map.cc65Startup = map.cc65Startup || cc65Startup;
    return true;
}
