#include "app/runner/labels.h"

#include <algorithm>
#include <cctype>

#include "app/runner/options.h"
#include "app/runner/outputs.h"
#include "app/runner/read_file.h"

namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool isName(std::string_view text) {
    return !text.empty() && isNameStart(text.front()) &&
           std::all_of(text.begin(), text.end(), isNameChar);
}

// The next word of `line`, up to a blank.
std::string_view takeWord(std::string_view& line) {
    line = trimmed(line);
    std::size_t end = 0;
    while (end < line.size() && !isBlank(line[end])) ++end;
    std::string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
}

// An assignment of a list, a string or a tuple ("colours = [1, 2]"): the assembler's
// constants beside its labels, which stand for no address.
bool holdsNoNumber(std::string_view line) {
    std::size_t equals = line.find('=');
    if (line.starts_with("al ") || equals == std::string_view::npos) return false;
    std::string_view value = trimmed(line.substr(equals + 1));
    return !value.empty() &&
           std::string_view("[(\"'{").find(value.front()) != std::string_view::npos;
}

// One line of a label file: its name and address, or what is wrong with it.
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
        if (!label.starts_with('.') || !isName(label.substr(1))) {
            problem = quotedValue(label, '"') + " is not a label (.name)";
            return false;
        }
        name = label.substr(1);
    } else {
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            problem = "neither \"al ADDRESS .name\" nor \"name = $ADDRESS\"";
            return false;
        }
        std::string_view label = trimmed(line.substr(0, equals));
        std::string_view number = trimmed(line.substr(equals + 1));
        if (!isName(label)) {
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
    std::vector<Label> added;
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
        if (readLine(line, name, address, problem)) {
            auto [known, isNew] = labels.byName.emplace(name, address);
            if (isNew) {
                added.push_back({address, name});
                continue;
            }
            if (known->second == address) continue;
            problem = quotedValue(name, '"') + " is " + hexWord(address) + " here but " +
                      hexWord(known->second) + " before";
        }
        error = fileName + ":" + std::to_string(lineNumber) + ": " + problem;
        for (const Label& label : added) labels.byName.erase(label.name);
        return false;
    }
    std::stable_sort(added.begin(), added.end(),
                     [](const Label& a, const Label& b) { return a.address < b.address; });
    std::vector<Label> merged;
    merged.reserve(labels.byAddress.size() + added.size());
    std::merge(labels.byAddress.begin(), labels.byAddress.end(), added.begin(), added.end(),
               std::back_inserter(merged),
               [](const Label& a, const Label& b) { return a.address < b.address; });
    labels.byAddress = std::move(merged);
    return true;
}

bool readLabelFile(const std::string& path, LabelTable& labels, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, error)) return false;
    return readLabels(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                      path, labels, error);
}

const Label* routineContaining(const LabelTable& labels, uint16_t address) {
    auto after = std::upper_bound(labels.byAddress.begin(), labels.byAddress.end(), address,
                                  [](uint16_t a, const Label& label) { return a < label.address; });
    if (after == labels.byAddress.begin()) return nullptr;
    // The first label read at that address names it.
    uint16_t at = std::prev(after)->address;
    return &*std::lower_bound(labels.byAddress.begin(), after, at,
                              [](const Label& label, uint16_t a) { return label.address < a; });
}

std::string labelFor(const LabelTable& labels, uint16_t address) {
    const Label* label = routineContaining(labels, address);
    if (!label) return "";
    if (label->address == address) return label->name;
    return label->name + "+" + std::to_string(address - label->address);
}

bool parseAddress(std::string_view text, const LabelTable& labels, uint16_t& address,
                  std::string& error) {
    uint64_t value = 0;
    if (parseNumber(text, 0xFFFF, value)) {
        address = static_cast<uint16_t>(value);
        return true;
    }
    std::size_t plus = text.find('+');
    std::string_view name = text.substr(0, plus);
    uint64_t offset = 0;
    if (plus != std::string_view::npos && !parseNumber(text.substr(plus + 1), 0xFFFF, offset)) {
        error = quotedValue(text) + ": the offset after '+' is not a number";
        return false;
    }
    if (!isName(name)) {
        error = quotedValue(text) +
                " is neither an address ($hex, 0xhex or decimal, to $FFFF) nor a label";
        return false;
    }
    auto found = labels.byName.find(name);
    if (found == labels.byName.end()) {
        error = "no label " + quotedValue(name) +
                (labels.byName.empty() ? " (no label file given)" : "");
        return false;
    }
    if (found->second + offset > 0xFFFF) {
        error = quotedValue(text) + " lies past $FFFF";
        return false;
    }
    address = static_cast<uint16_t>(found->second + offset);
    return true;
}
