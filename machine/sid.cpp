#include "machine/sid.h"

#include <algorithm>

namespace {

constexpr uint32_t kAccumulatorMask = 0xFFFFFF;
constexpr uint32_t kNoiseMask = 0x7FFFFF;
constexpr uint64_t kNoiseClockBit = uint64_t{1} << 19;
constexpr uint8_t kGate = 0x01;
constexpr uint8_t kTest = 0x08;
constexpr uint8_t kTriangle = 0x10;
constexpr uint8_t kSawtooth = 0x20;
constexpr uint8_t kPulse = 0x40;
constexpr uint8_t kNoise = 0x80;
constexpr unsigned kEnvelopeSteps = 255;
constexpr uint8_t kSustainStep = 0x11;  // a sustain nibble's level: $0 to $F as $00 to $FF

// The cycles between two steps of the envelope at a rate nibble: the attack's documented
// time over its 255 steps (at least 1), three times that for decay and release.
constexpr uint64_t stepCycles(uint8_t rate, bool attack) {
    uint64_t cycles = uint64_t{kSidAttackMs[rate & 0x0F]} * kSidClockHz / 1000 / kEnvelopeSteps;
    return std::max<uint64_t>(1, attack ? cycles : cycles * kSidDecayFactor);
}

uint8_t control3(const Sid& sid) { return sid.registers[kSidControl3]; }
uint8_t sustainLevel(const Sid& sid) {
    return static_cast<uint8_t>((sid.registers[kSidSustainRelease3] >> 4) * kSustainStep);
}

// The cycles to the envelope's next step in its phase, or kNever where it rests.
uint64_t nextStepAfter(const Sid& sid, uint64_t cycle) {
    uint8_t ad = sid.registers[kSidAttackDecay3];
    switch (sid.phase) {
        case EnvelopePhase::Attack: return cycle + stepCycles(ad >> 4, true);
        case EnvelopePhase::DecaySustain:
            if (sid.envelope <= sustainLevel(sid)) return kNever;
            return cycle + stepCycles(ad, false);
        case EnvelopePhase::Release:
            if (sid.envelope == 0) return kNever;
            return cycle + stepCycles(sid.registers[kSidSustainRelease3], false);
    }
    return kNever;
}

void advanceEnvelope(Sid& sid, uint64_t cycle) {
    while (sid.nextEnvelopeStep <= cycle) {
        uint64_t at = sid.nextEnvelopeStep;
        switch (sid.phase) {
            case EnvelopePhase::Attack:
                if (sid.envelope < kEnvelopeSteps) ++sid.envelope;
                if (sid.envelope == kEnvelopeSteps) sid.phase = EnvelopePhase::DecaySustain;
                break;
            case EnvelopePhase::DecaySustain:
            case EnvelopePhase::Release: --sid.envelope; break;
        }
        sid.nextEnvelopeStep = nextStepAfter(sid, at);
    }
}

void clockNoise(Sid& sid, uint64_t clocks) {
    for (uint64_t i = 0; i < clocks; ++i) {
        uint32_t feedback = (sid.noise >> 22 ^ sid.noise >> 17) & 1;
        sid.noise = (sid.noise << 1 | feedback) & kNoiseMask;
    }
}

uint8_t noiseOutput(uint32_t noise) {
    constexpr int kBits[8] = {2, 4, 7, 11, 13, 16, 20, 22};  // OSC3 bit 0 to bit 7
    uint8_t out = 0;
    for (int i = 0; i < 8; ++i) out = static_cast<uint8_t>(out | (noise >> kBits[i] & 1) << i);
    return out;
}

uint8_t oscillator3(const Sid& sid) {
    uint8_t control = control3(sid);
    uint32_t acc = sid.accumulator;
    uint8_t out = 0xFF;
    bool any = false;
    if (control & kTriangle) {
        uint32_t folded = (acc & 0x800000) ? ~acc : acc;
        out &= static_cast<uint8_t>(folded >> 15);
        any = true;
    }
    if (control & kSawtooth) {
        out &= static_cast<uint8_t>(acc >> 16);
        any = true;
    }
    if (control & kPulse) {
        uint32_t width =
            (sid.registers[kSidPulseWidth3High] & 0x0F) << 8 | sid.registers[kSidPulseWidth3Low];
        out &= (acc >> 12) >= width ? 0xFF : 0x00;
        any = true;
    }
    if (control & kNoise) {
        out &= noiseOutput(sid.noise);
        any = true;
    }
    return any ? out : 0;
}

}  // namespace

void resetSid(Sid& sid, uint64_t now) {
    sid = Sid{};
    sid.syncedAt = now;
    sid.noise = kSidNoiseSeed;
    sid.phase = EnvelopePhase::Release;
    sid.nextEnvelopeStep = kNever;
}

void advanceSid(Sid& sid, uint64_t cycle) {
    if (cycle <= sid.syncedAt) return;
    uint64_t elapsed = cycle - sid.syncedAt;
    if (!(control3(sid) & kTest)) {
        uint64_t frequency =
            sid.registers[kSidFrequency3High] << 8 | sid.registers[kSidFrequency3Low];
        uint64_t before = sid.accumulator;
        uint64_t after = before + frequency * elapsed;
        // Bit 19 rises where the count passes 2^19 past a multiple of 2^20.
        clockNoise(sid, (after + kNoiseClockBit) / (2 * kNoiseClockBit) -
                            (before + kNoiseClockBit) / (2 * kNoiseClockBit));
        sid.accumulator = static_cast<uint32_t>(after & kAccumulatorMask);
    }
    advanceEnvelope(sid, cycle);
    sid.syncedAt = cycle;
}

uint8_t peekSid(const Sid& sid, uint8_t reg, uint64_t cycle) {
    switch (reg & kSidRegisterMask) {
        case kSidPotX:
        case kSidPotY: return kSidPotNothingAttached;
        case kSidOscillator3:
        case kSidEnvelope3: {
            Sid now = sid;
            advanceSid(now, cycle);
            return (reg & kSidRegisterMask) == kSidOscillator3 ? oscillator3(now) : now.envelope;
        }
        default: return sid.lastWritten;
    }
}

uint8_t readSid(Sid& sid, uint8_t reg, uint64_t cycle) {
    advanceSid(sid, cycle);
    return peekSid(sid, reg, cycle);
}

std::vector<SidWrite>* sidWrites = nullptr;

void writeSid(Sid& sid, uint8_t reg, uint8_t value, uint64_t cycle) {
    advanceSid(sid, cycle);
    reg &= kSidRegisterMask;
    if (sidWrites && reg < kSidRegisterCount) [[unlikely]]
        sidWrites->push_back({cycle, reg, value});
    uint8_t before = sid.registers[reg];
    sid.registers[reg] = value;
    sid.lastWritten = value;
    if (reg == kSidControl3) {
        if ((value & kTest) && !(before & kTest)) {
            sid.accumulator = 0;
            sid.noise = kSidNoiseSeed;
        }
        bool gateOpens = (value & kGate) && !(before & kGate);
        bool gateCloses = !(value & kGate) && (before & kGate);
        if (gateOpens) sid.phase = EnvelopePhase::Attack;
        if (gateCloses) sid.phase = EnvelopePhase::Release;
    }
    bool envelopeRegister =
        reg == kSidControl3 || reg == kSidAttackDecay3 || reg == kSidSustainRelease3;
    if (envelopeRegister) sid.nextEnvelopeStep = nextStepAfter(sid, cycle);
}
