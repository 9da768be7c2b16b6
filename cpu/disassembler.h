// The disassembler: one instruction of a processor model as assembly, read from the
// opcode table (its mnemonic, addressing mode and length) and the table of modes (how an
// operand is shown), so that it knows every instruction the model runs.
#pragma once

#include <cstdint>
#include <string>

#include "cpu/model.h"

// The instruction whose bytes start at `pc`: "LDA #$01", "STA ($20),Y", "BNE $C004" (a
// branch shows its target); "??? ($02)" for a byte the model has no instruction for.
std::string disassemble(uint16_t pc, const uint8_t bytes[3], CpuModel model = kDefaultCpuModel);
