// The routine tests' loop (routine_step.h) on either machine: legs of the routine's step
// policy, and between them the machine's own work as its main loop does it.
#include <algorithm>

#include "machine/routine_step.h"

namespace {

// The cycleCount at which the test's cycles run out: `maxCycles` since its call began.
int32_t cyclesEnd(const RoutineRun& run, uint64_t maxCycles) {
    uint64_t spent = cyclesSinceStart() - run.frame.cyclesAtJsr;
    int64_t end = cpu.cycleCount + static_cast<int64_t>(std::min<uint64_t>(
                                       maxCycles - spent, static_cast<uint64_t>(INT32_MAX)));
    return static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
}

bool cyclesLeft(const RoutineRun& run, uint64_t maxCycles) {
    return cyclesSinceStart() - run.frame.cyclesAtJsr < maxCycles;
}

// The minimal machine: with interrupts, legs of the main loop's stretch with the frame
// check between them, so that the frame's interrupt comes as it would; without, one leg
// to the end of the test's cycles. A store into a debug cell or the drive request cell
// ends a leg early; the rest of that leg follows (after the request is served).
template <CpuModel Model>
void runOnMinimal(RoutineRun& run, uint64_t maxCycles, bool interrupts) {
    const uint64_t legSteps = interrupts ? kStepsPerHostCheck : UINT64_MAX;
    while (cyclesLeft(run, maxCycles)) {
        run.remaining = run.resume ? run.leftover : legSteps;
        run.resume = false;
        if (run.remaining > 0) {
            run.cycleEnd = cyclesEnd(run, maxCycles);
            legEnd = LegEnd{};
            RoutineStep<Model, FlatBus> step{run};
            runRoutineLeg(step);
            run = step;
            if (legEnd.driveRequest) {
                serveDriveRequestAfterLeg();
                run.resume = true;
                if (run.outcome == RoutineOutcome::Running) continue;
            }
            if (run.cellStored) {
                run.cellValue = memory.ram[run.cellAddress];
                run.resume = true;
                return;
            }
            if (run.outcome != RoutineOutcome::Running) return;
        }
        foldCycleCount();
        if (interrupts) {
            // The interrupt's entry pushes too, unless I holds it off.
            uint8_t stackBefore = cpu.regS;
            uint16_t interrupted = cpu.regPC;
            frameCheck();
            run.checkPushes(cpu.regS, static_cast<uint8_t>(stackBefore - cpu.regS), interrupted);
        }
    }
}

// The C64: legs up to the chips' next event, the chips running all the while; the
// interrupts as the processor takes them, or none.
template <CpuModel Model>
void runOnC64(RoutineRun& run, uint64_t maxCycles, bool interrupts) {
    while (cyclesLeft(run, maxCycles)) {
        c64FrameEnds();
        uint8_t stackBefore = cpu.regS;
        uint16_t interrupted = cpu.regPC;
        int32_t limit = prepareC64Leg(interrupts);
        run.checkPushes(cpu.regS, static_cast<uint8_t>(stackBefore - cpu.regS), interrupted);
        if (run.outcome != RoutineOutcome::Running) return;
        legEnd = LegEnd{};
        legEnd.limit = limit;
        run.remaining = UINT64_MAX;
        run.cycleEnd = cyclesEnd(run, maxCycles);
        setFlag(cpu, kFlagBit5, 1);
        bool maskBefore = (cpu.regP & kFlagI) != 0;
        int32_t before = cpu.cycleCount;
        RoutineStep<Model, C64Bus> step{run};
        runRoutineLeg(step);
        run = step;
        if (cpu.cycleCount != before) finishC64Leg({run.startCycles, maskBefore});
        serveDriveRequestAfterLeg();
        if (run.cellStored) {
            run.cellValue = c64StoredByte(run.cellAddress);
            return;
        }
        if (run.outcome != RoutineOutcome::Running) return;
    }
}

}  // namespace

bool detourAt(uint16_t pc, RoutineMock* mocks, std::size_t mockCount) {
    return routineServedNowAt(pc) || mockAt(mocks, mockCount, pc) != nullptr;
}

void takeDetour(RoutineRun& run) {
    --run.remaining;
    setFlag(cpu, kFlagBit5, 1);
    run.pc = cpu.regPC;
    run.startCycles = cpu.cycleCount;
    if (!serveRoutineCounted(cpu)) {
        RoutineMock* mock = mockAt(run.mocks, run.mockCount, run.pc);
        ++mock->calls;
        cpu.currentOpcode = kOpcodeRTS;
        run.answerMock(cpu, static_cast<std::size_t>(mock - run.mocks), run.mockContext);
        cpu.cycleCount += 2;  // the opcode fetch
        opRTS(cpu);
        if (counting.executionCounts) {
            counting.cycles += static_cast<uint64_t>(cpu.cycleCount - run.startCycles);
            closeCall(cpu.regPC, cpu.regS);
        }
    }
    if (!run.runToExit && returnsFrom(run.frame, kOpcodeRTS, cpu))
        run.outcome = RoutineOutcome::Returned;
}

void runRoutine(RoutineRun& run, uint64_t maxCycles, bool interrupts) {
    run.detours = run.mockCount != 0 || servedRoutines.armed;
    withModel(machineConfig.cpu, [&](auto m) {
        if (machineConfig.kind == MachineKind::C64) {
            runOnC64<decltype(m)::value>(run, maxCycles, interrupts);
        } else {
            runOnMinimal<decltype(m)::value>(run, maxCycles, interrupts);
        }
    });
}
