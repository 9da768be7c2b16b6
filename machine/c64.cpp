#include "machine/c64.h"

#include "machine/step_loop.h"

void endLegAfterThisInstruction() { legEnd.limit = INT32_MIN; }

void noteStoreToChips(uint16_t address) {
    legEnd.storeSeen = true;
    legEnd.storeAddress = address;
    noteDriveRequestStore(address);
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

// CIA 1's port pins as the keyboard and the joysticks pull them at `cycle`, before a read
// of a port.
void pullCia1Ports(uint16_t address, uint64_t cycle) {
    uint8_t reg = address & kCiaRegisterMask;
    if (!inputScript || (reg != kCiaPortA && reg != kCiaPortB)) return;
    Cia& cia = machine.cia1;
    advanceInput(machine.input, cycle);
    advanceCia(cia, cycle);
    cia.inputA = cia.inputB = 0xFF;
    PortPulls pulls = inputPulls(machine.input, ciaPinsA(cia), ciaPinsB(cia));
    cia.inputA = pulls.a;
    cia.inputB = pulls.b;
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
        case IoChip::Vic: return readVic(machine.vic, static_cast<uint8_t>(address), cycle);
        case IoChip::Sid: return readSid(machine.sid, static_cast<uint8_t>(address), cycle);
        case IoChip::ColourRam: return colourRamRead(address);
        case IoChip::Cia1:
            pullCia1Ports(address, cycle);
            return readCiaOf(machine.cia1, address, cycle);
        case IoChip::Cia2: return readCiaOf(machine.cia2, address, cycle);
        case IoChip::Nothing: break;
    }
    return openBus();
}

uint8_t peekIo(uint16_t address, uint64_t cycle) {
    switch (chipAt(address)) {
        case IoChip::Vic: return peekVic(machine.vic, static_cast<uint8_t>(address), cycle);
        case IoChip::Sid: return peekSid(machine.sid, static_cast<uint8_t>(address), cycle);
        case IoChip::ColourRam: return colourRamRead(address);
        case IoChip::Cia1:
            pullCia1Ports(address, cycle);
            return peekCia(machine.cia1, static_cast<uint8_t>(address), cycle);
        case IoChip::Cia2: return peekCia(machine.cia2, static_cast<uint8_t>(address), cycle);
        case IoChip::Nothing: break;
    }
    return openBus();
}

void writeIo(uint16_t address, uint8_t value, uint64_t cycle) {
    machine.lastIoWrite = value;
    switch (chipAt(address)) {
        case IoChip::Vic: writeVic(machine.vic, static_cast<uint8_t>(address), value, cycle); break;
        case IoChip::Sid: writeSid(machine.sid, static_cast<uint8_t>(address), value, cycle); break;
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

uint8_t readC64Banked(uint16_t address, uint64_t cycle) {
    unsigned pins = memory.ram[kPortAddress];
    if (address < kBasicRomEnd) {
        bool basic = (pins & (kPinLoram | kPinHiram)) == (kPinLoram | kPinHiram);
        return basic ? memory.basicRom[address - kBasicRomFirst] : memory.ram[address];
    }
    if (address < kCharRomFirst) return memory.ram[address];
    if (address < kKernalRomFirst) {
        if ((pins & (kPinLoram | kPinHiram)) == 0) return memory.ram[address];
        if (pins & kPinCharen) [[likely]]
            return readIo(address, cycle);
        return memory.charRom[address - kCharRomFirst];
    }
    return (pins & kPinHiram) ? memory.kernalRom[address - kKernalRomFirst] : memory.ram[address];
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
    resetVic(machine.vic, rasterGeometry(machineConfig.video), now);
    resetSid(machine.sid, now);
    machine.input = resetInput();
    machine.interrupts = {
        .pollAt = kNever, .polledMask = true, .nmiEdgeAt = kNever, .nmiFallSeen = kNever};
}

bool irqLineLowAt(uint64_t cycle) {
    advanceCia(machine.cia1, cycle);
    advanceVic(machine.vic, cycle);
    return ciaOutputLowAt(machine.cia1, cycle) || vicIrqLowAt(machine.vic, cycle);
}

namespace {

constexpr uint16_t kVicCharRomWindow = 0x1000;  // banks 0 and 2 see the ROM at $1000-$1FFF
constexpr uint16_t kVicCharRomMask = 0x3000;    // VIC address bits 12-13
constexpr uint16_t kLowerCaseSet = 0x0800;      // the ROM's second half
constexpr uint16_t kMatrixStep = 0x0400;        // $D018 bits 7-4
constexpr uint16_t kCharsetStep = 0x0800;       // $D018 bits 3-1

// What the VIC reads at `vicAddress` (14 bits) of its bank: the character ROM in its
// window of banks 0 and 2, else RAM.
const uint8_t* vicMemory(uint16_t vicAddress) {
    uint16_t base = vicBankBase();
    bool romBank = (base & 0x4000) == 0;
    if (romBank && (vicAddress & kVicCharRomMask) == kVicCharRomWindow)
        return &memory.charRom[vicAddress & ~kVicCharRomMask];
    return &memory.ram[base + vicAddress];
}

uint16_t matrixAddress() {
    return static_cast<uint16_t>((machine.vic.registers[kVicMemory] >> 4) * kMatrixStep);
}
uint16_t charsetAddress() {
    return static_cast<uint16_t>((machine.vic.registers[kVicMemory] >> 1 & 0x07) * kCharsetStep);
}

}  // namespace

TextScreenSource c64ScreenSource() {
    return {.matrix = vicMemory(matrixAddress()),
            .colours = machine.colourRam,
            .background = &machine.vic.registers[kVicBackground0],
            .glyphs = vicMemory(charsetAddress())};
}

ScreenView c64ScreenView() {
    const uint8_t* glyphs = vicMemory(charsetAddress());
    return {vicMemory(matrixAddress()), glyphs == &memory.charRom[kLowerCaseSet]};
}
