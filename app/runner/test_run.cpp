// The routine tests run with a step policy of their own, so that the main loop's legs
// stay as they are: it ends the run when the call returns, on BRK, on a write outside
// what the test may write, at the debug exit of a run test, and when its cycles run out;
// it answers the calls of mocked routines, and does what the main loop does around an
// instruction (status bit 5, the raster register after a store, the keyboard stub).
#include "app/runner/test_run.h"

#include <fnmatch.h>

#include <algorithm>
#include <bitset>
#include <filesystem>
#include <memory>

#include "app/runner/batch.h"
#include "app/runner/debug_cells.h"
#include "app/runner/outputs.h"
#include "app/runner/read_file.h"
#include "app/runner/run.h"
#include "cpu/call.h"
#include "host/headless.h"
#include "machine/counting.h"
#include "machine/keyboard.h"
#include "machine/step_loop.h"
#include "machine/trace.h"

namespace {

enum class Outcome : uint8_t { Running, Returned, DebugExit, Brk, Jam, BadWrite };

// A mock while a test runs: where it is, what it sets, how often it was called.
struct LiveMock {
    uint16_t address;
    const RegisterValues* registers;
    uint64_t calls;
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

// What a test's run keeps between legs.
struct TestState {
    uint64_t remaining;  // steps left in this leg
    int32_t cycleEnd;    // the leg ends once cycleCount reaches this
    CallFrame frame;
    bool runToExit;
    Outcome outcome;
    uint16_t pc;          // the address of the instruction under way
    int32_t startCycles;  // the cycles charged before it
    uint16_t badWrite;    // a write outside the test's writes, and the instruction that made it
    uint16_t badWriteAt;  // (or the address an interrupt came at)
    LiveMock* mocks;
    std::size_t mockCount;
    const std::bitset<kRamSize>* writable;  // null: any write is allowed
    bool cellStored;       // the leg ended at a store into a debug cell, at cellAddress,
    uint16_t cellAddress;  // with cellLeftover of its steps not run
    uint64_t cellLeftover;

    // Fails the test at a write to `address` outside its writes, made at `at`.
    void checkWrite(uint16_t address, uint16_t at) {
        if (writable && !writable->test(address) && outcome == Outcome::Running) {
            outcome = Outcome::BadWrite;
            badWrite = address;
            badWriteAt = at;
        }
    }
    // The same for the `count` bytes just pushed below the stack pointer, now `s`.
    void checkPushes(uint8_t s, unsigned count, uint16_t at) {
        for (unsigned i = 1; i <= count; ++i)
            checkWrite(static_cast<uint16_t>(kStackPage + static_cast<uint8_t>(s + i)), at);
    }
};

template <CpuModel Model>
struct TestStep : TestState {
    bool beforeInstruction(CpuState& c) {
        for (;;) {
            if (outcome != Outcome::Running || remaining == 0 || c.cycleCount >= cycleEnd)
                return false;
            --remaining;
            setFlag(c, kFlagBit5, 1);
            pc = c.regPC;
            startCycles = c.cycleCount;
            LiveMock* mock = mockAt(pc);
            if (!mock) break;
            // A mocked routine returns at once with its registers set: one step, an RTS's
            // work and cycles.
            ++mock->calls;
            int32_t mockStart = c.cycleCount;
            applyRegisters(c, *mock->registers);
            c.cycleCount += 2;  // the opcode fetch
            opRTS(c);
            if (counting.executionCounts) {
                counting.cycles += static_cast<uint64_t>(c.cycleCount - mockStart);
                closeCall(c.regPC, c.regS);
            }
            if (!runToExit && returnsFrom(frame, kOpcodeRTS, c)) outcome = Outcome::Returned;
        }
        if (trace.ring) traceInstruction(c.regPC, c.regA, c.regX, c.regY, c.regS, c.regP);
        return true;
    }

    LiveMock* mockAt(uint16_t address) const {
        for (std::size_t i = 0; i < mockCount; ++i) {
            if (mocks[i].address == address) return &mocks[i];
        }
        return nullptr;
    }

    template <uint8_t Opcode>
    void afterInstruction(CpuState& c, uint16_t address) {
        if constexpr (storesToOperand(Model, Opcode)) {
            writeByte(kRasterRegister, 0);
            if (runToExit && address == kDebugExitRegister) outcome = Outcome::DebugExit;
            if (static_cast<uint16_t>(address - kDebugCellsFirst) <=
                kDebugConsole - kDebugCellsFirst) {
                cellStored = true;
                cellAddress = address;
                cellLeftover = remaining;
                remaining = 0;
            }
            checkWrite(address, pc);
        }
        // A BRK ends the test as a BRK, before its pushes are looked at.
        if constexpr (Opcode == kOpcodeBRK) outcome = Outcome::Brk;
        if constexpr (opcodeInfo(Model, Opcode).stackPushes > 0)
            checkPushes(c.regS, opcodeInfo(Model, Opcode).stackPushes, pc);
        if (counting.executionCounts)
            countInstruction<Model, Opcode>(c, pc, c.cycleCount - startCycles);
        if constexpr (opcodeInfo(Model, Opcode).halts) outcome = Outcome::Jam;
        if constexpr (Opcode == kOpcodeRTS) {
            if (!runToExit && returnsFrom(frame, Opcode, c)) outcome = Outcome::Returned;
        }
        updateKeyboardPort();
    }
};

std::string withLabel(uint16_t address, const LabelTable& labels) {
    return addressText(address, labels);
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
std::string mismatches(const TestCase& test, uint64_t cycles, const std::vector<LiveMock>& mocks,
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
            found.push_back(name + ": expected " + withLabel(*expected, labels) + ", got " +
                            withLabel(got, labels));
        } else {
            found.push_back(name + ": expected " + hexByte(*expected) + ", got " + hexByte(got));
        }
    }
    for (const MemoryBytes& memory : test.expectMemory) {
        for (std::size_t i = 0; i < memory.bytes.size(); ++i) {
            uint8_t held = ::memory.ram[static_cast<uint16_t>(memory.address + i)];
            if (held == memory.bytes[i]) continue;
            found.push_back(byteName(memory, i, labels) + ": expected " + hexByte(memory.bytes[i]) +
                            ", got " + hexByte(held));
        }
    }
    for (const auto& [name, expected] : test.expectCalls) {
        auto mock = std::find_if(test.mocks.begin(), test.mocks.end(),
                                 [&, &wanted = name](const Mock& m) { return m.name == wanted; });
        uint64_t calls = mocks[static_cast<std::size_t>(mock - test.mocks.begin())].calls;
        if (calls != expected)
            found.push_back("calls of " + name + ": expected " + std::to_string(expected) +
                            ", got " + std::to_string(calls));
    }
    if (test.expectCycles && !cyclesMatch(*test.expectCycles, cycles))
        found.push_back("cycles: expected " + cycleBound(*test.expectCycles) + ", got " +
                        std::to_string(cycles));
    std::string line;
    for (const std::string& one : found) line += (line.empty() ? "" : "; ") + one;
    return line;
}

// Runs one test on the kept machine state.
RunResult runTest(const RunnerOptions& options, const TestFile& file, const TestCase& test,
                  const MachineSnapshot& kept, const MachineConfig& config) {
    CpuModel model = config.cpu;
    restoreMachine(kept);
    headlessSeedRandom(options.seed);
    startTrace(options.traceLength);
    applyRegisters(cpu, test.setRegisters);
    for (const MemoryBytes& memory : test.setMemory)
        std::copy(memory.bytes.begin(), memory.bytes.end(), &::memory.ram[memory.address]);

    std::unique_ptr<std::bitset<kRamSize>> writable;
    if (test.writes) {
        writable = std::make_unique<std::bitset<kRamSize>>();
        for (const MemoryRange& range : *test.writes) {
            for (uint32_t i = 0; i < range.length; ++i) writable->set(range.address + i);
        }
    }
    std::vector<LiveMock> mocks;
    for (const Mock& mock : test.mocks) mocks.push_back({mock.address, &mock.registers, 0});

    TestState step{};
    step.runToExit = test.runToExit;
    step.mocks = mocks.data();
    step.mockCount = mocks.size();
    step.writable = writable.get();
    step.frame = callAt(cpu, static_cast<uint16_t>(cpu.regPC - kJsrLength), cyclesSinceStart());
    if (test.runToExit) {
        cpu.regPC = test.entry;
    } else {
        int32_t before = cpu.cycleCount;
        enterCall(cpu, test.entry, step.frame.returnAddress);
        if (counting.executionCounts) {
            // Counted as a call from just before where the hook left regPC.
            ++counting.executionCounts[test.entry].calls;
            openCall(static_cast<uint16_t>(step.frame.returnAddress - kJsrLength), test.entry,
                     step.frame.stackPointer, 0, static_cast<uint64_t>(cpu.cycleCount - before));
        }
    }
    // The frame's interrupt comes only to a test that asks for it, between legs of the
    // main loop's length; otherwise one leg runs to the end of the test's cycles.
    // A store into a debug cell ends a leg early; the rest of that leg follows.
    DebugCells cells;
    cells.source = file.path + ": " + test.name;
    const uint64_t legSteps = test.irq ? kStepsPerHostCheck : UINT64_MAX;
    uint64_t nextLeg = legSteps;
    for (;;) {
        uint64_t spent = cyclesSinceStart() - step.frame.cyclesAtJsr;
        if (spent >= test.maxCycles) break;
        step.remaining = nextLeg;
        step.cycleEnd =
            static_cast<int32_t>(cpu.cycleCount + static_cast<int64_t>(test.maxCycles - spent));
        withModel(model, [&](auto m) {
            TestStep<decltype(m)::value> leg{step};
            runInterpreter<decltype(m)::value>(leg);
            step = leg;
        });
        bool cellStored = step.cellStored;
        if (cellStored) {
            debugCellStored(cells, step.cellAddress, memory.ram[step.cellAddress],
                            cyclesSinceStart());
            step.cellStored = false;
        }
        nextLeg = cellStored ? step.cellLeftover : legSteps;
        if (step.outcome != Outcome::Running) break;
        if (!cellStored && test.irq) {
            // The interrupt's entry pushes too, unless I holds it off.
            uint8_t stackBefore = cpu.regS;
            uint16_t interrupted = cpu.regPC;
            frameCheck();
            step.checkPushes(cpu.regS, static_cast<uint8_t>(stackBefore - cpu.regS), interrupted);
        }
    }
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
    if (const Label* routine = routineContaining(file.labels, cpu.regPC))
        result.routine = routine->name;
    std::string counted = " (" + std::to_string(cycles) + " cycles)";
    switch (step.outcome) {
        case Outcome::Running:
            result.verdict = Verdict::Error;
            result.stop = StopReason::CycleLimit;
            result.message = test.name + ": " +
                             (test.runToExit ? "no debug exit" : "did not return") + " within " +
                             std::to_string(test.maxCycles) + " cycles, at " +
                             withLabel(cpu.regPC, file.labels);
            break;
        case Outcome::Brk:
            result.verdict = Verdict::Error;
            result.stop = StopReason::Crashed;
            result.message = test.name + ": BRK at " + withLabel(step.pc, file.labels) + counted;
            break;
        case Outcome::Jam:
            result.verdict = Verdict::Error;
            result.stop = StopReason::Jam;
            result.message = test.name + ": JAM at " + withLabel(step.pc, file.labels) + counted;
            break;
        case Outcome::BadWrite:
            result.verdict = Verdict::Error;
            result.stop = StopReason::Crashed;
            result.message = test.name + ": wrote " + withLabel(step.badWrite, file.labels) +
                             ", outside its writes, at " + withLabel(step.badWriteAt, file.labels) +
                             counted;
            break;
        case Outcome::Returned:
        case Outcome::DebugExit: {
            result.stop = test.runToExit ? StopReason::DebugExit : StopReason::Returned;
            std::string wrong;
            if (test.runToExit) {
                result.exitByte = memory.ram[kDebugExitRegister];
                if (result.exitByte != 0) wrong = "debug exit " + hexByte(result.exitByte);
            }
            std::string more = mismatches(test, cycles, mocks, file.labels);
            if (!more.empty()) wrong += (wrong.empty() ? "" : "; ") + more;
            result.verdict = wrong.empty() ? Verdict::Pass : Verdict::Fail;
            result.message = test.name + (wrong.empty() ? counted : ": " + wrong);
            break;
        }
    }
    if (result.verdict != Verdict::Pass && options.traceLength > 0) {
        std::vector<TraceEntry> entries = traceEntries();
        result.details += "last " + std::to_string(entries.size()) + " instructions:\n";
        for (const TraceEntry& entry : entries)
            result.details += traceLine(entry, model, file.labels) + "\n";
    }
    return result;
}

}  // namespace

bool nameMatches(const std::string& pattern, const std::string& name) {
    return fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

bool expandTestFiles(const std::vector<std::string>& paths, std::vector<std::string>& files,
                     std::string& error) {
    namespace fs = std::filesystem;
    for (const std::string& path : paths) {
        std::error_code problem;
        if (!fs::is_directory(path, problem)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(path, problem)) {
            if (entry.path().extension() == ".toml" && !entry.is_directory(problem))
                found.push_back(entry.path().string());
        }
        if (problem) {
            error = "cannot read the folder " + path + ": " + problem.message();
            return false;
        }
        if (found.empty()) {
            error = path + " holds no test file (*.toml)";
            return false;
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return true;
}

void runTests(const RunnerOptions& options, const TestFile& file,
              const std::function<void(const RunResult&)>& give) {
    std::vector<uint8_t> programFile;
    std::string error;
    MachineConfig config{.kind = file.machine.value_or(options.machine.kind),
                         .cpu = file.cpu.value_or(options.machine.cpu),
                         .cia = file.cia.value_or(options.machine.cia)};
    if (!startHeadlessMachine(file.romDir, file.program, options.seed, false, config, programFile,
                              error))
        return give(badInput(file.path, error));
    drawFrames = false;
    bool booted = bootUntilProgramLoaded(kDefaultCycleLimit);
    drawFrames = true;
    if (!booted)
        return give(badInput(file.path, "the firmware did not reach its input loop within " +
                                            std::to_string(kDefaultCycleLimit) +
                                            " cycles, so the program was never loaded"));
    auto kept = std::make_unique<MachineSnapshot>();
    saveMachine(*kept);
    drawFrames = false;
    for (const TestCase& test : file.tests) give(runTest(options, file, test, *kept, config));
    drawFrames = true;
    startTrace(0);
}

TestFileToRun readTestFileToRun(const RunnerOptions& options, const std::string& path) {
    TestFileToRun read;
    read.file.path = path;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, bytes, error) ||
        !readTestFile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                      path, options.labels, read.file, error)) {
        read.failure = badInput(path, error);
        return read;
    }
    if (!options.filter.empty()) {
        std::erase_if(read.file.tests, [&](const TestCase& test) {
            return !nameMatches(options.filter, test.name);
        });
    }
    return read;
}

void keepShareOfTests(std::vector<TestFileToRun>& files, const Shard& shard) {
    struct Entry {
        std::size_t file, test;
    };
    std::vector<Entry> entries;
    for (std::size_t f = 0; f < files.size(); ++f) {
        std::size_t count = files[f].failure ? 1 : files[f].file.tests.size();
        for (std::size_t t = 0; t < count; ++t) entries.push_back({f, t});
    }
    // Entries are made in order of file and place, so a stable sort by path alone keeps
    // the tests of a file in their order.
    std::vector<bool> taken = shardTakes(
        entries.size(),
        [&](std::size_t a, std::size_t b) {
            return files[entries[a].file].file.path < files[entries[b].file].file.path;
        },
        shard);
    std::vector<std::vector<bool>> keep(files.size());
    for (std::size_t e = 0; e < entries.size(); ++e) keep[entries[e].file].push_back(taken[e]);
    std::vector<TestFileToRun> share;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const std::vector<bool>& keeps = keep[f];
        if (keeps.empty() ? shard.index != 1
                          : std::find(keeps.begin(), keeps.end(), true) == keeps.end())
            continue;
        TestFileToRun& read = files[f];
        if (!read.failure) {
            std::vector<TestCase> tests;
            for (std::size_t t = 0; t < keeps.size(); ++t) {
                if (keeps[t]) tests.push_back(std::move(read.file.tests[t]));
            }
            read.file.tests = std::move(tests);
        }
        share.push_back(std::move(read));
    }
    files = std::move(share);
}

void runTestFile(const RunnerOptions& options, const TestFileToRun& file,
                 const std::function<void(const RunResult&)>& give) {
    if (file.failure) return give(*file.failure);
    runTests(options, file.file, give);
}

bool TestsSummary::add(const RunResult& result, std::string& error) {
    std::string one = summaryJson(result);
    one.pop_back();  // its newline: the array's separator follows
    return spool_.add((spool_.pieces() > 0 ? ",\n" : "") + one, error);
}

bool TestsSummary::write(const std::string& path, std::string& error) {
    return spool_.write(path, "[\n", spool_.pieces() > 0 ? "\n]\n" : "]\n", error);
}
