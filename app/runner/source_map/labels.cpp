#include "app/runner/source_map/labels.h"

#include <algorithm>
#include <cctype>

#include "app/runner/io/input_file.h"
#include "app/runner/io/text.h"
#include "app/runner/source_map/reading.h"

namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The next word of `line`, up to a blank.
std::string_view takeWord(std::string_view& line) {
    line = trimmed(line);
    std::size_t end = 0;
    while (end < line.size() && !isBlank(line[end])) ++end;
    std::string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
}

// An assignment of a list, a string or a tuple ("colours = [1, 2]") or of a variable: the
// assembler's constants beside its labels, which stand for no address.
bool holdsNoNumber(std::string_view line) {
    std::size_t equals = line.find('=');
    if (line.starts_with("al ") || equals == std::string_view::npos) return false;
    // A variable of 64tass's (name := value, a loop's counter) holds its last value only.
    if (equals > 0 && line[equals - 1] == ':') return true;
    std::string_view value = trimmed(line.substr(equals + 1));
    return !value.empty() &&
           std::string_view("[(\"'{").find(value.front()) != std::string_view::npos;
}

// One line of a label file: its name and address (no name for a label that names no one
// address), or what is wrong with it.
bool readLine(std::string_view line, std::string& name, uint16_t& address, std::string& problem) {
    uint64_t value = 0;
    if (line.starts_with("al ") || line.starts_with("al\t")) {
        line.remove_prefix(3);
        std::string_view where = takeWord(line);
        std::string_view label = takeWord(line);
        if (where.starts_with("C:") || where.starts_with("c:")) where.remove_prefix(2);
        if (!trimmed(line).empty()) {
            problem = "more than an address and a name after \"al\"";
            return false;
        }
        if (!parseNumber(std::string("$").append(where), 0xFFFF, value)) {
            problem = quotedValue(where, '"') + " is not a hex address to FFFF";
            return false;
        }
        // ca65's cheap locals ("@loop") come again under every label: they name no one
        // address. 64tass writes a scope's label as "scope:name", which it reads as
        // "scope.name".
        if (label.starts_with(".@")) return true;
        std::string dotted(label);
        std::replace(dotted.begin(), dotted.end(), ':', '.');
        if (!dotted.starts_with('.') || !isLabelName(std::string_view(dotted).substr(1))) {
            problem = quotedValue(label, '"') + " is not a label (.name)";
            return false;
        }
        name = dotted.substr(1);
    } else {
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            problem = "neither \"al ADDRESS .name\" nor \"name = $ADDRESS\"";
            return false;
        }
        std::string_view label = trimmed(line.substr(0, equals));
        std::string_view number = trimmed(line.substr(equals + 1));
        if (!isLabelName(label)) {
            problem = quotedValue(label, '"') + " is not a label name";
            return false;
        }
        if (!parseNumber(number, 0xFFFF, value)) {
            problem =
                quotedValue(number, '"') + " is not an address ($hex, 0xhex or decimal, to $FFFF)";
            return false;
        }
        name = label;
    }
    address = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool readLabels(std::string_view text, const std::string& fileName, LabelTable& labels,
                std::string& error) {
    std::size_t lineNumber = 0;
    LabelsAdded added{labels};
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (std::size_t comment = line.find(';'); comment != std::string_view::npos)
            line = line.substr(0, comment);
        line = trimmed(line);
        if (line.empty() || holdsNoNumber(line)) continue;
        std::string name;
        uint16_t address = 0;
        std::string problem;
        if (readLine(line, name, address, problem) &&
            (name.empty() || added.add(name, address, true, problem)))
            continue;
        error = fileName + ":" + std::to_string(lineNumber) + ": " + problem;
        added.drop();
        return false;
    }
    added.keep();
    return true;
}

bool LabelsAdded::add(std::string_view name, uint16_t address, bool showsAddress,
                      std::string& problem, uint32_t size) {
    auto [known, isNew] = table.byName.emplace(name, address);
    if (isNew) {
        named.emplace_back(name);
        if (showsAddress) toShow.push_back({address, std::string(name), size});
        return true;
    }
    if (known->second == address) return true;
    problem = quotedValue(name, '"') + " is " + hexWord(address) + " here but " +
              hexWord(known->second) + " before";
    return false;
}

void LabelsAdded::keep() {
    auto byAddress = [](const Label& a, const Label& b) { return a.address < b.address; };
    std::stable_sort(toShow.begin(), toShow.end(), byAddress);
    std::vector<Label> merged;
    merged.reserve(table.byAddress.size() + toShow.size());
    std::merge(table.byAddress.begin(), table.byAddress.end(), toShow.begin(), toShow.end(),
               std::back_inserter(merged), byAddress);
    table.byAddress = std::move(merged);
    toShow.clear();
    named.clear();
}

void LabelsAdded::drop() {
    for (const std::string& name : named) table.byName.erase(name);
    toShow.clear();
    named.clear();
}

bool readLabelFile(const std::string& path, LabelTable& labels, std::string& error) {
    std::string text;
    return readTextFile(path, text, error) && readLabels(text, path, labels, error);
}

const Label* routineContaining(const LabelTable& labels, uint16_t address) {
    auto after = std::upper_bound(labels.byAddress.begin(), labels.byAddress.end(), address,
                                  [](uint16_t a, const Label& label) { return a < label.address; });
    if (after == labels.byAddress.begin()) return nullptr;
    // The first label read at that address names it.
    uint16_t at = std::prev(after)->address;
    const Label* found =
        &*std::lower_bound(labels.byAddress.begin(), after, at,
                           [](const Label& label, uint16_t a) { return label.address < a; });
    if (found->size && address >= found->address + found->size) return nullptr;
    return found;
}

std::string labelFor(const LabelTable& labels, uint16_t address) {
    const Label* label = routineContaining(labels, address);
    if (!label) return "";
    if (label->address == address) return label->name;
    return label->name + "+" + std::to_string(address - label->address);
}

std::string addressText(uint16_t address, const LabelTable& labels) {
    std::string label = labelFor(labels, address);
    return hexWord(address) + (label.empty() ? "" : " (" + label + ")");
}

bool isLabelName(std::string_view text) {
    return !text.empty() && isNameStart(text.front()) &&
           std::all_of(text.begin(), text.end(), isNameChar);
}
