// Disk images as a drive reads and writes them: the 1541's D64 (35 or 40 tracks, with or
// without the error bytes) and the 1581's D81. The image is the disk's sectors in order,
// 256 bytes each; the formats differ in their tracks, where the header, the BAM and the
// directory lie, and in the drive's power-on message.
//
// Models: sectors by track and sector, block chains (two link bytes, 254 data bytes), the
// directory's 32-byte entries, the BAM's free counts and bitmaps, blank disks (the format
// command), writing a file into free blocks and scratching and renaming entries; the error
// bytes, as the DOS error a read of that sector gives. Damage never hangs or crashes the
// reader: a chain that leaves the disk or comes back to a block it passed, a sector past a
// short image's end, a directory that loops, each ends the walk with a DOS error.
// Leaves out: REL files (listed, read as their data chain), GEOS, the tracks past 35 in a
// 40-track image's BAM (their free blocks are not counted, and nothing is written there),
// the 1541's interleave (a written file takes the free blocks in the drive's order of
// tracks, without gaps).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

inline constexpr std::size_t kSectorSize = 256;
inline constexpr std::size_t kBlockDataBytes = 254;  // a block's bytes after its link
inline constexpr std::size_t kDirectoryEntrySize = 32;
inline constexpr std::size_t kDiskNameLength = 16;
inline constexpr uint8_t kNamePad = 0xA0;  // shifted space: pads names, ends them

// The formats. Each row: the format's name, tracks and sectors; the system track (header,
// BAM and directory) with the header's and the first directory block's sectors; where the
// header keeps the disk's name (16 bytes), ID (2) and DOS type (2), and the DOS version
// byte and type that a blank disk gets; where the BAM lies (its first sector on the system
// track, the offset of track 1's entry, an entry's bytes: the free count, then the bitmap;
// the tracks one BAM sector covers and the tracks it covers in all); the drive's power-on
// message (the 1581's as recalled, unverified).
enum class DiskFormat : uint8_t { D64, D64Extended, D81 };

struct DiskFormatInfo {
    std::string_view name;
    uint8_t tracks;
    uint16_t sectors;
    uint8_t systemTrack;
    uint8_t headerSector;
    uint8_t firstDirectorySector;
    uint8_t nameOffset;
    uint8_t idOffset;
    uint8_t dosTypeOffset;
    uint8_t dosVersion;
    std::string_view dosType;
    uint8_t bamSector;
    uint8_t bamOffset;
    uint8_t bamEntryBytes;
    uint8_t bamTracksPerSector;
    uint8_t bamTracks;
    std::string_view powerOnMessage;
    constexpr std::size_t bytes() const { return std::size_t{sectors} * kSectorSize; }
    // With one error byte per sector after the sectors.
    constexpr std::size_t bytesWithErrors() const { return bytes() + sectors; }
};

// clang-format off
inline constexpr DiskFormatInfo kDiskFormats[] = {
    {"D64 (35 tracks)", 35,  683, 18, 0, 1, 0x90, 0xA2, 0xA5, 'A', "2A", 0, 0x04, 4, 35, 35, "CBM DOS V2.6 1541"},
    {"D64 (40 tracks)", 40,  768, 18, 0, 1, 0x90, 0xA2, 0xA5, 'A', "2A", 0, 0x04, 4, 35, 35, "CBM DOS V2.6 1541"},
    {"D81",             80, 3200, 40, 0, 3, 0x04, 0x16, 0x19, 'D', "3D", 1, 0x10, 6, 40, 80, "COPYRIGHT CBM DOS V10 1581"},
};
// clang-format on
static_assert(std::size(kDiskFormats) == static_cast<std::size_t>(DiskFormat::D81) + 1);

constexpr const DiskFormatInfo& formatInfo(DiskFormat format) {
    return kDiskFormats[static_cast<unsigned>(format)];
}

// The sectors of `track` (from 1) on a disk of `format`; 0 for a track it does not have.
constexpr unsigned sectorsOnTrack(DiskFormat format, unsigned track) {
    const DiskFormatInfo& info = formatInfo(format);
    if (track < 1 || track > info.tracks) return 0;
    if (format == DiskFormat::D81) return 40;
    if (track <= 17) return 21;
    if (track <= 24) return 19;
    if (track <= 30) return 18;
    return 17;
}

// The format an image of `size` bytes has, and whether it carries error bytes; nothing for
// a size that no format has.
struct ImageLayout {
    DiskFormat format;
    bool errorBytes;
};
std::optional<ImageLayout> imageLayoutOfSize(std::size_t size);

// A DOS error: the code, and the track and sector where it applies (0 and 0 elsewhere).
// Code 0 is no error.
struct DosError {
    uint8_t code = 0;
    uint8_t track = 0;
    uint8_t sector = 0;
    explicit operator bool() const { return code != 0; }
};

// The DOS errors that the image code gives; drive.h names the rest.
inline constexpr uint8_t kDosReadErrorNoSync = 21;  // a sector the image does not hold
inline constexpr uint8_t kDosIllegalTrackSector = 66;
inline constexpr uint8_t kDosDiskFull = 72;
// A chain that comes back to a block it has passed: a real drive would follow it for ever;
// this one stops there with this error, naming the block.
inline constexpr uint8_t kDosLoopingChain = kDosIllegalTrackSector;

// An image in memory: its layout and bytes (any size: a short image's missing sectors read
// as not there, an oversized one's extra bytes are kept and not read). The bytes are
// shared between copies of the machine's state until one of them writes (copy on write).
struct DiskImage {
    DiskFormat format = DiskFormat::D64;
    bool errorBytes = false;
    std::shared_ptr<const std::vector<uint8_t>> bytes;
};

// The file types of a directory entry's low bits.
enum class FileType : uint8_t { Del, Seq, Prg, Usr, Rel };
inline constexpr std::string_view kFileTypeNames[] = {"DEL", "SEQ", "PRG", "USR", "REL"};
inline constexpr uint8_t kFileTypeMask = 0x07;
inline constexpr uint8_t kFileLocked = 0x40;
inline constexpr uint8_t kFileClosed = 0x80;

// A directory entry as a listing and a search need it.
struct DirectoryEntry {
    std::array<uint8_t, kDiskNameLength> name;  // padded with kNamePad
    uint8_t typeByte;                           // type in the low bits, locked, closed
    uint8_t track, sector;                      // the first data block
    uint16_t blocks;
    uint8_t entryTrack, entrySector, entryIndex;  // where the entry itself lies
};

// The disk's name, ID and DOS type as the header holds them (name padded with kNamePad).
struct DiskLabel {
    std::array<uint8_t, kDiskNameLength> name;
    std::array<uint8_t, 2> id;
    std::array<uint8_t, 2> dosType;
};

// The image's sector (t, s), or its DOS error: 66 for a track or sector the format does not
// have, 21 for one past a short image's end, the error byte's error where it says one.
DosError readSector(const DiskImage& image, uint8_t track, uint8_t sector, const uint8_t*& bytes);
DiskLabel diskLabel(const DiskImage& image);
// The directory's entries in order, scratched slots left out; stops at the first error.
DosError readDirectory(const DiskImage& image, std::vector<DirectoryEntry>& entries);
// The data of the block chain from (t, s), appended to `data`.
DosError readChain(const DiskImage& image, uint8_t track, uint8_t sector,
                   std::vector<uint8_t>& data);
// The free blocks the BAM counts (the system track's never count).
unsigned blocksFree(const DiskImage& image);

// A blank disk of `format` named `name` with `id` (each padded or cut to its length).
DiskImage blankDiskImage(DiskFormat format, std::string_view name, std::string_view id);
// Writes `data` as a new closed file of `type` named `name`, in free blocks and the first
// free directory slot; the image is unchanged on error (72 DISK FULL).
DosError writeImageFile(DiskImage& image, std::array<uint8_t, kDiskNameLength> name, FileType type,
                        const std::vector<uint8_t>& data);
// Frees the entry's blocks in the BAM and clears its type byte.
DosError scratchEntry(DiskImage& image, const DirectoryEntry& entry);
// Gives the entry the name `name`.
void renameEntry(DiskImage& image, const DirectoryEntry& entry,
                 std::array<uint8_t, kDiskNameLength> name);
