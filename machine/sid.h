// The SID's registers, as the processor sees them at $D400-$D7FF (29 registers repeated
// every 32 bytes).
//
// Modelled so far: the write-only registers, which read as the last byte written to the
// chip; POTX and POTY with nothing attached ($FF). OSC3 and ENV3 read 0: voice 3's
// oscillator and envelope are not modelled yet. No sound is made.
#pragma once

#include <cstdint>

inline constexpr uint16_t kSidRegisterMask = 0x1F;

// The registers, one row each (voices 2 and 3 repeat voice 1's seven at +7 and +14;
// firmware/tools/make_chips_inc.cpp writes chips.inc from the table).
// clang-format off
#define BREADBIN_SID_REGISTERS(X)                                                             \
    X(Frequency1Low,    0x00)                                                                   \
    X(Frequency1High,   0x01)                                                                   \
    X(PulseWidth1Low,   0x02)                                                                   \
    X(PulseWidth1High,  0x03)                                                                   \
    X(Control1,         0x04)  /* noise pulse saw triangle test ring sync gate */              \
    X(AttackDecay1,     0x05)                                                                   \
    X(SustainRelease1,  0x06)                                                                   \
    X(Frequency3Low,    0x0E)                                                                   \
    X(Frequency3High,   0x0F)                                                                   \
    X(Control3,         0x12)                                                                   \
    X(AttackDecay3,     0x13)                                                                   \
    X(SustainRelease3,  0x14)                                                                   \
    X(FilterCutoffLow,  0x15)                                                                   \
    X(FilterCutoffHigh, 0x16)                                                                   \
    X(FilterControl,    0x17)                                                                   \
    X(Volume,           0x18)  /* 3OFF HP BP LP, volume */                                     \
    X(PotX,             0x19)                                                                   \
    X(PotY,             0x1A)                                                                   \
    X(Oscillator3,      0x1B)  /* voice 3's waveform, upper 8 bits */                          \
    X(Envelope3,        0x1C)
// clang-format on

enum SidRegister : uint8_t {
#define BREADBIN_SID_REGISTER(name, offset) kSid##name = offset,
    BREADBIN_SID_REGISTERS(BREADBIN_SID_REGISTER)
#undef BREADBIN_SID_REGISTER
};
inline constexpr uint8_t kSidRegisterCount = 0x1D;
inline constexpr uint8_t kSidPotNothingAttached = 0xFF;

struct Sid {
    uint8_t registers[0x20];  // as written
    uint8_t lastWritten;      // the chip's data bus: what the write-only registers read
};

void resetSid(Sid& sid);
uint8_t peekSid(const Sid& sid, uint8_t reg);
void writeSid(Sid& sid, uint8_t reg, uint8_t value);
