// One run of one program on the headless machine, from the files to the verdict and the
// outputs that the options ask for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Runs `program` (empty: tests/start from --dir, or none) to a stop and writes the outputs.
RunResult runProgram(const RunnerOptions& options, const std::string& program);
