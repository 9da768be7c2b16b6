// Test files: any text, with the label and debug-info files it names read from their
// names as if each name were the file's text (nothing is read from the disk but the
// sources a debug-info text names). Either it is refused with
// one line, or every test it gave stays inside the machine and the limits.
#include <string>
#include <string_view>

#include "app/runner/routines/routine_file.h"
#include "app/runner/source_map/source_map.h"
#include "fuzz_machine.h"

namespace {
// A debug-info file's name is read as any format's text.
bool mapFromName(std::string_view key, const std::string& path, SourceMap& map,
                 std::string& error) {
    return key == "labels" ? readLabels(path, "labels", map.labels, error)
                           : readDebugInfo(path, "debug-info", map, error);
}
bool within(uint16_t address, std::size_t length) { return address + length <= kRamSize; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    SourceMap given;
    given.labels.byName.emplace("routine", 0xC000);
    given.labels.byAddress.push_back({0xC000, "routine"});
    TestFile file;
    std::string error;
    if (!readTestFile(text, "fuzz.toml", given, file, error, mapFromName)) {
        require(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    require(error.empty() && file.path == "fuzz.toml");
    for (const TestCase& test : file.tests) {
        require(test.line >= 1);
        require(test.maxCycles >= 1 && test.maxCycles <= kMaxTestCycles);
        for (const auto* bytes : {&test.setMemory, &test.expectMemory}) {
            for (const MemoryBytes& set : *bytes)
                require(!set.key.empty() && within(set.address, set.bytes.size()));
        }
        if (test.writes) {
            for (const MemoryRange& range : *test.writes)
                require(range.length >= 1 && within(range.address, range.length));
        }
    }
    return 0;
}
