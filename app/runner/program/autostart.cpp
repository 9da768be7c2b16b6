#include "app/runner/program/autostart.h"

#include <algorithm>

#include "app/runner/io/text.h"
#include "machine/drive.h"
#include "machine/program_file.h"

namespace {

// The first program in the directory's order, read whole; its error as the drive's status.
DosError readFirstProgram(const Drive& drive, std::vector<uint8_t>& programFile, bool& found) {
    std::vector<DriveFile> files;
    DosError damage = driveFiles(drive, files);
    auto first = std::find_if(files.begin(), files.end(),
                              [](const DriveFile& f) { return f.type() == FileType::Prg; });
    found = first != files.end();
    return found ? readDriveFile(drive, *first, programFile) : damage;
}

// The file LOAD"NAME",8,1 loads: channel 0 opened with the name, its bytes to the last.
DosError readNamedFile(Drive& drive, std::span<const uint8_t> name,
                       std::vector<uint8_t>& programFile) {
    driveOpen(drive, kLoadChannel, name);
    if (!driveChannelOpen(drive, kLoadChannel)) return drive.status;
    for (DriveByte next{}; !next.eoi;) {
        next = driveRead(drive, kLoadChannel);
        if (next.timeout) break;
        programFile.push_back(next.value);
    }
    return {};
}

}  // namespace

bool readAutostartFile(const std::string& path, const std::string& name,
                       std::vector<uint8_t>& programFile, std::string& error) {
    Drive drive;
    if (std::string problem = mountDrive(drive, path, false); !problem.empty()) {
        error = path + ": " + problem;
        return false;
    }
    programFile.clear();
    std::string which = name.empty() ? "its first program" : quotedValue(name);
    bool found = true;
    std::vector<uint8_t> pattern;
    if (!name.empty() && !petsciiText(name, pattern)) {
        error = "--autostart: " + quotedValue(name) + " holds a character that no key types";
        return false;
    }
    DosError problem = name.empty() ? readFirstProgram(drive, programFile, found)
                                    : readNamedFile(drive, pattern, programFile);
    drive.status = problem;
    if (!found) {
        error = path + ": no program (PRG) in the disk image" +
                (problem ? " (its directory: " + driveStatusMessage(drive) + ")" : "");
        return false;
    }
    if (problem) {
        error = path + ": " + which + " cannot be loaded: " + driveStatusMessage(drive);
        return false;
    }
    if (programFile.size() < kLoadAddressBytes) {
        error = path + ": " + which +
                " is too short for a program file (it needs a two-byte load address)";
        return false;
    }
    return true;
}
