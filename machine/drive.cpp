// The drive's DOS: channels, the command channel and its status, the directory listing,
// over the two media (an image in memory, a host folder).
#include "machine/drive.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// The status texts, one row per code or range of codes (the 1541's, DOS 2.6). Code 73's
// text is the power-on message of the drive's format.
struct StatusText {
    uint8_t first, last;
    std::string_view text;
};
// clang-format off
constexpr StatusText kStatusTexts[] = {
    {0,  0,  " OK"},
    {1,  1,  "FILES SCRATCHED"},
    {20, 24, "READ ERROR"},
    {25, 25, "WRITE ERROR"},
    {26, 26, "WRITE PROTECT ON"},
    {27, 27, "READ ERROR"},
    {28, 28, "WRITE ERROR"},
    {29, 29, "DISK ID MISMATCH"},
    {30, 39, "SYNTAX ERROR"},  // 39's text differs between sources; the 1541 shows this one
    {60, 60, "WRITE FILE OPEN"},
    {61, 61, "FILE NOT OPEN"},
    {62, 62, "FILE NOT FOUND"},
    {63, 63, "FILE EXISTS"},
    {64, 64, "FILE TYPE MISMATCH"},
    {65, 65, "NO BLOCK"},
    {66, 66, "ILLEGAL TRACK AND SECTOR"},
    {67, 67, "ILLEGAL SYSTEM T OR S"},
    {70, 70, "NO CHANNEL"},
    {71, 71, "DIR ERROR"},
    {72, 72, "DISK FULL"},
    {74, 74, "DRIVE NOT READY"},
};
// clang-format on

constexpr uint8_t kReverseOn = 0x12;
constexpr uint8_t kSpace = 0x20;
constexpr uint8_t kQuote = 0x22;
constexpr uint8_t kSplat = '*';
constexpr uint8_t kLocked = '<';
constexpr uint8_t kNextLineLink = 0x01;  // the drive's links: BASIC relinks the lines
// A file's line in the listing, link and end included.
constexpr std::size_t kListingLineBytes = 32;
constexpr std::size_t kBlocksFreeTextBytes = 25;
constexpr std::string_view kBlocksFreeText = "BLOCKS FREE.";
constexpr std::string_view kFolderDiskName = "BREADBIN";

DosError dosError(uint8_t code) { return {code, 0, 0}; }

// A new status: the rest of a message that channel 15 had begun to send gives way to it,
// as the drive writes each new message into its error buffer afresh.
void setStatus(Drive& drive, DosError status) {
    drive.status = status;
    drive.channels[kCommandChannel] = {};
}

std::string_view powerOnMessage(const Drive& drive) {
    DiskFormat format = drive.medium == DriveMedium::Image ? drive.image.format : DiskFormat::D64;
    return formatInfo(format).powerOnMessage;
}

std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// The drive's label: an image's header, a folder's name.
DiskLabel labelOf(const Drive& drive) {
    if (drive.medium == DriveMedium::Image) return diskLabel(drive.image);
    DiskLabel label{};
    std::string folder = std::filesystem::path(drive.path).lexically_normal().filename().string();
    if (folder.empty())
        folder =
            std::filesystem::path(drive.path).lexically_normal().parent_path().filename().string();
    std::optional<HostFileName> name = diskNameOfHostFile(folder);
    label.name = name ? name->name : makeName(bytesOf(kFolderDiskName));
    std::copy(kFolderDiskId.begin(), kFolderDiskId.end(), label.id.begin());
    std::copy(kFolderDosType.begin(), kFolderDosType.end(), label.dosType.begin());
    return label;
}

// After a change to an image: the image file takes it, whole.
DosError saveImage(Drive& drive) {
    return writeHostFileWhole(drive.path, *drive.image.bytes) ? DosError{}
                                                              : dosError(kDosWriteError);
}

// The first file whose name matches `pattern` (an exact name matches only itself), or
// nothing; a damaged directory's error when it ends the search first.
struct Found {
    std::optional<DriveFile> file;
    DosError error;
};
Found findFile(const Drive& drive, std::span<const uint8_t> pattern) {
    std::vector<DriveFile> files;
    DosError error = driveFiles(drive, files);
    for (const DriveFile& f : files) {
        if (nameMatches(pattern, f.name)) return {f, {}};
    }
    return {std::nullopt, error};
}

DosError removeDriveFile(Drive& drive, const DriveFile& file) {
    if (drive.medium == DriveMedium::Folder) return removeFolderFile(drive.path, file.hostName);
    return scratchEntry(drive.image, file.entry);
}

// Stores a complete file on the disk: a new one, or over the one of that name with
// `replace`. The disk is unchanged when it fails.
DosError storeFile(Drive& drive, const PetsciiName& name, FileType type,
                   const std::vector<uint8_t>& data, bool replace) {
    if (!drive.writable) return dosError(kDosWriteProtectOn);
    Found existing = findFile(drive, nameBytes(name));
    if (existing.error) return existing.error;
    if (existing.file && !replace) return dosError(kDosFileExists);
    if (drive.medium == DriveMedium::Folder) {
        std::string hostName = hostFileName(name, type);
        if (DosError e = writeFolderFile(drive.path, hostName, data)) return e;
        if (existing.file && existing.file->hostName != hostName)
            return removeFolderFile(drive.path, existing.file->hostName);
        return {};
    }
    DiskImage before = drive.image;
    if (existing.file) scratchEntry(drive.image, existing.file->entry);
    if (DosError e = writeImageFile(drive.image, name, type, data)) {
        drive.image = before;
        return e;
    }
    return saveImage(drive);
}

// Opens a data channel (0-14) on the named file.
DosError openFile(Drive& drive, uint8_t channel, std::span<const uint8_t> text) {
    DriveChannel& c = drive.channels[channel];
    ParsedName parsed = parseFileName(text);
    if (parsed.syntaxError) return dosError(kDosInvalidName);
    if (parsed.directory) {
        c.data = directoryListing(drive, parsed.name);
        c.use = DriveChannel::Use::Reading;
        std::vector<DriveFile> ignored;
        return driveFiles(drive, ignored);
    }
    if (parsed.buffer) return dosError(kDosNoChannel);
    if (parsed.name.empty()) return dosError(kDosNoFileGiven);
    OpenMode mode = parsed.mode;
    if (channel == kLoadChannel) mode = OpenMode::Read;
    if (channel == kSaveChannel) mode = OpenMode::Write;
    bool writing = mode == OpenMode::Write || mode == OpenMode::Append;
    if (!writing) {
        Found found = findFile(drive, parsed.name);
        if (!found.file) return found.error ? found.error : dosError(kDosFileNotFound);
        if (parsed.type && *parsed.type != found.file->type())
            return dosError(kDosFileTypeMismatch);
        std::vector<uint8_t> data;
        if (DosError e = readDriveFile(drive, *found.file, data)) return e;
        c.data = std::move(data);
        c.use = DriveChannel::Use::Reading;
        return {};
    }
    if (hasWildcard(parsed.name)) return dosError(kDosInvalidName);
    if (!drive.writable) return dosError(kDosWriteProtectOn);
    Found found = findFile(drive, parsed.name);
    if (found.error) return found.error;
    c.name = makeName(parsed.name);
    c.type = parsed.type.value_or(channel == kSaveChannel ? FileType::Prg : FileType::Seq);
    c.data.clear();
    if (mode == OpenMode::Append) {
        if (!found.file) return dosError(kDosFileNotFound);
        if (DosError e = readDriveFile(drive, *found.file, c.data)) return e;
        c.type = found.file->type();
        c.replace = true;
    } else {
        if (found.file && !parsed.replace) return dosError(kDosFileExists);
        c.replace = parsed.replace;
    }
    c.use = DriveChannel::Use::Writing;
    return {};
}

// The names after a command's colon, split at commas.
std::vector<std::vector<uint8_t>> commandNames(std::span<const uint8_t> text) {
    std::vector<std::vector<uint8_t>> names;
    auto colon = std::find(text.begin(), text.end(), ':');
    if (colon == text.end()) return names;
    auto at = colon + 1;
    for (;;) {
        auto comma = std::find(at, text.end(), ',');
        names.emplace_back(at, comma);
        if (comma == text.end()) return names;
        at = comma + 1;
    }
}

DosError scratch(Drive& drive, std::span<const uint8_t> text) {
    std::vector<std::vector<uint8_t>> patterns = commandNames(text);
    if (patterns.empty() || patterns[0].empty()) return dosError(kDosNoFileGiven);
    if (!drive.writable) return dosError(kDosWriteProtectOn);
    unsigned count = 0;
    for (const std::vector<uint8_t>& pattern : patterns) {
        std::vector<DriveFile> files;
        if (DosError e = driveFiles(drive, files)) return e;
        for (const DriveFile& f : files) {
            if (!nameMatches(pattern, f.name) || (f.typeByte & kFileLocked)) continue;
            if (DosError e = removeDriveFile(drive, f)) return e;
            ++count;
        }
    }
    if (drive.medium == DriveMedium::Image && count > 0) {
        if (DosError e = saveImage(drive)) return e;
    }
    return {kDosFilesScratched, static_cast<uint8_t>(std::min(count, 99u)), 0};
}

// `R0:new=old` and `C0:new=old[,old...]`: the new name, and the names after `=`.
struct Assignment {
    std::vector<uint8_t> target;
    std::vector<std::vector<uint8_t>> sources;
};
std::optional<Assignment> assignment(std::span<const uint8_t> text) {
    auto colon = std::find(text.begin(), text.end(), ':');
    auto equals = std::find(text.begin(), text.end(), '=');
    if (colon == text.end() || equals == text.end() || equals < colon) return std::nullopt;
    Assignment a;
    a.target.assign(colon + 1, equals);
    std::vector<uint8_t> rest(equals + 1, text.end());
    rest.insert(rest.begin(), ':');
    a.sources = commandNames(rest);
    // A source may name its drive too: `C0:NEW=0:OLD`.
    for (std::vector<uint8_t>& s : a.sources) {
        auto c = std::find(s.begin(), s.end(), ':');
        if (c != s.end()) s.erase(s.begin(), c + 1);
    }
    if (a.target.empty() || a.sources.empty() || a.sources[0].empty()) return std::nullopt;
    return a;
}

DosError renameOrCopy(Drive& drive, std::span<const uint8_t> text, bool copy) {
    std::optional<Assignment> a = assignment(text);
    if (!a) return dosError(kDosNoFileGiven);
    if (hasWildcard(a->target)) return dosError(kDosInvalidName);
    if (!drive.writable) return dosError(kDosWriteProtectOn);
    Found target = findFile(drive, a->target);
    if (target.error) return target.error;
    if (target.file) return dosError(kDosFileExists);
    std::vector<DriveFile> sources;
    for (const std::vector<uint8_t>& name : a->sources) {
        Found source = findFile(drive, name);
        if (!source.file) return source.error ? source.error : dosError(kDosFileNotFound);
        sources.push_back(*source.file);
    }
    PetsciiName name = makeName(a->target);
    if (copy) {
        std::vector<uint8_t> data;
        for (const DriveFile& f : sources) {
            if (DosError e = readDriveFile(drive, f, data)) return e;
        }
        return storeFile(drive, name, sources[0].type(), data, false);
    }
    if (sources.size() != 1) return dosError(kDosSyntaxError);
    if (drive.medium == DriveMedium::Folder)
        return renameFolderFile(drive.path, sources[0].hostName,
                                hostFileName(name, sources[0].type()));
    renameEntry(drive.image, sources[0].entry, name);
    return saveImage(drive);
}

DosError format(Drive& drive, std::span<const uint8_t> text) {
    if (drive.medium != DriveMedium::Image) return dosError(kDosUnknownCommand);
    std::vector<std::vector<uint8_t>> names = commandNames(text);
    if (names.empty() || names[0].empty()) return dosError(kDosNoFileGiven);
    if (!drive.writable) return dosError(kDosWriteProtectOn);
    DiskLabel old = diskLabel(drive.image);
    std::string id(old.id.begin(), old.id.end());
    if (names.size() > 1) id.assign(names[1].begin(), names[1].end());
    DiskImage blank =
        blankDiskImage(drive.image.format, std::string(names[0].begin(), names[0].end()), id);
    blank.errorBytes = false;
    drive.image = blank;
    return saveImage(drive);
}

// Runs the command written to channel 15 (its CR dropped); the drive looks at its first
// letter, as the 1541 does.
DosError runCommand(Drive& drive, std::vector<uint8_t> text) {
    while (!text.empty() && text.back() == kCarriageReturn) text.pop_back();
    if (text.empty()) return drive.status;
    if (text.size() > kCommandLimit) return dosError(kDosLineTooLong);
    bool memoryOrBlock = text.size() > 1 && text[1] == '-';
    switch (memoryOrBlock ? 0 : text[0]) {
        case 'I': return {};
        case 'V': return {};
        case 'S': return scratch(drive, text);
        case 'R': return renameOrCopy(drive, text, false);
        case 'C': return renameOrCopy(drive, text, true);
        case 'N': return format(drive, text);
        case 'U':
            if (text.size() > 1 &&
                (text[1] == 'I' || text[1] == 'J' || text[1] == ':' || text[1] == ';')) {
                resetDrive(drive);
                return drive.status;
            }
            return dosError(kDosUnknownCommand);
        default: return dosError(kDosUnknownCommand);
    }
}

}  // namespace

bool isDiskImageFile(const std::string& path) {
    std::error_code problem;
    if (!std::filesystem::is_regular_file(path, problem)) return false;
    std::uintmax_t size = std::filesystem::file_size(path, problem);
    return !problem && imageLayoutOfSize(static_cast<std::size_t>(size)).has_value();
}

std::string mountDrive(Drive& drive, const std::string& path, bool writable) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) return "no such file or folder";
    Drive mounted;
    mounted.path = path;
    mounted.writable = writable;
    if (fs::is_directory(status)) {
        mounted.medium = DriveMedium::Folder;
        std::vector<DriveFile> files;
        if (folderFiles(path, files)) return "the folder cannot be read";
    } else if (fs::is_regular_file(status)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return "cannot be read";
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        if (in.bad()) return "cannot be read";
        std::optional<ImageLayout> layout = imageLayoutOfSize(bytes.size());
        if (!layout) {
            std::string sizes;
            for (const DiskFormatInfo& f : kDiskFormats) {
                sizes += (sizes.empty() ? "" : ", ") + std::to_string(f.bytes()) + " or " +
                         std::to_string(f.bytesWithErrors()) + " (" + std::string(f.name) + ")";
            }
            return "a disk image of " + std::to_string(bytes.size()) +
                   " bytes: no format has that size (" + sizes + ")";
        }
        mounted.medium = DriveMedium::Image;
        mounted.image = {layout->format, layout->errorBytes,
                         std::make_shared<const std::vector<uint8_t>>(std::move(bytes))};
    } else {
        return "neither a folder nor a regular file";
    }
    resetDrive(mounted);
    drive = std::move(mounted);
    return {};
}

void resetDrive(Drive& drive) {
    drive.channels = {};
    drive.command.clear();
    drive.status = dosError(kDosPowerOn);
}

DosError readDriveFile(const Drive& drive, const DriveFile& file, std::vector<uint8_t>& data) {
    if (drive.medium == DriveMedium::Folder) return readFolderFile(drive.path, file.hostName, data);
    return readChain(drive.image, file.entry.track, file.entry.sector, data);
}

std::string driveStatusMessage(const Drive& drive) {
    std::string_view text = "";
    if (drive.status.code == kDosPowerOn) text = powerOnMessage(drive);
    for (const StatusText& row : kStatusTexts) {
        if (drive.status.code >= row.first && drive.status.code <= row.last) text = row.text;
    }
    char message[64];
    std::snprintf(message, sizeof message, "%02u,%.*s,%02u,%02u", drive.status.code,
                  static_cast<int>(text.size()), text.data(), drive.status.track,
                  drive.status.sector);
    return message;
}

DosError driveFiles(const Drive& drive, std::vector<DriveFile>& files) {
    if (drive.medium == DriveMedium::Folder) return folderFiles(drive.path, files);
    if (drive.medium == DriveMedium::Absent) return dosError(kDosDriveNotReady);
    std::vector<DirectoryEntry> entries;
    DosError error = readDirectory(drive.image, entries);
    for (const DirectoryEntry& e : entries) files.push_back({e.name, e.typeByte, e.blocks, {}, e});
    return error;
}

std::vector<uint8_t> directoryListing(const Drive& drive, std::span<const uint8_t> pattern) {
    std::vector<uint8_t> out{kDirectoryLoadAddress & 0xFF, kDirectoryLoadAddress >> 8};
    auto line = [&](unsigned number) {
        out.insert(out.end(), {kNextLineLink, kNextLineLink, static_cast<uint8_t>(number & 0xFF),
                               static_cast<uint8_t>(number >> 8)});
    };
    DiskLabel label = labelOf(drive);
    line(0);
    out.push_back(kReverseOn);
    out.push_back(kQuote);
    for (uint8_t b : label.name) out.push_back(b == kNamePad ? kSpace : b);
    out.push_back(kQuote);
    out.push_back(kSpace);
    out.insert(out.end(), label.id.begin(), label.id.end());
    out.push_back(kSpace);
    out.insert(out.end(), label.dosType.begin(), label.dosType.end());
    out.push_back(0);
    std::vector<DriveFile> files;
    driveFiles(drive, files);
    bool everything = pattern.empty();
    for (const DriveFile& f : files) {
        if (!everything && !nameMatches(pattern, f.name)) continue;
        std::size_t start = out.size();
        line(f.blocks);
        std::size_t indent = f.blocks < 10 ? 3 : f.blocks < 100 ? 2 : f.blocks < 1000 ? 1 : 0;
        out.insert(out.end(), indent, kSpace);
        std::span<const uint8_t> name = nameBytes(f.name);
        out.push_back(kQuote);
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(kQuote);
        out.insert(out.end(), kDiskNameLength - name.size(), kSpace);
        out.push_back((f.typeByte & kFileClosed) ? kSpace : kSplat);
        unsigned type = f.typeByte & kFileTypeMask;
        std::string_view typeName = type < std::size(kFileTypeNames) ? kFileTypeNames[type] : "???";
        out.insert(out.end(), typeName.begin(), typeName.end());
        if (f.typeByte & kFileLocked) out.push_back(kLocked);
        while (out.size() - start < kListingLineBytes - 1) out.push_back(kSpace);
        out.push_back(0);
    }
    unsigned free =
        drive.medium == DriveMedium::Image ? blocksFree(drive.image) : kFolderBlocksFree;
    line(free);
    out.insert(out.end(), kBlocksFreeText.begin(), kBlocksFreeText.end());
    out.insert(out.end(), kBlocksFreeTextBytes - kBlocksFreeText.size(), kSpace);
    out.insert(out.end(), {0, 0, 0});
    return out;
}

void driveOpen(Drive& drive, uint8_t channel, std::span<const uint8_t> name) {
    channel &= 0x0F;
    if (channel == kCommandChannel) {
        if (!name.empty()) setStatus(drive, runCommand(drive, {name.begin(), name.end()}));
        return;
    }
    driveClose(drive, channel);
    DriveChannel& c = drive.channels[channel];
    DosError error = openFile(drive, channel, name);
    // A listing keeps what it read before a damaged directory's error; any other file
    // that fails is not open.
    if (error && !parseFileName(name).directory) c = {};
    setStatus(drive, error);
}

void driveClose(Drive& drive, uint8_t channel) {
    channel &= 0x0F;
    if (channel == kCommandChannel) {
        // Closing the command channel closes every channel, as the DOS does.
        for (uint8_t c = 0; c < kCommandChannel; ++c) driveClose(drive, c);
        return;
    }
    DriveChannel& c = drive.channels[channel];
    if (c.use == DriveChannel::Use::Writing)
        setStatus(drive, storeFile(drive, c.name, c.type, c.data, c.replace));
    c = {};
}

bool driveChannelOpen(const Drive& drive, uint8_t channel) {
    return drive.channels[channel & 0x0F].use != DriveChannel::Use::Closed;
}

DriveByte driveRead(Drive& drive, uint8_t channel) {
    channel &= 0x0F;
    DriveChannel& c = drive.channels[channel];
    if (channel == kCommandChannel) {
        if (c.position >= c.data.size()) {
            c.data = bytesOf(driveStatusMessage(drive));
            c.data.push_back(kCarriageReturn);
            c.position = 0;
        }
        uint8_t value = c.data[c.position++];
        bool last = c.position == c.data.size();
        if (last) drive.status = {};
        return {value, last, false};
    }
    if (c.use != DriveChannel::Use::Reading || c.position >= c.data.size())
        return {kCarriageReturn, c.use == DriveChannel::Use::Reading, true};
    uint8_t value = c.data[c.position++];
    return {value, c.position == c.data.size(), false};
}

bool driveWrite(Drive& drive, uint8_t channel, uint8_t byte) {
    channel &= 0x0F;
    if (channel == kCommandChannel) {
        if (drive.command.size() <= kCommandLimit) drive.command.push_back(byte);
        return true;
    }
    DriveChannel& c = drive.channels[channel];
    if (c.use != DriveChannel::Use::Writing) return false;
    if (c.data.size() >= kFileLimit) {
        setStatus(drive, dosError(kDosDiskFull));
        return true;
    }
    c.data.push_back(byte);
    return true;
}

void driveUnlisten(Drive& drive, uint8_t channel) {
    if ((channel & 0x0F) != kCommandChannel || drive.command.empty()) return;
    std::vector<uint8_t> command = std::move(drive.command);
    drive.command.clear();
    setStatus(drive, runCommand(drive, std::move(command)));
}
