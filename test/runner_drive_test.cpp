// breadbin-run's drives: --drive and --drive-writable on both machines, a program chained
// over three files of a folder, an image written by our own code, the read-only default,
// routine tests with a test file's drives, and the refusals of what is no drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "machine/drive.h"
#include "machine_fixture.h"
#include "runner_process.h"

namespace {

const std::string kRunner = BREADBIN_RUN_BINARY;
const fs::path kPrograms = DRIVES_TEST_PROGRAM_DIR;

Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }
std::string bytesText(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

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

// A test file's drives, as --drive gives them, with the path from the test file's folder:
// its routine loads through the system's LOAD on both machines.
TEST(RunnerDrive, ARoutineTestLoadsFromTheTestFilesDrive) {
    for (std::string machineName : {"minimal", "c64"}) {
        TemporaryFolder folder;
        writeFile("tests/parts/data.prg", {0x00, 0xC2, 1, 2, 3});
        std::ofstream("tests/load.toml")
            << "program = \"" << (kPrograms / "loader.prg").string() << "\"\n"
            << "machine = \"" << machineName << "\"\ndrives = [\"parts\"]\n"
            << R"([defaults]
call = "$C000"
set = { a = 4, x = 0x00, y = 0xC1, "$C100" = "DATA" }

[[test]]
name = "loads at the file's address"
expect = { c = false, x = 0x03, y = 0xC2, "$C200" = [1, 2, 3] }

[[test]]
name = "a missing file"
set = { "$C100" = "NONE" }
expect = { c = true, a = 4, "$90" = 0x42 }
)";
        ProcessOutcome outcome = runProcess(kRunner, {"--test", "tests/load.toml"}, 60);
        EXPECT_EQ(outcome.status, 0) << machineName << ": " << outcome.out << outcome.err;
        EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 2) << outcome.out;
    }
}

TEST(RunnerDrive, ATestFilesBadDriveNamesFileLineAndKey) {
    TemporaryFolder folder;
    fs::create_directory("parts");
    struct Case {
        std::string keys;
        std::string message;
    };
    const Case cases[] = {
        {"drives = \"12=parts\"", "bad.toml:2: drives: '12' is out of range (8 to 11)"},
        {"drives = [\"parts\", \"8=parts\"]", "bad.toml:2: drives: device 8 is given twice"},
        {"drives = \"parts\"\ndrives-writable = \"8=parts\"",
         "bad.toml:3: drives-writable: device 8 is given twice"},
        {"drives-writable = \"9=missing\"",
         "bad.toml:2: drives-writable: 'missing': no such file or folder"},
        {"drives = 8", "bad.toml:2: drives: must be a string"},
    };
    for (const Case& c : cases) {
        std::ofstream("bad.toml") << "program = \"" << (kPrograms / "loader.prg").string() << "\"\n"
                                  << c.keys << "\n[[test]]\nname = \"x\"\ncall = \"$C000\"\n";
        ProcessOutcome outcome = runProcess(kRunner, {"--test", "bad.toml"}, 60);
        EXPECT_EQ(outcome.status, 3) << c.message;
        EXPECT_NE(outcome.out.find(c.message), std::string::npos) << outcome.out;
    }
}

// A disk image written by our own code, its files in this order.
struct ImageFile {
    std::string name;
    FileType type;
    Bytes data;
};
Bytes imageWith(DiskFormat format, const std::vector<ImageFile>& files) {
    DiskImage image = blankDiskImage(format, "AUTOSTART", "01");
    for (const ImageFile& file : files) {
        if (writeImageFile(image, makeName(bytesOf(file.name)), file.type, file.data))
            ADD_FAILURE() << file.name;
    }
    return *image.bytes;
}

// A disk image as PROGRAM is drive 8 and starts its first program (an upstart, from its
// SYS number) or the one --autostart names (from its load address); each program loads
// DATA from the image to see that it is drive 8. Both machines, both formats.
TEST(RunnerDrive, ADiskImageAutostartsItsFirstProgramOrTheNamedOne) {
    const Bytes upstart = readFileBytes(kPrograms / "autostart.prg");
    const Bytes atC100 = readFileBytes(kPrograms / "autostart_load.prg");
    const ImageFile readme{"README", FileType::Seq, bytesOf("HELLO\r")};
    const ImageFile data{"DATA", FileType::Prg, {0x00, 0xC0, 1, 2, 3, 4}};
    struct Case {
        DiskFormat format;
        std::vector<ImageFile> files;
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {DiskFormat::D64, {readme, {"BOOT", FileType::Prg, upstart}, data}, {}},
        {DiskFormat::D81, {readme, {"BOOT", FileType::Prg, upstart}, data}, {}},
        {DiskFormat::D64, {{"FIRST", FileType::Prg, atC100}, data}, {}},
        {DiskFormat::D64,
         {{"BOOT", FileType::Prg, {0x00, 0xC0, 0x02}}, {"LOADER", FileType::Prg, atC100}, data},
         {"--autostart", "loader"}},
        {DiskFormat::D81,
         {{"BOOT", FileType::Prg, {0x00, 0xC0, 0x02}}, {"LOADER", FileType::Prg, atC100}, data},
         {"--autostart", "LO?D*"}},
        {DiskFormat::D64, {{"BOOT", FileType::Prg, upstart}, data}, {"--drive-writable", "8=game"}},
    };
    for (std::string machineName : {"minimal", "c64"}) {
        for (const Case& c : cases) {
            TemporaryFolder folder;
            fs::path game = c.format == DiskFormat::D81 ? "game.d81" : "game.d64";
            writeFile(game, imageWith(c.format, c.files));
            std::vector<std::string> arguments = {"--machine", machineName};
            for (std::string option : c.options) {
                if (option == "8=game") option = "8=" + game.string();
                arguments.push_back(option);
            }
            arguments.push_back(game.string());
            ProcessOutcome outcome = run(arguments);
            EXPECT_EQ(outcome.status, 0)
                << machineName << " " << game << " " << c.files.front().name << ": " << outcome.out
                << outcome.err;
        }
    }
}

// The README's game: an image written here, autostarted with the README's command line,
// passes at its title and leaves the picture.
TEST(RunnerDrive, TheReadmesGameImageAutostartsToItsTitleAndAScreenshot) {
    TemporaryFolder folder;
    writeFile("game.d64", imageWith(DiskFormat::D64, {{"INVADERS", FileType::Prg,
                                                       readFileBytes(kPrograms / "title.prg")},
                                                      {"HISCORES", FileType::Seq, bytesOf("0")}}));
    ProcessOutcome outcome = runProcess(
        kRunner,
        {"--frames", "100", "--until-text", "PRESS FIRE", "--screenshot", "title.png", "game.d64"},
        60);
    EXPECT_EQ(outcome.status, 0) << outcome.out << outcome.err;
    Bytes png = readFileBytes("title.png");
    const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(png.size(), signature.size());
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));
}

// The README shows the test suite's source as the test builds and runs it (CTest's
// readme_drive_suite), and the command lines this file runs.
TEST(RunnerDrive, TheReadmeShowsTheExamplesAsTheyAreTested) {
    std::string readme = bytesText(readFileBytes(fs::path(BREADBIN_SOURCE_DIR) / "README.md"));
    std::string suite =
        bytesText(readFileBytes(fs::path(BREADBIN_SOURCE_DIR) / "test/programs/drives/suite.asm"));
    EXPECT_NE(readme.find("```asm\n" + suite + "```"), std::string::npos);
    for (const char* line :
         {"breadbin-run --debug-exit --drive suite suite/part1.prg",
          "breadbin-run --frames 100 --until-text \"PRESS FIRE\" --screenshot title.png game.d64"})
        EXPECT_NE(readme.find(line), std::string::npos) << line;
}

TEST(RunnerDrive, AutostartRefusesWhatItCannotStart) {
    TemporaryFolder folder;
    writeFile("game.d64", imageWith(DiskFormat::D64, {{"BOOT", FileType::Prg, {0x00, 0xC0, 0}},
                                                      {"TEXT", FileType::Seq, bytesOf("HI")}}));
    writeFile("texts.d64", imageWith(DiskFormat::D64, {{"TEXT", FileType::Seq, bytesOf("HI")}}));
    writeFile("short.d64", imageWith(DiskFormat::D64, {{"BOOT", FileType::Prg, {0x01}}}));
    writeFile("plain.prg", {0x00, 0xC0, 0x60});
    fs::create_directory("other");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"texts.d64"}, "texts.d64: no program (PRG) in the disk image"},
        {{"--autostart", "nope", "game.d64"},
         "game.d64: 'nope' cannot be loaded: 62,FILE NOT FOUND,00,00"},
        {{"short.d64"}, "short.d64: its first program is too short for a program file"},
        {{"--autostart", "boot", "plain.prg"},
         "--autostart picks a file of a disk image: give a disk image (D64, D81) as PROGRAM"},
        {{"--autostart", "b\\t", "game.d64"},
         "--autostart: 'b\\t' holds a character that no key types"},
        {{"--drive", "other", "game.d64"},
         "drive 8 is 'other', and the disk image PROGRAM 'game.d64' would be drive 8 too"},
    };
    for (const Case& c : cases) {
        ProcessOutcome outcome = run(c.arguments);
        EXPECT_NE(outcome.status, 0) << c.message;
        EXPECT_NE((outcome.out + outcome.err).find(c.message), std::string::npos)
            << c.message << "\n"
            << outcome.out << outcome.err;
    }
}

// A folder of ROM images with a KERNAL that works the serial bus itself, laid out like the
// machine's (programs/drives/serial_kernal.asm), with its own LOAD calling its serial
// routines: the emulator serves those routines, so that a program's LOAD through $FFD5
// and its own TALK, TKSA and ACPTR through the jump table reach the drive, on both
// machines, in a run and in a routine test; without a drive they stay the ROM's.
TEST(RunnerDrive, AKernalThatWorksTheBusItselfIsServedAtItsSerialRoutines) {
    const std::string serial = (kPrograms / "serial.prg").string();
    for (std::string machineName : {"minimal", "c64"}) {
        TemporaryFolder folder;
        writeFile("roms/kernal.rom", readFileBytes(kPrograms / "serial_kernal.rom"));
        writeFile("roms/basic.rom", Bytes(8192, 0));
        writeFile("roms/chargen.rom", Bytes(4096, 0));
        writeFile("disk/data.prg", {0x00, 0xC1, 1, 2, 3, 4});
        writeFile("disk.d64",
                  imageWith(DiskFormat::D64, {{"DATA", FileType::Prg, {0x00, 0xC1, 1, 2, 3, 4}}}));
        const std::vector<std::string> base = {"--machine", machineName, "--dir", "roms"};
        struct Case {
            std::vector<std::string> drives;
            int status;  // the program's: 0 passed, else its first failed check
        };
        const Case cases[] = {{{"--drive", "disk"}, 0}, {{"--drive", "8=disk.d64"}, 0}, {{}, 1}};
        for (const Case& c : cases) {
            std::vector<std::string> arguments = base;
            arguments.insert(arguments.end(), c.drives.begin(), c.drives.end());
            arguments.push_back(serial);
            ProcessOutcome outcome = run(arguments);
            EXPECT_EQ(outcome.status, c.status)
                << machineName << " " << c.drives.size() << outcome.out << outcome.err;
        }
        std::ofstream("serial.toml") << "program = \"" << serial << "\"\ndir = \"roms\"\n"
                                     << "machine = \"" << machineName << "\"\n"
                                     << "drives = \"disk\"\n[[test]]\nname = \"loads\"\n"
                                     << "run = \"$C400\"\n";
        ProcessOutcome tests = runProcess(kRunner, {"--test", "serial.toml"}, 60);
        EXPECT_EQ(tests.status, 0) << machineName << tests.out << tests.err;
    }
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
