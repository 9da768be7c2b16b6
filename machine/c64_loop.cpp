// The C64's main loop: legs of the interpreter on the C64's bus, each up to the next cycle
// at which a chip may change what the processor must react to, and between legs the
// machine's own work: the frame (the VIC's, 19,656 cycles on PAL), the test hook, and the
// interrupts as the processor takes them.
//
// Interrupts. The processor samples the IRQ level and the NMI edge in every cycle and
// decides at the end of an instruction from what it sampled in the instruction's
// next-to-last cycle (the poll); a taken branch that stays in its page samples in its
// first cycle only; CLI, SEI and PLP change flag I after their poll, RTI before its own; the
// 7-cycle entry takes no interrupt, and the handler's first instruction runs before the
// next one. So a leg whose lines may fall at cycle A stops before an instruction that
// starts at A + 2 or later: the last instruction it runs is the first whose poll sees A.
// An NMI that falls within the first four cycles of a BRK or of an IRQ's entry takes that
// sequence over: it fetches the NMI vector, and the IRQ, still pending, comes after.
#include <algorithm>

#include "host/host.h"
#include "machine/bad_lines.h"
#include "machine/c64_step.h"
#include "machine/watch.h"

namespace {

using C64LegRunner = uint64_t (*)(uint64_t, int32_t, bool, C64LegEnd&);
constexpr C64LegRunner kC64LegRunners[kC64StepVariants] = {
#define BREADBIN_C64_LEG_RUNNER(i) &runC64Leg<C64StepFeatures::fromIndex(i)>,
    BREADBIN_FOR_EACH_C64_LEG_VARIANT(BREADBIN_C64_LEG_RUNNER)
#undef BREADBIN_C64_LEG_RUNNER
};

constexpr uint16_t kNmiVector = 0xFFFA;
// The cycles of an interrupt sequence (BRK's or an entry's) within which an NMI that falls
// takes the sequence over: the first four.
constexpr uint64_t kHijackCycles = 4;

// Runs `work` on the registers as a processor of the machine's model on the C64's bus.
template <class Work>
void onC64Processor(Work&& work) {
    withModel(machineConfig.cpu, [&](auto m) {
        Processor<decltype(m)::value, C64Bus> p{cpu};
        work(p);
        cpu = p;
    });
}

// Turns a fall of the NMI line not yet seen into the NMI edge. The line is the wired-OR of
// CIA 2's output and RESTORE's pulse: a fall of one while the other holds it low is none.
void noteNmiFalls(uint64_t now) {
    InterruptState& is = machine.interrupts;
    const Cia& cia2 = machine.cia2;
    uint64_t restore = machine.input.restoreAt;
    auto unseen = [&](uint64_t fall) {
        return fall != kNever && fall <= now && (is.nmiFallSeen == kNever || fall > is.nmiFallSeen);
    };
    auto underRestore = [&](uint64_t fall) {
        return restore != kNever && fall >= restore && fall - restore < kRestorePulseCycles;
    };
    uint64_t edge = kNever;
    uint64_t seen = kNever;
    auto fallAt = [&](uint64_t fall, bool isEdge) {
        if (isEdge) edge = std::min(edge, fall);
        seen = seen == kNever ? fall : std::max(seen, fall);
    };
    if (cia2.lastLowUntil > cia2.lastLowFrom && unseen(cia2.lastLowFrom))
        fallAt(cia2.lastLowFrom, !underRestore(cia2.lastLowFrom));
    if (unseen(cia2.outputLowFrom)) fallAt(cia2.outputLowFrom, !underRestore(cia2.outputLowFrom));
    if (unseen(restore)) fallAt(restore, !ciaOutputLowAt(cia2, restore));
    if (seen == kNever) return;
    is.nmiFallSeen = seen;
    if (edge != kNever && is.nmiEdgeAt == kNever) is.nmiEdgeAt = edge;
}

// The cycle of the next NMI edge if nothing is touched: one pending, or CIA 2's next fall
// while its output is high.
uint64_t nextNmiEdge() {
    if (machine.interrupts.nmiEdgeAt != kNever) return machine.interrupts.nmiEdgeAt;
    if (machine.cia2.outputLowFrom != kNever) return kNever;  // low: no edge until released
    return nextCiaEvent(machine.cia2);
}

// The interrupt sequence from cycle `now`, through `vector`, unless an NMI falls within
// its first cycles and takes it over.
void enterC64Interrupt(uint16_t vector, uint64_t now) {
    InterruptState& is = machine.interrupts;
    advanceVic(machine.vic, now);
    uint64_t wait = badLineWaitOfEntry(nextBadLine(machine.vic, now), now);
    cpu.cycleCount += static_cast<int32_t>(wait);
    now += wait;
    if (vector != kNmiVector && nextNmiEdge() < now + kHijackCycles) vector = kNmiVector;
    if (vector == kNmiVector) is.nmiEdgeAt = kNever;
    onC64Processor([&](auto& p) { enterInterrupt(p, vector); });
    is.pollAt = kNever;
    // The entry belongs to no instruction, but to the calls under way.
    if (counting.executionCounts) counting.cycles += kInterruptEntryCycles;
}

// Takes an interrupt when the last instruction's poll saw one: NMI before IRQ.
void takeInterrupts(uint64_t now) {
    InterruptState& is = machine.interrupts;
    advanceCia(machine.cia2, now);
    noteNmiFalls(now);
    if (is.pollAt == kNever) return;
    uint64_t poll = is.pollAt;
    is.pollAt = kNever;
    if (is.nmiEdgeAt <= poll) {
        enterC64Interrupt(kNmiVector, now);
    } else if (!is.polledMask && irqLineLowAt(poll)) {
        enterC64Interrupt(kIrqVector, now);
    }
}

// What the last instruction of a leg leaves for the interrupts: its poll, and for a BRK an
// NMI that takes it over.
void notePoll(const C64LegEnd& last) {
    InterruptState& is = machine.interrupts;
    uint64_t base = machine.loop.cyclesOfEarlierFrames;
    uint64_t start = base + static_cast<uint64_t>(last.start);
    uint64_t end = base + static_cast<uint64_t>(cpu.cycleCount);
    uint8_t opcode = cpu.currentOpcode;
    if (opcode == kOpcodeBRK) {
        advanceCia(machine.cia2, end);
        noteNmiFalls(end);
        if (nextNmiEdge() < start + kHijackCycles) {
            is.nmiEdgeAt = kNever;
            onC64Processor([](auto& p) { p.regPC = busReadWord(p, kNmiVector); });
        }
        is.pollAt = kNever;
        return;
    }
    bool branchInPage = opcodeInfo(machineConfig.cpu, opcode).mode == AddressingMode::Relative &&
                        end - start == kBranchTakenCycles;
    is.pollAt = branchInPage ? start : end - kPollBeforeEnd;
    bool maskActsLate = opcode == kOpcodeCLI || opcode == kOpcodeSEI || opcode == kOpcodePLP;
    is.polledMask = maskActsLate ? last.maskBefore : (cpu.regP & kFlagI) != 0;
}

// The cycleCount before which the next leg must end: the frame's end, the next fall of an
// interrupt line that the processor would take, the port's fade; at least one instruction.
// Without `interrupts` the lines are not looked at: none is taken.
int32_t legLimit(uint64_t now, bool interrupts) {
    uint64_t base = machine.loop.cyclesOfEarlierFrames;
    uint64_t limit = base + frameCycles();
    auto until = [&](uint64_t event, uint64_t after) {
        if (event != kNever) limit = std::min(limit, event + after);
    };
    advanceCia(machine.cia1, now);
    advanceCia(machine.cia2, now);
    if (interrupts && !(cpu.regP & kFlagI)) {
        until(nextCiaEvent(machine.cia1), kPollBeforeEnd);
        advanceVic(machine.vic, now);
        until(nextVicIrqFall(machine.vic), kPollBeforeEnd);
    }
    if (interrupts) until(nextNmiEdge(), kPollBeforeEnd);
    until(nextInputEvent(machine.input), kPollBeforeEnd);
    until(machine.port.fadesAt, 0);
    int64_t relative = static_cast<int64_t>(std::max(limit, now + 1) - base);
    return static_cast<int32_t>(std::min<int64_t>(relative, INT32_MAX));
}

}  // namespace

bool c64FrameEnds() {
    if (cpu.cycleCount < static_cast<int32_t>(frameCycles())) return false;
    machine.loop.cyclesOfEarlierFrames += frameCycles();
    cpu.cycleCount -= static_cast<int32_t>(frameCycles());
    ++machine.loop.framesDrawn;
    if (drawFrames) drawScreen();
    hostService();
    pollForEscape();
    return true;
}

namespace {
// The bad line that prepareC64Leg found for the leg, with the VIC brought up to the leg's
// start: finishC64Leg's too, unless the leg stored into a chip (which may have moved it) or
// ran past it. Looking afresh after a leg that ran past line $30 without touching the VIC
// would miss that the display was on there, and with it the frame's first bad line.
BadLine preparedBadLine{kNever, kNever};
}  // namespace

int32_t prepareC64Leg(bool interrupts) {
    uint64_t now = cyclesSinceStart();
    advancePort(machine.port, now, memory.ram);
    advanceInput(machine.input, now);
    if (interrupts) takeInterrupts(now);
    now = cyclesSinceStart();
    advanceVic(machine.vic, now);
    BadLine bad = nextBadLine(machine.vic, now);
    if (bad.baFrom <= now) {
        // The next instruction's opcode fetch waits for the bus.
        cpu.cycleCount += static_cast<int32_t>(bad.resume - now);
        now = bad.resume;
        bad = nextBadLine(machine.vic, now);
    }
    preparedBadLine = bad;
    int32_t limit = legLimit(now, interrupts);
    if (bad.baFrom != kNever) {
        int64_t before = static_cast<int64_t>(bad.baFrom - machine.loop.cyclesOfEarlierFrames);
        limit = static_cast<int32_t>(std::min<int64_t>(limit, before));
    }
    return limit;
}

void finishC64Leg(const C64LegEnd& last) {
    uint64_t base = machine.loop.cyclesOfEarlierFrames;
    uint64_t start = base + static_cast<uint64_t>(last.start);
    uint64_t end = base + static_cast<uint64_t>(cpu.cycleCount);
    BadLine bad = preparedBadLine;
    if (legEnd.storeSeen || start >= bad.resume) {
        advanceVic(machine.vic, start);
        bad = nextBadLine(machine.vic, start);
    }
    if (bad.baFrom > start && bad.baFrom < end) {
        cpu.cycleCount += static_cast<int32_t>(badLineWaitOfInstruction(
            bad, start, cpu.currentOpcode, static_cast<uint32_t>(end - start)));
    }
    notePoll(last);
}

uint64_t runC64Loop(uint64_t count, const Watch* watch, WatchReport& report) {
    report = {};
    uint64_t done = 0;
    while (done < count) {
        if (c64FrameEnds()) {
            if (watch && watch->frames) {
                report.event = WatchEvent::FrameDrawn;
                break;
            }
        }
        bool window = legsWatchWindow(watch);
        if ((report.event = testHookBeforeStep(watch)) != WatchEvent::None) break;
        if (serveRoutineCounted(cpu)) continue;
        int32_t limit = prepareC64Leg(true);
        C64StepFeatures features{.observe = legsObserve(watch), .model = machineConfig.cpu};
        uint64_t steps = count - done;
        if (window && loopStopsAt(cpu.regPC)) {
            // A leg that starts in the window runs that step alone, without looking.
            window = false;
            steps = 1;
        }
        C64LegEnd last{};
        uint64_t ran = kC64LegRunners[features.index()](steps, limit, window, last);
        done += ran;
        if (ran > 0) finishC64Leg(last);
        serveDriveRequestAfterLeg();
        if (legEnd.jammed) {
            report.event = WatchEvent::Jammed;
            break;
        }
        if (legEnd.storeSeen && watch && storeWatched(*watch, legEnd.storeAddress)) {
            report.event = WatchEvent::StoreSeen;
            report.storeAddress = legEnd.storeAddress;
            report.storeValue = storedByte(legEnd.storeAddress);
            break;
        }
    }
    return done;
}

void startC64() {
    resetC64Chips();
    onC64Processor([](auto& p) { cpuReset(p); });
    setFlag(cpu, kFlagBit5, 1);
}

uint8_t peekC64(uint16_t address) {
    bool io = address >= kIoFirst && address < kKernalRomFirst && ioMapped();
    if (io) return peekIo(address, cyclesSinceStart());
    return C64Bus::read(cpu, address);
}

void pokeC64(uint16_t address, uint8_t value) {
    bool chips = address <= kPortAddress || (address >= kIoFirst && address < kKernalRomFirst);
    if (chips) {
        writeC64Slow(address, value, cyclesSinceStart());
    } else {
        memory.ram[address] = value;
    }
}

#define BREADBIN_COMPILE_C64_LEG(i) \
    template uint64_t runC64Leg<C64StepFeatures::fromIndex(i)>(uint64_t, int32_t, bool, C64LegEnd&);
BREADBIN_FOR_EACH_C64_LEG_VARIANT(BREADBIN_COMPILE_C64_LEG)
#undef BREADBIN_COMPILE_C64_LEG
