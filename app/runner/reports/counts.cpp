#include "app/runner/reports/counts.h"

#include <map>

#include "app/runner/io/text.h"
#include "cpu/state.h"

namespace {

// The bytes at an address as a run in another process saw them, for the disassembly.
std::map<uint16_t, std::array<uint8_t, 3>> bytesSeen;

void putNumber(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>(value >> (8 * i));
}
uint64_t takeNumber(const char* at) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= uint64_t{static_cast<uint8_t>(at[i])} << (8 * i);
    return value;
}
// Encoded, each count is a tag and its fields: 'A', an address, its 3 bytes and its four
// numbers; 'C', a JSR site, its target and the three numbers of its calls.
constexpr char kAddressTag = 'A';
constexpr char kCallTag = 'C';
constexpr std::size_t kAddressEntry = 1 + 2 + 3 + 4 * 8;
constexpr std::size_t kCallEntry = 1 + 2 + 2 + 3 * 8;

void putAddress(std::string& out, uint16_t address) {
    out += static_cast<char>(address & 0xFF);
    out += static_cast<char>(address >> 8);
}
uint16_t takeAddress(const char* at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(at[0]) | static_cast<uint8_t>(at[1]) << 8);
}

}  // namespace

std::array<uint8_t, 3> bytesAt(uint16_t address) {
    if (auto seen = bytesSeen.find(address); seen != bytesSeen.end()) return seen->second;
    return {readByte(address), readByte(static_cast<uint16_t>(address + 1)),
            readByte(static_cast<uint16_t>(address + 2))};
}

std::string encodeCounts() {
    std::string out;
    if (!counting.executionCounts) return out;
    for (std::size_t a = 0; a < kRamSize; ++a) {
        const ExecutionCount& count = counting.executionCounts[a];
        if (!count.instructions && !count.calls) continue;
        auto address = static_cast<uint16_t>(a);
        out += kAddressTag;
        putAddress(out, address);
        for (uint8_t byte : bytesAt(address)) out += static_cast<char>(byte);
        for (uint64_t value : {count.instructions, count.cycles, count.taken, count.calls})
            putNumber(out, value);
    }
    forEachCallCount([&](uint16_t site, const CallCount& count) {
        out += kCallTag;
        putAddress(out, site);
        putAddress(out, count.target);
        for (uint64_t value : {count.calls, count.instructions, count.cycles})
            putNumber(out, value);
    });
    return out;
}

bool mergeCounts(std::string_view bytes) {
    if (!counting.executionCounts) return false;
    for (std::size_t at = 0; at < bytes.size();) {
        const char* entry = bytes.data() + at;
        if (entry[0] == kAddressTag && bytes.size() - at >= kAddressEntry) {
            uint16_t address = takeAddress(entry + 1);
            bytesSeen[address] = {static_cast<uint8_t>(entry[3]), static_cast<uint8_t>(entry[4]),
                                  static_cast<uint8_t>(entry[5])};
            ExecutionCount& count = counting.executionCounts[address];
            count.instructions += takeNumber(entry + 6);
            count.cycles += takeNumber(entry + 14);
            count.taken += takeNumber(entry + 22);
            count.calls += takeNumber(entry + 30);
            at += kAddressEntry;
        } else if (entry[0] == kCallTag && bytes.size() - at >= kCallEntry) {
            uint16_t site = takeAddress(entry + 1);
            uint16_t target = takeAddress(entry + 3);
            uint64_t calls = takeNumber(entry + 5);
            if (calls == 0) return false;  // a site's count holds at least one call
            CallCount& count = callCountOf(site, target);
            count.calls += calls;
            count.instructions += takeNumber(entry + 13);
            count.cycles += takeNumber(entry + 21);
            at += kCallEntry;
        } else {
            return false;
        }
    }
    return true;
}

std::string routineName(uint16_t address, const LabelTable& labels, const std::string& listed) {
    const Label* label = routineContaining(labels, address);
    if (label && label->address == address) return label->name;
    return listed.empty() ? hexWord(address) : listed;
}
