// Writes chips.inc: the C64's I/O areas and its chips' registers as 64tass definitions,
// and the drive requests of the drive request cell in the I/O area, from the tables the
// emulator itself uses (machine/c64.h, cia.h, vic.h, sid.h, drive_port.h), so that
// the firmware, the test programs and the emulator name one map. Usage: make_chips_inc FILE
#include <cstdio>

#include "machine/c64.h"
#include "machine/drive_port.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_chips_inc FILE\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(
        out,
        "; chips.inc: the C64's I/O area and its chips' registers, written by the build\n"
        "; from the emulator's own tables (firmware/tools/make_chips_inc.cpp): do not\n"
        "; edit it by hand. An area's name is its first address; a register's name is its\n"
        "; offset in the chip's block (ioCia1 + ciaTimerALow is $DC04).\n\n");
#define BREADBIN_PRINT_AREA(name, first) \
    std::fprintf(out, "io%-20s = $%04X\n", #name, unsigned{first});
    BREADBIN_IO_AREAS(BREADBIN_PRINT_AREA)
#undef BREADBIN_PRINT_AREA
    std::fprintf(out, "\n");
#define BREADBIN_PRINT_REGISTER(chip)                               \
    [&](const char* name, unsigned offset) {                        \
        std::fprintf(out, "%s%-19s = $%02X\n", chip, name, offset); \
    }
    auto cia = BREADBIN_PRINT_REGISTER("cia");
    auto vic = BREADBIN_PRINT_REGISTER("vic");
    auto sid = BREADBIN_PRINT_REGISTER("sid");
#undef BREADBIN_PRINT_REGISTER
#define BREADBIN_CIA_ROW(name, offset) cia(#name, offset);
    BREADBIN_CIA_REGISTERS(BREADBIN_CIA_ROW)
#undef BREADBIN_CIA_ROW
    std::fprintf(out, "\n");
#define BREADBIN_VIC_ROW(name, offset) vic(#name, offset);
    BREADBIN_VIC_REGISTERS(BREADBIN_VIC_ROW)
#undef BREADBIN_VIC_ROW
    std::fprintf(out, "\n");
#define BREADBIN_SID_ROW(name, offset) sid(#name, offset);
    BREADBIN_SID_REGISTERS(BREADBIN_SID_ROW)
#undef BREADBIN_SID_ROW
    std::fprintf(out,
                 "\n; The drive requests: the byte a store into driveRequest names "
                 "(machine/drive_port.h).\n");
#define BREADBIN_DRIVE_REQUEST_ROW(name, code, text) \
    std::fprintf(out, "drive%-18s = %u\n", #name, unsigned{code});
    BREADBIN_DRIVE_REQUESTS(BREADBIN_DRIVE_REQUEST_ROW)
#undef BREADBIN_DRIVE_REQUEST_ROW
    return std::fclose(out) == 0 ? 0 : 1;
}
