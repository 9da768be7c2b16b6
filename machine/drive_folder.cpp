// A host folder as a drive's disk: its regular files, read and written whole.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "machine/drive.h"

namespace fs = std::filesystem;

namespace {
constexpr DosError kNotReady{kDosDriveNotReady, 0, 0};
constexpr DosError kWriteFailed{kDosWriteError, 0, 0};
}  // namespace

DosError folderFiles(const std::string& folder, std::vector<DriveFile>& files) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return kNotReady;
    std::vector<DriveFile> found;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) return kNotReady;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string hostName = it->path().filename().string();
        std::optional<HostFileName> name = diskNameOfHostFile(hostName);
        if (!name) continue;
        std::uintmax_t size = it->file_size(typeError);
        if (typeError) continue;
        auto blocks = static_cast<uint16_t>(
            std::min<std::uintmax_t>(0xFFFF, (size + kBlockDataBytes - 1) / kBlockDataBytes));
        found.push_back({name->name,
                         static_cast<uint8_t>(kFileClosed | static_cast<uint8_t>(name->type)),
                         blocks,
                         hostName,
                         {}});
    }
    std::sort(found.begin(), found.end(),
              [](const DriveFile& a, const DriveFile& b) { return a.hostName < b.hostName; });
    files.insert(files.end(), found.begin(), found.end());
    return {};
}

DosError readFolderFile(const std::string& folder, const std::string& hostName,
                        std::vector<uint8_t>& data) {
    fs::path path = fs::path(folder) / hostName;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return {kDosFileNotFound, 0, 0};
    std::ifstream in(path, std::ios::binary);
    if (!in) return kNotReady;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) return kNotReady;
    if (bytes.size() > kFileLimit) bytes.resize(kFileLimit);
    data.insert(data.end(), bytes.begin(), bytes.end());
    return {};
}

bool writeHostFileWhole(const std::string& path, const std::vector<uint8_t>& data) {
    fs::path target(path);
    fs::path temporary = target.parent_path() / ("." + target.filename().string() + ".breadbin-" +
                                                 std::to_string(getpid()));
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

DosError writeFolderFile(const std::string& folder, const std::string& hostName,
                         const std::vector<uint8_t>& data) {
    return writeHostFileWhole((fs::path(folder) / hostName).string(), data) ? DosError{}
                                                                            : kWriteFailed;
}

DosError removeFolderFile(const std::string& folder, const std::string& hostName) {
    std::error_code error;
    fs::remove(fs::path(folder) / hostName, error);
    return error ? kWriteFailed : DosError{};
}

DosError renameFolderFile(const std::string& folder, const std::string& from,
                          const std::string& to) {
    std::error_code error;
    fs::path target = fs::path(folder) / to;
    // Never over a file that is there: the DOS has looked, but a host name may differ in
    // case from the one it found.
    if (fs::exists(target, error) && !fs::equivalent(target, fs::path(folder) / from, error))
        return kWriteFailed;
    fs::rename(fs::path(folder) / from, target, error);
    return error ? kWriteFailed : DosError{};
}
