#include "app/runner/program/start.h"

#include <algorithm>

#include "app/runner/cli/options.h"
#include "app/runner/io/input_file.h"
#include "app/runner/program/autostart.h"
#include "app/runner/program/built_in_firmware.h"
#include "host/headless.h"
#include "machine/drive.h"
#include "machine/drive_port.h"
#include "machine/machine.h"
#include "machine/program_file.h"
#include "machine/watch.h"

namespace {

using Bytes = std::vector<uint8_t>;

// "1 byte", "2 bytes".
std::string byteCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string joinPath(const std::string& folder, std::string_view name) {
    if (folder.empty() || folder.back() == '/') return folder + std::string(name);
    return folder + "/" + std::string(name);
}

// Provides the three ROM images and the program to the machine by name, keeping a copy of
// the program file in `programFile`; a disk image's program to autostart stands in for the
// image, whose path goes to `diskImage`. False (with a message) when a file cannot be read.
bool provideInputs(const std::string& romDir, const std::string& program,
                   const std::string& autostart, Bytes& programFile, std::string& diskImage,
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
    if (programPath.empty() && !romDir.empty()) programPath = testProgramPath(romDir);
    Bytes bytes;
    if (isDiskImageFile(programPath)) {
        diskImage = programPath;
        if (!readAutostartFile(programPath, autostart, bytes, error)) return false;
    } else if (!programPath.empty()) {
        if (!readWholeFile(programPath, bytes, error)) return false;
        if (bytes.size() < kLoadAddressBytes) {
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

}  // namespace

void nameMachine(const MachineConfig& config, RunResult& result) {
    result.machine = machineKindName(config.kind);
    result.cpu = cpuModelName(config.cpu);
    result.cia = config.kind == MachineKind::C64 ? ciaModelName(config.cia) : "";
    result.video = config.kind == MachineKind::C64 ? videoStandardName(config.video) : "";
}

std::string testProgramPath(const std::string& romDir) {
    return joinPath(romDir, kTestProgramFile);
}

bool startHeadlessMachine(const std::string& romDir, const std::string& program,
                          const std::string& autostart, uint64_t seed, bool realtime,
                          const MachineConfig& config, std::vector<uint8_t>& programFile,
                          std::string& error) {
    headlessReset();
    disarmSerialRoutines();
    std::string diskImage;
    if (!provideInputs(romDir, program, autostart, programFile, diskImage, error)) return false;
    headlessSeedRandom(seed);
    if (realtime) {
        headlessUseRealClock();
    } else {
        headlessFollowClock(emulatedSeconds);
    }
    machineConfig = config;
    startMachine(0, nullptr);
    if (!diskImage.empty())
        return mountDrives(romDir, {{kFirstDriveDevice, diskImage, false}}, error);
    return true;
}

// The cursor's page-zero and page-two variables, as the KERNAL documents them.
constexpr uint16_t kBlinkSwitch = 0xCC;    // BLNSW: zero while the cursor blinks
constexpr uint16_t kBlinkSaved = 0xCE;     // GDBLN: the character under the cursor
constexpr uint16_t kBlinkShown = 0xCF;     // BLNON: not zero while the cell is reversed
constexpr uint16_t kLinePointer = 0xD1;    // PNT: the cursor's line in screen memory
constexpr uint16_t kCursorColumn = 0xD3;   // PNTR: the cursor's column in that line
constexpr uint16_t kColourLine = 0xF3;     // USER: the cursor's line in colour memory
constexpr uint16_t kBlinkColour = 0x0287;  // GDCOL: the colour under the cursor

void endLineInput() {
    pokeByte(kBlinkSwitch, 1);
    if (peekByte(kBlinkShown) == 0) return;
    auto pointer = [](uint16_t at) {
        return static_cast<uint16_t>(peekByte(at) | peekByte(static_cast<uint16_t>(at + 1)) << 8);
    };
    uint8_t column = peekByte(kCursorColumn);
    pokeByte(static_cast<uint16_t>(pointer(kLinePointer) + column), peekByte(kBlinkSaved));
    pokeByte(static_cast<uint16_t>(pointer(kColourLine) + column), peekByte(kBlinkColour));
    pokeByte(kBlinkShown, 0);
}

bool bootUntilProgramLoaded(uint64_t cycleLimit) {
    Watch watch;
    watch.programLoad = true;
    WatchReport report;
    while (report.event != WatchEvent::ProgramLoaded && cyclesSinceStart() < cycleLimit)
        runWatched(watch, kStepsPerHostCheck, report);
    if (report.event != WatchEvent::ProgramLoaded) return false;
    endLineInput();
    return true;
}

bool mountDrives(const std::string& romDir, const std::vector<DriveMount>& drives,
                 std::string& error) {
    for (const DriveMount& drive : drives) {
        std::string problem = mountDrive(machine.drives[drive.device - kFirstDriveDevice],
                                         drive.path, drive.writable);
        if (!problem.empty()) {
            error = "drive " + std::to_string(drive.device) + ": " + drive.path + ": " + problem;
            return false;
        }
    }
    bool mounted = std::any_of(std::begin(machine.drives), std::end(machine.drives),
                               [](const Drive& d) { return d.medium != DriveMedium::Absent; });
    if (!romDir.empty() && mounted) armSerialRoutines();
    return true;
}
