// The run itself. The machine's loop is called in long stretches, watching only for what
// the options ask for (with none asked for, the watched loop is the plain loop) and for
// the JAM that stops the processor.
#include "app/runner/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/runner/built_in_firmware.h"
#include "app/runner/outputs.h"
#include "host/headless.h"
#include "host/output_file.h"
#include "host/png_image.h"
#include "machine/machine.h"
#include "machine/run_control.h"
#include "machine/screen.h"

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
// Far more than any ROM image or program can use.
constexpr std::size_t kMaxInputBytes = std::size_t{1} << 20;

constexpr int32_t kNoStore = -1;  // the store watch's "no address"

// The host clock while the run follows the emulated cycles.
double emulatedSeconds() {
    return static_cast<double>(cyclesSinceStart()) / static_cast<double>(kCyclesPerSecond);
}

// "1 byte", "2 bytes".
std::string byteCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// Reads a whole input file. Only a regular file is read: a pipe or a device could block
// or never end, and it is opened without waiting, so that a FIFO cannot hang the run.
bool readWholeFile(const std::string& path, Bytes& bytes, std::string& error) {
    int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        error = "cannot read " + path + ": " +
                (S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file");
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxInputBytes) {
        close(descriptor);
        error = path + " is too large for a ROM image or program (over 1 MiB)";
        return false;
    }
    bytes.assign(static_cast<std::size_t>(info.st_size), 0);
    std::size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = read(descriptor, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            close(descriptor);
            return false;
        }
        if (n == 0) break;  // shorter than it was a moment ago
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    close(descriptor);
    return true;
}

std::string joinPath(const std::string& folder, std::string_view name) {
    if (folder.empty() || folder.back() == '/') return folder + std::string(name);
    return folder + "/" + std::string(name);
}

// Provides the three ROM images and the program to the machine by name. False (with a
// message) when a file cannot be read.
bool provideInputs(const RunnerOptions& options, const std::string& program, std::string& error) {
    if (options.romDir.empty()) {
        for (const BuiltInFile& image : kBuiltInFirmware) {
            headlessProvideFile(image.name, Bytes(image.bytes, image.bytes + image.size));
        }
    } else {
        for (const RomImage& rom : kRomImages) {
            std::string path = joinPath(options.romDir, rom.file);
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
    if (programPath.empty() && !options.romDir.empty())
        programPath = joinPath(options.romDir, kTestProgramFile);
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
    headlessProvideFile(kTestProgramFile, std::move(bytes));
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

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "$%02X", value & 0xFF);
    return text;
}

std::string hexWord(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "$%04X", value & 0xFFFF);
    return text;
}

// Runs the machine until a stop condition; fills in the stop, the verdict and the counts.
void runUntilStop(const RunnerOptions& options, RunResult& result) {
    std::optional<uint64_t> cycleLimit = effectiveCycleLimit(options);
    std::optional<uint64_t> frameLimit = effectiveFrameLimit(options);
    watchFrames = frameLimit || !options.untilTexts.empty() || !options.failTexts.empty();
    watchedStore = options.debugExit ? kDebugExitRegister : kNoStore;
    watchInputLoop = options.untilInput;
    startTrace(options.traceLength);

    const std::string* shown = nullptr;
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
        uint64_t steps = nextCallLength(result.instructions, cyclesLeft, options.cpu);
        WatchEvent event = WatchEvent::None;
        result.instructions += runWatched(steps, event);
        if (event == WatchEvent::Jammed) {
            result.stop = StopReason::Jam;
            break;
        }
        if (event == WatchEvent::StoreSeen) {
            result.stop = StopReason::DebugExit;
            result.exitByte = memory.ram[kDebugExitRegister];
            break;
        }
        if (event == WatchEvent::InputLoopReached) {
            result.stop = StopReason::InputLoop;
            break;
        }
        if (event == WatchEvent::FrameDrawn) {
            if ((shown = textOnScreen(options.failTexts))) {
                result.stop = StopReason::FailText;
                break;
            }
            if ((shown = textOnScreen(options.untilTexts))) {
                result.stop = StopReason::UntilText;
                break;
            }
            if (frameLimit && framesDrawn >= *frameLimit) {
                result.stop = StopReason::FrameLimit;
                break;
            }
        }
    }
    result.frames = framesDrawn;
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
        case StopReason::NotRun:
        case StopReason::Crashed: break;
    }
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
        drawTextScreen();
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

    headlessReset();
    std::string error;
    auto failed = [&] {
        RunResult result = badInput(name, error);
        result.cpu = cpuModelName(options.cpu);
        return result;
    };
    if (!provideInputs(options, program, error)) return failed();
    for (const std::string* output :
         {&options.screenTextFile, &options.screenshotFile, &options.summaryFile}) {
        if (!checkOutputFile(*output, error)) return failed();
    }

    headlessSeedRandom(options.seed);
    if (options.realtime) {
        headlessUseRealClock();
    } else {
        headlessFollowClock(emulatedSeconds);
    }
    cpuModel = options.cpu;
    startMachine(0, nullptr);

    RunResult result;
    result.program = name;
    result.cpu = cpuModelName(options.cpu);
    // Only the final picture leaves a run (--screenshot draws it at the end), so the
    // frames on the way are counted and interrupt the program but are not drawn.
    drawFrames = false;
    runUntilStop(options, result);
    drawFrames = true;
    checkExpectations(options, result);
    if (result.verdict != Verdict::Pass && options.traceLength > 0) {
        std::vector<TraceEntry> entries = traceEntries();
        result.trace = "last " + std::to_string(entries.size()) +
                       (entries.size() == 1 ? " instruction:\n" : " instructions:\n");
        for (const TraceEntry& entry : entries) result.trace += traceLine(entry, options.cpu) + "\n";
    }
    result.screen = screenText(false);
    result.registers = cpu;
    result.hash = machineStateHash();
    if (!writeOutputs(options, result, error)) return failed();
    return result;
}
