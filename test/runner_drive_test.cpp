// breadbin-run's drives: --drive and --drive-writable on both machines, a program chained
// over three files of a folder, an image written by our own code, the read-only default,
// and the refusals of what is no drive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine/drive.h"
#include "machine_fixture.h"
#include "runner_process.h"

namespace {

const std::string kRunner = BREADBIN_RUN_BINARY;
const fs::path kPrograms = DRIVES_TEST_PROGRAM_DIR;

Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

ProcessOutcome run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "--debug-exit");
    return runProcess(kRunner, arguments, 60);
}

TEST(RunnerDrive, AProgramChainsTwoMoreByNameFromAFolder) {
    for (std::string machineName : {"minimal", "c64"}) {
        TemporaryFolder folder;
        writeFile("parts/part2.prg", readFileBytes(kPrograms / "part2.prg"));
        writeFile("parts/part3.prg", readFileBytes(kPrograms / "part3.prg"));
        ProcessOutcome outcome = run(
            {"--machine", machineName, "--drive", "8=parts", (kPrograms / "chain.prg").string()});
        EXPECT_EQ(outcome.status, 0) << machineName << ": " << outcome.out << outcome.err;
    }
}

// The self-checking program on a writable image and, without the switch, the same image
// left as it was (the program fails at its first write).
TEST(RunnerDrive, WritesOnlyWhereTheCommandLineAllows) {
    TemporaryFolder folder;
    DiskImage image = blankDiskImage(DiskFormat::D81, "RUNNER", "01");
    ASSERT_FALSE(
        writeImageFile(image, makeName(bytesOf("PROG")), FileType::Prg, {0x00, 0xC8, 1, 2, 3}));
    ASSERT_FALSE(
        writeImageFile(image, makeName(bytesOf("DATA")), FileType::Seq, bytesOf("HELLO\r")));
    writeFile("disk.d81", *image.bytes);
    auto before = snapshotFolder(folder.path());
    ProcessOutcome readOnly = run({"--drive", "disk.d81", (kPrograms / "files.prg").string()});
    EXPECT_NE(readOnly.status, 0) << readOnly.out;
    EXPECT_EQ(snapshotFolder(folder.path()), before);
    ProcessOutcome writable =
        run({"--drive-writable", "8=disk.d81", (kPrograms / "files.prg").string()});
    EXPECT_EQ(writable.status, 0) << writable.out << writable.err;
    Drive after;
    ASSERT_EQ(mountDrive(after, "disk.d81", false), "");
    std::vector<DriveFile> files;
    EXPECT_FALSE(driveFiles(after, files));
    EXPECT_EQ(files.size(), 3u);  // PROG, OUT and SAVED; DATA scratched
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST(RunnerDrive, RefusesWhatIsNoDrive) {
    TemporaryFolder folder;
    writeFile("short.d64", Bytes(1000, 0));
    fs::create_directory("disk");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"--drive", "missing"}, "--drive: 'missing': no such file or folder"},
        {{"--drive", "12=disk"}, "--drive: '12' is out of range (8 to 11)"},
        {{"--drive", "7=disk"}, "--drive: '7' is out of range (8 to 11)"},
        {{"--drive-writable", "short.d64"}, "'short.d64': a disk image of 1000 bytes"},
        {{"--drive", "disk", "--drive-writable", "8=disk"}, "device 8 is given twice"},
        {{"--drive", "9="}, "--drive: needs a folder or a disk image"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back("x.prg");
        ProcessOutcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 3) << c.message;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
}

}  // namespace
