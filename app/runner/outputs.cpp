#include "app/runner/outputs.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "cpu/decoder.h"

namespace {

constexpr uint64_t kFnvPrime = 0x100000001B3;
constexpr std::size_t kDumpBytesPerLine = 16;

std::string formatted(const char* format, auto... values) {
    char text[128];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string jsonBool(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string_view stopReasonName(StopReason stop) {
    switch (stop) {
        case StopReason::DebugExit: return "debug-exit";
        case StopReason::UntilText: return "until-text";
        case StopReason::FailText: return "fail-text";
        case StopReason::InputLoop: return "input-loop";
        case StopReason::FrameLimit: return "frame-limit";
        case StopReason::CycleLimit: return "cycle-limit";
        case StopReason::Jam: return "jam";
        case StopReason::Returned: return "returned";
        case StopReason::NotRun: return "not-run";
        case StopReason::Crashed: return "crashed";
    }
    return "unknown";
}

std::string_view verdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass: return "PASS";
        case Verdict::Fail: return "FAIL";
        case Verdict::Limit: return "LIMIT";
        case Verdict::Error: return "ERROR";
    }
    return "ERROR";
}

RunResult badInput(std::string program, std::string message) {
    RunResult result;
    result.program = std::move(program);
    result.message = std::move(message);
    return result;
}

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

int32_t nextCodePoint(std::string_view text, std::size_t& at) {
    auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    constexpr int32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};  // below: overlong
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        ++at;
        return kInvalidByte;
    }
    int32_t codePoint = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        uint8_t next = byte(at + i);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return kInvalidByte;
        }
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || surrogate) {
        ++at;
        return kInvalidByte;
    }
    at += length;
    return codePoint;
}

void appendUtf8(std::string& out, int32_t codePoint) {
    auto put = [&](int32_t value) { out += static_cast<char>(value); };
    if (codePoint < 0x80) {
        put(codePoint);
    } else if (codePoint < 0x800) {
        put(0xC0 | codePoint >> 6);
        put(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        put(0xE0 | codePoint >> 12);
        put(0x80 | (codePoint >> 6 & 0x3F));
        put(0x80 | (codePoint & 0x3F));
    } else {
        put(0xF0 | codePoint >> 18);
        put(0x80 | (codePoint >> 12 & 0x3F));
        put(0x80 | (codePoint >> 6 & 0x3F));
        put(0x80 | (codePoint & 0x3F));
    }
}

namespace {
bool isControl(int32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
}
}  // namespace

std::string terminalText(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t start = at;
        int32_t codePoint = nextCodePoint(text, at);
        if (codePoint == '\n') {
            out += "\\n";
        } else if (codePoint == '\t') {
            out += "\\t";
        } else if (codePoint == '\r') {
            out += "\\r";
        } else if (codePoint == kInvalidByte || isControl(codePoint)) {
            // The bytes as they came: one escape each.
            for (std::size_t i = start; i < at; ++i)
                out += formatted("\\x%02x", unsigned{static_cast<uint8_t>(text[i])});
        } else {
            out.append(text.substr(start, at - start));
        }
    }
    return out;
}

namespace {
// How many of the first `bytes` bytes of `text` make whole UTF-8 sequences: the cut backs
// off over the continuation bytes (10xxxxxx) of a sequence it would split.
std::size_t wholeSequences(std::string_view text, std::size_t bytes) {
    std::size_t end = std::min(bytes, text.size());
    for (std::size_t back = 0; back < 3 && end > 0 && end < text.size() &&
                               (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80;
         ++back)
        --end;
    return end;
}
std::string byteLength(std::size_t bytes) { return " (" + std::to_string(bytes) + " bytes)"; }
}  // namespace

std::string cutValue(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    return std::string(text.substr(0, wholeSequences(text, bytes))) + "..." +
           byteLength(text.size());
}

std::string quotedValue(std::string_view text, char mark) {
    if (text.size() <= kQuotedValueBytes) return mark + std::string(text) + mark;
    return mark + std::string(text.substr(0, wholeSequences(text, kQuotedValueBytes))) + "..." +
           mark + byteLength(text.size());
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        int32_t codePoint = nextCodePoint(text, at);
        switch (codePoint) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case kInvalidByte: out += "\\ufffd"; break;
            default:
                if (codePoint < 0x20 || codePoint == 0x7F) {
                    out += formatted("\\u%04x", static_cast<unsigned>(codePoint));
                } else {
                    appendUtf8(out, codePoint);
                }
        }
    }
    return out + "\"";
}

FieldText fieldText(const std::string& text, unsigned) { return {text, true}; }
FieldText fieldText(Verdict verdict, unsigned) { return {std::string(verdictWord(verdict)), true}; }
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

std::string hexDump(uint16_t address, const uint8_t* bytes, std::size_t length) {
    std::string out;
    for (std::size_t line = 0; line < length; line += kDumpBytesPerLine) {
        out += formatted("%04X:", static_cast<unsigned>((address + line) & 0xFFFF));
        for (std::size_t i = line; i < length && i < line + kDumpBytesPerLine; ++i) {
            out += formatted(" %02X", unsigned{bytes[i]});
        }
        out += '\n';
    }
    return out;
}

std::string disassemble(uint16_t pc, const uint8_t bytes[3], CpuModel model) {
    const OpcodeInfo& info = opcodeInfo(model, bytes[0]);
    if (info.mnemonic.empty()) return formatted("??? ($%02X)", unsigned{bytes[0]});
    // The operand as its mode shows it: the byte, the word, or a branch's target.
    unsigned operand = info.length == 3 ? bytes[1] | bytes[2] << 8 : bytes[1];
    if (info.mode == AddressingMode::Relative)
        operand = static_cast<uint16_t>(pc + info.length + static_cast<int8_t>(bytes[1]));
    // The format comes from the table of modes, never from the input.
    std::string operandText = formatted(modeInfo(info.mode).operandFormat.data(), operand);
    return std::string(info.mnemonic) + operandText;
}

std::string hexByte(unsigned value) { return formatted("$%02X", value & 0xFF); }
std::string hexWord(unsigned value) { return formatted("$%04X", value & 0xFFFF); }

std::string addressText(uint16_t address, const LabelTable& labels) {
    std::string label = labelFor(labels, address);
    return hexWord(address) + (label.empty() ? "" : " (" + label + ")");
}

std::string traceLine(const TraceEntry& entry, CpuModel model, const LabelTable& labels) {
    constexpr int kLabelWidth = 16;
    std::size_t length = opcodeInfo(model, entry.bytes[0]).length;
    std::string bytes;
    for (std::size_t i = 0; i < 3; ++i)
        bytes += i < length ? formatted("%02X ", unsigned{entry.bytes[i]}) : "   ";
    std::string where = formatted("%04X  ", unsigned{entry.pc});
    if (!labels.byAddress.empty())
        where = formatted("%04X %-*s ", unsigned{entry.pc}, kLabelWidth,
                          labelFor(labels, entry.pc).c_str());
    return where + bytes + formatted(" %-14s", disassemble(entry.pc, entry.bytes, model).c_str()) +
           formatted("A=%02X X=%02X Y=%02X S=%02X P=%02X", unsigned{entry.a}, unsigned{entry.x},
                     unsigned{entry.y}, unsigned{entry.s}, unsigned{entry.p});
}

std::string resultLine(const RunResult& result) {
    return std::string(verdictWord(result.verdict)) + " " + terminalText(result.program) + ": " +
           terminalText(result.message);
}
