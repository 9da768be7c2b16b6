// Test files: routine tests written in TOML. Each test calls one routine (or runs from
// an address to a debug exit) with registers and memory set, and checks registers,
// flags, memory, cycles and the calls of mocked routines afterwards. Here the files are
// found, read and shared among the shards; routine_run.h runs them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/cli/options.h"
#include "app/runner/reports/result.h"
#include "app/runner/source_map/source_map.h"
#include "machine/config.h"

// The registers and flags a test names, in the order messages list them.
// clang-format off
#define BREADBIN_TEST_REGISTERS(X) \
    X(a,  "A",  0)                 \
    X(x,  "X",  0)                 \
    X(y,  "Y",  0)                 \
    X(s,  "S",  0)                 \
    X(p,  "P",  0)                 \
    X(pc, "PC", 0)                 \
    X(n,  "N",  kFlagN)            \
    X(v,  "V",  kFlagV)            \
    X(d,  "D",  kFlagD)            \
    X(i,  "I",  kFlagI)            \
    X(z,  "Z",  kFlagZ)            \
    X(c,  "C",  kFlagC)
// clang-format on

enum class TestRegister : uint8_t {
#define BREADBIN_REGISTER_ENUM(key, shown, flag) key,
    BREADBIN_TEST_REGISTERS(BREADBIN_REGISTER_ENUM)
#undef BREADBIN_REGISTER_ENUM
};
inline constexpr std::size_t kTestRegisterCount = 0
#define BREADBIN_REGISTER_COUNT(key, shown, flag) +1
    BREADBIN_TEST_REGISTERS(BREADBIN_REGISTER_COUNT)
#undef BREADBIN_REGISTER_COUNT
    ;

// The value of each register or flag a test names (a flag: 0 or 1).
using RegisterValues = std::optional<uint16_t>[kTestRegisterCount];

// Bytes at an address, with the key that named it for messages ("result", "$C800").
struct MemoryBytes {
    std::string key;
    uint16_t address;
    std::vector<uint8_t> bytes;
};

// expect.cycles: exact, or a bound.
enum class CycleComparison : uint8_t { Equal, AtMost, Below, AtLeast, Above };
struct CycleExpectation {
    CycleComparison comparison;
    uint64_t cycles;
};

// expect.sid: the byte last written to one of the SID's registers (which reads do not
// give back: most are write-only), by the key that named it.
struct SidExpectation {
    std::string key;
    uint8_t reg;  // 0 to kSidRegisterCount - 1
    uint8_t value;
};

// A mocked routine: reaching its address returns at once, with these registers set.
struct Mock {
    std::string name;
    uint16_t address;
    RegisterValues registers{};
};

// expect.return: a C function's return value, an int in A (low) and X (high), or a char
// in A alone.
struct ReturnExpectation {
    uint16_t value;
    bool word;
};

struct TestCase {
    std::string name;
    int line = 0;            // of its [[test]]
    bool runToExit = false;  // run = ...: start there and end at the debug exit
    uint16_t entry = 0;      // the routine called, or where the run starts
    RegisterValues setRegisters{};
    std::vector<MemoryBytes> setMemory;
    RegisterValues expectRegisters{};
    std::vector<MemoryBytes> expectMemory;
    std::optional<CycleExpectation> expectCycles;
    std::optional<ReturnExpectation> expectReturn;
    InputSteps input;  // input = "...": the keys and joysticks from the call on (the C64's)
    std::vector<std::pair<std::string, uint64_t>> expectCalls;  // mock name, calls
    std::vector<SidExpectation> expectSid;                      // expect.sid
    uint64_t maxCycles = 0;
    bool irq = false;
    std::vector<Mock> mocks;
    std::optional<std::vector<MemoryRange>> writes;  // the RAM it may write, when given
};

struct TestFile {
    std::string path;     // as given
    std::string program;  // the program file, relative to the working directory
    std::string romDir;   // dir, relative to the working directory ("" built in)
    SourceMap map;        // the command line's, with the file's own label and debug-info files
    std::optional<MachineKind> machine;  // the machine, when the file names one
    std::optional<CpuModel> cpu;         // the processor model, when the file names one
    std::optional<CiaModel> cia;         // the CIAs' model, when the file names one
    std::optional<VideoStandard> video;  // the VIC's standard, when the file names one
    std::vector<DriveMount> drives;      // drives, drives-writable: as --drive, --drive-writable
    std::vector<TestCase> tests;
};

inline constexpr uint64_t kDefaultTestCycles = 1'000'000;
inline constexpr uint64_t kMaxTestCycles = 1'000'000'000;
// How deep a test file's tables and keys may nest (a test file needs about six levels).
// The TOML reader builds its tables, and drops them, by recursion, so that a file nested
// tens of thousands of levels deep would overflow the stack: such a file is refused
// before it is read.
inline constexpr int kMaxTestFileNesting = 64;

// Reads a file that a test file's "labels" or "debug-info" key (`key`) names into `map`:
// readMapFile by default.
using MapFileReader = std::function<bool(std::string_view key, const std::string& path,
                                         SourceMap& map, std::string& error)>;
// A label file with readLabelFile, a debug-info file with readDebugInfoFile.
bool readMapFile(std::string_view key, const std::string& path, SourceMap& map, std::string& error);

// Reads the text of the test file at `path`: the source map `map` with the file's own
// label and debug-info files (read through `readFile`), every test, every key and value.
// False, with one line "FILE:LINE: KEY: what is wrong" in `error`, on the first problem.
bool readTestFile(std::string_view text, const std::string& path, const SourceMap& map,
                  TestFile& file, std::string& error, const MapFileReader& readFile = readMapFile);

// The name of a register or flag as a message shows it ("A", "PC", "C").
std::string_view registerName(TestRegister which);
// A flag's mask in regP; 0 for the registers.
uint8_t flagMask(TestRegister which);

// The test files that `paths` name: each file as given, each folder's *.toml in name
// order. False, with one line in `error`, for a path that is neither, or a folder without
// a test file.
bool expandTestFiles(const std::vector<std::string>& paths, std::vector<std::string>& files,
                     std::string& error);

// A test file read for a run: the tests that --filter lets through, or, when the file
// cannot be read or is wrong, the single ERROR result that stands for all of them.
struct TestFileToRun {
    TestFile file;  // its path always set
    std::optional<RunResult> failure;
};
TestFileToRun readTestFileToRun(const RunnerOptions& options, const std::string& path);

// Keeps this shard's share of the tests of `files`: with the tests in order of their
// file's path (byte by byte, equal paths in the order given) and then of their place in
// it, the Kth of every N, a file that failed counting as one test. A file left without
// tests is dropped, except that one which had none goes to the first shard alone.
void keepShareOfTests(std::vector<TestFileToRun>& files, const Shard& shard);

// Whether `name` matches the shell pattern `pattern` (* any run, ? one character).
bool nameMatches(const std::string& pattern, const std::string& name);
