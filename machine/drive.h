// Disk drives 8 to 11 as the machine's programs see them through the serial bus: a DOS of
// our own over a host folder or a disk image (machine/disk_image.h), answering OPEN, CLOSE
// and the bytes of its sixteen channels as a Commodore drive does.
//
// Models: channels 0 (load) and 1 (save), 2-14 (data: `[@][0]:name[,type][,mode]`, read,
// write, append), 15 (commands; reads give the status message `NN,TEXT,TT,SS` and CR, after
// which the status is `00, OK,00,00`; the power-on message after a reset); the directory as
// a BASIC program (`$`, `$0:pattern`) on any channel; wildcards; the commands I (initialize),
// S (scratch), R (rename), C (copy), N (format, images only), V (validate), UI and UJ
// (reset). A drive is read-only unless it was mounted writable: then a file written on a
// channel reaches the folder or the image when its channel closes, complete or not at all.
// Loads and saves take no time: nothing of the drive's timing is modelled.
// Leaves out: REL files' records, direct-access buffers (`#`) and the block and memory
// commands (B-R, U1, M-R, M-W, M-E: 31,SYNTAX ERROR), the drive's own processor (fast
// loaders that program it do not run).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "machine/disk_image.h"
#include "machine/drive_names.h"

inline constexpr uint8_t kFirstDriveDevice = 8;
inline constexpr uint8_t kLastDriveDevice = 11;
inline constexpr unsigned kDriveCount = kLastDriveDevice - kFirstDriveDevice + 1;
inline constexpr uint8_t kLoadChannel = 0;
inline constexpr uint8_t kSaveChannel = 1;
inline constexpr uint8_t kCommandChannel = 15;
inline constexpr unsigned kChannelCount = 16;

// The DOS's status codes that this drive gives; the texts are in drive.cpp's table.
inline constexpr uint8_t kDosOk = 0;
inline constexpr uint8_t kDosFilesScratched = 1;
inline constexpr uint8_t kDosWriteError = 25;
inline constexpr uint8_t kDosWriteProtectOn = 26;
inline constexpr uint8_t kDosSyntaxError = 30;
inline constexpr uint8_t kDosUnknownCommand = 31;
inline constexpr uint8_t kDosLineTooLong = 32;
inline constexpr uint8_t kDosInvalidName = 33;
inline constexpr uint8_t kDosNoFileGiven = 34;
inline constexpr uint8_t kDosFileNotOpen = 61;
inline constexpr uint8_t kDosFileNotFound = 62;
inline constexpr uint8_t kDosFileExists = 63;
inline constexpr uint8_t kDosFileTypeMismatch = 64;
inline constexpr uint8_t kDosNoChannel = 70;
inline constexpr uint8_t kDosPowerOn = 73;
inline constexpr uint8_t kDosDriveNotReady = 74;

// What ends a status message, and what a read that found nothing gives.
inline constexpr uint8_t kCarriageReturn = 0x0D;
// The longest command the drive takes on channel 15, as the 1541's buffer holds it.
inline constexpr std::size_t kCommandLimit = 58;
// The most a file may hold: the blocks a directory entry can count.
inline constexpr std::size_t kFileLimit = std::size_t{0xFFFF} * kBlockDataBytes;
// A folder's listing: its disk ID and DOS type, and the free blocks it shows (a blank
// 1541 disk's; a folder has no fixed size).
inline constexpr std::string_view kFolderDiskId = "00";
inline constexpr std::string_view kFolderDosType = "2A";
inline constexpr unsigned kFolderBlocksFree = 664;
// The listing's load address, as the drive sends it.
inline constexpr uint16_t kDirectoryLoadAddress = 0x0401;

enum class DriveMedium : uint8_t { Absent, Folder, Image };

// A channel's open file: read from `data` at `position`, or written into `data` until
// the channel closes.
struct DriveChannel {
    enum class Use : uint8_t { Closed, Reading, Writing };
    Use use = Use::Closed;
    std::vector<uint8_t> data;
    std::size_t position = 0;
    PetsciiName name{};  // Writing: the file's name, type and whether it replaces one
    FileType type = FileType::Prg;
    bool replace = false;
};

struct Drive {
    DriveMedium medium = DriveMedium::Absent;
    std::string path;  // the host folder or image file
    bool writable = false;
    DiskImage image;  // DriveMedium::Image
    std::array<DriveChannel, kChannelCount> channels;
    DosError status;
    std::vector<uint8_t> command;  // bytes written to channel 15 since its last command ran
};

// The serial bus between the KERNAL's calls: the device that talks and the one that
// listens, each with its channel (device 0: none).
struct SerialBus {
    uint8_t talker = 0;
    uint8_t talkChannel = 0;
    uint8_t listener = 0;
    uint8_t listenChannel = 0;
    // A KERNAL that works the bus itself (drive_port.h): what the listener's last
    // secondary address asked (kBusData, kBusClose, kBusOpen), and the name an open sends.
    uint8_t listenCommand = 0;
    std::vector<uint8_t> openName;
};
// The secondary addresses' commands on the bus: $60+channel data, $E0+channel close,
// $F0+channel open with the name that follows.
inline constexpr uint8_t kBusData = 0x60;
inline constexpr uint8_t kBusClose = 0xE0;
inline constexpr uint8_t kBusOpen = 0xF0;

// A file on the drive's disk, as a listing shows it and a read finds it.
struct DriveFile {
    PetsciiName name;
    uint8_t typeByte;  // the type in the low bits, locked and closed as a directory keeps them
    uint16_t blocks;
    std::string hostName;  // a folder's file
    DirectoryEntry entry;  // an image's
    FileType type() const { return static_cast<FileType>(typeByte & kFileTypeMask); }
};

// Whether `path` is a disk image rather than a program file: a regular file of a size that
// an image format has (no program file is that long).
bool isDiskImageFile(const std::string& path);
// Mounts the folder or image at `path` (read-only unless `writable`), resetting the drive;
// returns an error message for the user (empty when mounted): a path that does not exist,
// is not a folder or regular file, cannot be read, or an image of a size no format has.
std::string mountDrive(Drive& drive, const std::string& path, bool writable);
// The drive as after power-on: every channel closed, the power-on message.
void resetDrive(Drive& drive);

// The bus. OPEN on channel `channel` with its name (on channel 15: a command), CLOSE, the
// next byte a talker sends (`timeout` when the channel has nothing: not open, no such file;
// `eoi` with the last), a byte sent to a listener (false when the channel takes none), and
// the end of what was sent (UNLISTEN, which runs a command written to channel 15).
void driveOpen(Drive& drive, uint8_t channel, std::span<const uint8_t> name);
void driveClose(Drive& drive, uint8_t channel);
struct DriveByte {
    uint8_t value;
    bool eoi;
    bool timeout;
};
DriveByte driveRead(Drive& drive, uint8_t channel);
bool driveWrite(Drive& drive, uint8_t channel, uint8_t byte);
void driveUnlisten(Drive& drive, uint8_t channel);
// Whether the channel has an open file to read or write.
bool driveChannelOpen(const Drive& drive, uint8_t channel);

// The status message as channel 15 sends it, without its CR: `00, OK,00,00`.
std::string driveStatusMessage(const Drive& drive);
// The files on the disk, in the directory's order (a folder's by host name); a damaged
// directory gives those before the damage and its error.
DosError driveFiles(const Drive& drive, std::vector<DriveFile>& files);
// The bytes of one of those files.
DosError readDriveFile(const Drive& drive, const DriveFile& file, std::vector<uint8_t>& data);
// The listing of the names that match `pattern` as the drive sends it for `$`: a BASIC
// program with its load address.
std::vector<uint8_t> directoryListing(const Drive& drive, std::span<const uint8_t> pattern);

// A folder's files and their bytes (drive_folder.cpp); each gives 74 DRIVE NOT READY when
// the folder cannot be read and 25 WRITE ERROR when a write fails.
DosError folderFiles(const std::string& folder, std::vector<DriveFile>& files);
DosError readFolderFile(const std::string& folder, const std::string& hostName,
                        std::vector<uint8_t>& data);
DosError writeFolderFile(const std::string& folder, const std::string& hostName,
                         const std::vector<uint8_t>& data);
DosError removeFolderFile(const std::string& folder, const std::string& hostName);
DosError renameFolderFile(const std::string& folder, const std::string& from,
                          const std::string& to);
// Writes `data` as the file `path`, whole or not at all: into a temporary file beside it
// that takes its name when complete. Returns whether it did.
bool writeHostFileWhole(const std::string& path, const std::vector<uint8_t>& data);
