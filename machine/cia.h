// The CIA 6526 (and the C64C's 8521): two 16-bit timers, the time-of-day clock, the serial
// data register, the interrupt control register and two 8-bit ports. The C64 has two:
// CIA 1 at $DC00 drives the processor's IRQ line, CIA 2 at $DD00 its NMI line.
//
// Modelled: every register and its mirrors; the timers cycle by cycle as a pipeline of
// count and load events (a write acts from the next cycle; a count arrives in the cycle
// after its source, so a timer started counts down two cycles after the write; a force
// load takes one cycle and swallows the next count; at 0 with a count on its way the timer
// underflows, reloads and swallows that count, so the period is latch + 1 and 0 is never
// read while counting every cycle, while a timer counting timer A's underflows rests at 0
// until the next one is on its way), one-shot and
// continuous modes, timer B counting timer A's underflows, PB6/PB7 pulse and toggle
// outputs; the interrupt flags (set whether masked or not), the mask, read-to-clear and
// the interrupt output one cycle after the flag on the 6526 and in the same cycle on the
// 8521, with the 6526's loss of timer B's flag when the register is read in the cycle of
// the underflow; the time of day in BCD with its 12-hour rollover, the hours latch, the
// stop on writing hours and the start on writing tenths, and the alarm; the serial data
// register's output shifting (eight bits on sixteen timer A underflows); the ports as
// (register OR NOT direction) AND what drives the pins from outside.
// Left out: counting CNT edges (nothing drives CNT on the C64: such a timer never counts)
// and the serial input (no byte ever arrives); the FLAG input (no edge ever comes).
//
// Time by events: the chip is up to date with `syncedTo`; a register access first brings
// it to the access's cycle (advance), and between accesses it says when its interrupt
// output will next fall (nextEvent), so that nothing polls it per cycle. Long stretches
// in which the timers only count are skipped in one step.
#pragma once

#include <cstdint>

#include "machine/config.h"
#include "machine/timeline.h"

// The registers, one row each: name and offset (the block repeats every 16 bytes). The
// firmware's chips.inc is written from this table (firmware/tools/make_chips_inc.cpp).
// clang-format off
#define BREADBIN_CIA_REGISTERS(X)                                                             \
    X(PortA,            0x0)  /* port A pins; the output register when written */            \
    X(PortB,            0x1)  /* port B pins, PB6/PB7 the timers' outputs when on */         \
    X(DirectionA,       0x2)  /* 1 = output */                                                 \
    X(DirectionB,       0x3)                                                                   \
    X(TimerALow,        0x4)  /* read: the counter; write: the latch */                        \
    X(TimerAHigh,       0x5)                                                                   \
    X(TimerBLow,        0x6)                                                                   \
    X(TimerBHigh,       0x7)                                                                   \
    X(TodTenths,        0x8)  /* time of day, BCD */                                           \
    X(TodSeconds,       0x9)                                                                   \
    X(TodMinutes,       0xA)                                                                   \
    X(TodHours,         0xB)  /* bit 7: PM; a read latches, a write stops the clock */        \
    X(SerialData,       0xC)                                                                   \
    X(InterruptControl, 0xD)  /* read: flags, cleared by the read; write: the mask */         \
    X(ControlA,         0xE)                                                                   \
    X(ControlB,         0xF)
// clang-format on

enum CiaRegister : uint8_t {
#define BREADBIN_CIA_REGISTER(name, offset) kCia##name = offset,
    BREADBIN_CIA_REGISTERS(BREADBIN_CIA_REGISTER)
#undef BREADBIN_CIA_REGISTER
};
inline constexpr uint16_t kCiaRegisterMask = 0x0F;

// Control register bits (CRA; CRB alike for timer B).
inline constexpr uint8_t kCiaStart = 0x01;
inline constexpr uint8_t kCiaPbOn = 0x02;       // the timer's output on PB6 (A) or PB7 (B)
inline constexpr uint8_t kCiaToggle = 0x04;     // output toggles; else a one-cycle pulse
inline constexpr uint8_t kCiaOneShot = 0x08;    // stop at the underflow
inline constexpr uint8_t kCiaForceLoad = 0x10;  // strobe: latch into counter; never kept
inline constexpr uint8_t kCiaInMode = 0x20;     // A: count CNT edges; B: with bit 6, the source
inline constexpr uint8_t kCiaTimerBSource = 0x60;
inline constexpr uint8_t kCiaTimerBCountsA = 0x40;  // 10 and 11: timer A's underflows
inline constexpr uint8_t kCiaSerialOut = 0x40;      // CRA: the serial port shifts out
inline constexpr uint8_t kCiaTod50Hz = 0x80;        // CRA: the TOD pin is 50 Hz (divide by 5)
inline constexpr uint8_t kCiaAlarm = 0x80;          // CRB: TOD writes set the alarm

// Interrupt flags (ICR).
inline constexpr uint8_t kCiaTimerAFlag = 0x01;
inline constexpr uint8_t kCiaTimerBFlag = 0x02;
inline constexpr uint8_t kCiaAlarmFlag = 0x04;
inline constexpr uint8_t kCiaSerialFlag = 0x08;
inline constexpr uint8_t kCiaFlagPinFlag = 0x10;
inline constexpr uint8_t kCiaInterruptBit = 0x80;  // read: the output is low; write: set

// At reset the latches and counters hold $FFFF, and the time of day 1:00:00.0, stopped.
inline constexpr uint16_t kCiaTimerAtReset = 0xFFFF;
inline constexpr uint8_t kCiaHoursAtReset = 0x01;

// The TOD pin's mains frequency, and how many cycles one of its periods takes on the PAL
// machine (985,248 Hz / 50 Hz, rounded).
inline constexpr uint64_t kTodPinCycles = 19705;

// Whether writing a stopped one-shot timer's high byte also starts it, as the 8520's
// documentation says; the 6526's does not say so, and we take it that it does not.
inline constexpr bool kHighByteStartsOneShot = false;

struct CiaTimer {
    uint16_t counter;
    uint16_t latch;
    uint8_t control;   // the control register as written, the force-load strobe left out
    bool arriving;     // a count from the cycle before arrives in this one
    bool loadNext;     // a force load takes the latch in the next cycle
    bool swallowNext;  // the next count to arrive is swallowed (after a load)
    bool output;       // PB6/PB7: the toggle's state
    bool pulse;        // PB6/PB7 in pulse mode: high in the cycle after an underflow
};

struct TimeOfDay {
    uint8_t tenths, seconds, minutes, hours;  // BCD; hours 1-12 with bit 7 for PM
    uint8_t alarm[4];                         // tenths, seconds, minutes, hours
    uint8_t latched[4];                       // what reads show while latched
    bool latchedOutput;                       // a read of hours froze the output
    bool running;
    uint8_t pinTicks;      // the pin's periods since the last tenth
    uint64_t nextPinTick;  // the cycle of the pin's next period
};

struct Cia {
    CiaModel model;
    uint64_t syncedTo;  // the chip's state is that at the end of this cycle
    CiaTimer timerA, timerB;
    TimeOfDay tod;
    uint8_t portA, portB, directionA, directionB;
    uint8_t serialData;
    uint8_t serialShifts;        // timer A underflows left in the byte being shifted out (0: idle)
    bool serialQueued;           // a byte written while one was shifting goes next
    uint8_t flags;               // the interrupt flags (ICR bits 0-4)
    uint64_t timerBUnderflowAt;  // the cycle of timer B's last underflow
    uint8_t mask;                // the interrupt mask
    // The interrupt output: low from `outputLowFrom` (kNever while high and none due); the
    // last interval it was low, for a processor that asks about a cycle just past.
    uint64_t outputLowFrom;
    uint64_t lastLowFrom, lastLowUntil;
    // What drives the ports' pins from outside, a 0 bit pulling the pin low.
    uint8_t inputA, inputB;
};

// A CIA after /RES, its time counted from `now`.
Cia resetCia(CiaModel model, uint64_t now);
// Brings the chip to the end of cycle `cycle`.
void advanceCia(Cia& cia, uint64_t cycle);
// A read of register `reg` in cycle `cycle`, with what it does (a read of the ICR clears
// it, a read of the hours latches the time of day).
uint8_t readCia(Cia& cia, uint8_t reg, uint64_t cycle);
// What a read would give, without its effects.
uint8_t peekCia(Cia& cia, uint8_t reg, uint64_t cycle);
// A write of `value` to register `reg` in cycle `cycle`.
void writeCia(Cia& cia, uint8_t reg, uint8_t value, uint64_t cycle);
// The cycle at which the interrupt output will next fall if no register is touched
// (kNever for none); one that is low already fell.
uint64_t nextCiaEvent(const Cia& cia);
// Whether the interrupt output was low in cycle `cycle` (no later than syncedTo).
bool ciaOutputLowAt(const Cia& cia, uint64_t cycle);
// What the pins of port A and port B show: the outputs, the timers' outputs on PB6/PB7,
// and what drives them from outside.
uint8_t ciaPinsA(const Cia& cia);
uint8_t ciaPinsB(const Cia& cia);
