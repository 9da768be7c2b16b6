// The headless start of a run, shared by programs and routine tests: the ROM images (built
// in, or from --dir) and the program provided to the headless host, the emulated clock,
// the machine started and, for routine tests, run up to the moment the program is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/runner/cli/options.h"
#include "app/runner/reports/result.h"
#include "machine/config.h"

// Names the machine of a run in its result.
void nameMachine(const MachineConfig& config, RunResult& result);

// The path of the test program in `romDir`: romDir/tests/start.
std::string testProgramPath(const std::string& romDir);

// Starts the headless machine for a run of `program` (empty: tests/start from `romDir`,
// or none) on the ROM images of `romDir` (empty: the built-in firmware), with the
// keyboard stub's `seed`, the machine `config` and the emulated clock (the wall clock
// when `realtime`); the program file's bytes in `programFile`. A `program` that is a disk
// image is drive 8 (read-only), and the program is its file to autostart: `autostart`
// names it, or (empty) its first program (autostart.h). False, with one line in `error`,
// when a file cannot be read.
bool startHeadlessMachine(const std::string& romDir, const std::string& program,
                          const std::string& autostart, uint64_t seed, bool realtime,
                          const MachineConfig& config, std::vector<uint8_t>& programFile,
                          std::string& error);
// Runs the started machine until the test hook has loaded the program, and stops there,
// before the program's first instruction, with the line input ended (endLineInput). False
// when `cycleLimit` cycles pass first.
bool bootUntilProgramLoaded(uint64_t cycleLimit);
// What the Return that ends a typed line (RUN, SYS) does to the cursor before the line runs,
// through the KERNAL's documented variables: the blink stops and a reversed cursor cell is
// put back, character and colour. For a program that the runner starts where the firmware
// waits for a line, so that it finds the cursor as it would after RUN.
void endLineInput();
// Mounts `drives` on the started machine. With the ROM images of `romDir` (not the built-in
// firmware, whose KERNAL asks the emulator itself) and a drive mounted, the KERNAL's serial
// routines are served from then on (machine/drive_port.h). False, with one line in
// `error`, when a drive cannot be mounted (it has gone since the command line or the test
// file was read).
bool mountDrives(const std::string& romDir, const std::vector<DriveMount>& drives,
                 std::string& error);
