// The runner's command line: what to run, when to stop, what to write, and which runs
// each option applies to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/batch/sharding.h"
#include "app/runner/cli/addresses.h"
#include "app/runner/cli/input_script.h"
#include "app/runner/source_map/source_map.h"
#include "cpu/state.h"
#include "host/random.h"
#include "machine/config.h"
#include "machine/contract.h"
#include "machine/machine.h"

inline constexpr uint64_t kDefaultLimitSeconds = 60;  // how long a run lasts when no limit is given
inline constexpr uint64_t kDefaultCycleLimit = kDefaultLimitSeconds * kCyclesPerSecond;
// On the wall clock the default is counted in frames: those that come in that time.
inline constexpr uint64_t kDefaultRealtimeFrameLimit =
    kDefaultLimitSeconds * 1000 / kFrameIntervalMs;
inline constexpr uint64_t kMaxCycleLimit = uint64_t{1} << 48;
inline constexpr uint64_t kMaxFrameLimit = uint64_t{1} << 32;
inline constexpr uint64_t kMaxTraceLength = 1'000'000;
inline constexpr uint64_t kMaxJobs = 1024;

// The ROM images that --dir must hold, each exactly its size.
struct RomImage {
    std::string_view file;
    std::size_t size;
    std::string_view what;
};
inline constexpr RomImage kRomImages[] = {{kKernalFile, kKernalImageSize, "KERNAL image"},
                                          {kBasicFile, kBasicImageSize, "BASIC image"},
                                          {kCharFile, kCharImageSize, "character image"}};

// A drive the run mounts: --drive [N=]PATH, or --drive-writable [N=]PATH.
struct DriveMount {
    uint8_t device;
    std::string path;
    bool writable;
};

// Reads a drive as --drive, --drive-writable and a test file's drives keys give it,
// [N=]PATH: device N (8 to 11, 8 unless given) with the folder or disk image at PATH, a
// relative PATH taken from the folder of `base` (empty: the working directory). PATH must
// be there and be one; a device that `earlier` mounts already is refused. Returns what is
// wrong in words for the user (empty when `mount` is set).
std::string readDriveMount(const std::string& text, bool writable,
                           const std::vector<DriveMount>& earlier, DriveMount& mount,
                           const std::string& base = "");

struct RunnerOptions {
    std::string romDir;                 // empty: the built-in firmware
    std::vector<std::string> programs;  // none: "tests/start" from romDir, or no program
    std::optional<uint64_t> frameLimit;
    std::optional<uint64_t> cycleLimit;
    std::vector<std::string> untilTexts;  // any of them on screen passes
    std::vector<std::string> failTexts;   // any of them on screen fails
    bool debugExit = false;
    bool untilInput = false;
    bool realtime = false;
    uint64_t seed = kDefaultRandomSeed;  // the sequence every run of the machine starts with
    std::string screenTextFile;          // "" none, "-" standard output
    std::string screenshotFile;
    std::string summaryFile;
    std::string junitFile;
    std::string coverageFile;  // an lcov tracefile of every run, "" none
    std::string profileFile;   // a callgrind profile of every run, "" none
    std::string sidLogFile;    // every SID write of the run, "" none
    std::vector<std::string> listingFiles;
    uint64_t traceLength = 0;
    std::vector<MemoryRange> dumps;
    std::vector<MemoryExpectation> expectations;
    uint64_t jobs = 0;                       // 0: one per processor
    MachineConfig machine = kRunnerMachine;  // --machine, --cpu, --cia, --video
    Shard shard;
    std::vector<std::string> labelFiles;
    std::vector<std::string> debugInfoFiles;
    SourceMap map;                       // read from labelFiles, then debugInfoFiles
    std::optional<uint16_t> startAt;     // --start ADDR: where the program starts
    bool startAtLoad = false;            // --start load: at its load address, upstart or not
    std::vector<std::string> testFiles;  // --test: test files and folders of them
    std::string filter;                  // --filter: the tests whose names match, all if ""
    InputSteps input;                    // --type and --input, from the program's start
    std::vector<DriveMount> drives;      // --drive, --drive-writable: devices 8 to 11
    std::string autostart;               // --autostart: a disk image's file to start, "" first
};

// A file that a run writes, and the option that names it.
struct OutputFileOption {
    std::string_view option;  // "--summary"; the disassembly of --coverage is "--coverage"
    std::string path;
};
// Every output the options name, in the order of the options: a file, or "-" for
// standard output.
std::vector<OutputFileOption> outputOptions(const RunnerOptions& options);
// The output files alone, standard output left out.
std::vector<OutputFileOption> outputFiles(const RunnerOptions& options);
// Whether an output writes to standard output (one given as "-", or --dump): the result
// lines then go to standard error.
bool claimsStandardOutput(const RunnerOptions& options);

// Without --frames and --cycles a run lasts 60 seconds: of emulated cycles, or with
// --realtime of frames (which then follow the wall clock).

// The cycle limit in force.
std::optional<uint64_t> effectiveCycleLimit(const RunnerOptions& options);
// The frame limit in force.
std::optional<uint64_t> effectiveFrameLimit(const RunnerOptions& options);
