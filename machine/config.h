// Which machine a run emulates: the chip set, the processor model and the chips'
// generations. The windowed program always runs the defaults; breadbin-run chooses with
// --machine, --cpu, --cia and --video (and a test file's keys of the same names).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "cpu/model.h"

// The machines, one row each.
// clang-format off
#define BREADBIN_MACHINE_KINDS(X)                                                             \
    X(Minimal, "minimal", "the windowed program's machine: the chips are memory cells, a "    \
                          "frame interrupt every 21 ms of emulated time, the keyboard stub")  \
    X(C64,     "c64",     "the Commodore 64: the I/O bus, the 6510's port, both CIAs and "    \
                          "interrupts from the chips, the VIC's raster and frames")
// clang-format on

enum class MachineKind : uint8_t {
#define BREADBIN_MACHINE_ENUM(kind, name, description) kind,
    BREADBIN_MACHINE_KINDS(BREADBIN_MACHINE_ENUM)
#undef BREADBIN_MACHINE_ENUM
};

inline constexpr NamedChoice<MachineKind> kMachineKinds[] = {
#define BREADBIN_MACHINE_ROW(kind, name, description) {MachineKind::kind, name, description},
    BREADBIN_MACHINE_KINDS(BREADBIN_MACHINE_ROW)
#undef BREADBIN_MACHINE_ROW
};

// The CIA generations, where they differ (the interrupt output's timing, timer B's flag).
// clang-format off
#define BREADBIN_CIA_MODELS(X)                                                                \
    X(Mos6526, "6526", "the original C64's CIA: its interrupt output follows a flag one "     \
                       "cycle later than the 8521's")                                         \
    X(Mos8521, "8521", "the C64C's CIA: its interrupt output follows a flag in the next "     \
                       "cycle")
// clang-format on

enum class CiaModel : uint8_t {
#define BREADBIN_CIA_ENUM(model, name, description) model,
    BREADBIN_CIA_MODELS(BREADBIN_CIA_ENUM)
#undef BREADBIN_CIA_ENUM
};

inline constexpr NamedChoice<CiaModel> kCiaModels[] = {
#define BREADBIN_CIA_ROW(model, name, description) {CiaModel::model, name, description},
    BREADBIN_CIA_MODELS(BREADBIN_CIA_ROW)
#undef BREADBIN_CIA_ROW
};

// The VIC-II's television standards: the chip, and the raster's geometry that sets the
// frame's length.
// clang-format off
#define BREADBIN_VIDEO_STANDARDS(X)                                                           \
    X(Pal,  "pal",  "the 6569: 312 lines of 63 cycles, 19,656 cycles a frame",  63, 312)      \
    X(Ntsc, "ntsc", "the 6567R8: 263 lines of 65 cycles, 17,095 cycles a frame", 65, 263)
// clang-format on

enum class VideoStandard : uint8_t {
#define BREADBIN_VIDEO_ENUM(standard, name, description, cycles, lines) standard,
    BREADBIN_VIDEO_STANDARDS(BREADBIN_VIDEO_ENUM)
#undef BREADBIN_VIDEO_ENUM
};

inline constexpr NamedChoice<VideoStandard> kVideoStandards[] = {
#define BREADBIN_VIDEO_ROW(standard, name, description, cycles, lines) \
    {VideoStandard::standard, name, description},
    BREADBIN_VIDEO_STANDARDS(BREADBIN_VIDEO_ROW)
#undef BREADBIN_VIDEO_ROW
};

struct RasterGeometry {
    uint32_t cyclesPerLine;
    uint32_t lines;
    constexpr uint32_t frameCycles() const { return cyclesPerLine * lines; }
};

constexpr RasterGeometry rasterGeometry(VideoStandard standard) {
    constexpr RasterGeometry kRows[] = {
#define BREADBIN_VIDEO_GEOMETRY(standard, name, description, cycles, lines) {cycles, lines},
        BREADBIN_VIDEO_STANDARDS(BREADBIN_VIDEO_GEOMETRY)
#undef BREADBIN_VIDEO_GEOMETRY
    };
    return kRows[static_cast<unsigned>(standard)];
}

inline constexpr MachineKind kDefaultMachineKind = MachineKind::Minimal;
inline constexpr CiaModel kDefaultCiaModel = CiaModel::Mos6526;
inline constexpr VideoStandard kDefaultVideoStandard = VideoStandard::Pal;

constexpr std::string_view machineKindName(MachineKind kind) {
    return choiceName(kMachineKinds, kind);
}
constexpr std::string_view ciaModelName(CiaModel model) { return choiceName(kCiaModels, model); }
constexpr std::string_view videoStandardName(VideoStandard standard) {
    return choiceName(kVideoStandards, standard);
}

// Everything a run's machine is made of. Set before startMachine; the windowed program
// keeps the defaults.
struct MachineConfig {
    MachineKind kind = kDefaultMachineKind;
    CpuModel cpu = kDefaultCpuModel;
    CiaModel cia = kDefaultCiaModel;
    VideoStandard video = kDefaultVideoStandard;
};

// breadbin-run's machine unless told otherwise: the C64 with its processor as the chip runs
// (decimal mode, the undocumented opcodes). `--machine minimal --cpu plain` is the windowed
// program's.
inline constexpr MachineConfig kRunnerMachine{.kind = MachineKind::C64, .cpu = CpuModel::Mos6510};
