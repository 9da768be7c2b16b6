// Label files: any text. Either it is refused with one line naming the file, or every
// label it gave reads back, by name and as the routine an address lies in.
#include <algorithm>
#include <string>
#include <string_view>

#include "app/runner/cli/addresses.h"
#include "app/runner/source_map/labels.h"
#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    LabelTable labels;
    std::string error;
    if (!readLabels(text, "fuzz.lbl", labels, error)) {
        require(error.starts_with("fuzz.lbl:") && error.find('\n') == std::string::npos);
        return 0;
    }
    require(std::is_sorted(labels.byAddress.begin(), labels.byAddress.end(),
                           [](const Label& a, const Label& b) { return a.address < b.address; }));
    for (const auto& [name, address] : labels.byName) {
        uint16_t read = 0;
        require(parseAddress(name, labels, read, error) && read == address);
    }
    for (const Label& label : labels.byAddress) {
        require(labels.byName.at(label.name) == label.address);
        for (uint16_t address : {label.address, static_cast<uint16_t>(label.address + 3)}) {
            std::string shown = labelFor(labels, address);
            uint16_t read = 0;
            require(!shown.empty() && parseAddress(shown, labels, read, error));
            require(read == address || address < label.address);  // +3 may wrap past $FFFF
        }
    }
    return 0;
}
