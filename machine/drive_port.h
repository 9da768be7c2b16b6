// The open firmware's way to drives 8 to 11. The KERNAL's file routines ask the emulator
// by a store into the drive request cell (kDriveRequest, in the I/O area): the byte stored
// names the request, the KERNAL's own cells are its arguments, and the emulator serves it
// between that store and the next instruction, answering in A, X, Y, carry and the status
// byte ($90). The store ends the loop's leg as the other stores the loop looks at do, so
// that the hot path pays nothing for it. firmware/README.md documents the requests.
//
// Only a store from the KERNAL's ROM (the next instruction in $E000-$FFFF with the KERNAL
// banked in) is a request: a program that keeps data at that address is left alone.
#pragma once

#include <bitset>
#include <cstdint>

#include "cpu/state.h"

// The requests, one row each: the name the firmware knows it by (chips.inc), the code
// stored, what the emulator does. "Not present": carry set, A = 5, status bit 7.
// clang-format off
#define BREADBIN_DRIVE_REQUESTS(X)                                                             \
    X(Open,     1, "OPEN on device $BA, channel $B9, with the name $B7/$BB: sent to the drive " \
                   "when the name is not empty; not present when no drive is there")           \
    X(Close,    2, "CLOSE of channel $B9 on device $BA (a file being written is stored)")      \
    X(Talk,     3, "status cleared; device $BA sends from channel $B9 (CHKIN); not present "   \
                   "when no drive")                                                             \
    X(Listen,   4, "status cleared; device $BA takes bytes for channel $B9 (CHKOUT); not "     \
                   "present when no drive")                                                     \
    X(Receive,  5, "A = the talker's next byte; status bit 6 with the last, bits 6 and 1 "     \
                   "when there was none")                                                       \
    X(Send,     6, "A to the listener; A kept")                                                \
    X(Untalk,   7, "the talker stops")                                                         \
    X(Unlisten, 8, "the listener stops; a command sent to channel 15 runs")                    \
    X(Load,     9, "LOAD or VERIFY ($93) of the name from device $BA, at the file's address "  \
                   "or with $B9 = 0 at $C3/$C4: X/Y and $AE/$AF = the end, status $40")        \
    X(Save,    10, "SAVE of $C1/$C2 up to $AE/$AF under the name on device $BA")
// clang-format on

enum class DriveRequest : uint8_t {
#define BREADBIN_DRIVE_REQUEST_ENUM(name, code, text) name = code,
    BREADBIN_DRIVE_REQUESTS(BREADBIN_DRIVE_REQUEST_ENUM)
#undef BREADBIN_DRIVE_REQUEST_ENUM
};

// The KERNAL's cells that the requests read and write (the machine's documented ones).
inline constexpr uint16_t kKernalStatus = 0x90;
inline constexpr uint16_t kKernalVerifyFlag = 0x93;
inline constexpr uint16_t kKernalLoadEnd = 0xAE;  // and the end of a SAVE
inline constexpr uint16_t kKernalNameLength = 0xB7;
inline constexpr uint16_t kKernalSecondary = 0xB9;
inline constexpr uint16_t kKernalDevice = 0xBA;
inline constexpr uint16_t kKernalName = 0xBB;
inline constexpr uint16_t kKernalSaveStart = 0xC1;
inline constexpr uint16_t kKernalLoadStart = 0xC3;

// The status byte's bits on the serial bus, and what a read that found nothing sets: the
// time-out and EOI together, as a GET# loop sees on a missing file (unverified: the
// sources agree on the time-out bit; a test pins both).
inline constexpr uint8_t kStatusWriteTimeout = 0x01;
inline constexpr uint8_t kStatusReadTimeout = 0x02;
inline constexpr uint8_t kStatusVerifyMismatch = 0x10;
inline constexpr uint8_t kStatusEndOfFile = 0x40;
inline constexpr uint8_t kStatusDeviceNotPresent = 0x80;
inline constexpr uint8_t kStatusReadNothing = kStatusReadTimeout | kStatusEndOfFile;

// The KERNAL's error codes that the requests give.
inline constexpr uint8_t kErrorFileNotFound = 4;
inline constexpr uint8_t kErrorDeviceNotPresent = 5;
inline constexpr uint8_t kErrorMissingFileName = 8;

// Serves the request `request` (a DriveRequest's code; any other byte is ignored).
void serveDriveRequest(uint8_t request);
// For the loops: after a leg that ended on a store into the request cell, serves the byte
// stored when the store came from the KERNAL.
void serveDriveRequestStored();

// ---- a KERNAL that works the serial bus itself (the machine's own ROM images)
//
// Such a KERNAL reaches a drive through its serial routines, which its jump table names
// (each entry a JMP to the routine). Once armed (breadbin-run arms them for ROM images
// from a folder with a drive mounted; the built-in firmware asks through the request cell
// instead), the emulator serves those routines in the ROM's place at the addresses the
// jump table names: before a routine's
// first instruction the loop ends its leg, does on the bus what the routine does, with the
// machine's drives, and returns as the routine's RTS would (carry clear), in the cycles of
// an RTS. Everything above them stays the KERNAL's own: OPEN, CLOSE, CHKIN, CHKOUT, CHRIN,
// GETIN, CHROUT, LOAD, VERIFY and SAVE on drives, with their status and errors, and so do
// the KERNAL's own calls of these routines (it calls them where the jump table points),
// and a program's calls through the jump table. A program that works the bus lines
// through CIA 2 itself, or that programs the drive's own processor, is not served.
// clang-format off
#define BREADBIN_SERIAL_ROUTINES(X)                                                              \
    X(Second, 0xFF93, "after LISTEN, A: $60+channel sends data there, $E0+channel closes it, "   \
                      "$F0+channel opens it on the name that follows")                            \
    X(Tksa,   0xFF96, "after TALK, A = $60+channel: that channel talks")                         \
    X(Acptr,  0xFFA5, "A = the talker's next byte; status bit 6 with the last, bits 6 and 1 "   \
                      "when there was none")                                                     \
    X(Ciout,  0xFFA8, "A to the listener: a byte of the name being opened, else of the "        \
                      "channel's data")                                                          \
    X(Untlk,  0xFFAB, "the talker stops")                                                        \
    X(Unlsn,  0xFFAE, "the listener stops: the name sent opens its channel, a command sent to " \
                      "channel 15 runs")                                                         \
    X(Listen, 0xFFB1, "A = device: it listens; status bit 7 when no drive is there")             \
    X(Talk,   0xFFB4, "A = device: it talks; status bit 7 when no drive is there")
// clang-format on

enum class SerialRoutine : uint8_t {
#define BREADBIN_SERIAL_ROUTINE_ENUM(name, entry, text) name,
    BREADBIN_SERIAL_ROUTINES(BREADBIN_SERIAL_ROUTINE_ENUM)
#undef BREADBIN_SERIAL_ROUTINE_ENUM
};

// Where the served routines start (one bit an address of the KERNAL's ROM), and which
// each is; armed while the run serves them.
struct ServedRoutines {
    bool armed = false;
    std::bitset<kKernalImageSize> starts;
    SerialRoutine routine[kKernalImageSize];
};
extern ServedRoutines servedRoutines;

// Reads the jump table of the KERNAL's ROM and serves its serial routines from now on (an
// entry that is no JMP into the ROM stays the ROM's); disarm ends it.
void armSerialRoutines();
void disarmSerialRoutines();

// Whether the instruction at `pc` starts a routine the emulator serves: for the loops,
// which end a leg before it (a leg that watches the window does).
inline bool servedRoutineAt(uint16_t pc) {
    return servedRoutines.armed && pc >= kKernalRomFirst &&
           servedRoutines.starts.test(pc - kKernalRomFirst);
}
// Whether serveRoutine serves the instruction at `pc` now: a served routine starts there
// and the KERNAL is banked in.
inline bool routineServedNowAt(uint16_t pc) {
    return servedRoutineAt(pc) && (memory.ram[kPortAddress] & kPortKernal) != 0;
}
// Serves the routine at c's regPC when it is one and the KERNAL is banked in there, its
// return included; false, with nothing done, otherwise.
bool serveRoutine(CpuState& c);
