// Writes chips.inc: the C64's I/O areas and its chips' registers as 64tass definitions,
// and the keyboard's matrix with its decoding tables, and the drive requests of the drive
// request cell in the I/O area, from the tables the emulator itself uses (machine/c64.h,
// cia.h, vic.h, sid.h, input.h, drive_port.h), so that the firmware, the test programs and
// the emulator name one map. Usage: make_chips_inc FILE
#include <cstdio>

#include "machine/c64.h"
#include "machine/drive_port.h"
#include "machine/input.h"

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
                 "\n; The keyboard's keys by their code (column * 8 + row: CIA 1's port A line and "
                 "port B\n; line), and #keyDecodingTables, the characters each key code gives "
                 "plain, with\n; SHIFT, with C= and with CTRL ($%02X: none), one table of %d "
                 "bytes each.\n",
                 unsigned{kNoCharacter}, kMatrixKeys);
    for (const MatrixKey& key : kMatrixKeyTable)
        std::fprintf(out, "key%-20.*s = $%02X\n", static_cast<int>(key.name.size()),
                     key.name.data(), unsigned{keyCode(key.column, key.row)});
    uint8_t byCode[4][kMatrixKeys];
    for (const MatrixKey& key : kMatrixKeyTable) {
        uint8_t code = keyCode(key.column, key.row);
        byCode[0][code] = key.plain;
        byCode[1][code] = key.shifted;
        byCode[2][code] = key.commodore;
        byCode[3][code] = key.control;
    }
    std::fprintf(out, "\nkeyDecodingTables .segment\n");
    const char* tableNames[] = {"keysPlain", "keysShifted", "keysCommodore", "keysControl"};
    for (int table = 0; table < 4; ++table) {
        std::fprintf(out, "%s\n", tableNames[table]);
        for (int code = 0; code < kMatrixKeys; ++code) {
            std::fprintf(out, "%s$%02X%s", code % 8 == 0 ? "        .byte " : "",
                         unsigned{byCode[table][code]}, code % 8 == 7 ? "\n" : ", ");
        }
    }
    std::fprintf(out, "        .endsegment\n");
    std::fprintf(out,
                 "\n; The drive requests: the byte a store into driveRequest names "
                 "(machine/drive_port.h).\n");
#define BREADBIN_DRIVE_REQUEST_ROW(name, code, text) \
    std::fprintf(out, "drive%-18s = %u\n", #name, unsigned{code});
    BREADBIN_DRIVE_REQUESTS(BREADBIN_DRIVE_REQUEST_ROW)
#undef BREADBIN_DRIVE_REQUEST_ROW
    return std::fclose(out) == 0 ? 0 : 1;
}
