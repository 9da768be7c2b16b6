// Drive 8 through our open firmware's KERNAL on both machines: a program that loads,
// verifies, saves, reads and writes files and talks to channel 15 checks itself
// (programs/drives/files.asm), on a writable folder and a writable image of our own
// making; the test then looks at what reached the disk, and that a read-only drive kept
// everything as it was.
#include <gtest/gtest.h>

#include <string>

#include "machine/drive.h"
#include "machine/watch.h"
#include "machine_fixture.h"

namespace {

const fs::path kFirmwareDir = BREADBIN_BUILD_DIR "/firmware";
const fs::path kProgramDir = DRIVES_TEST_PROGRAM_DIR;

double emulatedSeconds() {
    return static_cast<double>(cyclesSinceStart()) / static_cast<double>(kCyclesPerSecond);
}

Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

const Bytes kProg = {0x00, 0xC8, 1, 2, 3};
const Bytes kData = bytesOf("HELLO\r");

// Boots `kind` with the firmware and `program` as tests/start, mounts drive 8 at `disk`,
// and runs until the program writes the debug register; returns the byte (0xFF: never).
int runWithDrive(MachineKind kind, const fs::path& program, const std::string& disk,
                 bool writable) {
    for (const char* name : {"kernal.rom", "basic.rom", "chargen.rom"})
        writeFile(name, readFileBytes(kFirmwareDir / name));
    writeFile("tests/start", readFileBytes(program));
    MachineConfig saved = machineConfig;
    machineConfig.kind = kind;
    startHeadless(0.0);
    headlessFollowClock(emulatedSeconds);
    EXPECT_EQ(mountDrive(machine.drives[0], disk, writable), "");
    Watch watch;
    watch.stores = Watch::Stores{kDebugExitRegister, kDebugExitRegister};
    WatchReport report;
    int result = 0xFF;
    for (int leg = 0; leg < 2000 && result == 0xFF; ++leg) {
        runWatched(watch, 100'000, report);
        if (report.event == WatchEvent::StoreSeen) result = report.storeValue;
    }
    machineConfig = saved;
    return result;
}

// The disk files.asm expects, in the working folder: an image of our own making or a
// folder; returns its path.
std::string writeDisk(bool image) {
    if (!image) {
        writeFile("disk/prog.prg", kProg);
        writeFile("disk/data.seq", kData);
        return "disk";
    }
    DiskImage d = blankDiskImage(DiskFormat::D64, "DRIVES", "01");
    EXPECT_FALSE(writeImageFile(d, makeName(bytesOf("PROG")), FileType::Prg, kProg));
    EXPECT_FALSE(writeImageFile(d, makeName(bytesOf("DATA")), FileType::Seq, kData));
    writeFile("disk.d64", *d.bytes);
    return "disk.d64";
}

class DriveKernal : public testing::TestWithParam<std::tuple<MachineKind, bool>> {};

TEST_P(DriveKernal, AProgramUsesTheDriveAsOnTheMachine) {
    auto [kind, image] = GetParam();
    TemporaryFolder folder;
    std::string disk = writeDisk(image);
    EXPECT_EQ(runWithDrive(kind, kProgramDir / "files.prg", disk, true), 0)
        << "the number of the check that failed in files.asm";
    // What the program wrote and scratched, as a fresh mount of the disk shows it.
    Drive after;
    ASSERT_EQ(mountDrive(after, disk, false), "");
    auto read = [&](std::string_view name) {
        Bytes text = bytesOf(name);
        driveOpen(after, 2, text);
        Bytes data;
        for (int i = 0; i < 1000; ++i) {
            DriveByte b = driveRead(after, 2);
            if (b.timeout) break;
            data.push_back(b.value);
            if (b.eoi) break;
        }
        return data;
    };
    EXPECT_EQ(read("OUT"), bytesOf("AB"));
    EXPECT_EQ(read("SAVED"), (Bytes{0x00, 0xC8, 1, 3, 3}));  // $C801 was changed to 3
    EXPECT_TRUE(read("DATA").empty());                       // scratched
    if (!image) {
        EXPECT_EQ(readFileBytes("disk/out.seq"), bytesOf("AB"));
        EXPECT_TRUE(fs::exists("disk/saved.prg"));
        EXPECT_FALSE(fs::exists("disk/data.seq"));
    }
}

// The same program on a read-only drive fails at its first write (its SAVE still returns
// without error, as on the machine) and leaves the disk as it was.
TEST_P(DriveKernal, AReadOnlyDriveKeepsItsDisk) {
    auto [kind, image] = GetParam();
    TemporaryFolder folder;
    std::string disk = writeDisk(image);
    auto before = snapshotFolder(folder.path());
    before.erase("kernal.rom");
    int failed = runWithDrive(kind, kProgramDir / "files.prg", disk, false);
    EXPECT_NE(failed, 0);
    EXPECT_NE(failed, 0xFF);
    auto after = snapshotFolder(folder.path());
    for (const char* name : {"kernal.rom", "basic.rom", "chargen.rom", "tests", "tests/start"}) {
        before.erase(name);
        after.erase(name);
    }
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(MachinesAndMedia, DriveKernal,
                         testing::Combine(testing::Values(MachineKind::Minimal, MachineKind::C64),
                                          testing::Bool()),
                         [](const auto& param) {
                             return std::string(machineKindName(std::get<0>(param.param))) +
                                    (std::get<1>(param.param) ? "Image" : "Folder");
                         });

}  // namespace
