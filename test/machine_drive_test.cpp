// The drives' DOS over images and folders: formats by size, images written by our own
// code and read back, damaged images, names and wildcards, the listing's bytes, channel 15
// and its commands, the read-only default.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine/drive.h"
#include "machine_fixture.h"

namespace {

Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// A drive on an image of our own making, kept in `folder` as disk.img when writable.
Drive imageDrive(const DiskImage& image, bool writable = false, const fs::path& folder = {}) {
    Drive drive;
    drive.medium = DriveMedium::Image;
    drive.image = image;
    drive.writable = writable;
    drive.path = (folder / "disk.img").string();
    resetDrive(drive);
    return drive;
}

DiskImage imageWith(DiskFormat format, const std::vector<std::pair<std::string, Bytes>>& files,
                    FileType type = FileType::Prg) {
    DiskImage image = blankDiskImage(format, "TEST DISK", "AB");
    for (const auto& [name, data] : files) {
        DosError e = writeImageFile(image, makeName(bytesOf(name)), type, data);
        EXPECT_FALSE(e) << name << ": " << int{e.code};
    }
    return image;
}

// Everything a channel sends, up to and including the byte with EOI (a bounded read).
Bytes readChannel(Drive& drive, uint8_t channel) {
    Bytes out;
    for (int i = 0; i < 1'000'000; ++i) {
        DriveByte b = driveRead(drive, channel);
        if (b.timeout) break;
        out.push_back(b.value);
        if (b.eoi) break;
    }
    return out;
}

// The power-on message of a drive of that format, as channel 15 sends it.
std::string powerOnStatus(DiskFormat format) {
    std::string message = "73,";
    message.append(formatInfo(format).powerOnMessage);
    message.append(",00,00\r");
    return message;
}

std::string status(Drive& drive) {
    Bytes message = readChannel(drive, kCommandChannel);
    return std::string(message.begin(), message.end());
}

void open(Drive& drive, uint8_t channel, std::string_view name) {
    Bytes text = bytesOf(name);
    driveOpen(drive, channel, text);
}

void command(Drive& drive, std::string_view text) {
    for (char c : text) driveWrite(drive, kCommandChannel, static_cast<uint8_t>(c));
    driveUnlisten(drive, kCommandChannel);
}

Bytes pattern(std::size_t size, uint8_t seed = 1) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + seed);
    return data;
}

TEST(DiskImage, FormatsAreKnownBySizeAlone) {
    struct Case {
        std::size_t size;
        std::optional<DiskFormat> format;
        bool errorBytes;
    };
    const Case cases[] = {
        {174848, DiskFormat::D64, false},
        {175531, DiskFormat::D64, true},
        {196608, DiskFormat::D64Extended, false},
        {197376, DiskFormat::D64Extended, true},
        {819200, DiskFormat::D81, false},
        {822400, DiskFormat::D81, true},
        {174847, std::nullopt, false},
        {205312, std::nullopt, false},
        {0, std::nullopt, false},
    };
    for (const Case& c : cases) {
        std::optional<ImageLayout> layout = imageLayoutOfSize(c.size);
        ASSERT_EQ(layout.has_value(), c.format.has_value()) << c.size;
        if (!layout) continue;
        EXPECT_EQ(layout->format, *c.format) << c.size;
        EXPECT_EQ(layout->errorBytes, c.errorBytes) << c.size;
    }
}

TEST(DiskImage, BlankDisksShowTheirFreeBlocksAndLabel) {
    const std::pair<DiskFormat, unsigned> cases[] = {
        {DiskFormat::D64, 664}, {DiskFormat::D64Extended, 664}, {DiskFormat::D81, 3160}};
    for (auto [format, free] : cases) {
        DiskImage image = blankDiskImage(format, "NAME", "ID");
        EXPECT_EQ(image.bytes->size(), formatInfo(format).bytes());
        EXPECT_EQ(blocksFree(image), free) << formatInfo(format).name;
        DiskLabel label = diskLabel(image);
        EXPECT_EQ(nameBytes(label.name).size(), 4u);
        EXPECT_EQ(label.id[0], 'I');
        EXPECT_EQ(label.dosType[0], formatInfo(format).dosType[0]);
        std::vector<DirectoryEntry> entries;
        EXPECT_FALSE(readDirectory(image, entries));
        EXPECT_TRUE(entries.empty());
    }
}

TEST(DiskImage, FilesOfEverySizeComeBackAsWritten) {
    // A PRG of L bytes takes ceil(L / 254) blocks; an empty file takes one.
    const std::size_t sizes[] = {0, 1, 253, 254, 255, 508, 50800};
    for (DiskFormat format : {DiskFormat::D64, DiskFormat::D81}) {
        DiskImage image = blankDiskImage(format, "SIZES", "01");
        unsigned freeBefore = blocksFree(image);
        unsigned used = 0;
        for (std::size_t size : sizes) {
            Bytes data = pattern(size, static_cast<uint8_t>(size));
            std::string name = std::to_string(size);
            ASSERT_FALSE(writeImageFile(image, makeName(bytesOf(name)), FileType::Prg, data));
            used += static_cast<unsigned>(std::max<std::size_t>(1, (size + 253) / 254));
        }
        EXPECT_EQ(blocksFree(image), freeBefore - used);
        std::vector<DirectoryEntry> entries;
        ASSERT_FALSE(readDirectory(image, entries));
        ASSERT_EQ(entries.size(), std::size(sizes));  // more than one directory block's 8
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Bytes data;
            ASSERT_FALSE(readChain(image, entries[i].track, entries[i].sector, data));
            EXPECT_EQ(data, pattern(sizes[i], static_cast<uint8_t>(sizes[i])));
            EXPECT_EQ(entries[i].typeByte, 0x82);
        }
    }
}

TEST(DiskImage, AFullDiskRefusesAFileAndStaysAsItWas) {
    DiskImage image = blankDiskImage(DiskFormat::D64, "FULL", "01");
    ASSERT_FALSE(
        writeImageFile(image, makeName(bytesOf("BIG")), FileType::Prg, pattern(600 * 254)));
    auto before = image.bytes;
    DosError e = writeImageFile(image, makeName(bytesOf("MORE")), FileType::Prg, pattern(65 * 254));
    EXPECT_EQ(e.code, kDosDiskFull);
    EXPECT_EQ(*image.bytes, *before);
    EXPECT_EQ(blocksFree(image), 64u);
}

// A damaged image: what a read of its one file and a search for another give.
TEST(DiskImage, DamageGivesTheDriveErrorAndNeverHangs) {
    struct Case {
        std::string what;
        void (*damage)(std::vector<uint8_t>& bytes, const DirectoryEntry& file);
        bool errorBytes;
        std::string fileStatus;   // after opening the file
        std::string otherStatus;  // after opening a name not on the disk
    };
    auto block = [](std::vector<uint8_t>& bytes, unsigned t, unsigned s) {
        unsigned index = s;
        for (unsigned i = 1; i < t; ++i) index += sectorsOnTrack(DiskFormat::D64, i);
        return &bytes[index * kSectorSize];
    };
    static decltype(block) at = block;
    const Case cases[] = {
        {"a chain that loops back to its first block",
         [](auto& b, auto& f) {
             at(b, f.track, f.sector)[0] = f.track, at(b, f.track, f.sector)[1] = f.sector;
         },
         false, "66,ILLEGAL TRACK AND SECTOR,17,00\r", "62,FILE NOT FOUND,00,00\r"},
        {"a link past the last track", [](auto& b, auto& f) { at(b, f.track, f.sector)[0] = 36; },
         false, "66,ILLEGAL TRACK AND SECTOR,36,01\r", "62,FILE NOT FOUND,00,00\r"},
        {"a link to a sector the track lacks",
         [](auto& b, auto& f) { at(b, f.track, f.sector)[1] = 21; }, false,
         "66,ILLEGAL TRACK AND SECTOR,17,21\r", "62,FILE NOT FOUND,00,00\r"},
        {"a directory that links to itself",
         [](auto& b, auto&) { at(b, 18, 1)[0] = 18, at(b, 18, 1)[1] = 1; }, false, "00, OK,00,00\r",
         "66,ILLEGAL TRACK AND SECTOR,18,01\r"},
        {"a directory that leaves the disk",
         [](auto& b, auto&) { at(b, 18, 1)[0] = 99, at(b, 18, 1)[1] = 0; }, false, "00, OK,00,00\r",
         "66,ILLEGAL TRACK AND SECTOR,99,00\r"},
        {"a short image that ends before the file's last block (on track 19)",
         [](auto& b, auto&) { b.resize(at(b, 19, 0) - b.data()); }, false, "21,READ ERROR,19,00\r",
         "62,FILE NOT FOUND,00,00\r"},
        {"an oversized image", [](auto& b, auto&) { b.resize(b.size() + 1000, 0xEE); }, false,
         "00, OK,00,00\r", "62,FILE NOT FOUND,00,00\r"},
        {"an error byte on the file's first block",
         [](auto& b, auto& f) {
             b.resize(formatInfo(DiskFormat::D64).bytesWithErrors(), 1);
             b[formatInfo(DiskFormat::D64).bytes() +
               (at(b, f.track, f.sector) - b.data()) / kSectorSize] = 5;
         },
         true, "23,READ ERROR,17,00\r", "62,FILE NOT FOUND,00,00\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // 22 blocks: all of track 17, then track 19's first.
        DiskImage image = imageWith(DiskFormat::D64, {{"GAME", pattern(21 * 254 + 100)}});
        std::vector<DirectoryEntry> entries;
        ASSERT_FALSE(readDirectory(image, entries));
        std::vector<uint8_t> bytes = *image.bytes;
        c.damage(bytes, entries[0]);
        image.bytes = std::make_shared<const std::vector<uint8_t>>(bytes);
        image.errorBytes = c.errorBytes;
        Drive drive = imageDrive(image);
        open(drive, 0, "GAME");
        EXPECT_EQ(status(drive), c.fileStatus);
        open(drive, 0, "OTHER");
        EXPECT_EQ(status(drive), c.otherStatus);
        open(drive, 0, "$");
        EXPECT_FALSE(readChannel(drive, 0).empty());  // the listing, as far as it goes
    }
}

TEST(DriveNames, PatternsMatchAsTheDriveMatches) {
    struct Case {
        std::string pattern, name;
        bool matches;
    };
    const Case cases[] = {
        {"GAME", "GAME", true}, {"GAME", "GAMES", false}, {"GAMES", "GAME", false},
        {"G*", "GAME", true},   {"*", "ANY", true},       {"G*X", "GAME", true},
        {"G?ME", "GAME", true}, {"G?ME", "GME", false},   {"????", "GAME", true},
        {"???", "GAME", false}, {"game", "GAME", false},  {"", "GAME", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nameMatches(bytesOf(c.pattern), makeName(bytesOf(c.name))), c.matches)
            << c.pattern << " " << c.name;
}

TEST(DriveNames, OpenNamesSplitIntoDriveNameTypeAndMode) {
    struct Case {
        std::string text;
        std::string name;
        bool directory, replace, syntaxError;
        std::optional<FileType> type;
        OpenMode mode;
    };
    const Case cases[] = {
        {"GAME", "GAME", false, false, false, std::nullopt, OpenMode::Default},
        {"0:GAME", "GAME", false, false, false, std::nullopt, OpenMode::Default},
        {":GAME", "GAME", false, false, false, std::nullopt, OpenMode::Default},
        {"@0:GAME", "GAME", false, true, false, std::nullopt, OpenMode::Default},
        {"DATA,S,W", "DATA", false, false, false, FileType::Seq, OpenMode::Write},
        {"DATA,W", "DATA", false, false, false, std::nullopt, OpenMode::Write},
        {"DATA,SEQ,READ", "DATA", false, false, false, FileType::Seq, OpenMode::Read},
        {"DATA,P", "DATA", false, false, false, FileType::Prg, OpenMode::Default},
        {"DATA,X", "DATA", false, false, true, std::nullopt, OpenMode::Default},
        {"$", "", true, false, false, std::nullopt, OpenMode::Default},
        {"$0", "", true, false, false, std::nullopt, OpenMode::Default},
        {"$0:A*", "A*", true, false, false, std::nullopt, OpenMode::Default},
        {"X:GAME", "", false, false, true, std::nullopt, OpenMode::Default},
    };
    for (const Case& c : cases) {
        ParsedName p = parseFileName(bytesOf(c.text));
        EXPECT_EQ(p.syntaxError, c.syntaxError) << c.text;
        if (c.syntaxError) continue;
        EXPECT_EQ(p.name, bytesOf(c.name)) << c.text;
        EXPECT_EQ(p.directory, c.directory) << c.text;
        EXPECT_EQ(p.replace, c.replace) << c.text;
        EXPECT_EQ(p.type, c.type) << c.text;
        EXPECT_EQ(p.mode, c.mode) << c.text;
    }
}

TEST(DriveNames, HostNamesMapToDiskNamesAndBack) {
    struct Case {
        std::string host;
        std::optional<std::string> disk;  // nothing: not on the disk
        FileType type;
        std::string written;  // the host name the disk name and type write
    };
    const Case cases[] = {
        {"game.prg", "GAME", FileType::Prg, "game.prg"},
        {"Game.PRG", "GAME", FileType::Prg, "game.prg"},
        {"scores.seq", "SCORES", FileType::Seq, "scores.seq"},
        {"notes.usr", "NOTES", FileType::Usr, "notes.usr"},
        {"readme", "README", FileType::Prg, "readme.prg"},
        {"part 2.prg", "PART 2", FileType::Prg, "part 2.prg"},
        {"a%2fb.prg", "A/B", FileType::Prg, "a%2fb.prg"},
        {"%c1bc.prg",
         "\xC1"
         "BC",
         FileType::Prg, "%c1bc.prg"},
        {"100%.prg", std::nullopt, FileType::Prg, ""},
        {".hidden.prg", std::nullopt, FileType::Prg, ""},
        {"seventeen-chars-x.prg", std::nullopt, FileType::Prg, ""},
        {"caf\xC3\xA9.prg", std::nullopt, FileType::Prg, ""},
        {".prg", std::nullopt, FileType::Prg, ""},
    };
    for (const Case& c : cases) {
        std::optional<HostFileName> name = diskNameOfHostFile(c.host);
        ASSERT_EQ(name.has_value(), c.disk.has_value()) << c.host;
        if (!name) continue;
        EXPECT_EQ(name->name, makeName(bytesOf(*c.disk))) << c.host;
        EXPECT_EQ(name->type, c.type) << c.host;
        EXPECT_EQ(hostFileName(name->name, name->type), c.written) << c.host;
    }
    // A name that starts with a dot is not hidden once written.
    EXPECT_EQ(hostFileName(makeName(bytesOf(".X")), FileType::Seq), "%2ex.seq");
}

TEST(DriveListing, IsTheBasicProgramTheDriveSends) {
    DiskImage image = imageWith(DiskFormat::D64, {{"AB", pattern(300)}});
    Drive drive = imageDrive(image);
    Bytes listing = directoryListing(drive, {});
    Bytes expected = {0x01, 0x04,                          // load address $0401
                      0x01, 0x01, 0x00, 0x00, 0x12, '"'};  // link, line 0, reverse, quote
    Bytes label = bytesOf("TEST DISK       \" AB 2A");
    expected.insert(expected.end(), label.begin(), label.end());
    expected.push_back(0);
    Bytes file = {0x01, 0x01, 0x02, 0x00};
    Bytes text = bytesOf("   \"AB\"               PRG  ");
    file.insert(file.end(), text.begin(), text.end());
    file.push_back(0);
    EXPECT_EQ(file.size(), 32u);
    expected.insert(expected.end(), file.begin(), file.end());
    Bytes last = {0x01, 0x01, 662 & 0xFF, 662 >> 8};
    Bytes free = bytesOf("BLOCKS FREE.             ");
    last.insert(last.end(), free.begin(), free.end());
    expected.insert(expected.end(), last.begin(), last.end());
    expected.insert(expected.end(), {0, 0, 0});
    EXPECT_EQ(listing, expected);
}

TEST(DriveListing, APatternListsOnlyTheNamesItMatches) {
    DiskImage image = imageWith(DiskFormat::D81, {{"ALPHA", {1}}, {"BETA", {2}}, {"ANT", {3}}});
    Drive drive = imageDrive(image);
    open(drive, 2, "$0:A*");
    Bytes listing = readChannel(drive, 2);
    std::string text(listing.begin(), listing.end());
    EXPECT_NE(text.find("\"ALPHA\""), std::string::npos);
    EXPECT_NE(text.find("\"ANT\""), std::string::npos);
    EXPECT_EQ(text.find("\"BETA\""), std::string::npos);
    EXPECT_NE(text.find("3D"), std::string::npos);
}

TEST(DriveChannels, StatusMessagesAsTheDriveSendsThem) {
    for (DiskFormat format : {DiskFormat::D64, DiskFormat::D81}) {
        Drive drive = imageDrive(imageWith(format, {{"GAME", pattern(10)}}));
        EXPECT_EQ(status(drive), powerOnStatus(format));
        EXPECT_EQ(status(drive), "00, OK,00,00\r");  // read once, the message is gone
        open(drive, 0, "NOPE");
        EXPECT_FALSE(driveChannelOpen(drive, 0));
        EXPECT_TRUE(driveRead(drive, 0).timeout);
        EXPECT_EQ(status(drive), "62,FILE NOT FOUND,00,00\r");
        open(drive, 0, "G*");
        EXPECT_EQ(readChannel(drive, 0), pattern(10));
        EXPECT_EQ(status(drive), "00, OK,00,00\r");
        open(drive, 2, "GAME,S");
        EXPECT_EQ(status(drive), "64,FILE TYPE MISMATCH,00,00\r");
        command(drive, "M-E");
        EXPECT_EQ(status(drive), "31,SYNTAX ERROR,00,00\r");
        command(drive, "UJ");
        EXPECT_EQ(status(drive), powerOnStatus(format));
        EXPECT_EQ(driveRead(drive, kCommandChannel).value, '0');  // "00, OK" begun...
        command(drive, "X");
        EXPECT_EQ(status(drive), "31,SYNTAX ERROR,00,00\r");  // ...gives way to the new one
    }
}

// Writing to a drive mounted read-only changes nothing and says why.
TEST(DriveChannels, ReadOnlyByDefault) {
    TemporaryFolder folder;
    writeFile("game.prg", {0x01, 0x08, 0x60});
    writeFile("disk.d64", *imageWith(DiskFormat::D64, {{"GAME", {0x01, 0x08}}}).bytes);
    for (std::string path : {"disk.d64", "."}) {
        SCOPED_TRACE(path);
        auto before = snapshotFolder(folder.path());
        Drive drive;
        ASSERT_EQ(mountDrive(drive, path, false), "");
        const char* attempts[] = {"S0:GAME", "R0:NEW=GAME", "C0:NEW=GAME", "N0:BLANK,01"};
        for (const char* a : attempts) {
            command(drive, a);
            std::string s = status(drive);
            EXPECT_TRUE(s == "26,WRITE PROTECT ON,00,00\r" ||
                        (path == "." && s == "31,SYNTAX ERROR,00,00\r"))
                << a << ": " << s;
        }
        open(drive, 1, "SAVED");
        EXPECT_EQ(status(drive), "26,WRITE PROTECT ON,00,00\r");
        driveWrite(drive, 1, 0x42);
        driveClose(drive, 1);
        open(drive, 5, "LOG,S,W");
        EXPECT_EQ(status(drive), "26,WRITE PROTECT ON,00,00\r");
        EXPECT_EQ(snapshotFolder(folder.path()), before);
    }
}

// Save, sequential write and append, read back, on a writable folder and a writable image.
TEST(DriveChannels, WrittenFilesReadBackOnBothMedia) {
    for (bool image : {false, true}) {
        SCOPED_TRACE(image ? "image" : "folder");
        TemporaryFolder folder;
        if (image) writeFile("disk.d64", *blankDiskImage(DiskFormat::D64, "W", "01").bytes);
        Drive drive;
        ASSERT_EQ(mountDrive(drive, image ? "disk.d64" : ".", true), "");
        EXPECT_EQ(status(drive), "73,CBM DOS V2.6 1541,00,00\r");
        Bytes program = {0x00, 0xC0, 0xA9, 0x01, 0x60};
        open(drive, 1, "PROG");
        for (uint8_t b : program) EXPECT_TRUE(driveWrite(drive, 1, b));
        driveClose(drive, 1);
        EXPECT_EQ(status(drive), "00, OK,00,00\r");
        open(drive, 1, "PROG");
        EXPECT_EQ(status(drive), "63,FILE EXISTS,00,00\r");
        open(drive, 3, "LOG,S,W");
        for (char c : std::string("ONE\r")) driveWrite(drive, 3, static_cast<uint8_t>(c));
        driveClose(drive, 3);
        open(drive, 3, "LOG,A");
        for (char c : std::string("TWO\r")) driveWrite(drive, 3, static_cast<uint8_t>(c));
        driveClose(drive, 3);
        open(drive, 4, "LOG,S,R");
        EXPECT_EQ(readChannel(drive, 4), bytesOf("ONE\rTWO\r"));
        open(drive, 0, "PROG");
        EXPECT_EQ(readChannel(drive, 0), program);
        open(drive, 1, "@0:PROG");
        driveWrite(drive, 1, 0x77);
        driveClose(drive, 1);
        open(drive, 0, "PROG");
        EXPECT_EQ(readChannel(drive, 0), Bytes{0x77});
        if (!image) {
            EXPECT_EQ(readFileBytes("prog.prg"), Bytes{0x77});
            EXPECT_EQ(readFileBytes("log.seq"), bytesOf("ONE\rTWO\r"));
        } else {
            // The image file holds what the drive wrote: a new mount reads it back.
            Drive again;
            ASSERT_EQ(mountDrive(again, "disk.d64", false), "");
            open(again, 4, "LOG");
            EXPECT_EQ(readChannel(again, 4), bytesOf("ONE\rTWO\r"));
        }
        // Nothing left beside the files: no temporary file stays.
        for (const auto& entry : fs::directory_iterator(folder.path()))
            EXPECT_EQ(entry.path().filename().string().find(".breadbin"), std::string::npos);
    }
}

TEST(DriveChannels, CommandsScratchRenameCopyAndFormat) {
    TemporaryFolder folder;
    writeFile("disk.d64",
              *imageWith(DiskFormat::D64, {{"A1", {1}}, {"A2", {2}}, {"B", {3}}}).bytes);
    writeFile("dir/a1.prg", {1});
    writeFile("dir/a2.prg", {2});
    writeFile("dir/b.prg", {3});
    for (std::string path : {"disk.d64", "dir"}) {
        SCOPED_TRACE(path);
        Drive drive;
        ASSERT_EQ(mountDrive(drive, path, true), "");
        struct Step {
            std::string command, status;
        };
        const Step steps[] = {
            {"I0", "00, OK,00,00\r"},
            {"S0:A*", "01,FILES SCRATCHED,02,00\r"},
            {"S0:A*", "01,FILES SCRATCHED,00,00\r"},
            {"R0:C=B", "00, OK,00,00\r"},
            {"R0:D=B", "62,FILE NOT FOUND,00,00\r"},
            {"C0:D=C", "00, OK,00,00\r"},
            {"R0:D=C", "63,FILE EXISTS,00,00\r"},
            {"R0:D*=C", "33,SYNTAX ERROR,00,00\r"},
            {"S0", "34,SYNTAX ERROR,00,00\r"},
            {"X", "31,SYNTAX ERROR,00,00\r"},
        };
        for (const Step& s : steps) {
            command(drive, s.command);
            EXPECT_EQ(status(drive), s.status) << s.command;
        }
        std::vector<DriveFile> files;
        ASSERT_FALSE(driveFiles(drive, files));
        ASSERT_EQ(files.size(), 2u);
        open(drive, 0, "D");
        EXPECT_EQ(readChannel(drive, 0), Bytes{3});
        if (path == "disk.d64") {
            command(drive, "N0:FRESH,99");
            EXPECT_EQ(status(drive), "00, OK,00,00\r");
            files.clear();
            driveFiles(drive, files);
            EXPECT_TRUE(files.empty());
            EXPECT_EQ(blocksFree(drive.image), 664u);
        }
    }
}

TEST(DriveChannels, TheCommandChannelTakesACommandAsItsOpenName) {
    Drive drive = imageDrive(imageWith(DiskFormat::D64, {{"A", {1}}}));
    open(drive, kCommandChannel, "S0:A");
    EXPECT_EQ(status(drive), "26,WRITE PROTECT ON,00,00\r");
    open(drive, kCommandChannel, "");
    EXPECT_EQ(status(drive), "00, OK,00,00\r");
}

TEST(DriveMount, RefusesWhatIsNoDisk) {
    TemporaryFolder folder;
    writeFile("short.d64", Bytes(1000, 0));
    Drive drive;
    EXPECT_EQ(mountDrive(drive, "missing", false), "no such file or folder");
    std::string message = mountDrive(drive, "short.d64", false);
    EXPECT_NE(message.find("1000 bytes"), std::string::npos) << message;
    EXPECT_NE(message.find("174848"), std::string::npos) << message;
    EXPECT_EQ(drive.medium, DriveMedium::Absent);
}

// The machine's state holds the drives: a copy taken before a write does not see it.
TEST(DriveState, ACopyOfTheStateKeepsItsOwnDisk) {
    TemporaryFolder folder;
    writeFile("disk.d64", *blankDiskImage(DiskFormat::D64, "S", "01").bytes);
    MachineState state{};
    ASSERT_EQ(mountDrive(state.drives[0], "disk.d64", true), "");
    MachineState copy = state;
    open(state.drives[0], 1, "NEW");
    driveWrite(state.drives[0], 1, 1);
    driveClose(state.drives[0], 1);
    std::vector<DriveFile> files;
    driveFiles(state.drives[0], files);
    EXPECT_EQ(files.size(), 1u);
    files.clear();
    driveFiles(copy.drives[0], files);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(status(copy.drives[0]), "73,CBM DOS V2.6 1541,00,00\r");
}

}  // namespace
