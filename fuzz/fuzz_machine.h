// What the machine's fuzz targets share: a fresh machine on the runner's built-in
// firmware, its clock following the emulated cycles, with some files replaced.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "app/runner/built_in_firmware.h"
#include "host/headless.h"
#include "machine/counting.h"
#include "machine/machine.h"
#include "machine/trace.h"

// Stops the target at once when `condition` is false: libFuzzer reports the input.
inline void require(bool condition) {
    if (!condition) std::abort();
}

inline double fuzzEmulatedSeconds() {
    return static_cast<double>(cyclesSinceStart()) / static_cast<double>(kCyclesPerSecond);
}

// A fresh host with the built-in firmware and no program; the caller provides more.
inline void freshHost() {
    headlessReset();
    for (const BuiltInFile& image : kBuiltInFirmware)
        headlessProvideFile(image.name,
                            std::vector<uint8_t>(image.bytes, image.bytes + image.size));
    headlessProvideFile(kTestProgramFile, {});
    headlessFollowClock(fuzzEmulatedSeconds);
}

// Runs up to `steps` steps of the main loop, and stops early once `done` says so.
template <class Done>
void runMachineFor(uint64_t steps, Done done) {
    for (uint64_t run = 0; run < steps && !done(); run += kStepsPerHostCheck) {
        uint64_t before = cyclesSinceStart();
        runSteps(kStepsPerHostCheck);
        require(cyclesSinceStart() > before);
    }
}
