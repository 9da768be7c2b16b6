// The disk image reader and the drive over it: an image of our own making with files on it,
// damaged as the input says, then listed, every file opened and read, the image written,
// scratched and renamed in memory. Nothing may hang or crash, and no read gives more than
// the disk holds.
//
// The input: byte 0 chooses the format (bits 0-1: D64, D64 with 40 tracks, D81), the error
// bytes (bit 2: then bytes 1... of the damage may land there too) and a short image (bit 3:
// the image ends at the place bytes 1-2 give, in sectors); then damage records, each a
// sector index (two bytes, big-endian, taken modulo the disk's sectors and error block), an
// offset, a count and that many bytes to write there.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "machine/drive.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The undamaged disk: three files, one of them over several blocks, one sequential.
DiskImage madeImage(DiskFormat format) {
    DiskImage image = blankDiskImage(format, "FUZZ", "FZ");
    std::vector<uint8_t> program(700);
    for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<uint8_t>(i);
    auto name = [](std::string_view text) {
        return makeName({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    };
    require(!writeImageFile(image, name("GAME"), FileType::Prg, program));
    require(!writeImageFile(image, name("DATA"), FileType::Seq, {1, 2, 3}));
    require(!writeImageFile(image, name("EMPTY"), FileType::Prg, {}));
    return image;
}

std::vector<uint8_t> readAll(Drive& drive, uint8_t channel, std::size_t bound) {
    std::vector<uint8_t> out;
    for (;;) {
        DriveByte b = driveRead(drive, channel);
        if (b.timeout) break;
        out.push_back(b.value);
        require(out.size() <= bound);
        if (b.eoi) break;
    }
    return out;
}

void open(Drive& drive, uint8_t channel, std::string_view name) {
    driveOpen(drive, channel, {reinterpret_cast<const uint8_t*>(name.data()), name.size()});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const DiskImage kMade[] = {
        madeImage(DiskFormat::D64), madeImage(DiskFormat::D64Extended), madeImage(DiskFormat::D81)};
    auto formatIndex = static_cast<unsigned>(data[0] & 3) % 3;
    const DiskFormatInfo& info = kDiskFormats[formatIndex];
    std::vector<uint8_t> bytes = *kMade[formatIndex].bytes;
    bool errorBytes = (data[0] & 4) != 0;
    if (errorBytes) bytes.resize(info.bytesWithErrors(), 1);
    std::size_t at = 1;
    if ((data[0] & 8) != 0 && size >= 3) {
        bytes.resize(std::min(bytes.size(), std::size_t{data[1]} << 8 | data[2]) * kSectorSize);
        at = 3;
    }
    while (at + 4 <= size) {
        std::size_t sector = std::size_t{data[at]} << 8 | data[at + 1];
        std::size_t offset = sector % (info.sectors + 1) * kSectorSize + data[at + 2];
        std::size_t count = data[at + 3];
        at += 4;
        for (std::size_t i = 0; i < count && at < size; ++i, ++at) {
            if (offset + i < bytes.size()) bytes[offset + i] = data[at];
        }
    }

    Drive drive;
    drive.medium = DriveMedium::Image;
    drive.image = {static_cast<DiskFormat>(formatIndex), errorBytes,
                   std::make_shared<const std::vector<uint8_t>>(bytes)};
    resetDrive(drive);
    const std::size_t diskBytes = std::size_t{info.sectors} * kBlockDataBytes;
    readAll(drive, kCommandChannel, 64);
    open(drive, 0, "$");
    readAll(drive, 0, std::size_t{info.sectors} * 8 * 40 + 1024);
    std::vector<DriveFile> files;
    driveFiles(drive, files);
    require(files.size() <= std::size_t{info.sectors} * 8);
    // Each open reads the directory again: a damaged one of thousands of entries is read
    // for its first files only, so that a run stays short.
    constexpr std::size_t kFilesOpened = 16;
    for (std::size_t i = 0; i < std::min(files.size(), kFilesOpened); ++i) {
        const DriveFile& f = files[i];
        driveOpen(drive, 2, nameBytes(f.name));
        readAll(drive, 2, diskBytes);
        readAll(drive, kCommandChannel, 64);
    }
    open(drive, 0, "*");
    readAll(drive, 0, diskBytes);
    driveClose(drive, 0);

    // Writing into the damaged image, in memory.
    DiskImage image = drive.image;
    std::vector<uint8_t> file(600, 0x5A);
    writeImageFile(image, makeName(std::vector<uint8_t>{'N', 'E', 'W'}), FileType::Prg, file);
    std::vector<DirectoryEntry> entries;
    readDirectory(image, entries);
    if (!entries.empty()) {
        renameEntry(image, entries[0], makeName(std::vector<uint8_t>{'R'}));
        scratchEntry(image, entries[0]);
    }
    entries.clear();
    readDirectory(image, entries);
    blocksFree(image);
    return 0;
}
