// The labels of the user's assembler: read from its label files, used wherever the
// runner takes an address (label, label+N or a number) and wherever it shows one
// ("C010 add8+3").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct Label {
    uint16_t address;
    std::string name;
    uint32_t size = 0;  // the bytes it names, where known; 0: up to the next label
};

struct LabelTable {
    std::map<std::string, uint16_t, std::less<>> byName;
    std::vector<Label> byAddress;  // sorted by address; at one address, in the order read
};

// Labels on their way into `table` from one file: the table takes all of a file's labels
// (keep) or, after a problem, none (drop).
struct LabelsAdded {
    LabelTable& table;
    std::vector<Label> toShow = {};       // to name their addresses once kept
    std::vector<std::string> named = {};  // the names new to the table
    // Adds `name` for `address`, by name at once and, when `showsAddress`, as the name
    // of the address in traces and reports once kept. False, with `problem`, when the
    // name stands for another address already.
    bool add(std::string_view name, uint16_t address, bool showsAddress, std::string& problem,
             uint32_t size = 0);
    void keep();
    void drop();
};

// Reads the text of a label file into `labels`: lines in the monitor-command format
// ("al C:0837 .name" or "al 0837 .name", a scope's label "scope:name" read as
// "scope.name", ca65's cheap locals "@name" skipped) or plain assignments ("name = $0837", with an
// optional "; comment"); empty lines, lines of only a comment and assignments of a list,
// string or tuple (the assembler's other constants) are skipped. False, with
// one line "FILE:LINE: what is wrong" in `error`, on the first line that is neither, and
// when a name already stands for another address.
bool readLabels(std::string_view text, const std::string& fileName, LabelTable& labels,
                std::string& error);
// Reads the label file at `path` (readLabels), or says why it cannot be read.
bool readLabelFile(const std::string& path, LabelTable& labels, std::string& error);

// The label at or nearest below `address` (the routine an address lies in), or null;
// null too past the end of a label whose size is known.
const Label* routineContaining(const LabelTable& labels, uint16_t address);
// `address` by its label: "add8" at the label itself, "add8+3" further on, "" where no
// label lies at or below it.
std::string labelFor(const LabelTable& labels, uint16_t address);

// Whether `text` is a label's name: a letter or '_', then letters, digits, '_' and '.'.
bool isLabelName(std::string_view text);
// "$C010", and " (add8+3)" after it when a label lies at or below the address.
std::string addressText(uint16_t address, const LabelTable& labels);
