#include "app/runner/program/firmware_labels.h"

#include <algorithm>
#include <string_view>

#include "app/runner/program/built_in_firmware.h"
#include "cpu/state.h"

const LabelTable& firmwareLabels() {
    static const LabelTable table = [] {
        struct Image {
            std::string_view symbols;
            RomWindow window;
        };
        const Image images[] = {{kBuiltInBasicLabels, kRomWindows[0]},
                                {kBuiltInKernalLabels, kRomWindows[2]}};
        LabelTable firmware;
        LabelsAdded added{firmware};
        for (const Image& image : images) {
            // 64tass's symbols: names of addresses and other numbers alike (the reader
            // skips strings and lists); only those in the image's window name its code.
            LabelTable symbols;
            std::string error;
            if (!readLabels(image.symbols, "firmware", symbols, error)) continue;
            std::vector<const Label*> inWindow;
            for (const Label& label : symbols.byAddress) {
                if (label.address >= image.window.first && label.address < image.window.end)
                    inWindow.push_back(&label);
            }
            for (std::size_t i = 0; i < inWindow.size(); ++i) {
                uint32_t next = image.window.end;
                for (std::size_t j = i + 1; j < inWindow.size(); ++j) {
                    if (inWindow[j]->address != inWindow[i]->address) {
                        next = inWindow[j]->address;
                        break;
                    }
                }
                std::string problem;
                added.add(inWindow[i]->name, inWindow[i]->address, true, problem,
                          next - inWindow[i]->address);
            }
        }
        added.keep();
        return firmware;
    }();
    return table;
}

LabelTable shownLabels(const LabelTable& labels, const std::string& romDir) {
    if (!romDir.empty()) return labels;
    LabelTable shown = labels;
    LabelsAdded added{shown};
    for (const Label& label : firmwareLabels().byAddress) {
        auto at = std::lower_bound(labels.byAddress.begin(), labels.byAddress.end(), label.address,
                                   [](const Label& l, uint16_t a) { return l.address < a; });
        bool named = at != labels.byAddress.end() && at->address == label.address;
        if (named || labels.byName.contains(label.name)) continue;
        std::string problem;
        added.add(label.name, label.address, true, problem, label.size);
    }
    added.keep();
    return shown;
}
