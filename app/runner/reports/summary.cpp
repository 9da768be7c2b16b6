#include "app/runner/reports/summary.h"

#include <cinttypes>
#include <cstdio>

#include "app/runner/io/text.h"

namespace {

constexpr uint64_t kFnvPrime = 0x100000001B3;

std::string jsonBool(bool value) { return value ? "true" : "false"; }

}  // namespace

uint64_t fnv1a64(const uint8_t* bytes, std::size_t length, uint64_t hash) {
    for (std::size_t i = 0; i < length; ++i) {
        hash ^= bytes[i];
        hash *= kFnvPrime;
    }
    return hash;
}

uint64_t machineStateHash() {
    uint64_t hash = fnv1a64(memory.ram, kRamSize);
    const uint8_t registers[] = {cpu.regA,
                                 cpu.regX,
                                 cpu.regY,
                                 cpu.regS,
                                 cpu.regP,
                                 static_cast<uint8_t>(cpu.regPC & 0xFF),
                                 static_cast<uint8_t>(cpu.regPC >> 8)};
    return fnv1a64(registers, sizeof registers, hash);
}

FieldText fieldText(const std::string& text, unsigned) { return {text, true}; }
FieldText fieldText(Verdict verdict, unsigned) {
    return {std::string(verdictInfo(verdict).word), true};
}
FieldText fieldText(StopReason stop, unsigned) { return {std::string(stopReasonName(stop)), true}; }
FieldText fieldText(int exitByte, unsigned) {
    return {exitByte < 0 ? "null" : std::to_string(exitByte), false};
}
FieldText fieldText(uint64_t number, unsigned uses) {
    if (uses & kHashText) return {formatted("fnv1a64:%016" PRIx64, number), true};
    return {std::to_string(number), false};
}
FieldText fieldText(const CpuState& r, unsigned) {
    return {formatted("{\"a\":%u,\"x\":%u,\"y\":%u,\"s\":%u,\"p\":%u,\"pc\":%u}", unsigned{r.regA},
                      unsigned{r.regX}, unsigned{r.regY}, unsigned{r.regS}, unsigned{r.regP},
                      unsigned{r.regPC}),
            false};
}

FieldText fieldText(const std::vector<std::string>& lines, unsigned) {
    std::string json = "[";
    for (const std::string& line : lines) {
        if (json.size() > 1) json += ',';
        json += jsonString(line);
    }
    return {json + "]", false};
}
FieldText fieldText(const std::vector<StopwatchTimes>& times, unsigned) {
    std::string json = "[";
    for (const StopwatchTimes& t : times) {
        json += formatted("%s{\"id\":%" PRIu64 ",\"count\":%" PRIu64 ",\"min\":%" PRIu64
                          ",\"max\":%" PRIu64 ",\"total\":%" PRIu64 "}",
                          json.size() > 1 ? "," : "", t.id, t.count, t.min, t.max, t.total);
    }
    return {json + "]", false};
}

std::string summaryJson(const RunResult& result) {
    std::string json = "{";
    forEachResultField(result, [&](std::string_view name, const auto& value, unsigned uses) {
        if (!(uses & kSummarised)) return;
        if (json.size() > 1) json += ',';
        FieldText field = fieldText(value, uses);
        json += jsonString(name) + ":" + (field.quoted ? jsonString(field.text) : field.text);
    });
    // What follows from the fields, for readers that want it at hand.
    const CpuState& r = result.registers;
    auto flag = [&](uint8_t mask) { return jsonBool((r.regP & mask) != 0); };
    json += ",\"status\":" + std::to_string(result.status());
    json += ",\"regPC\":" + std::to_string(r.regPC);
    json += ",\"flags\":{\"n\":" + flag(kFlagN) + ",\"v\":" + flag(kFlagV) +
            ",\"b\":" + flag(kFlagB) + ",\"d\":" + flag(kFlagD) + ",\"i\":" + flag(kFlagI) +
            ",\"z\":" + flag(kFlagZ) + ",\"c\":" + flag(kFlagC) + "}";
    return json + "}\n";
}

bool TestsSummary::add(const RunResult& result, std::string& error) {
    std::string one = summaryJson(result);
    one.pop_back();  // its newline: the array's separator follows
    return spool_.add((spool_.pieces() > 0 ? ",\n" : "") + one, error);
}

bool TestsSummary::write(const std::string& path, std::string& error) {
    return spool_.write(path, "[\n", spool_.pieces() > 0 ? "\n]\n" : "]\n", error);
}
