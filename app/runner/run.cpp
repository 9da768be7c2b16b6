// The run itself. The machine's loop is called in long stretches, watching only for what
// the options ask for (with none asked for, the watched loop is the plain loop) and for
// the JAM that stops the processor.
#include "app/runner/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/runner/built_in_firmware.h"
#include "app/runner/debug_cells.h"
#include "app/runner/outputs.h"
#include "app/runner/read_file.h"
#include "app/runner/upstart.h"
#include "host/headless.h"
#include "host/output_file.h"
#include "host/png_image.h"
#include "machine/counting.h"
#include "machine/machine.h"
#include "machine/screen.h"
#include "machine/trace.h"
#include "machine/watch.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The longest step: the model's longest instruction (7 cycles; 8 for the 6510's
// undocumented read-modify-write forms through a pointer) and a frame's interrupt entry.
constexpr uint64_t maxCyclesPerStep(CpuModel model) {
    return (model == CpuModel::Mos6510 ? 8 : 7) + 7;
}
// Steps in one call of the loop when no limit is near.
constexpr uint64_t kLongCall = uint64_t{1} << 32;
constexpr std::size_t kProgramHeaderBytes = 2;

// The host clock while the run follows the emulated cycles.
double emulatedSeconds() {
    return static_cast<double>(cyclesSinceStart()) / static_cast<double>(kCyclesPerSecond);
}

// "1 byte", "2 bytes".
std::string byteCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string joinPath(const std::string& folder, std::string_view name) {
    if (folder.empty() || folder.back() == '/') return folder + std::string(name);
    return folder + "/" + std::string(name);
}

// Provides the three ROM images and the program to the machine by name, keeping a copy of
// the program file in `programFile`. False (with a message) when a file cannot be read.
bool provideInputs(const std::string& romDir, const std::string& program, Bytes& programFile,
                   std::string& error) {
    if (romDir.empty()) {
        for (const BuiltInFile& image : kBuiltInFirmware) {
            headlessProvideFile(image.name, Bytes(image.bytes, image.bytes + image.size));
        }
    } else {
        for (const RomImage& rom : kRomImages) {
            std::string path = joinPath(romDir, rom.file);
            Bytes image;
            if (!readWholeFile(path, image, error)) return false;
            if (image.size() != rom.size) {
                error = path + " is " + byteCount(image.size()) + " long; a " +
                        std::string(rom.what) + " is " + byteCount(rom.size);
                return false;
            }
            headlessProvideFile(rom.file, std::move(image));
        }
    }
    std::string programPath = program;
    if (programPath.empty() && !romDir.empty()) programPath = joinPath(romDir, kTestProgramFile);
    Bytes bytes;
    if (!programPath.empty()) {
        if (!readWholeFile(programPath, bytes, error)) return false;
        if (bytes.size() < kProgramHeaderBytes) {
            error = programPath + " is too short for a program file (" + byteCount(bytes.size()) +
                    "; it needs a two-byte load address)";
            return false;
        }
    }
    // With no program, an empty file stands in: the machine finds no program and the
    // working directory's tests/start stays out of the run.
    programFile = bytes;
    headlessProvideFile(kTestProgramFile, std::move(bytes));
    return true;
}

// Where the program starts: --start, else a BASIC upstart's SYS address, else the load
// address. `note` says once why a program at $0801 is not taken as an upstart.
struct StartPlan {
    bool program = false;  // there is a program to start
    uint16_t address = 0;
    std::string by;
    std::string note;
};

StartPlan planStart(const RunnerOptions& options, const Bytes& file) {
    StartPlan plan;
    if (file.size() < kProgramHeaderBytes) return plan;
    plan.program = true;
    auto load = static_cast<uint16_t>(file[0] | file[1] << 8);
    uint16_t sys = 0;
    std::string whyNot;
    if (options.startAt || options.startAtLoad) {
        plan.address = options.startAt.value_or(load);
        plan.by = "option";
    } else if (findUpstart(file, sys, whyNot)) {
        plan.address = sys;
        plan.by = "upstart";
    } else {
        plan.address = load;
        plan.by = "load";
        if (!whyNot.empty()) plan.note = "not an upstart: " + whyNot + ", started at $0801";
    }
    return plan;
}

// The screen matrix as the texts were last looked for on it. Most frames leave the screen
// as it was, and a screen that has not changed since a look that found none of the texts
// shows none of them still, so the look after a frame is a comparison of the matrix.
struct ScreenLooks {
    std::array<uint8_t, kScreenCells> lastLookedAt{};
    bool lookedAt = false;
};

// Whether the screen has changed since the last look (true before the first); keeps what it
// shows now for the next.
bool screenChangedSinceLook(ScreenLooks& looks) {
    const uint8_t* cells = &memory.ram[kScreenMatrix];
    if (looks.lookedAt && std::equal(cells, cells + kScreenCells, looks.lastLookedAt.begin()))
        return false;
    std::copy(cells, cells + kScreenCells, looks.lastLookedAt.begin());
    looks.lookedAt = true;
    return true;
}

// The first of `texts` that the screen shows, or null.
const std::string* textOnScreen(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        if (screenShowsText(text)) return &text;
    }
    return nullptr;
}

// How many steps the next call of the loop runs: as many as cannot pass the cycle limit.
// The loop consults the host (and looks at the frame clock) every kStepsPerHostCheck
// steps of a call and at its end, so calls end on that grid of the whole run: then where
// the frames fall does not depend on how the run was cut into calls. Only the last steps
// before a cycle limit leave the grid.
uint64_t nextCallLength(uint64_t stepsSoFar, std::optional<uint64_t> cyclesLeft, CpuModel model) {
    uint64_t steps = kLongCall;
    if (cyclesLeft)
        steps = std::min(steps, std::max<uint64_t>(1, *cyclesLeft / maxCyclesPerStep(model)));
    uint64_t offGrid = stepsSoFar % kStepsPerHostCheck;
    if (offGrid != 0) return std::min(steps, kStepsPerHostCheck - offGrid);
    if (steps >= kStepsPerHostCheck) steps -= steps % kStepsPerHostCheck;
    return steps;
}

std::string progress(const RunResult& result) {
    return std::to_string(result.frames) + " frames, " + std::to_string(result.cycles) +
           " cycles, " + std::to_string(result.instructions) + " instructions";
}

}  // namespace

void nameMachine(const MachineConfig& config, RunResult& result) {
    result.machine = machineKindName(config.kind);
    result.cpu = cpuModelName(config.cpu);
    result.cia = config.kind == MachineKind::C64 ? ciaModelName(config.cia) : "";
}

bool startHeadlessMachine(const std::string& romDir, const std::string& program, uint64_t seed,
                          bool realtime, const MachineConfig& config,
                          std::vector<uint8_t>& programFile, std::string& error) {
    headlessReset();
    if (!provideInputs(romDir, program, programFile, error)) return false;
    headlessSeedRandom(seed);
    if (realtime) {
        headlessUseRealClock();
    } else {
        headlessFollowClock(emulatedSeconds);
    }
    machineConfig = config;
    startMachine(0, nullptr);
    return true;
}

bool bootUntilProgramLoaded(uint64_t cycleLimit) {
    Watch watch;
    watch.programLoad = true;
    WatchReport report;
    while (report.event != WatchEvent::ProgramLoaded && cyclesSinceStart() < cycleLimit)
        runWatched(watch, kStepsPerHostCheck, report);
    return report.event == WatchEvent::ProgramLoaded;
}

namespace {

// Runs the machine until a stop condition; fills in the stop, the verdict and the counts.
void runUntilStop(const RunnerOptions& options, const StartPlan& plan, RunResult& result) {
    std::optional<uint64_t> cycleLimit = effectiveCycleLimit(options);
    std::optional<uint64_t> frameLimit = effectiveFrameLimit(options);
    Watch watch;
    watch.frames = frameLimit || !options.untilTexts.empty() || !options.failTexts.empty();
    // With --debug-exit the whole debug area is watched: the register and the cells
    // beside it (a run without pays nothing for them).
    if (options.debugExit) watch.stores = Watch::Stores{kDebugCellsFirst, kDebugCellsLast};
    DebugCells cells;
    cells.source = result.program;
    watch.inputLoop = options.untilInput;
    startTrace(options.traceLength);
    // Until the hook has loaded the program, the run also watches for that, to start it.
    watch.programLoad = true;

    const std::string* shown = nullptr;
    ScreenLooks looks;
    for (;;) {
        std::optional<uint64_t> cyclesLeft;
        if (cycleLimit) {
            uint64_t done = cyclesSinceStart();
            if (done >= *cycleLimit) {
                result.stop = StopReason::CycleLimit;
                break;
            }
            cyclesLeft = *cycleLimit - done;
        }
        uint64_t steps = nextCallLength(result.instructions, cyclesLeft, options.machine.cpu);
        WatchReport report;
        result.instructions += runWatched(watch, steps, report);
        WatchEvent event = report.event;
        if (event == WatchEvent::Jammed) {
            result.stop = StopReason::Jam;
            break;
        }
        if (event == WatchEvent::ProgramLoaded) {
            watch.programLoad = false;
            if (plan.program) cpu.regPC = plan.address;
            continue;
        }
        if (event == WatchEvent::StoreSeen) {
            if (report.storeAddress != kDebugExitRegister) {
                debugCellStored(cells, report.storeAddress, report.storeValue, cyclesSinceStart());
                continue;
            }
            result.stop = StopReason::DebugExit;
            result.exitByte = report.storeValue;
            break;
        }
        if (event == WatchEvent::InputLoopReached) {
            result.stop = StopReason::InputLoop;
            break;
        }
        if (event == WatchEvent::FrameDrawn) {
            bool changed = screenChangedSinceLook(looks);
            if (changed && (shown = textOnScreen(options.failTexts))) {
                result.stop = StopReason::FailText;
                break;
            }
            if (changed && (shown = textOnScreen(options.untilTexts))) {
                result.stop = StopReason::UntilText;
                break;
            }
            if (frameLimit && machine.loop.framesDrawn >= *frameLimit) {
                result.stop = StopReason::FrameLimit;
                break;
            }
        }
    }
    endConsole(cells);
    result.stopwatch = std::move(cells.times);
    result.console = std::move(cells.lines);
    result.frames = machine.loop.framesDrawn;
    result.cycles = cyclesSinceStart();

    std::string after = " after " + progress(result);
    switch (result.stop) {
        case StopReason::DebugExit:
            result.verdict = result.exitByte == 0 ? Verdict::Pass : Verdict::Fail;
            result.message =
                "debug exit " + hexByte(static_cast<unsigned>(result.exitByte)) + after;
            break;
        case StopReason::UntilText:
            result.verdict = Verdict::Pass;
            result.message = "\"" + *shown + "\" on screen" + after;
            break;
        case StopReason::FailText:
            result.verdict = Verdict::Fail;
            result.message = "\"" + *shown + "\" on screen" + after;
            break;
        case StopReason::InputLoop:
            result.verdict = Verdict::Pass;
            result.message = "returned to the input loop" + after;
            break;
        case StopReason::Jam:
            result.verdict = Verdict::Fail;
            result.message = "JAM " + hexByte(readByte(cpu.regPC)) + " at " + hexWord(cpu.regPC) +
                             ": the processor stopped" + after;
            break;
        case StopReason::FrameLimit:
        case StopReason::CycleLimit: {
            bool waitsForVerdict = options.debugExit || options.untilInput ||
                                   !options.untilTexts.empty() || !options.failTexts.empty();
            result.verdict =
                !options.expectations.empty() && !waitsForVerdict ? Verdict::Pass : Verdict::Limit;
            std::string limit = result.stop == StopReason::FrameLimit
                                    ? "frame limit " + std::to_string(*frameLimit)
                                    : "cycle limit " + std::to_string(*cycleLimit);
            result.message = limit + " reached" + after;
            break;
        }
        case StopReason::Returned:
        case StopReason::NotRun:
        case StopReason::Crashed: break;
    }
    if (!plan.note.empty()) result.message += " (" + plan.note + ")";
}

// Fails the run on the first cell that does not hold its expected byte; every mismatch
// goes into the details.
void checkExpectations(const RunnerOptions& options, RunResult& result) {
    int mismatches = 0;
    std::string first;
    for (const MemoryExpectation& expectation : options.expectations) {
        uint8_t held = memory.ram[expectation.address];
        if (held == expectation.value) continue;
        std::string line = hexWord(expectation.address) + " holds " + hexByte(held) +
                           ", expected " + hexByte(expectation.value);
        if (mismatches++ == 0) first = line;
        result.details += line + "\n";
    }
    if (mismatches == 0) return;
    if (mismatches > 1) first += " (and " + std::to_string(mismatches - 1) + " more)";
    result.message = first + "; the run ended: " + result.message;
    result.verdict = Verdict::Fail;
}

// The outputs of a finished run. All are written before any takes its name, so a run
// whose outputs cannot all be written leaves none (standard output excepted). False (with
// a message) when one cannot be written.
bool writeOutputs(const RunnerOptions& options, const RunResult& result, std::string& error) {
    std::vector<std::unique_ptr<OutputFile>> files;
    auto write = [&](const std::string& path, std::string_view bytes) {
        files.push_back(std::make_unique<OutputFile>());
        return files.back()->open(path, error) && files.back()->write(bytes, error);
    };
    std::string dumps;
    for (const MemoryRange& range : options.dumps)
        dumps += hexDump(range.address, &memory.ram[range.address], range.length);
    if (!dumps.empty() && !write(std::string(kStandardOutput), dumps)) return false;
    if (!options.screenTextFile.empty() && !write(options.screenTextFile, result.screen))
        return false;
    if (!options.screenshotFile.empty()) {
        drawScreen();
        std::string png;
        if (!encodePng(framebuffer, kWindowWidth, kWindowHeight, png, error)) {
            error = "cannot write " + options.screenshotFile + ": " + error;
            return false;
        }
        if (!write(options.screenshotFile, png)) return false;
    }
    if (!options.summaryFile.empty() && !write(options.summaryFile, summaryJson(result)))
        return false;
    for (const std::unique_ptr<OutputFile>& file : files) {
        if (!file->commit(error)) return false;
    }
    return true;
}

}  // namespace

RunResult runProgram(const RunnerOptions& options, const std::string& program) {
    std::string name = program;
    if (name.empty())
        name = options.romDir.empty() ? "(no program)" : joinPath(options.romDir, kTestProgramFile);

    std::string error;
    auto failed = [&] {
        RunResult result = badInput(name, error);
        nameMachine(options.machine, result);
        return result;
    };
    Bytes programFile;
    if (!startHeadlessMachine(options.romDir, program, options.seed, options.realtime,
                              options.machine, programFile, error))
        return failed();

    RunResult result;
    result.program = name;
    nameMachine(options.machine, result);
    StartPlan plan = planStart(options, programFile);
    if (plan.program) {
        result.start = plan.address;
        result.startedBy = plan.by;
    }
    // Only the final picture leaves a run (--screenshot draws it at the end), so the
    // frames on the way are counted and interrupt the program but are not drawn.
    drawFrames = false;
    runUntilStop(options, plan, result);
    drawFrames = true;
    checkExpectations(options, result);
    if (result.verdict != Verdict::Pass && options.traceLength > 0) {
        std::vector<TraceEntry> entries = traceEntries();
        result.trace = "last " + std::to_string(entries.size()) +
                       (entries.size() == 1 ? " instruction:\n" : " instructions:\n");
        for (const TraceEntry& entry : entries)
            result.trace += traceLine(entry, options.machine.cpu, options.labels) + "\n";
    }
    result.screen = screenText(false);
    result.registers = cpu;
    result.hash = machineStateHash();
    if (const Label* routine = routineContaining(options.labels, cpu.regPC))
        result.routine = routine->name;
    if (!writeOutputs(options, result, error)) return failed();
    return result;
}
