// The machine state of the emulated 6510: its registers and the 64 KiB address space
// with the three ROM images laid over RAM as the processor port at $01 selects.
#pragma once

#include <cstddef>
#include <cstdint>

// The processor's registers. There is one program-wide instance, `cpu`. The interpreter
// copies it into locals while it runs a batch of instructions and stores it back before
// it returns, so that the compiler can keep the registers in machine registers; every
// operation therefore takes the register set it works on as its first argument.
struct CpuState {
    uint8_t regA;           // accumulator
    uint8_t regX;           // index register X
    uint8_t regY;           // index register Y
    uint8_t regS;           // stack pointer: the stack lives in page one, at $0100 + regS
    uint8_t regP;           // processor status, the flag masks below
    uint16_t regPC;         // program counter
    uint8_t currentOpcode;  // the opcode fetched for the current step
    int32_t cycleCount;     // machine cycles charged since the last frame; the frame sets it to 0.
                            // The machine's own timing never reads it; the runner's emulated
                            // clock and its cycle limit add it up (cyclesSinceStart)

    // Field by field: the padding between the fields holds whatever a copy left there.
    bool operator==(const CpuState&) const = default;
};

// Status flag masks of regP.
inline constexpr uint8_t kFlagC = 0x01;     // carry
inline constexpr uint8_t kFlagZ = 0x02;     // zero
inline constexpr uint8_t kFlagI = 0x04;     // interrupt disable
inline constexpr uint8_t kFlagD = 0x08;     // decimal: the 6510 model's ADC, SBC and ARR
                                            // work in decimal while it is set; the plain
                                            // model stores it and nothing more
inline constexpr uint8_t kFlagB = 0x10;     // break
inline constexpr uint8_t kFlagBit5 = 0x20;  // always set again before an instruction
inline constexpr uint8_t kFlagV = 0x40;     // overflow
inline constexpr uint8_t kFlagN = 0x80;     // negative

inline constexpr std::size_t kRamSize = 65536;

// Where the ROM windows begin: BASIC up to $BFFF, the character ROM (in place of the I/O
// area) up to $DFFF, the KERNAL to the end. Below kBasicRomFirst it is always RAM.
inline constexpr uint16_t kBasicRomFirst = 0xA000;
inline constexpr uint16_t kBasicRomEnd = 0xC000;
inline constexpr uint16_t kCharRomFirst = 0xD000;
inline constexpr uint16_t kKernalRomFirst = 0xE000;

// The windows in address order, each with the address past its end: what the banking can
// lay over RAM, and where the firmware lives.
struct RomWindow {
    uint16_t first;
    uint32_t end;
};
inline constexpr RomWindow kRomWindows[] = {
    {kBasicRomFirst, kBasicRomEnd}, {kCharRomFirst, kKernalRomFirst}, {kKernalRomFirst, kRamSize}};
constexpr bool inRomWindow(uint16_t address) {
    for (const RomWindow& window : kRomWindows) {
        if (address >= window.first && address < window.end) return true;
    }
    return false;
}

// The ROM images, each as large as its window; each buffer holds its image and one spare
// byte (see MemoryMap).
inline constexpr std::size_t kBasicImageSize = kBasicRomEnd - kBasicRomFirst;   // 8 KiB
inline constexpr std::size_t kCharImageSize = kKernalRomFirst - kCharRomFirst;  // 4 KiB
inline constexpr std::size_t kKernalImageSize = kRamSize - kKernalRomFirst;     // 8 KiB
inline constexpr std::size_t kRomSpareBytes = 1;
inline constexpr std::size_t kKernalRomBufferSize = kKernalImageSize + kRomSpareBytes;
inline constexpr std::size_t kBasicRomBufferSize = kBasicImageSize + kRomSpareBytes;
inline constexpr std::size_t kCharRomBufferSize = kCharImageSize + kRomSpareBytes;

// RAM and the ROM buffers. Each ROM buffer has one byte more than its image, so that a
// word read at the last address of a ROM window, which takes both bytes from the same
// buffer, stays inside it. The one program-wide instance lives in static storage: it is
// zeroed when the program is loaded, cannot fail to be allocated at run time, and sits
// at a fixed address, so a store into `ram` can never be mistaken for a store into the
// registers.
struct MemoryMap {
    alignas(64) uint8_t ram[kRamSize];
    alignas(64) uint8_t kernalRom[kKernalRomBufferSize];
    alignas(64) uint8_t basicRom[kBasicRomBufferSize];
    alignas(64) uint8_t charRom[kCharRomBufferSize];
};

extern CpuState cpu;
extern MemoryMap memory;

// The processor's port: ram[$01], whose bits select what the processor sees.
inline constexpr uint16_t kPortAddress = 0x0001;
inline constexpr uint8_t kPortBasic = 0x01;   // set: BASIC at $A000-$BFFF
inline constexpr uint8_t kPortKernal = 0x02;  // set: KERNAL at $E000-$FFFF
inline constexpr uint8_t kPortIo = 0x04;      // clear: character ROM at $D000-$DFFF

// Resolves the processor's view of `address`: the buffer that serves it and the index in
// it. Both readByte and readWord take this one decision.
inline const uint8_t* bankedLocation(uint16_t address) {
    uint8_t port = memory.ram[kPortAddress];
    if (address >= kKernalRomFirst) {
        if (port & kPortKernal) return &memory.kernalRom[address - kKernalRomFirst];
    } else if (address >= kCharRomFirst) {
        if (!(port & kPortIo)) return &memory.charRom[address - kCharRomFirst];
    } else if (address >= kBasicRomFirst && address < kBasicRomEnd) {
        if (port & kPortBasic) return &memory.basicRom[address - kBasicRomFirst];
    }
    return &memory.ram[address];
}

// readByte: the processor's view of memory. Below $A000 it is always RAM, whatever the
// port holds; above, the banking is decided afresh on every read, so a store to $01
// takes effect on the very next read.
inline uint8_t readByte(uint16_t address) {
    if (address < kBasicRomFirst) return memory.ram[address];
    return *bankedLocation(address);
}

// readWord: a little-endian pair; the second byte comes from the same buffer as the
// first, whatever the banking at the next address. At $FFFF with RAM visible the second
// byte wraps to ram[$0000].
inline uint16_t readWord(uint16_t address) {
    const uint8_t* low = address < kBasicRomFirst ? &memory.ram[address] : bankedLocation(address);
    uint8_t high = low == &memory.ram[0xFFFF] ? memory.ram[0x0000] : low[1];
    return static_cast<uint16_t>(*low | high << 8);
}

// writeByte: every write lands in RAM, also under a visible ROM.
inline void writeByte(uint16_t address, uint8_t value) { memory.ram[address] = value; }

// setFlag: turns the flags of `mask` on when the low byte of `on` is not zero, else off.
inline void setFlag(CpuState& c, uint8_t mask, unsigned on) {
    c.regP = static_cast<uint8_t>((on & 0xFF) ? c.regP | mask : c.regP & ~mask);
}

// Sets N from bit 7 of r and Z when r is zero, leaving the other flags.
inline void setNZ(CpuState& c, uint8_t r) {
    c.regP =
        static_cast<uint8_t>((c.regP & ~(kFlagN | kFlagZ)) | (r & kFlagN) | (r == 0 ? kFlagZ : 0));
}

// testFlag: exactly 1 when any flag of `mask` is set, else 0.
inline unsigned testFlag(const CpuState& c, uint8_t mask) { return (c.regP & mask) != 0; }

inline uint8_t lowByte(uint16_t value) { return static_cast<uint8_t>(value); }
inline uint8_t highByte(uint16_t value) { return static_cast<uint8_t>(value >> 8); }
inline int toSigned(uint8_t value) { return static_cast<int8_t>(value); }
