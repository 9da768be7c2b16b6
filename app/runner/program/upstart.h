// BASIC upstart programs: a program file loaded at $0801 that starts with the one-line
// BASIC program "10 SYS 2061" (or another number) runs from that number, as typing RUN
// would start it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

inline constexpr uint16_t kBasicProgramStart = 0x0801;
inline constexpr uint8_t kSysToken = 0x9E;

// Reads the first BASIC line of a program file (`file`: the two-byte load address, then
// the data). True, with the SYS number in `address`, when the file loads at $0801 and its
// first line (link word, line number word, then the line up to its $00) opens with the
// SYS token and a decimal number 0-65535, spaces allowed before the digits. False
// otherwise; `whyNot` then says why a program at $0801 is not an upstart, and is empty
// for a program loaded elsewhere.
bool findUpstart(std::span<const uint8_t> file, uint16_t& address, std::string& whyNot);

// Whether `file` is a program that cc65 built for the C64 with its standard start-up,
// whose exit() leaves the status in the KERNAL's ST: an upstart whose SYS lands on the
// start-up's first instructions, which keep the memory configuration and the stack pointer
// (LDA $01, STA abs, AND #$F8, ORA #$06, STA $01, TSX, STX abs; cc65 2.19).
bool startsAsCc65Program(std::span<const uint8_t> file);
