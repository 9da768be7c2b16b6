// One run of one program on the headless machine, from the files to the verdict and the
// outputs that the options ask for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/options.h"
#include "app/runner/result.h"
#include "machine/machine.h"

// The ROM images that --dir must hold, each exactly its size: the buffer less its spare
// byte.
struct RomImage {
    std::string_view file;
    std::size_t size;
    std::string_view what;
};
inline constexpr std::size_t kSpareBytes = 1;
inline constexpr RomImage kRomImages[] = {
    {kKernalFile, kKernalRomSize - kSpareBytes, "KERNAL image"},
    {kBasicFile, kBasicRomSize - kSpareBytes, "BASIC image"},
    {kCharFile, kCharRomSize - kSpareBytes, "character image"}};

// Names the machine of a run in its result.
void nameMachine(const MachineConfig& config, RunResult& result);

// Runs `program` (empty: tests/start from --dir, or none) to a stop and writes the outputs.
RunResult runProgram(const RunnerOptions& options, const std::string& program);

// Starts the headless machine for a run of `program` (empty: tests/start from `romDir`,
// or none) on the ROM images of `romDir` (empty: the built-in firmware), with the
// keyboard stub's `seed`, the machine `config` and the emulated clock (the wall clock when
// `realtime`); the program file's bytes in `programFile`. False, with one line in `error`, when a
// file cannot be read.
bool startHeadlessMachine(const std::string& romDir, const std::string& program, uint64_t seed,
                          bool realtime, const MachineConfig& config,
                          std::vector<uint8_t>& programFile, std::string& error);
// Runs the started machine until the test hook has loaded the program, and stops there,
// before the program's first instruction. False when `cycleLimit` cycles pass first.
bool bootUntilProgramLoaded(uint64_t cycleLimit);
