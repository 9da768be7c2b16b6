// Debug-info files of every format the source map reads: any text, read as a file beside
// a source "prog.s" of 64 instructions (which the seeds name). Either it is refused with
// one line naming the file and the map is as it was, or every line it gave lies inside
// the address space and every label it gave reads back.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "app/runner/cli/addresses.h"
#include "app/runner/source_map/source_map.h"
#include "fuzz_machine.h"

namespace {

// The folder of the source the seeds name, made once.
const std::string& sourceFolder() {
    static const std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "breadbin-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr);
        std::ofstream source(pattern + "/prog.s");
        for (int line = 0; line < 64; ++line) source << "        lda #0\n";
        return pattern;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string path = sourceFolder() + "/fuzz.dbg";
    SourceMap map;
    map.labels.byName.emplace("given", 0x1000);
    map.labels.byAddress.push_back({0x1000, "given"});
    std::string error;
    if (!readDebugInfo(text, path, map, error)) {
        require(error.starts_with(path) && error.find('\n') == std::string::npos);
        require(map.labels.byName.size() == 1 && map.lines.empty() && map.sources.empty());
        return 0;
    }
    for (const ListingLine& line : map.lines) require(line.size >= 1 && line.line >= 0);
    LineIndex index = indexLines(map.lines);
    for (std::size_t address = 0; address < index.size(); ++address) {
        const ListingLine* line = index[address];
        require(!line || (line->address <= address && address < line->address + line->size));
    }
    for (const auto& [name, address] : map.labels.byName) {
        uint16_t read = 0;
        require(parseAddress(name, map.labels, read, error) && read == address);
    }
    return 0;
}
