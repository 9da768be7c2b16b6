// The SID's registers, as the processor sees them at $D400-$D7FF (29 registers repeated
// every 32 bytes).
//
// Modelled: the write-only registers, which read as the last byte written to the chip;
// POTX and POTY with nothing attached ($FF); voice 3's oscillator and envelope, which
// OSC3 and ENV3 read. The oscillator is the 24-bit phase accumulator that adds the
// frequency every cycle (held at 0 by the test bit); OSC3 is the upper 8 bits of the
// waveform chosen: the sawtooth's accumulator, the triangle folded from it, the pulse
// against the pulse width, the noise from a 23-bit shift register clocked when bit 19 of
// the accumulator rises (fed back from bits 22 and 17, read from bits 22, 20, 16, 13, 11,
// 7, 4, 2; reset to all ones by the test bit); several waveforms give the AND of their
// outputs. The envelope climbs from its level to 255 at the attack's rate once the gate
// opens, falls to the sustain level at the decay's and, once the gate closes, to 0 at the
// release's, one step at a time at rates from the documented times (kSidAttackMs), falling
// in straight lines rather than the chip's curve. Everything follows from the cycle, so
// that a run reads the same values every time. No sound is made.
#pragma once

#include <cstdint>
#include <vector>

#include "machine/timeline.h"

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
    X(PulseWidth3Low,   0x10)                                                                   \
    X(PulseWidth3High,  0x11)                                                                   \
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

// The attack's times to full level in milliseconds, by its nibble; decay and release take
// three times as long over the same range.
inline constexpr uint32_t kSidAttackMs[16] = {2,   8,   16,  24,  38,   56,   68,   80,
                                              100, 250, 500, 800, 1000, 3000, 5000, 8000};
inline constexpr uint32_t kSidDecayFactor = 3;
inline constexpr uint32_t kSidClockHz = 985248;  // PAL; the rates are the chip's own
inline constexpr uint32_t kSidNoiseSeed = 0x7FFFFF;

enum class EnvelopePhase : uint8_t { Attack, DecaySustain, Release };

struct Sid {
    uint8_t registers[0x20];  // as written
    uint8_t lastWritten;      // the chip's data bus: what the write-only registers read
    // Voice 3, up to date with cycle syncedAt.
    uint64_t syncedAt;
    uint32_t accumulator;  // 24 bits
    uint32_t noise;        // 23 bits
    uint8_t envelope;
    EnvelopePhase phase;
    uint64_t nextEnvelopeStep;  // kNever while the level rests
};

void resetSid(Sid& sid, uint64_t now);
// Brings voice 3 up to `cycle`.
void advanceSid(Sid& sid, uint64_t cycle);
uint8_t readSid(Sid& sid, uint8_t reg, uint64_t cycle);
uint8_t peekSid(const Sid& sid, uint8_t reg, uint64_t cycle);
void writeSid(Sid& sid, uint8_t reg, uint8_t value, uint64_t cycle);

// A write to one of the SID's registers, as a log of them keeps it.
struct SidWrite {
    uint64_t cycle;
    uint8_t reg;  // 0 to kSidRegisterCount - 1: the mirrors folded, the unused offsets left out
    uint8_t value;
};
// Where every write to a register goes when a run keeps a log of them (null: none kept).
extern std::vector<SidWrite>* sidWrites;
