// File names as a drive sees them: PETSCII names of up to 16 bytes, padded with shifted
// spaces; the DOS's name syntax (`[@][0]:name[,type][,mode]`, `$[0:pattern]`), its
// wildcards; and the names of a host folder's files, mapped both ways.
//
// A host name maps to a PETSCII name so: the suffix `.prg`, `.seq` or `.usr` (any case)
// gives the type and is dropped (any other file is a PRG under its whole name); letters of
// either case are the unshifted letters ($41-$5A), which the machine's keyboard types; the
// other printable ASCII characters but `/`, `%` and `\` are themselves; `%XX` (two hex
// digits) is the byte $XX. A PETSCII name maps back the same way, letters in lower case,
// every byte that has no character of its own as `%XX`. Hidden files (a leading `.`) and
// names that map to more than 16 bytes or hold bytes outside ASCII are not on the disk.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "machine/disk_image.h"

using PetsciiName = std::array<uint8_t, kDiskNameLength>;  // padded with kNamePad

// The name's bytes up to its first pad.
std::span<const uint8_t> nameBytes(const PetsciiName& name);
// Bytes as a name: cut to 16, padded.
PetsciiName makeName(std::span<const uint8_t> bytes);

// Whether `name` matches `pattern` (bytes up to their pads): `?` is any one byte, `*` the
// rest of the name (what follows it is ignored); otherwise byte for byte, whole names.
bool nameMatches(std::span<const uint8_t> pattern, const PetsciiName& name);
bool hasWildcard(std::span<const uint8_t> pattern);

// A file name as OPEN, LOAD and SAVE give it to the drive.
enum class OpenMode : uint8_t { Default, Read, Write, Append, Modify };
struct ParsedName {
    bool directory = false;  // `$`: the listing, of the names matching `name` (`*` if none)
    bool buffer = false;     // `#`: a direct-access buffer
    bool replace = false;    // `@`: save over a file of that name
    bool syntaxError = false;
    std::vector<uint8_t> name;          // the name or pattern, without drive and options
    std::optional<FileType> type;       // `,P` `,S` `,U` `,R`
    OpenMode mode = OpenMode::Default;  // `,R` `,W` `,A` `,M`
};
ParsedName parseFileName(std::span<const uint8_t> text);

// The host folder's file `hostName` as a name and type on the disk, or nothing when it is
// not on the disk.
struct HostFileName {
    PetsciiName name;
    FileType type;
};
std::optional<HostFileName> diskNameOfHostFile(std::string_view hostName);
// The host file name a file of that name and type takes in a folder.
std::string hostFileName(const PetsciiName& name, FileType type);
