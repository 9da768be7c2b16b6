#include "app/runner/outputs.h"

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

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        auto byte = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += formatted("\\u%04x", unsigned{byte});
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string summaryJson(const RunResult& result) {
    const CpuState& r = result.registers;
    auto flag = [&](uint8_t mask) { return jsonBool((r.regP & mask) != 0); };
    std::string json = "{";
    json += "\"program\":" + jsonString(result.program);
    json += ",\"verdict\":" + jsonString(verdictWord(result.verdict));
    json += ",\"status\":" + std::to_string(result.status);
    json += ",\"stop\":" + jsonString(stopReasonName(result.stop));
    json += ",\"message\":" + jsonString(result.message);
    json += ",\"debugExit\":" +
            (result.exitByte < 0 ? std::string("null") : std::to_string(result.exitByte));
    json += ",\"frames\":" + std::to_string(result.frames);
    json += ",\"cycles\":" + std::to_string(result.cycles);
    json += ",\"instructions\":" + std::to_string(result.instructions);
    json += ",\"regPC\":" + std::to_string(r.regPC);
    json += formatted(",\"registers\":{\"a\":%u,\"x\":%u,\"y\":%u,\"s\":%u,\"p\":%u,\"pc\":%u}",
                      unsigned{r.regA}, unsigned{r.regX}, unsigned{r.regY}, unsigned{r.regS},
                      unsigned{r.regP}, unsigned{r.regPC});
    json += ",\"flags\":{\"n\":" + flag(kFlagN) + ",\"v\":" + flag(kFlagV) +
            ",\"b\":" + flag(kFlagB) + ",\"d\":" + flag(kFlagD) + ",\"i\":" + flag(kFlagI) +
            ",\"z\":" + flag(kFlagZ) + ",\"c\":" + flag(kFlagC) + "}";
    json += formatted(",\"hash\":\"fnv1a64:%016" PRIx64 "\"", result.hash);
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

std::string disassemble(uint16_t pc, const uint8_t bytes[3]) {
    const OpcodeInfo& info = kOpcodeInfo[bytes[0]];
    if (!info.documented) return formatted("??? ($%02X)", unsigned{bytes[0]});
    // The operand as its mode shows it: the byte, the word, or a branch's target.
    unsigned operand = info.length == 3 ? bytes[1] | bytes[2] << 8 : bytes[1];
    if (info.mode == AddressingMode::Relative)
        operand = static_cast<uint16_t>(pc + info.length + static_cast<int8_t>(bytes[1]));
    // The format comes from the table of modes, never from the input.
    std::string operandText = formatted(modeInfo(info.mode).operandFormat.data(), operand);
    return std::string(info.mnemonic) + operandText;
}

std::string traceLine(const TraceEntry& entry) {
    std::size_t length = kOpcodeInfo[entry.bytes[0]].length;
    std::string bytes;
    for (std::size_t i = 0; i < 3; ++i)
        bytes += i < length ? formatted("%02X ", unsigned{entry.bytes[i]}) : "   ";
    return formatted("%04X  ", unsigned{entry.pc}) + bytes +
           formatted(" %-14s", disassemble(entry.pc, entry.bytes).c_str()) +
           formatted("A=%02X X=%02X Y=%02X S=%02X P=%02X", unsigned{entry.a}, unsigned{entry.x},
                     unsigned{entry.y}, unsigned{entry.s}, unsigned{entry.p});
}

std::string resultLine(const RunResult& result) {
    return std::string(verdictWord(result.verdict)) + " " + result.program + ": " + result.message;
}
