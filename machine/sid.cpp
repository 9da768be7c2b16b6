#include "machine/sid.h"

void resetSid(Sid& sid) { sid = Sid{}; }

uint8_t peekSid(const Sid& sid, uint8_t reg) {
    switch (reg & kSidRegisterMask) {
        case kSidPotX:
        case kSidPotY: return kSidPotNothingAttached;
        case kSidOscillator3:
        case kSidEnvelope3: return 0;
        default: return sid.lastWritten;
    }
}

void writeSid(Sid& sid, uint8_t reg, uint8_t value) {
    sid.registers[reg & kSidRegisterMask] = value;
    sid.lastWritten = value;
}
