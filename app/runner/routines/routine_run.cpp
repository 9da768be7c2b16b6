// The routine tests: a test file's cases run one by one on the machine as the file's
// program left it, each with its registers and memory set, its mocks answered and its
// expectations checked. The run itself is the machine's (machine/routine_step.h).
#include "app/runner/routines/routine_run.h"

#include <algorithm>
#include <bitset>
#include <memory>

#include "app/runner/io/text.h"
#include "app/runner/program/debug_cells.h"
#include "app/runner/program/firmware_labels.h"
#include "app/runner/program/start.h"
#include "app/runner/reports/summary.h"
#include "app/runner/reports/trace.h"
#include "cpu/call.h"
#include "host/headless.h"
#include "machine/c64.h"
#include "machine/counting.h"
#include "machine/routine_step.h"
#include "machine/trace.h"

namespace {

// Counting off while it lives, for the boot that every test of a file starts from: a
// coverage or profile of routine tests counts the tests' calls, not the firmware's
// start-up. What was counted before stays.
struct CountingPaused {
    ExecutionCount* executionCounts = counting.executionCounts;
    CallCount* callCounts = counting.callCounts;
    OpenCall* openCalls = counting.openCalls;
    CountingPaused() {
        counting.executionCounts = nullptr;
        counting.callCounts = nullptr;
        counting.openCalls = nullptr;
    }
    ~CountingPaused() {
        counting.executionCounts = executionCounts;
        counting.callCounts = callCounts;
        counting.openCalls = openCalls;
        counting.openCallCount = 0;
    }
    CountingPaused(const CountingPaused&) = delete;
    CountingPaused& operator=(const CountingPaused&) = delete;
};

void applyRegisters(CpuState& c, const RegisterValues& values) {
    auto value = [&](TestRegister r) { return values[static_cast<int>(r)]; };
    if (auto v = value(TestRegister::a)) c.regA = static_cast<uint8_t>(*v);
    if (auto v = value(TestRegister::x)) c.regX = static_cast<uint8_t>(*v);
    if (auto v = value(TestRegister::y)) c.regY = static_cast<uint8_t>(*v);
    if (auto v = value(TestRegister::s)) c.regS = static_cast<uint8_t>(*v);
    if (auto v = value(TestRegister::p)) c.regP = static_cast<uint8_t>(*v);
    for (std::size_t i = 0; i < kTestRegisterCount; ++i) {
        auto r = static_cast<TestRegister>(i);
        if (flagMask(r) != 0 && values[i]) setFlag(c, flagMask(r), *values[i]);
    }
}

uint16_t registerValue(const CpuState& c, TestRegister r) {
    switch (r) {
        case TestRegister::a: return c.regA;
        case TestRegister::x: return c.regX;
        case TestRegister::y: return c.regY;
        case TestRegister::s: return c.regS;
        case TestRegister::p: return c.regP;
        case TestRegister::pc: return c.regPC;
        default: return static_cast<uint16_t>(testFlag(c, flagMask(r)));
    }
}

// Sets the registers of the mock `index` of the test `context` as it returns.
void answerMock(CpuState& c, std::size_t index, const void* context) {
    applyRegisters(c, static_cast<const TestCase*>(context)->mocks[index].registers);
}

// "result", "result+1" or "$C801": how a message names byte `offset` of `memory`.
std::string byteName(const MemoryBytes& memory, std::size_t offset, const LabelTable& labels) {
    if (offset == 0) return memory.key;
    auto address = static_cast<uint16_t>(memory.address + offset);
    std::string label = labelFor(labels, address);
    return label.empty() ? hexWord(address) : label;
}

bool cyclesMatch(const CycleExpectation& expected, uint64_t cycles) {
    switch (expected.comparison) {
        case CycleComparison::Equal: return cycles == expected.cycles;
        case CycleComparison::AtMost: return cycles <= expected.cycles;
        case CycleComparison::Below: return cycles < expected.cycles;
        case CycleComparison::AtLeast: return cycles >= expected.cycles;
        case CycleComparison::Above: return cycles > expected.cycles;
    }
    return false;
}

std::string cycleBound(const CycleExpectation& expected) {
    constexpr std::string_view kWords[] = {"", "<= ", "< ", ">= ", "> "};
    return std::string(kWords[static_cast<int>(expected.comparison)]) +
           std::to_string(expected.cycles);
}

// Every expectation that does not hold, in one line.
std::string mismatches(const TestCase& test, uint64_t cycles, const std::vector<RoutineMock>& mocks,
                       const LabelTable& labels) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < kTestRegisterCount; ++i) {
        const auto& expected = test.expectRegisters[i];
        auto which = static_cast<TestRegister>(i);
        uint16_t got = registerValue(cpu, which);
        if (!expected || *expected == got) continue;
        bool flag = i >= static_cast<std::size_t>(TestRegister::n);
        std::string name(registerName(which));
        if (flag) {
            found.push_back(name + ": expected " + (*expected ? "set" : "clear") + ", got " +
                            (got ? "set" : "clear"));
        } else if (which == TestRegister::pc) {
            found.push_back(name + ": expected " + addressText(*expected, labels) + ", got " +
                            addressText(got, labels));
        } else {
            found.push_back(name + ": expected " + hexByte(*expected) + ", got " + hexByte(got));
        }
    }
    for (const MemoryBytes& memory : test.expectMemory) {
        for (std::size_t i = 0; i < memory.bytes.size(); ++i) {
            uint8_t held = peekByte(static_cast<uint16_t>(memory.address + i));
            if (held == memory.bytes[i]) continue;
            found.push_back(byteName(memory, i, labels) + ": expected " + hexByte(memory.bytes[i]) +
                            ", got " + hexByte(held));
        }
    }
    for (const SidExpectation& expected : test.expectSid) {
        uint8_t written = machineConfig.kind == MachineKind::C64
                              ? machine.sid.registers[expected.reg]
                              : peekByte(static_cast<uint16_t>(kSidFirst + expected.reg));
        if (written != expected.value)
            found.push_back("sid." + expected.key + ": expected " + hexByte(expected.value) +
                            ", got " + hexByte(written));
    }
    for (const auto& [name, expected] : test.expectCalls) {
        auto mock = std::find_if(test.mocks.begin(), test.mocks.end(),
                                 [&, &wanted = name](const Mock& m) { return m.name == wanted; });
        uint64_t calls = mocks[static_cast<std::size_t>(mock - test.mocks.begin())].calls;
        if (calls != expected)
            found.push_back("calls of " + name + ": expected " + std::to_string(expected) +
                            ", got " + std::to_string(calls));
    }
    if (test.expectReturn) {
        const ReturnExpectation& expected = *test.expectReturn;
        uint16_t got = expected.word ? static_cast<uint16_t>(cpu.regA | cpu.regX << 8) : cpu.regA;
        auto shown = [&](uint16_t value) {
            int16_t asSigned = expected.word ? static_cast<int16_t>(value)
                                             : static_cast<int8_t>(static_cast<uint8_t>(value));
            std::string text = std::to_string(value);
            if (asSigned < 0) text += " (" + std::to_string(asSigned) + ")";
            return text;
        };
        if (got != expected.value)
            found.push_back("return: expected " + shown(expected.value) + ", got " + shown(got));
    }
    if (test.expectCycles && !cyclesMatch(*test.expectCycles, cycles))
        found.push_back("cycles: expected " + cycleBound(*test.expectCycles) + ", got " +
                        std::to_string(cycles));
    std::string line;
    for (const std::string& one : found) line += (line.empty() ? "" : "; ") + one;
    return line;
}

// What a test runs with besides the machine: the RAM it may write, one bit an address,
// and its mocks with their calls.
struct TestSetting {
    std::unique_ptr<std::bitset<kRamSize>> writable;  // null: any write is allowed
    std::vector<RoutineMock> mocks;
    InputScript script;  // the test's input from its call on; the machine follows it
    TestSetting() = default;
    TestSetting(const TestSetting&) = delete;
    TestSetting& operator=(const TestSetting&) = delete;
    ~TestSetting() {
        if (inputScript == &script) inputScript = nullptr;
    }
};

// Starts `test` on the kept machine state: registers and memory set, then the call of its
// routine made (or regPC at its run's start). Returns the run its legs begin with.
RoutineRun startTest(const RunnerOptions& options, const TestCase& test,
                     const MachineSnapshot& kept, TestSetting& setting) {
    restoreMachine(kept);
    headlessSeedRandom(options.seed);
    startTrace(options.traceLength);
    applyRegisters(cpu, test.setRegisters);
    for (const MemoryBytes& memory : test.setMemory) {
        for (std::size_t i = 0; i < memory.bytes.size(); ++i)
            pokeByte(static_cast<uint16_t>(memory.address + i), memory.bytes[i]);
    }
    if (test.writes) {
        setting.writable = std::make_unique<std::bitset<kRamSize>>();
        for (const MemoryRange& range : *test.writes) {
            for (uint32_t i = 0; i < range.length; ++i) setting.writable->set(range.address + i);
        }
    }
    for (const Mock& mock : test.mocks) setting.mocks.push_back({mock.address, 0});
    if (!test.input.empty()) {
        setting.script = layOutInput(test.input, cyclesSinceStart(), frameCycles());
        inputScript = &setting.script;
    }

    RoutineRun run{};
    run.runToExit = test.runToExit;
    run.mocks = setting.mocks.data();
    run.mockCount = setting.mocks.size();
    run.answerMock = answerMock;
    run.mockContext = &test;
    run.writable = setting.writable.get();
    run.frame = callAt(cpu, static_cast<uint16_t>(cpu.regPC - kJsrLength), cyclesSinceStart());
    if (test.runToExit) {
        cpu.regPC = test.entry;
        return run;
    }
    int32_t before = cpu.cycleCount;
    enterCall(cpu, test.entry, run.frame.returnAddress);
    if (counting.executionCounts) {
        // Counted as a call from just before where the hook left regPC.
        ++counting.executionCounts[test.entry].calls;
        openCall(static_cast<uint16_t>(run.frame.returnAddress - kJsrLength), test.entry,
                 run.frame.stackPointer, 0, static_cast<uint64_t>(cpu.cycleCount - before));
    }
    return run;
}

// Runs the test until its outcome or its cycles' end, reporting its debug cells' stores.
void runTestLegs(const TestCase& test, RoutineRun& run, DebugCells& cells) {
    for (;;) {
        runRoutine(run, test.maxCycles, test.irq);
        if (!run.cellStored) break;
        debugCellStored(cells, run.cellAddress, run.cellValue, cyclesSinceStart());
        run.cellStored = false;
        if (run.outcome != RoutineOutcome::Running) break;
    }
}

// The verdict, the stop and the message of a test that has ended, `cycles` into its call.
void judgeTest(const TestCase& test, const TestFile& file, const RoutineRun& step,
               const std::vector<RoutineMock>& mocks, uint64_t cycles, RunResult& result) {
    std::string counted = " (" + std::to_string(cycles) + " cycles)";
    auto error = [&](StopReason stop, const std::string& what) {
        result.verdict = Verdict::Error;
        result.stop = stop;
        result.message = test.name + ": " + what;
    };
    switch (step.outcome) {
        case RoutineOutcome::Running:
            error(StopReason::CycleLimit,
                  std::string(test.runToExit ? "no debug exit" : "did not return") + " within " +
                      std::to_string(test.maxCycles) + " cycles, at " +
                      addressText(cpu.regPC, file.map.labels));
            break;
        case RoutineOutcome::Brk:
            error(StopReason::Crashed, "BRK at " + addressText(step.pc, file.map.labels) + counted);
            break;
        case RoutineOutcome::Jam:
            error(StopReason::Jam, "JAM at " + addressText(step.pc, file.map.labels) + counted);
            break;
        case RoutineOutcome::BadWrite:
            error(StopReason::Crashed, "wrote " + addressText(step.badWrite, file.map.labels) +
                                           ", outside its writes, at " +
                                           addressText(step.badWriteAt, file.map.labels) + counted);
            break;
        case RoutineOutcome::Returned:
        case RoutineOutcome::DebugExit: {
            result.stop = test.runToExit ? StopReason::DebugExit : StopReason::Returned;
            std::string wrong;
            if (test.runToExit) {
                result.exitByte = storedByte(kDebugExitRegister);
                if (result.exitByte != 0) wrong = "debug exit " + hexByte(result.exitByte);
            }
            std::string more = mismatches(test, cycles, mocks, file.map.labels);
            if (!more.empty()) wrong += (wrong.empty() ? "" : "; ") + more;
            result.verdict = wrong.empty() ? Verdict::Pass : Verdict::Fail;
            result.message = test.name + (wrong.empty() ? counted : ": " + wrong);
            break;
        }
    }
}

// Runs one test on the kept machine state.
RunResult runTest(const RunnerOptions& options, const TestFile& file, const TestCase& test,
                  const MachineSnapshot& kept, const MachineConfig& config) {
    TestSetting setting;
    RoutineRun step = startTest(options, test, kept, setting);
    DebugCells cells;
    cells.source = file.path + ": " + test.name;
    runTestLegs(test, step, cells);
    endConsole(cells);
    uint64_t cycles = callCycles(step.frame, cyclesSinceStart());

    RunResult result;
    nameMachine(config, result);
    result.program = file.path;
    result.test = test.name;
    result.stopwatch = std::move(cells.times);
    result.console = std::move(cells.lines);
    result.cycles = cycles;
    result.frames = machine.loop.framesDrawn - kept.machine.loop.framesDrawn;
    result.registers = cpu;
    // The hash reads all of RAM, many times the work of a short routine's test: only for
    // the reports that show it.
    if (!options.summaryFile.empty() || !options.junitFile.empty())
        result.hash = machineStateHash();
    result.start = test.entry;
    result.startedBy = test.runToExit ? "run" : "call";
    if (const Label* routine = routineContaining(file.map.labels, cpu.regPC))
        result.routine = routine->name;
    judgeTest(test, file, step, setting.mocks, cycles, result);
    if (result.verdict != Verdict::Pass && options.traceLength > 0)
        keepTrace(result, config.cpu, file.map);
    return result;
}

}  // namespace

void runTests(const RunnerOptions& options, const TestFile& file,
              const std::function<void(const RunResult&)>& give) {
    std::vector<uint8_t> programFile;
    std::string error;
    MachineConfig config{.kind = file.machine.value_or(options.machine.kind),
                         .cpu = file.cpu.value_or(options.machine.cpu),
                         .cia = file.cia.value_or(options.machine.cia),
                         .video = file.video.value_or(options.machine.video)};
    if (!startHeadlessMachine(file.romDir, file.program, "", options.seed, false, config,
                              programFile, error) ||
        !mountDrives(file.romDir, file.drives, error))
        return give(badInput(file.path, error));
    drawFrames = false;
    bool booted;
    {
        CountingPaused boot;
        booted = bootUntilProgramLoaded(kDefaultCycleLimit);
    }
    drawFrames = true;
    if (!booted)
        return give(badInput(file.path, "the firmware did not reach its input loop within " +
                                            std::to_string(kDefaultCycleLimit) +
                                            " cycles, so the program was never loaded"));
    bool input = std::any_of(file.tests.begin(), file.tests.end(),
                             [](const TestCase& test) { return !test.input.empty(); });
    if (input && config.kind != MachineKind::C64)
        return give(badInput(file.path,
                             "input needs machine = \"c64\": the minimal machine "
                             "has no keyboard matrix"));
    auto kept = std::make_unique<MachineSnapshot>();
    saveMachine(*kept);
    // Addresses are shown by the file's labels, and the firmware's where ours runs.
    TestFile shown = file;
    shown.map.labels = shownLabels(file.map.labels, file.romDir);
    drawFrames = false;
    for (const TestCase& test : shown.tests) give(runTest(options, shown, test, *kept, config));
    drawFrames = true;
    startTrace(0);
}

void runTestFile(const RunnerOptions& options, const TestFileToRun& file,
                 const std::function<void(const RunResult&)>& give) {
    if (file.failure) return give(*file.failure);
    runTests(options, file.file, give);
}
