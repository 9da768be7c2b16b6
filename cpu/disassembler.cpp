#include "cpu/disassembler.h"

#include <cstdio>

#include "cpu/decoder.h"

std::string disassemble(uint16_t pc, const uint8_t bytes[3], CpuModel model) {
    char text[32];
    const OpcodeInfo& info = opcodeInfo(model, bytes[0]);
    if (info.mnemonic.empty()) {
        std::snprintf(text, sizeof text, "??? ($%02X)", unsigned{bytes[0]});
        return text;
    }
    // The operand as its mode shows it: the byte, the word, or a branch's target.
    unsigned operand = info.length == 3 ? bytes[1] | bytes[2] << 8 : bytes[1];
    if (info.mode == AddressingMode::Relative)
        operand = static_cast<uint16_t>(pc + info.length + static_cast<int8_t>(bytes[1]));
    // The format comes from the table of modes, never from the input.
    std::snprintf(text, sizeof text, modeInfo(info.mode).operandFormat.data(), operand);
    return std::string(info.mnemonic) + text;
}
