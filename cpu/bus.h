// What the processor reads and writes through: its bus. The processor's registers carry
// their model and their bus in their type (Processor), so that the fetchers and the
// operations, written once, compile for each machine the interpreter runs on, and a
// machine's bus sees the cycle of every access: when an operation reads or writes its
// operand, the cycles charged so far end with the cycle of that access (the fetch and
// the fetcher charge theirs first, and a read-modify-write charges its two writes one
// by one), so `cycleCount` at the access is the count at the end of its cycle.
#pragma once

#include "cpu/model.h"
#include "cpu/state.h"

// The minimal machine's bus: RAM with the three ROM images laid over it as ram[$01]
// selects (readByte, readWord), every write into RAM (writeByte). It never asks when an
// access happens, and an instruction's dummy accesses do not reach it.
struct FlatBus {
    static constexpr bool kSeesDummyWrites = false;
    static uint8_t read(const CpuState&, uint16_t address) { return readByte(address); }
    static uint16_t readWord(const CpuState&, uint16_t address) { return ::readWord(address); }
    static void write(const CpuState&, uint16_t address, uint8_t value) {
        writeByte(address, value);
    }
};

// The registers of a processor of model M on the bus B, as the interpreter runs them. A
// plain CpuState is the default model on the flat bus.
template <CpuModel M, class B = FlatBus>
struct Processor : CpuState {
    static constexpr CpuModel model = M;
    using Bus = B;
};

template <class P>
struct BusOfProcessor {
    using type = typename P::Bus;
};
template <>
struct BusOfProcessor<CpuState> {
    using type = FlatBus;
};
template <class P>
using BusOf = typename BusOfProcessor<P>::type;

// A read, a 16-bit read and a write on the bus of the registers `c`, in the cycle that
// ends at c.cycleCount.
template <class P>
inline uint8_t busRead(const P& c, uint16_t address) {
    return BusOf<P>::read(c, address);
}
template <class P>
inline uint16_t busReadWord(const P& c, uint16_t address) {
    return BusOf<P>::readWord(c, address);
}
template <class P>
inline void busWrite(const P& c, uint16_t address, uint8_t value) {
    BusOf<P>::write(c, address, value);
}
