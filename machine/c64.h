// The C64 around its processor: the PLA's banking, the I/O area and its chips as the
// processor reaches them (C64Bus), and what the C64's loop does between legs (start-up of
// the chips, the frame, the interrupt lines).
//
// The I/O area ($D000-$DFFF while the PLA maps it): the VIC at $D000 (64 bytes repeated),
// the SID at $D400 (32 bytes repeated), colour RAM at $D800 (1024 cells of four bits; the
// upper bits read what is on the bus), CIA 1 at $DC00 and CIA 2 at $DD00 (16 bytes
// repeated), and $DE00-$DFFF, where nothing answers: a read gives what is on the bus, a
// write does nothing. What is on the bus is the VIC's last fetch, taken to be its idle
// fetch (the last byte of its bank, or $39FF with the extended colour mode), since the
// picture's fetches are not modelled yet.
#pragma once

#include <cstdint>

#include "cpu/bus.h"
#include "machine/machine.h"
#include "machine/screen.h"

// The I/O area's parts, one row each: name and first address (chips.inc is written from
// the table too).
// clang-format off
#define BREADBIN_IO_AREAS(X)                                                                  \
    X(Vic,       0xD000)  /* the VIC's 64 bytes, repeated to $D3FF */                          \
    X(Sid,       0xD400)  /* the SID's 32 bytes, repeated to $D7FF */                          \
    X(ColourRam, 0xD800)  /* 1024 cells of four bits */                                        \
    X(Cia1,      0xDC00)  /* 16 bytes, repeated to $DCFF; its interrupt is IRQ */             \
    X(Cia2,      0xDD00)  /* 16 bytes, repeated to $DDFF; its interrupt is NMI */             \
    X(Expansion, 0xDE00)  /* to $DFFF: nothing answers */
// clang-format on

enum IoArea : uint16_t {
#define BREADBIN_IO_AREA(name, first) k##name##First = first,
    BREADBIN_IO_AREAS(BREADBIN_IO_AREA)
#undef BREADBIN_IO_AREA
};
inline constexpr uint16_t kIoFirst = kVicFirst;

// The PLA's inputs from the port's pins (ram[1] bits 0-2).
inline constexpr uint8_t kPinLoram = 0x01;
inline constexpr uint8_t kPinHiram = 0x02;
inline constexpr uint8_t kPinCharen = 0x04;

// The cycles of the VIC's frame.
inline uint32_t frameCycles() { return machine.vic.geometry.frameCycles(); }
// The processor samples the interrupt lines in an instruction's next-to-last cycle, except
// in a branch taken within its page (these cycles long), which samples in its first.
inline constexpr uint64_t kPollBeforeEnd = 2;
inline constexpr uint64_t kBranchTakenCycles = 3;

// The cycle, counted from reset, of an access that the registers `c` make now (cycleCount
// ends with the access's cycle).
inline uint64_t accessCycle(const CpuState& c) {
    return machine.loop.cyclesOfEarlierFrames + static_cast<uint64_t>(c.cycleCount) - 1;
}

// A read and a write of the I/O area in cycle `cycle` (the chips' own work); a read
// without its effects (for tools and traces).
uint8_t readIo(uint16_t address, uint64_t cycle);
void writeIo(uint16_t address, uint8_t value, uint64_t cycle);
uint8_t peekIo(uint16_t address, uint64_t cycle);
// A processor write that the fast path of C64Bus leaves out: the port, the I/O area, RAM
// under the ROMs.
void writeC64Slow(uint16_t address, uint8_t value, uint64_t cycle);
// A processor read from $A000 on, in cycle `cycle`: the PLA decides from the port's pins
// what the processor sees at $A000 (BASIC with LORAM and HIRAM), $D000 (RAM with neither,
// else I/O with CHAREN, else the character ROM) and $E000 (the KERNAL with HIRAM). Out of
// line, so that the interpreter's hot path keeps the registers in the host's.
[[gnu::noinline]] uint8_t readC64Banked(uint16_t address, uint64_t cycle);

// The C64's bus: below $A000 RAM, from there what the PLA maps (readC64Banked). A write to
// a ROM goes to the RAM beneath; a write to the I/O area goes to the chip and not to the
// RAM beneath.
struct C64Bus {
    static constexpr bool kSeesDummyWrites = true;

    static uint8_t read(const CpuState& c, uint16_t address) {
        if (address < kBasicRomFirst) [[likely]]
            return memory.ram[address];
        return readC64Banked(address, accessCycle(c));
    }
    static uint16_t readWord(const CpuState& c, uint16_t address) {
        return static_cast<uint16_t>(read(c, address) | read(c, static_cast<uint16_t>(address + 1))
                                                            << 8);
    }
    // $0002-$CFFF is RAM, whatever the banking; the rest takes the slow path.
    static void write(const CpuState& c, uint16_t address, uint8_t value) {
        if (static_cast<uint16_t>(address - 2) < kIoFirst - 2) [[likely]] {
            memory.ram[address] = value;
            return;
        }
        writeC64Slow(address, value, accessCycle(c));
    }
};

// An access that may change what a chip does next (a store to the port or the I/O area, a
// read that releases an interrupt output) ends the leg once its instruction is done, so
// that the loop looks at the chips afresh; a store is also reported as one seen.
void endLegAfterThisInstruction();
void noteStoreToChips(uint16_t address);

// The C64's chips at reset, and the port with them (RAM is as it was).
void resetC64Chips();
// The VIC's 16 KiB bank, as CIA 2's port selects it: its first address.
uint16_t vicBankBase();
// The text screen as the C64 shows it.
TextScreenSource c64ScreenSource();
ScreenView c64ScreenView();
// Whether the IRQ line was low in `cycle` (the chips brought to it).
bool irqLineLowAt(uint64_t cycle);
// The byte the last store to `address` left: the chip's, where the I/O area is mapped.
uint8_t c64StoredByte(uint16_t address);
// The C64's start-up (the chips and the port at reset, then the processor's reset through
// the C64's banking), its loop (as runSteps and runWatched, whose work it does on the
// C64), and peekByte and pokeByte on the C64.
void startC64();
uint64_t runC64Loop(uint64_t count, const Watch* watch, WatchReport& report);
uint8_t peekC64(uint16_t address);
void pokeC64(uint16_t address, uint8_t value);

// Whether the PLA maps the I/O area at $D000 now.
inline bool ioMapped() {
    unsigned pins = memory.ram[kPortAddress];
    return (pins & (kPinLoram | kPinHiram)) != 0 && (pins & kPinCharen) != 0;
}
