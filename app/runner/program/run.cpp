// The run itself. The machine's loop is called in long stretches, watching only for what
// the options ask for (with none asked for, the watched loop is the plain loop) and for
// the JAM that stops the processor.
#include "app/runner/program/run.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "app/runner/io/output_file.h"
#include "app/runner/io/text.h"
#include "app/runner/program/debug_cells.h"
#include "app/runner/program/firmware_labels.h"
#include "app/runner/program/start.h"
#include "app/runner/program/upstart.h"
#include "app/runner/reports/png_image.h"
#include "app/runner/reports/sid_log.h"
#include "app/runner/reports/summary.h"
#include "app/runner/reports/trace.h"
#include "machine/c64.h"
#include "machine/counting.h"
#include "machine/drive_port.h"
#include "machine/machine.h"
#include "machine/program_file.h"
#include "machine/screen.h"
#include "machine/trace.h"
#include "machine/watch.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Steps in one call of the loop when no limit is near.
constexpr uint64_t kLongCall = uint64_t{1} << 32;

// Where the program starts: --start, else a BASIC upstart's SYS address, else the load
// address. `note` says once why a program at $0801 is not taken as an upstart.
struct StartPlan {
    bool program = false;  // there is a program to start
    uint16_t address = 0;
    std::string by;
    std::string note;
    bool cc65 = false;  // cc65's start-up, whose exit() leaves the status in ST
};

StartPlan planStart(const RunnerOptions& options, const Bytes& file) {
    StartPlan plan;
    if (file.size() < kLoadAddressBytes) return plan;
    plan.program = true;
    plan.cc65 = startsAsCc65Program(file) || endsThroughCc65Exit(options.map);
    uint16_t load = loadAddressOf(file.data());
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
    const uint8_t* cells = screenView().matrix;
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

// The watches of a run: what the options ask the machine's loop to look for.
Watch watchFor(const RunnerOptions& options) {
    Watch watch;
    watch.frames =
        effectiveFrameLimit(options) || !options.untilTexts.empty() || !options.failTexts.empty();
    // With --debug-exit the whole debug area is watched: the register and the cells
    // beside it (a run without pays nothing for them).
    if (options.debugExit) watch.stores = Watch::Stores{kDebugCellsFirst, kDebugCellsLast};
    watch.inputLoop = options.untilInput;
    // Until the hook has loaded the program, the run also watches for that, to start it.
    watch.programLoad = true;
    watch.clockFollowsCycles = !options.realtime;
    return watch;
}

// Runs the machine until a stop condition, taking the debug cells' stores on the way;
// `shown` is the text the screen showed, for a stop on a text, and the result holds the
// byte of a debug exit.
StopReason runToStop(const RunnerOptions& options, const StartPlan& plan, RunResult& result,
                     DebugCells& cells, const std::string*& shown) {
    Watch watch = watchFor(options);
    // The input script, laid out on the machine's cycles once the program starts.
    InputScript script;
    struct ScriptInUse {
        ~ScriptInUse() { inputScript = nullptr; }
    } scriptInUse;
    std::optional<uint64_t> cycleLimit = effectiveCycleLimit(options);
    std::optional<uint64_t> frameLimit = effectiveFrameLimit(options);
    ScreenLooks looks;
    uint64_t framesLookedAt = machine.loop.framesDrawn;
    for (;;) {
        std::optional<uint64_t> cyclesLeft;
        if (cycleLimit) {
            uint64_t done = cyclesSinceStart();
            if (done >= *cycleLimit) return StopReason::CycleLimit;
            cyclesLeft = *cycleLimit - done;
        }
        uint64_t steps = nextCallLength(result.instructions, cyclesLeft, options.machine.cpu);
        WatchReport report;
        result.instructions += runWatched(watch, steps, report);
        switch (report.event) {
            case WatchEvent::Jammed: return StopReason::Jam;
            case WatchEvent::ProgramLoaded:
                watch.programLoad = false;
                if (plan.program) {
                    endLineInput();
                    cpu.regPC = plan.address;
                }
                if (!options.input.empty()) {
                    script = layOutInput(options.input, cyclesSinceStart(), frameCycles());
                    inputScript = &script;
                }
                break;
            case WatchEvent::StoreSeen:
                if (report.storeAddress == kDebugExitRegister) {
                    result.exitByte = report.storeValue;
                    return StopReason::DebugExit;
                }
                debugCellStored(cells, report.storeAddress, report.storeValue, cyclesSinceStart());
                break;
            case WatchEvent::InputLoopReached: return StopReason::InputLoop;
            case WatchEvent::FrameDrawn:
            case WatchEvent::None: break;
        }
        // A frame drawn at the end of a call that a watched store ended is looked at too.
        if (watch.frames && machine.loop.framesDrawn != framesLookedAt) {
            framesLookedAt = machine.loop.framesDrawn;
            bool changed = screenChangedSinceLook(looks);
            if (changed && (shown = textOnScreen(options.failTexts))) return StopReason::FailText;
            if (changed && (shown = textOnScreen(options.untilTexts))) return StopReason::UntilText;
            if (frameLimit && machine.loop.framesDrawn >= *frameLimit)
                return StopReason::FrameLimit;
        }
    }
}

// The verdict and the message of a run that stopped, from why it stopped.
void judge(const RunnerOptions& options, const StartPlan& plan, const std::string* shown,
           RunResult& result) {
    std::string after = " after " + progress(result);
    switch (result.stop) {
        case StopReason::DebugExit:
            result.verdict = result.exitByte == 0 ? Verdict::Pass : Verdict::Fail;
            result.message =
                "debug exit " + hexByte(static_cast<unsigned>(result.exitByte)) + after;
            break;
        case StopReason::UntilText:
        case StopReason::FailText:
            result.verdict = result.stop == StopReason::UntilText ? Verdict::Pass : Verdict::Fail;
            result.message = "\"" + *shown + "\" on screen" + after;
            break;
        case StopReason::InputLoop:
            result.verdict = Verdict::Pass;
            result.message = "returned to the input loop" + after;
            // A cc65 program is back only through exit(), which leaves its status in ST.
            if (plan.cc65) {
                result.exitByte = peekByte(kKernalStatus);
                if (result.exitByte != 0) result.verdict = Verdict::Fail;
                result.message = "exit status " + hexByte(static_cast<unsigned>(result.exitByte)) +
                                 " in ST: " + result.message;
            }
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
            std::string limit =
                result.stop == StopReason::FrameLimit
                    ? "frame limit " + std::to_string(*effectiveFrameLimit(options))
                    : "cycle limit " + std::to_string(*effectiveCycleLimit(options));
            result.message = limit + " reached" + after;
            break;
        }
        case StopReason::Returned:
        case StopReason::NotRun:
        case StopReason::Crashed: break;
    }
}

// Runs the machine until a stop condition; fills in the stop, the verdict and the counts.
void runUntilStop(const RunnerOptions& options, const StartPlan& plan, RunResult& result) {
    startTrace(options.traceLength);
    DebugCells cells;
    cells.source = result.program;
    const std::string* shown = nullptr;
    result.stop = runToStop(options, plan, result, cells, shown);
    endConsole(cells);
    result.stopwatch = std::move(cells.times);
    result.console = std::move(cells.lines);
    result.frames = machine.loop.framesDrawn;
    result.cycles = cyclesSinceStart();
    judge(options, plan, shown, result);
    if (!plan.note.empty()) result.message += " (" + plan.note + ")";
}

// Fails the run on the first cell that does not hold its expected byte; every mismatch
// goes into the details.
void checkExpectations(const RunnerOptions& options, RunResult& result) {
    int mismatches = 0;
    std::string first;
    for (const MemoryExpectation& expectation : options.expectations) {
        uint8_t held = peekByte(expectation.address);
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
bool writeOutputs(const RunnerOptions& options, const RunResult& result,
                  const std::vector<SidWrite>& sidLog, std::string& error) {
    std::vector<std::unique_ptr<OutputFile>> files;
    auto write = [&](const std::string& path, std::string_view bytes) {
        files.push_back(std::make_unique<OutputFile>());
        return files.back()->open(path, error) && files.back()->write(bytes, error);
    };
    std::string dumps;
    for (const MemoryRange& range : options.dumps) {
        std::vector<uint8_t> bytes(range.length);
        for (uint32_t i = 0; i < range.length; ++i)
            bytes[i] = peekByte(static_cast<uint16_t>(range.address + i));
        dumps += hexDump(range.address, bytes.data(), range.length);
    }
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
    if (!options.sidLogFile.empty() && !write(options.sidLogFile, sidLogText(sidLog))) return false;
    for (const std::unique_ptr<OutputFile>& file : files) {
        if (!file->commit(error)) return false;
    }
    return true;
}

}  // namespace

RunResult runProgram(const RunnerOptions& options, const std::string& program) {
    std::string name = program;
    if (name.empty())
        name = options.romDir.empty() ? "(no program)" : testProgramPath(options.romDir);

    std::string error;
    auto failed = [&] {
        RunResult result = badInput(name, error);
        nameMachine(options.machine, result);
        return result;
    };
    Bytes programFile;
    if (!startHeadlessMachine(options.romDir, program, options.autostart, options.seed,
                              options.realtime, options.machine, programFile, error) ||
        !mountDrives(options.romDir, options.drives, error))
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
    std::vector<SidWrite> sidLog;
    if (!options.sidLogFile.empty()) sidWrites = &sidLog;
    runUntilStop(options, plan, result);
    sidWrites = nullptr;
    drawFrames = true;
    checkExpectations(options, result);
    // Addresses are shown by the user's labels, and the firmware's where ours runs. The
    // firmware's lie at $A000 and above: below, the user's alone name the routine, and a run
    // that neither fails with a trace nor stops up there never reads the firmware's.
    std::optional<LabelTable> labels;
    auto shown = [&]() -> const LabelTable& {
        if (!labels) labels = shownLabels(options.map.labels, options.romDir);
        return *labels;
    };
    if (result.verdict != Verdict::Pass && options.traceLength > 0) {
        SourceMap map = options.map;
        map.labels = shown();
        keepTrace(result, options.machine.cpu, map);
    }
    result.screen = screenText(false);
    result.registers = cpu;
    result.hash = machineStateHash();
    const LabelTable& routines = cpu.regPC >= kBasicRomFirst ? shown() : options.map.labels;
    if (const Label* routine = routineContaining(routines, cpu.regPC))
        result.routine = routine->name;
    if (!writeOutputs(options, result, sidLog, error)) return failed();
    return result;
}
