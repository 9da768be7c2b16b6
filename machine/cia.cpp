#include "machine/cia.h"

#include <algorithm>

namespace {

// The cycles from a flag to the interrupt output: the 6526's one later than the 8521's.
uint64_t outputDelay(const Cia& cia) { return cia.model == CiaModel::Mos6526 ? 1 : 0; }

// Raises interrupt flags in cycle `cycle`: flags latch whether masked or not; an enabled
// one brings the output down (when it is not down already).
void raiseFlags(Cia& cia, uint8_t bits, uint64_t cycle) {
    cia.flags |= bits;
    if ((cia.flags & cia.mask) != 0 && cia.outputLowFrom == kNever)
        cia.outputLowFrom = cycle + outputDelay(cia);
}

// One BCD digit pair up by one, wrapping from `last` to `first`. Returns whether it wrapped.
bool incrementBcd(uint8_t& value, uint8_t first, uint8_t last) {
    if (value == last) {
        value = first;
        return true;
    }
    uint8_t low = value & 0x0F, high = value & 0xF0;
    value = low >= 9 ? static_cast<uint8_t>(high + 0x10) : static_cast<uint8_t>(value + 1);
    return false;
}

bool alarmMatches(const TimeOfDay& tod) {
    return tod.tenths == tod.alarm[0] && tod.seconds == tod.alarm[1] &&
           tod.minutes == tod.alarm[2] && tod.hours == tod.alarm[3];
}

// The time of day one tenth on: tenths to seconds to minutes to hours, 11 to 12 turning PM
// over and 12 to 1 keeping it.
void tickTenth(TimeOfDay& tod) {
    if (!incrementBcd(tod.tenths, 0x00, 0x09)) return;
    if (!incrementBcd(tod.seconds, 0x00, 0x59)) return;
    if (!incrementBcd(tod.minutes, 0x00, 0x59)) return;
    uint8_t pm = tod.hours & 0x80;
    uint8_t hours = tod.hours & 0x1F;
    if (hours == 0x11) {
        tod.hours = static_cast<uint8_t>(0x12 | (pm ^ 0x80));
    } else if (hours == 0x12) {
        tod.hours = static_cast<uint8_t>(0x01 | pm);
    } else {
        incrementBcd(hours, 0x01, 0x12);
        tod.hours = static_cast<uint8_t>(hours | pm);
    }
}

// How many of the TOD pin's periods make a tenth: five at 50 Hz (CRA bit 7), six at 60.
uint8_t todDivisor(const Cia& cia) { return (cia.timerA.control & kCiaTod50Hz) ? 5 : 6; }

// The TOD pin's period that ends at `cycle`.
void todPinTick(Cia& cia, uint64_t cycle) {
    TimeOfDay& tod = cia.tod;
    if (!tod.running) return;
    if (++tod.pinTicks < todDivisor(cia)) return;
    tod.pinTicks = 0;
    tickTenth(tod);
    if (alarmMatches(tod)) raiseFlags(cia, kCiaAlarmFlag, cycle);
}

// One cycle of a timer whose source gives a count in this cycle when `countsThisCycle`
// holds (and the timer runs); the count arrives in the next cycle. Returns whether the
// timer underflowed in this cycle.
bool stepTimer(CiaTimer& t, bool countsThisCycle) {
    bool arrives = t.arriving;
    bool swallow = t.swallowNext;
    t.swallowNext = false;
    t.pulse = false;
    if (t.loadNext) {
        // A force load takes the latch; a count arriving now is lost to it, and the next one
        // is swallowed.
        t.loadNext = false;
        t.counter = t.latch;
        t.swallowNext = true;
    } else if (arrives && !swallow && t.counter != 0) {
        --t.counter;
    }
    bool source = (t.control & kCiaStart) != 0 && countsThisCycle;
    bool underflow = false;
    // At 0 with a count on its way, the timer underflows: it reloads and swallows that count.
    if (t.counter == 0 && source) {
        underflow = true;
        t.counter = t.latch;
        t.swallowNext = true;
        if (t.control & kCiaToggle) {
            t.output = !t.output;
        } else {
            t.pulse = true;
        }
        if (t.control & kCiaOneShot) t.control &= static_cast<uint8_t>(~kCiaStart);
    }
    t.arriving = source;
    return underflow;
}

// Whether timer A counts every cycle (phi2) rather than CNT edges.
bool timerACountsCycles(const Cia& cia) { return (cia.timerA.control & kCiaInMode) == 0; }

// One cycle of the chip.
void stepCycle(Cia& cia, uint64_t cycle) {
    bool underflowA = stepTimer(cia.timerA, timerACountsCycles(cia));
    uint8_t sourceB = cia.timerB.control & kCiaTimerBSource;
    bool countsB = sourceB == 0 || ((sourceB & kCiaTimerBCountsA) != 0 && underflowA);
    bool underflowB = stepTimer(cia.timerB, countsB);
    uint8_t raised = 0;
    if (underflowA) {
        raised |= kCiaTimerAFlag;
        if (cia.serialShifts != 0 && --cia.serialShifts == 0) {
            raised |= kCiaSerialFlag;
            if (cia.serialQueued) {
                cia.serialQueued = false;
                cia.serialShifts = 16;
            }
        }
    }
    if (underflowB) {
        raised |= kCiaTimerBFlag;
        cia.timerBUnderflowAt = cycle;
    }
    if (raised) raiseFlags(cia, raised, cycle);
}

// A timer that does nothing but count down every cycle, or nothing at all, for the next
// cycles: how many it can be skipped by at once (0: it must be stepped). `others` is the
// most the caller would skip.
// Whether a timer counts down every cycle and nothing else is under way.
bool countingSteadily(const CiaTimer& t, bool countsEveryCycle) {
    return t.arriving && !t.loadNext && !t.swallowNext && (t.control & kCiaStart) &&
           countsEveryCycle;
}
// Whether nothing arrives at a timer and nothing will.
bool idle(const CiaTimer& t, bool countsEveryCycle) {
    return !t.arriving && !t.loadNext && !t.swallowNext &&
           !((t.control & kCiaStart) && countsEveryCycle);
}

uint64_t quietCycles(const CiaTimer& t, bool countsEveryCycle, uint64_t others) {
    if (idle(t, countsEveryCycle)) return others;  // a timer at 0 stays at 0
    if (countingSteadily(t, countsEveryCycle) && t.counter >= 2)
        return std::min<uint64_t>(others, t.counter - 1);
    return 0;
}

// Skips `count` cycles of timers that only count (quietCycles said they may).
void skipCycles(CiaTimer& t, uint64_t count) {
    if (t.arriving) t.counter = static_cast<uint16_t>(t.counter - count);
}

// Timer B is quiet with timer A's underflows as its source only while timer A does not
// underflow and no count of an earlier underflow is on its way.
uint64_t quietCyclesB(const Cia& cia, uint64_t others, uint64_t quietA) {
    uint8_t sourceB = cia.timerB.control & kCiaTimerBSource;
    if (sourceB == 0) return quietCycles(cia.timerB, true, others);
    if (cia.timerB.loadNext || cia.timerB.swallowNext || cia.timerB.arriving) return 0;
    if ((sourceB & kCiaTimerBCountsA) == 0) return others;  // CNT edges: none come
    return std::min(others, quietA);
}

void startTimer(CiaTimer& t, uint8_t value) {
    if ((value & kCiaStart) && !(t.control & kCiaStart)) t.output = true;
    if (value & kCiaForceLoad) t.loadNext = true;
    t.control = value & static_cast<uint8_t>(~kCiaForceLoad);
}

void writeTimerHigh(CiaTimer& t, uint8_t value) {
    t.latch = static_cast<uint16_t>((t.latch & 0x00FF) | value << 8);
    if (!(t.control & kCiaStart)) {
        t.loadNext = true;
        if (kHighByteStartsOneShot && (t.control & kCiaOneShot)) startTimer(t, t.control | 1);
    }
}

uint8_t timeOfDayRegister(const TimeOfDay& tod, uint8_t reg) {
    const uint8_t live[4] = {tod.tenths, tod.seconds, tod.minutes, tod.hours};
    int index = reg - kCiaTodTenths;
    return tod.latchedOutput ? tod.latched[index] : live[index];
}

}  // namespace

Cia resetCia(CiaModel model, uint64_t now) {
    Cia cia{};
    cia.model = model;
    cia.syncedTo = now;
    cia.timerA.counter = cia.timerA.latch = kCiaTimerAtReset;
    cia.timerB.counter = cia.timerB.latch = kCiaTimerAtReset;
    cia.tod.hours = kCiaHoursAtReset;
    cia.tod.nextPinTick = now + kTodPinCycles;
    cia.outputLowFrom = cia.lastLowFrom = cia.lastLowUntil = kNever;
    cia.timerBUnderflowAt = kNever;
    cia.inputA = cia.inputB = 0xFF;
    return cia;
}

void advanceCia(Cia& cia, uint64_t cycle) {
    while (cia.syncedTo < cycle) {
        uint64_t until = std::min(cycle, cia.tod.nextPinTick);
        while (cia.syncedTo < until) {
            uint64_t left = until - cia.syncedTo;
            uint64_t quietA = quietCycles(cia.timerA, timerACountsCycles(cia), left);
            uint64_t quiet = quietCyclesB(cia, quietA, quietA);
            if (quiet >= 2) {
                skipCycles(cia.timerA, quiet);
                skipCycles(cia.timerB, quiet);
                cia.syncedTo += quiet;
            } else {
                stepCycle(cia, ++cia.syncedTo);
            }
        }
        if (cia.syncedTo == cia.tod.nextPinTick) {
            todPinTick(cia, cia.syncedTo);
            cia.tod.nextPinTick += kTodPinCycles;
        }
    }
}

uint8_t ciaPinsA(const Cia& cia) {
    return static_cast<uint8_t>((cia.portA | ~cia.directionA) & cia.inputA);
}

uint8_t ciaPinsB(const Cia& cia) {
    auto pins = static_cast<uint8_t>((cia.portB | ~cia.directionB) & cia.inputB);
    auto timerOutput = [](const CiaTimer& t) {
        return (t.control & kCiaToggle) ? t.output : t.pulse;
    };
    if (cia.timerA.control & kCiaPbOn)
        pins = static_cast<uint8_t>((pins & ~0x40) | (timerOutput(cia.timerA) ? 0x40 : 0));
    if (cia.timerB.control & kCiaPbOn)
        pins = static_cast<uint8_t>((pins & ~0x80) | (timerOutput(cia.timerB) ? 0x80 : 0));
    return pins;
}

bool ciaOutputLowAt(const Cia& cia, uint64_t cycle) {
    return cia.outputLowFrom <= cycle || (cia.lastLowFrom <= cycle && cycle < cia.lastLowUntil);
}

uint8_t peekCia(Cia& cia, uint8_t reg, uint64_t cycle) {
    advanceCia(cia, cycle);
    switch (reg & kCiaRegisterMask) {
        case kCiaPortA: return ciaPinsA(cia);
        case kCiaPortB: return ciaPinsB(cia);
        case kCiaDirectionA: return cia.directionA;
        case kCiaDirectionB: return cia.directionB;
        case kCiaTimerALow: return static_cast<uint8_t>(cia.timerA.counter);
        case kCiaTimerAHigh: return static_cast<uint8_t>(cia.timerA.counter >> 8);
        case kCiaTimerBLow: return static_cast<uint8_t>(cia.timerB.counter);
        case kCiaTimerBHigh: return static_cast<uint8_t>(cia.timerB.counter >> 8);
        case kCiaTodTenths:
        case kCiaTodSeconds:
        case kCiaTodMinutes:
        case kCiaTodHours: return timeOfDayRegister(cia.tod, reg & kCiaRegisterMask);
        case kCiaSerialData: return cia.serialData;
        case kCiaInterruptControl:
            return static_cast<uint8_t>(cia.flags |
                                        (ciaOutputLowAt(cia, cycle) ? kCiaInterruptBit : 0));
        case kCiaControlA: return cia.timerA.control;
        case kCiaControlB: return cia.timerB.control;
    }
    return 0;
}

uint8_t readCia(Cia& cia, uint8_t reg, uint64_t cycle) {
    uint8_t value = peekCia(cia, reg, cycle);
    switch (reg & kCiaRegisterMask) {
        case kCiaTodHours:
            if (!cia.tod.latchedOutput) {
                TimeOfDay& tod = cia.tod;
                tod.latched[0] = tod.tenths;
                tod.latched[1] = tod.seconds;
                tod.latched[2] = tod.minutes;
                tod.latched[3] = tod.hours;
                tod.latchedOutput = true;
            }
            break;
        case kCiaTodTenths: cia.tod.latchedOutput = false; break;
        case kCiaInterruptControl: {
            // The 6526 loses timer B's flag when the register is read in the cycle of its
            // underflow; it reads as clear.
            if (cia.model == CiaModel::Mos6526 && cia.timerBUnderflowAt == cycle)
                value &= static_cast<uint8_t>(~kCiaTimerBFlag);
            cia.flags = 0;
            if (cia.outputLowFrom <= cycle) {
                cia.lastLowFrom = cia.outputLowFrom;
                cia.lastLowUntil = cycle;
            }
            cia.outputLowFrom = kNever;
            break;
        }
        default: break;
    }
    return value;
}

void writeCia(Cia& cia, uint8_t reg, uint8_t value, uint64_t cycle) {
    advanceCia(cia, cycle);
    TimeOfDay& tod = cia.tod;
    switch (reg & kCiaRegisterMask) {
        case kCiaPortA: cia.portA = value; break;
        case kCiaPortB: cia.portB = value; break;
        case kCiaDirectionA: cia.directionA = value; break;
        case kCiaDirectionB: cia.directionB = value; break;
        case kCiaTimerALow:
            cia.timerA.latch = static_cast<uint16_t>((cia.timerA.latch & 0xFF00) | value);
            break;
        case kCiaTimerAHigh: writeTimerHigh(cia.timerA, value); break;
        case kCiaTimerBLow:
            cia.timerB.latch = static_cast<uint16_t>((cia.timerB.latch & 0xFF00) | value);
            break;
        case kCiaTimerBHigh: writeTimerHigh(cia.timerB, value); break;
        case kCiaTodTenths:
        case kCiaTodSeconds:
        case kCiaTodMinutes:
        case kCiaTodHours: {
            int index = (reg & kCiaRegisterMask) - kCiaTodTenths;
            constexpr uint8_t kUsedBits[4] = {0x0F, 0x7F, 0x7F, 0x9F};
            auto bcd = static_cast<uint8_t>(value & kUsedBits[index]);
            if (cia.timerB.control & kCiaAlarm) {
                tod.alarm[index] = bcd;
            } else {
                uint8_t* live[4] = {&tod.tenths, &tod.seconds, &tod.minutes, &tod.hours};
                *live[index] = bcd;
                // Writing the hours stops the clock, writing the tenths starts it afresh.
                if (index == 3) tod.running = false;
                if (index == 0) {
                    tod.running = true;
                    tod.pinTicks = 0;
                }
            }
            if (alarmMatches(tod)) raiseFlags(cia, kCiaAlarmFlag, cycle);
            break;
        }
        case kCiaSerialData:
            cia.serialData = value;
            if (cia.timerA.control & kCiaSerialOut) {
                if (cia.serialShifts == 0) {
                    cia.serialShifts = 16;
                } else {
                    cia.serialQueued = true;
                }
            }
            break;
        case kCiaInterruptControl:
            if (value & kCiaInterruptBit) {
                cia.mask |= value & 0x1F;
            } else {
                cia.mask &= static_cast<uint8_t>(~value);
            }
            raiseFlags(cia, 0, cycle);
            break;
        case kCiaControlA:
            if ((value ^ cia.timerA.control) & kCiaSerialOut) {
                cia.serialShifts = 0;
                cia.serialQueued = false;
            }
            startTimer(cia.timerA, value);
            break;
        case kCiaControlB: startTimer(cia.timerB, value); break;
    }
}

uint64_t nextCiaEvent(const Cia& cia) {
    if (cia.outputLowFrom != kNever) return cia.outputLowFrom;
    if ((cia.mask & 0x1F) == 0) return kNever;
    // A timer's next few cycles after a write are stepped on a copy, until it counts
    // steadily (or rests); from there its underflow is told by its counter.
    Cia probe = cia;
    constexpr int kSettleCycles = 4;
    for (int i = 0; i < kSettleCycles; ++i) {
        bool aSettled = countingSteadily(probe.timerA, timerACountsCycles(probe)) ||
                        idle(probe.timerA, timerACountsCycles(probe));
        bool bCountsCycles = (probe.timerB.control & kCiaTimerBSource) == 0;
        bool bSettled =
            countingSteadily(probe.timerB, bCountsCycles) ||
            (!probe.timerB.arriving && !probe.timerB.loadNext && !probe.timerB.swallowNext);
        if (aSettled && bSettled) break;
        stepCycle(probe, ++probe.syncedTo);
        if (probe.outputLowFrom != kNever) return probe.outputLowFrom;
    }
    uint64_t soonest = kNever;
    auto consider = [&](uint64_t underflow) { soonest = std::min(soonest, underflow); };
    auto underflowOf = [&](const CiaTimer& t, bool countsEveryCycle) {
        if (countingSteadily(t, countsEveryCycle) && t.counter >= 1)
            return probe.syncedTo + t.counter;
        if (idle(t, countsEveryCycle)) return kNever;
        return probe.syncedTo + 1;
    };
    uint64_t underflowA = underflowOf(probe.timerA, timerACountsCycles(probe));
    bool timerBCountsA = (probe.timerB.control & kCiaTimerBSource) != 0;
    if ((probe.mask & kCiaTimerAFlag) || (probe.mask & kCiaSerialFlag && probe.serialShifts) ||
        (probe.mask & kCiaTimerBFlag && timerBCountsA))
        consider(underflowA);
    if ((probe.mask & kCiaTimerBFlag) && !timerBCountsA) consider(underflowOf(probe.timerB, true));
    if ((probe.mask & kCiaAlarmFlag) && probe.tod.running) {
        uint64_t periodsLeft = todDivisor(probe) - 1 - probe.tod.pinTicks;
        consider(probe.tod.nextPinTick + periodsLeft * kTodPinCycles);  // the next tenth
    }
    if (soonest == kNever) return kNever;
    return soonest + outputDelay(probe);
}
