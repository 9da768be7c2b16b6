#include "app/runner/program/upstart.h"

#include "machine/program_file.h"

namespace {
constexpr std::size_t kLineHeaderBytes = 4;  // the link word and the line number
constexpr uint8_t kLineEnd = 0x00;
constexpr uint8_t kStatementEnd = ':';
}  // namespace

bool findUpstart(std::span<const uint8_t> file, uint16_t& address, std::string& whyNot) {
    whyNot.clear();
    if (file.size() < kLoadAddressBytes || loadAddressOf(file.data()) != kBasicProgramStart)
        return false;
    std::span<const uint8_t> line = file.subspan(kLoadAddressBytes);
    if (line.size() < kLineHeaderBytes) {
        whyNot = "the BASIC line at $0801 runs past the end of the file";
        return false;
    }
    if ((line[0] | line[1] << 8) == 0) {
        whyNot = "$0801 holds no BASIC line (its link word is 0)";
        return false;
    }
    std::size_t at = kLineHeaderBytes;
    if (at >= line.size() || line[at] != kSysToken) {
        whyNot = at >= line.size() ? "the BASIC line at $0801 runs past the end of the file"
                                   : "the BASIC line at $0801 does not start with SYS";
        return false;
    }
    ++at;
    while (at < line.size() && line[at] == ' ') ++at;
    uint32_t number = 0;
    std::size_t digits = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at, ++digits) {
        number = number * 10 + (line[at] - '0');
        if (number > 0xFFFF) {
            whyNot = "the SYS number at $0801 is above 65535";
            return false;
        }
    }
    if (digits == 0) {
        whyNot = at >= line.size() ? "the BASIC line at $0801 runs past the end of the file"
                                   : "the SYS at $0801 is not followed by a number";
        return false;
    }
    while (at < line.size() && line[at] == ' ') ++at;
    if (at < line.size() && line[at] != kLineEnd && line[at] != kStatementEnd) {
        whyNot = "the SYS number at $0801 is followed by more than a statement's end";
        return false;
    }
    while (at < line.size() && line[at] != kLineEnd) ++at;
    if (at >= line.size()) {
        whyNot = "the BASIC line at $0801 has no terminating $00 within the file";
        return false;
    }
    address = static_cast<uint16_t>(number);
    return true;
}

bool startsAsCc65Program(std::span<const uint8_t> file) {
    // -1: any byte (an absolute address of the start-up's own).
    constexpr int kStartUp[] = {0xA5, 0x01, 0x8D, -1,   -1,   0x29, 0xF8, 0x09,
                                0x06, 0x85, 0x01, 0xBA, 0x8E, -1,   -1};
    uint16_t sys = 0;
    std::string whyNot;
    if (!findUpstart(file, sys, whyNot) || sys < kBasicProgramStart) return false;
    std::size_t at = kLoadAddressBytes + (sys - kBasicProgramStart);
    if (at + std::size(kStartUp) > file.size()) return false;
    for (std::size_t i = 0; i < std::size(kStartUp); ++i) {
        if (kStartUp[i] >= 0 && file[at + i] != kStartUp[i]) return false;
    }
    return true;
}
