// The routine tests: a test file's cases run one by one on the machine as the file's
// program left it, each with its registers and memory set, its mocks answered and its
// expectations checked. The run itself is the machine's (machine/routine_step.h).
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
#include "machine/routine_step.h"
#include "machine/trace.h"

namespace {

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
            found.push_back(name + ": expected " + withLabel(*expected, labels) + ", got " +
                            withLabel(got, labels));
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
    for (const MemoryBytes& memory : test.setMemory) {
        for (std::size_t i = 0; i < memory.bytes.size(); ++i)
            pokeByte(static_cast<uint16_t>(memory.address + i), memory.bytes[i]);
    }

    std::unique_ptr<std::bitset<kRamSize>> writable;
    if (test.writes) {
        writable = std::make_unique<std::bitset<kRamSize>>();
        for (const MemoryRange& range : *test.writes) {
            for (uint32_t i = 0; i < range.length; ++i) writable->set(range.address + i);
        }
    }
    std::vector<RoutineMock> mocks;
    for (const Mock& mock : test.mocks) mocks.push_back({mock.address, 0});

    RoutineRun run{};
    run.runToExit = test.runToExit;
    run.mocks = mocks.data();
    run.mockCount = mocks.size();
    run.answerMock = answerMock;
    run.mockContext = &test;
    run.writable = writable.get();
    run.frame = callAt(cpu, static_cast<uint16_t>(cpu.regPC - kJsrLength), cyclesSinceStart());
    if (test.runToExit) {
        cpu.regPC = test.entry;
    } else {
        int32_t before = cpu.cycleCount;
        enterCall(cpu, test.entry, run.frame.returnAddress);
        if (counting.executionCounts) {
            // Counted as a call from just before where the hook left regPC.
            ++counting.executionCounts[test.entry].calls;
            openCall(static_cast<uint16_t>(run.frame.returnAddress - kJsrLength), test.entry,
                     run.frame.stackPointer, 0, static_cast<uint64_t>(cpu.cycleCount - before));
        }
    }
    DebugCells cells;
    cells.source = file.path + ": " + test.name;
    for (;;) {
        runRoutine(run, test.maxCycles, test.irq);
        if (!run.cellStored) break;
        debugCellStored(cells, run.cellAddress, run.cellValue, cyclesSinceStart());
        run.cellStored = false;
        if (run.outcome != RoutineOutcome::Running) break;
    }
    endConsole(cells);
    uint64_t cycles = callCycles(run.frame, cyclesSinceStart());

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
    switch (run.outcome) {
        case RoutineOutcome::Running:
            result.verdict = Verdict::Error;
            result.stop = StopReason::CycleLimit;
            result.message = test.name + ": " +
                             (test.runToExit ? "no debug exit" : "did not return") + " within " +
                             std::to_string(test.maxCycles) + " cycles, at " +
                             withLabel(cpu.regPC, file.labels);
            break;
        case RoutineOutcome::Brk:
            result.verdict = Verdict::Error;
            result.stop = StopReason::Crashed;
            result.message = test.name + ": BRK at " + withLabel(run.pc, file.labels) + counted;
            break;
        case RoutineOutcome::Jam:
            result.verdict = Verdict::Error;
            result.stop = StopReason::Jam;
            result.message = test.name + ": JAM at " + withLabel(run.pc, file.labels) + counted;
            break;
        case RoutineOutcome::BadWrite:
            result.verdict = Verdict::Error;
            result.stop = StopReason::Crashed;
            result.message = test.name + ": wrote " + withLabel(run.badWrite, file.labels) +
                             ", outside its writes, at " + withLabel(run.badWriteAt, file.labels) +
                             counted;
            break;
        case RoutineOutcome::Returned:
        case RoutineOutcome::DebugExit: {
            result.stop = test.runToExit ? StopReason::DebugExit : StopReason::Returned;
            std::string wrong;
            if (test.runToExit) {
                result.exitByte = storedByte(kDebugExitRegister);
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
