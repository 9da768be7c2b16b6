#include "machine/port.h"

#include "machine/timeline.h"

uint8_t portValue(const ProcessorPort& port) {
    auto inputs = static_cast<uint8_t>(kPortInputsPulledUp | port.floating);
    return static_cast<uint8_t>((port.data & port.direction) | (inputs & ~port.direction));
}

namespace {
void showPort(const ProcessorPort& port, uint8_t* ram) {
    ram[0] = port.direction;
    ram[1] = portValue(port);
}
}  // namespace

void resetPort(ProcessorPort& port, uint8_t* ram) {
    port = ProcessorPort{};
    port.fadesAt = kNever;
    port.ramUnder[0] = ram[0];
    port.ramUnder[1] = ram[1];
    showPort(port, ram);
}

void writePort(ProcessorPort& port, uint16_t address, uint8_t value, uint64_t cycle,
               uint8_t busByte, uint8_t* ram) {
    advancePort(port, cycle, ram);
    uint8_t wasOutput = port.direction & kPortFloatingBits;
    if (address == 0) {
        port.direction = value;
    } else {
        port.data = value;
    }
    uint8_t isOutput = port.direction & kPortFloatingBits;
    // Bits that stop being driven keep what they were driven with; driven bits keep nothing.
    auto released = static_cast<uint8_t>(wasOutput & ~isOutput);
    port.floating = static_cast<uint8_t>((port.floating & ~isOutput) | (port.data & released));
    if (released & port.data) port.fadesAt = cycle + kPortFadeCycles;
    if (port.floating == 0) port.fadesAt = kNever;
    port.ramUnder[address] = busByte;
    showPort(port, ram);
}

void advancePort(ProcessorPort& port, uint64_t cycle, uint8_t* ram) {
    if (port.fadesAt > cycle) return;
    port.floating = 0;
    port.fadesAt = kNever;
    showPort(port, ram);
}
