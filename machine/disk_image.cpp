#include "machine/disk_image.h"

#include <algorithm>

namespace {

constexpr unsigned kEntriesPerSector = kSectorSize / kDirectoryEntrySize;
constexpr uint8_t kChainEndSector = 0xFF;  // a last block's link: track 0, all of it used
// The error bytes: 0 and 1 are no error, 2 to 11 stand for DOS errors 20 to 29, 15 for 74.
constexpr uint8_t kErrorByteFirst = 2;
constexpr uint8_t kErrorByteLast = 11;
constexpr uint8_t kErrorByteBase = 18;
constexpr uint8_t kErrorByteNotReady = 15;
constexpr uint8_t kDosNotReady = 74;
// Entry offsets within a directory entry.
constexpr std::size_t kEntryType = 2, kEntryTrack = 3, kEntrySector = 4, kEntryName = 5,
                      kEntryBlocks = 0x1E;

// The index of each track's first sector from the disk's first, per format.
constexpr unsigned kMaxTracks = 80;
using TrackStarts = std::array<uint16_t, kMaxTracks + 2>;
constexpr TrackStarts trackStarts(DiskFormat format) {
    TrackStarts starts{};
    for (unsigned t = 1; t <= kMaxTracks; ++t)
        starts[t + 1] = static_cast<uint16_t>(starts[t] + sectorsOnTrack(format, t));
    return starts;
}
constexpr TrackStarts kTrackStarts[] = {trackStarts(DiskFormat::D64),
                                        trackStarts(DiskFormat::D64Extended),
                                        trackStarts(DiskFormat::D81)};
static_assert(kTrackStarts[0][36] == 683 && kTrackStarts[2][81] == 3200);

// The sector's index from the disk's first, or nothing for a place the format lacks.
std::optional<unsigned> sectorIndex(DiskFormat format, unsigned track, unsigned sector) {
    if (sector >= sectorsOnTrack(format, track)) return std::nullopt;
    return kTrackStarts[static_cast<unsigned>(format)][track] + sector;
}

DosError errorOfByte(uint8_t value, uint8_t track, uint8_t sector) {
    if (value >= kErrorByteFirst && value <= kErrorByteLast)
        return {static_cast<uint8_t>(value + kErrorByteBase), track, sector};
    if (value == kErrorByteNotReady) return {kDosNotReady, track, sector};
    return {};
}

// One bit per sector of the disk, for walks that must not pass a block twice.
struct Visited {
    std::vector<bool> seen;
    explicit Visited(DiskFormat format) : seen(formatInfo(format).sectors) {}
    // Marks the block; false when it was marked already.
    bool mark(DiskFormat format, uint8_t track, uint8_t sector) {
        unsigned index = *sectorIndex(format, track, sector);
        if (seen[index]) return false;
        seen[index] = true;
        return true;
    }
};

// The BAM entry of `track`: the sector that holds it, and the entry's offset there.
struct BamPlace {
    uint8_t sector;
    std::size_t offset;
};
BamPlace bamPlace(DiskFormat format, unsigned track) {
    const DiskFormatInfo& info = formatInfo(format);
    unsigned part = (track - 1) / info.bamTracksPerSector;
    unsigned within = (track - 1) % info.bamTracksPerSector;
    return {static_cast<uint8_t>(info.bamSector + part),
            info.bamOffset + std::size_t{within} * info.bamEntryBytes};
}

// A writable view of an image's bytes: a copy, given back with commit.
struct ImageWriter {
    DiskImage& image;
    std::vector<uint8_t> bytes;
    explicit ImageWriter(DiskImage& i) : image(i), bytes(*i.bytes) {
        // A short image gets its missing sectors, so that every write lands.
        bytes.resize(std::max(bytes.size(), formatInfo(i.format).bytes()));
    }
    uint8_t* sector(unsigned track, unsigned s) {
        return &bytes[*sectorIndex(image.format, track, s) * kSectorSize];
    }
    uint8_t* bamEntry(unsigned track) {
        BamPlace place = bamPlace(image.format, track);
        return sector(formatInfo(image.format).systemTrack, place.sector) + place.offset;
    }
    bool isFree(unsigned track, unsigned s) {
        return (bamEntry(track)[1 + s / 8] >> (s % 8) & 1) != 0;
    }
    void setFree(unsigned track, unsigned s, bool free) {
        uint8_t* entry = bamEntry(track);
        if (isFree(track, s) == free) return;
        entry[1 + s / 8] ^= static_cast<uint8_t>(1u << (s % 8));
        entry[0] = static_cast<uint8_t>(entry[0] + (free ? 1 : -1));
    }
    void commit() { image.bytes = std::make_shared<const std::vector<uint8_t>>(std::move(bytes)); }
};

// The tracks in the order the drive takes free blocks from: outward from the system track,
// one below, one above, two below...; those the BAM covers.
std::vector<unsigned> allocationOrder(DiskFormat format) {
    const DiskFormatInfo& info = formatInfo(format);
    std::vector<unsigned> order;
    for (unsigned d = 1; d < info.bamTracks; ++d) {
        if (d < info.systemTrack) order.push_back(info.systemTrack - d);
        if (info.systemTrack + d <= info.bamTracks) order.push_back(info.systemTrack + d);
    }
    return order;
}

}  // namespace

std::optional<ImageLayout> imageLayoutOfSize(std::size_t size) {
    for (unsigned f = 0; f < std::size(kDiskFormats); ++f) {
        auto format = static_cast<DiskFormat>(f);
        if (size == kDiskFormats[f].bytes()) return ImageLayout{format, false};
        if (size == kDiskFormats[f].bytesWithErrors()) return ImageLayout{format, true};
    }
    return std::nullopt;
}

DosError readSector(const DiskImage& image, uint8_t track, uint8_t sector, const uint8_t*& bytes) {
    std::optional<unsigned> index = sectorIndex(image.format, track, sector);
    if (!index) return {kDosIllegalTrackSector, track, sector};
    const std::vector<uint8_t>& all = *image.bytes;
    std::size_t offset = std::size_t{*index} * kSectorSize;
    if (offset + kSectorSize > all.size()) return {kDosReadErrorNoSync, track, sector};
    if (image.errorBytes) {
        std::size_t at = formatInfo(image.format).bytes() + *index;
        if (at < all.size()) {
            if (DosError error = errorOfByte(all[at], track, sector)) return error;
        }
    }
    bytes = &all[offset];
    return {};
}

DiskLabel diskLabel(const DiskImage& image) {
    const DiskFormatInfo& info = formatInfo(image.format);
    DiskLabel label{};
    label.name.fill(kNamePad);
    label.id.fill(kNamePad);
    label.dosType.fill(kNamePad);
    const uint8_t* header = nullptr;
    if (readSector(image, info.systemTrack, info.headerSector, header)) return label;
    std::copy_n(header + info.nameOffset, kDiskNameLength, label.name.begin());
    std::copy_n(header + info.idOffset, 2, label.id.begin());
    std::copy_n(header + info.dosTypeOffset, 2, label.dosType.begin());
    return label;
}

DosError readDirectory(const DiskImage& image, std::vector<DirectoryEntry>& entries) {
    const DiskFormatInfo& info = formatInfo(image.format);
    Visited visited(image.format);
    uint8_t track = info.systemTrack, sector = info.firstDirectorySector;
    while (track != 0) {
        const uint8_t* block = nullptr;
        if (DosError error = readSector(image, track, sector, block)) return error;
        if (!visited.mark(image.format, track, sector)) return {kDosLoopingChain, track, sector};
        for (unsigned i = 0; i < kEntriesPerSector; ++i) {
            const uint8_t* e = block + i * kDirectoryEntrySize;
            if (e[kEntryType] == 0) continue;
            DirectoryEntry entry{};
            std::copy_n(e + kEntryName, kDiskNameLength, entry.name.begin());
            entry.typeByte = e[kEntryType];
            entry.track = e[kEntryTrack];
            entry.sector = e[kEntrySector];
            entry.blocks = static_cast<uint16_t>(e[kEntryBlocks] | e[kEntryBlocks + 1] << 8);
            entry.entryTrack = track;
            entry.entrySector = sector;
            entry.entryIndex = static_cast<uint8_t>(i);
            entries.push_back(entry);
        }
        track = block[0];
        sector = block[1];
    }
    return {};
}

DosError readChain(const DiskImage& image, uint8_t track, uint8_t sector,
                   std::vector<uint8_t>& data) {
    Visited visited(image.format);
    for (;;) {
        const uint8_t* block = nullptr;
        if (DosError error = readSector(image, track, sector, block)) return error;
        if (!visited.mark(image.format, track, sector)) return {kDosLoopingChain, track, sector};
        if (block[0] == 0) {
            // The last block: byte 1 is the offset of its last used byte.
            std::size_t count = block[1] >= 2 ? block[1] - 1u : 0;
            data.insert(data.end(), block + 2, block + 2 + count);
            return {};
        }
        data.insert(data.end(), block + 2, block + kSectorSize);
        track = block[0];
        sector = block[1];
    }
}

unsigned blocksFree(const DiskImage& image) {
    const DiskFormatInfo& info = formatInfo(image.format);
    unsigned free = 0;
    for (unsigned t = 1; t <= info.bamTracks; ++t) {
        if (t == info.systemTrack) continue;
        BamPlace place = bamPlace(image.format, t);
        const uint8_t* bam = nullptr;
        if (readSector(image, info.systemTrack, place.sector, bam)) continue;
        free += bam[place.offset];
    }
    return free;
}

DiskImage blankDiskImage(DiskFormat format, std::string_view name, std::string_view id) {
    const DiskFormatInfo& info = formatInfo(format);
    DiskImage image{format, false,
                    std::make_shared<const std::vector<uint8_t>>(info.bytes(), uint8_t{0})};
    ImageWriter w(image);
    uint8_t* header = w.sector(info.systemTrack, info.headerSector);
    header[0] = info.systemTrack;
    header[1] = info.firstDirectorySector;
    header[2] = info.dosVersion;
    // The name, the ID and the DOS type, each padded and the gaps between them too.
    std::fill(header + info.nameOffset, header + info.dosTypeOffset + 2 + 4, kNamePad);
    std::copy_n(name.begin(), std::min(name.size(), kDiskNameLength), header + info.nameOffset);
    std::copy_n(id.begin(), std::min<std::size_t>(id.size(), 2), header + info.idOffset);
    std::copy_n(info.dosType.begin(), 2, header + info.dosTypeOffset);
    // The 1581's BAM sectors: a chain of their own, each with the version, its complement,
    // the ID and the I/O byte.
    unsigned bamSectors = (info.bamTracks + info.bamTracksPerSector - 1) / info.bamTracksPerSector;
    if (info.bamSector != info.headerSector) {
        for (unsigned b = 0; b < bamSectors; ++b) {
            uint8_t* bam = w.sector(info.systemTrack, info.bamSector + b);
            bool last = b + 1 == bamSectors;
            bam[0] = last ? 0 : info.systemTrack;
            bam[1] = last ? kChainEndSector : static_cast<uint8_t>(info.bamSector + b + 1);
            bam[2] = info.dosVersion;
            bam[3] = static_cast<uint8_t>(~info.dosVersion);
            std::copy_n(header + info.idOffset, 2, bam + 4);
            bam[6] = 0xC0;  // verify on, header checks on: the 1581's usual I/O byte
        }
    }
    for (unsigned t = 1; t <= info.bamTracks; ++t) {
        for (unsigned s = 0; s < sectorsOnTrack(format, t); ++s) w.setFree(t, s, true);
    }
    w.setFree(info.systemTrack, info.headerSector, false);
    for (unsigned b = 0; b < bamSectors; ++b)
        w.setFree(info.systemTrack, info.bamSector + b, false);
    w.setFree(info.systemTrack, info.firstDirectorySector, false);
    uint8_t* directory = w.sector(info.systemTrack, info.firstDirectorySector);
    directory[0] = 0;
    directory[1] = kChainEndSector;
    w.commit();
    return image;
}

DosError writeImageFile(DiskImage& image, std::array<uint8_t, kDiskNameLength> name, FileType type,
                        const std::vector<uint8_t>& data) {
    const DiskFormatInfo& info = formatInfo(image.format);
    ImageWriter w(image);
    // A free directory slot, or a new directory block on the system track.
    uint8_t* slot = nullptr;
    {
        Visited visited(image.format);
        unsigned track = info.systemTrack, sector = info.firstDirectorySector;
        uint8_t* last = nullptr;
        while (track != 0 && slot == nullptr) {
            if (!sectorIndex(image.format, track, sector))
                return {kDosIllegalTrackSector, static_cast<uint8_t>(track),
                        static_cast<uint8_t>(sector)};
            if (!visited.mark(image.format, static_cast<uint8_t>(track),
                              static_cast<uint8_t>(sector)))
                return {kDosLoopingChain, static_cast<uint8_t>(track),
                        static_cast<uint8_t>(sector)};
            last = w.sector(track, sector);
            for (unsigned i = 0; i < kEntriesPerSector && !slot; ++i) {
                if (last[i * kDirectoryEntrySize + kEntryType] == 0)
                    slot = last + i * kDirectoryEntrySize;
            }
            track = last[0];
            sector = last[1];
        }
        if (slot == nullptr) {
            unsigned s = 0;
            while (s < sectorsOnTrack(image.format, info.systemTrack) &&
                   !w.isFree(info.systemTrack, s))
                ++s;
            if (s == sectorsOnTrack(image.format, info.systemTrack)) return {kDosDiskFull, 0, 0};
            w.setFree(info.systemTrack, s, false);
            last[0] = info.systemTrack;
            last[1] = static_cast<uint8_t>(s);
            slot = w.sector(info.systemTrack, s);
            std::fill(slot, slot + kSectorSize, uint8_t{0});
            slot[1] = kChainEndSector;
        }
    }
    // The blocks: at least one, as the drive writes an empty file.
    std::size_t count =
        std::max<std::size_t>(1, (data.size() + kBlockDataBytes - 1) / kBlockDataBytes);
    std::vector<std::pair<unsigned, unsigned>> blocks;
    for (unsigned t : allocationOrder(image.format)) {
        for (unsigned s = 0; s < sectorsOnTrack(image.format, t) && blocks.size() < count; ++s) {
            if (w.isFree(t, s)) blocks.emplace_back(t, s);
        }
        if (blocks.size() == count) break;
    }
    if (blocks.size() < count) return {kDosDiskFull, 0, 0};
    for (std::size_t b = 0; b < count; ++b) {
        auto [t, s] = blocks[b];
        w.setFree(t, s, false);
        uint8_t* block = w.sector(t, s);
        std::fill(block, block + kSectorSize, uint8_t{0});
        std::size_t from = b * kBlockDataBytes;
        std::size_t n = std::min(kBlockDataBytes, data.size() - std::min(data.size(), from));
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), from)), n,
                    block + 2);
        bool last = b + 1 == count;
        block[0] = last ? 0 : static_cast<uint8_t>(blocks[b + 1].first);
        block[1] = last ? static_cast<uint8_t>(n + 1) : static_cast<uint8_t>(blocks[b + 1].second);
    }
    // Bytes 0-1 of the slot are the block's link when it is the first entry: kept.
    std::fill(slot + kEntryType, slot + kDirectoryEntrySize, uint8_t{0});
    slot[kEntryType] = static_cast<uint8_t>(kFileClosed | static_cast<uint8_t>(type));
    slot[kEntryTrack] = static_cast<uint8_t>(blocks[0].first);
    slot[kEntrySector] = static_cast<uint8_t>(blocks[0].second);
    std::copy(name.begin(), name.end(), slot + kEntryName);
    slot[kEntryBlocks] = static_cast<uint8_t>(count & 0xFF);
    slot[kEntryBlocks + 1] = static_cast<uint8_t>(count >> 8);
    w.commit();
    return {};
}

DosError scratchEntry(DiskImage& image, const DirectoryEntry& entry) {
    ImageWriter w(image);
    Visited visited(image.format);
    DosError error;
    uint8_t track = entry.track, sector = entry.sector;
    while (track != 0) {
        if (!sectorIndex(image.format, track, sector)) {
            error = {kDosIllegalTrackSector, track, sector};
            break;
        }
        if (!visited.mark(image.format, track, sector)) break;
        if (track <= formatInfo(image.format).bamTracks) w.setFree(track, sector, true);
        const uint8_t* block = w.sector(track, sector);
        track = block[0];
        sector = block[1];
    }
    w.sector(entry.entryTrack,
             entry.entrySector)[entry.entryIndex * kDirectoryEntrySize + kEntryType] = 0;
    w.commit();
    return error;
}

void renameEntry(DiskImage& image, const DirectoryEntry& entry,
                 std::array<uint8_t, kDiskNameLength> name) {
    ImageWriter w(image);
    uint8_t* e =
        w.sector(entry.entryTrack, entry.entrySector) + entry.entryIndex * kDirectoryEntrySize;
    std::copy(name.begin(), name.end(), e + kEntryName);
    w.commit();
}
