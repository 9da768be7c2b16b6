#include "machine/c64.h"

#include "machine/step_loop.h"

void endLegAfterThisInstruction() { legEnd.limit = INT32_MIN; }

void noteStoreToChips(uint16_t address) {
    legEnd.storeSeen = true;
    legEnd.storeAddress = address;
    endLegAfterThisInstruction();
}

namespace {

constexpr uint16_t kVicIdleFetch = 0x3FFF;
constexpr uint16_t kVicIdleFetchExtended = 0x39FF;  // with the extended colour mode
constexpr uint16_t kColourRamMask = kColourRamSize - 1;

// What is on the data bus in `cycle`: the VIC's last fetch, its idle fetch.
uint8_t openBus() {
    bool extended = machine.vic.registers[kVicControl1] & kVicExtendedColour;
    return memory.ram[vicBankBase() + (extended ? kVicIdleFetchExtended : kVicIdleFetch)];
}

// Which chip answers at an address of the I/O area: its page's upper nibble.
enum class IoChip : uint8_t { Vic, Sid, ColourRam, Cia1, Cia2, Nothing };
IoChip chipAt(uint16_t address) {
    switch ((address >> 8) & 0x0F) {
        case 0x0:
        case 0x1:
        case 0x2:
        case 0x3: return IoChip::Vic;
        case 0x4:
        case 0x5:
        case 0x6:
        case 0x7: return IoChip::Sid;
        case 0x8:
        case 0x9:
        case 0xA:
        case 0xB: return IoChip::ColourRam;
        case 0xC: return IoChip::Cia1;
        case 0xD: return IoChip::Cia2;
        default: return IoChip::Nothing;
    }
}

// A CIA's register read; one that releases its interrupt output tells the loop.
uint8_t readCiaOf(Cia& cia, uint16_t address, uint64_t cycle) {
    bool outputDue = cia.outputLowFrom != kNever;
    uint8_t value = readCia(cia, static_cast<uint8_t>(address), cycle);
    if (outputDue && cia.outputLowFrom == kNever) endLegAfterThisInstruction();
    return value;
}

uint8_t colourRamRead(uint16_t address) {
    return static_cast<uint8_t>((openBus() & 0xF0) | machine.colourRam[address & kColourRamMask]);
}

}  // namespace

uint16_t vicBankBase() {
    auto bank = static_cast<uint16_t>(~ciaPinsA(machine.cia2) & 0x03);
    return static_cast<uint16_t>(bank * 0x4000);
}

uint8_t readIo(uint16_t address, uint64_t cycle) {
    switch (chipAt(address)) {
        case IoChip::Vic: return readVic(machine.vic, static_cast<uint8_t>(address));
        case IoChip::Sid: return peekSid(machine.sid, static_cast<uint8_t>(address));
        case IoChip::ColourRam: return colourRamRead(address);
        case IoChip::Cia1: return readCiaOf(machine.cia1, address, cycle);
        case IoChip::Cia2: return readCiaOf(machine.cia2, address, cycle);
        case IoChip::Nothing: break;
    }
    return openBus();
}

uint8_t peekIo(uint16_t address, uint64_t cycle) {
    switch (chipAt(address)) {
        case IoChip::Vic: return peekVic(machine.vic, static_cast<uint8_t>(address));
        case IoChip::Sid: return peekSid(machine.sid, static_cast<uint8_t>(address));
        case IoChip::ColourRam: return colourRamRead(address);
        case IoChip::Cia1: return peekCia(machine.cia1, static_cast<uint8_t>(address), cycle);
        case IoChip::Cia2: return peekCia(machine.cia2, static_cast<uint8_t>(address), cycle);
        case IoChip::Nothing: break;
    }
    return openBus();
}

void writeIo(uint16_t address, uint8_t value, uint64_t cycle) {
    machine.lastIoWrite = value;
    switch (chipAt(address)) {
        case IoChip::Vic: writeVic(machine.vic, static_cast<uint8_t>(address), value); break;
        case IoChip::Sid: writeSid(machine.sid, static_cast<uint8_t>(address), value); break;
        case IoChip::ColourRam: machine.colourRam[address & kColourRamMask] = value & 0x0F; break;
        case IoChip::Cia1:
            writeCia(machine.cia1, static_cast<uint8_t>(address), value, cycle);
            break;
        case IoChip::Cia2:
            writeCia(machine.cia2, static_cast<uint8_t>(address), value, cycle);
            break;
        case IoChip::Nothing: break;
    }
}

void writeC64Slow(uint16_t address, uint8_t value, uint64_t cycle) {
    if (address <= kPortAddress) {
        writePort(machine.port, address, value, cycle, openBus(), memory.ram);
        noteStoreToChips(address);
    } else if (address >= kKernalRomFirst) {
        memory.ram[address] = value;
    } else {
        if (ioMapped()) {
            writeIo(address, value, cycle);
        } else {
            memory.ram[address] = value;
        }
        noteStoreToChips(address);
    }
}

uint8_t c64StoredByte(uint16_t address) {
    bool io = address >= kIoFirst && address < kKernalRomFirst && ioMapped();
    return io ? machine.lastIoWrite : memory.ram[address];
}

void resetC64Chips() {
    uint64_t now = cyclesSinceStart();
    resetPort(machine.port, memory.ram);
    machine.cia1 = resetCia(machineConfig.cia, now);
    machine.cia2 = resetCia(machineConfig.cia, now);
    resetVic(machine.vic);
    resetSid(machine.sid);
    machine.interrupts = {
        .pollAt = kNever, .polledMask = true, .nmiEdgeAt = kNever, .nmiFallSeen = kNever};
}

bool irqLineLowAt(uint64_t cycle) {
    advanceCia(machine.cia1, cycle);
    return ciaOutputLowAt(machine.cia1, cycle) || vicInterrupting(machine.vic);
}

TextScreenSource c64ScreenSource() {
    return {.matrix = &memory.ram[kScreenMatrix],
            .colours = machine.colourRam,
            .background = &machine.vic.registers[kVicBackground0],
            .glyphs = memory.charRom};
}
