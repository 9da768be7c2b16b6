#include "host/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr mode_t kNewFileMode = 0666;  // less the umask, as any new file

std::string cannotWrite(const std::string& path, const char* reason) {
    return "cannot write " + (path == kStandardOutput ? std::string("standard output") : path) +
           ": " + reason;
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the bytes of `path` belong: through a symbolic link to its target, so the link
// stays a link.
std::string targetOf(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// Why an open for writing without waiting failed: a pipe with no reader says ENXIO.
const char* openFailure() { return errno == ENXIO ? "no process reads it" : std::strerror(errno); }

// A device or a pipe, opened for writing without waiting: a pipe with no reader is
// refused at once rather than waited on. -1, with the reason, when it cannot be opened.
int openInPlace(const std::string& target, const std::string& path, std::string& error) {
    int descriptor = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) error = cannotWrite(path, openFailure());
    return descriptor;
}

mode_t currentUmask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

OutputFile::~OutputFile() { abandon(); }

void OutputFile::abandon() {
    if (ownsDescriptor_ && descriptor_ >= 0) close(descriptor_);
    if (!temporary_.empty()) unlink(temporary_.c_str());
    descriptor_ = -1;
    ownsDescriptor_ = false;
    temporary_.clear();
}

bool OutputFile::open(const std::string& path, std::string& error) {
    abandon();
    path_ = path;
    if (path == kStandardOutput) {
        std::fflush(stdout);  // what stdio holds goes first
        descriptor_ = STDOUT_FILENO;
        return true;
    }
    target_ = targetOf(path);
    struct stat info;
    if (stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode)) {
            error = cannotWrite(path, "it is a folder");
            return false;
        }
        descriptor_ = openInPlace(target_, path, error);
        if (descriptor_ < 0) return false;
        ownsDescriptor_ = true;
        fcntl(descriptor_, F_SETFL, fcntl(descriptor_, F_GETFL) & ~O_NONBLOCK);
        return true;
    }
    bool exists = stat(target_.c_str(), &info) == 0;
    std::string name = target_.substr(target_.rfind('/') + 1);
    std::string temporary = folderOf(target_) + "/." + name + ".XXXXXX";
    descriptor_ = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor_ < 0) {
        error = cannotWrite(path, std::strerror(errno));
        return false;
    }
    ownsDescriptor_ = true;
    temporary_ = temporary;
    // The mode a file written the ordinary way would have: the old file's, or a new one's.
    fchmod(descriptor_, exists ? info.st_mode & 07777 : kNewFileMode & ~currentUmask());
    return true;
}

bool OutputFile::write(std::string_view bytes, std::string& error) {
    std::string reason;
    if (writeAll(descriptor_, bytes, reason)) return true;
    error = cannotWrite(path_, reason.c_str());
    abandon();
    return false;
}

bool OutputFile::commit(std::string& error) {
    if (ownsDescriptor_) {
        int closed = close(descriptor_);
        descriptor_ = -1;
        ownsDescriptor_ = false;
        if (closed != 0) {
            error = cannotWrite(path_, std::strerror(errno));
            abandon();
            return false;
        }
    }
    if (!temporary_.empty()) {
        if (rename(temporary_.c_str(), target_.c_str()) != 0) {
            error = cannotWrite(path_, std::strerror(errno));
            abandon();
            return false;
        }
        temporary_.clear();
    }
    descriptor_ = -1;
    return true;
}

bool writeOutputFile(const std::string& path, std::string_view bytes, std::string& error) {
    OutputFile file;
    return file.open(path, error) && file.write(bytes, error) && file.commit(error);
}

bool checkOutputFile(const std::string& path, std::string& error) {
    if (path.empty() || path == kStandardOutput) return true;
    std::string target = targetOf(path);
    struct stat info;
    if (stat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            error = cannotWrite(path, "it is a folder");
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            int descriptor = openInPlace(target, path, error);
            if (descriptor < 0) return false;
            close(descriptor);
            return true;
        }
    }
    std::string folder = folderOf(target);
    if (stat(folder.c_str(), &info) != 0) {
        error = cannotWrite(path, std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = cannotWrite(path, std::strerror(ENOTDIR));
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        error = cannotWrite(path, std::strerror(errno));
        return false;
    }
    return true;
}

bool touchFile(const std::string& path, std::string& reason) {
    int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
               kNewFileMode);
    if (descriptor < 0 || close(descriptor) != 0) {
        reason = openFailure();
        return false;
    }
    return true;
}

int scratchFile(std::string& error) {
    const char* folder = std::getenv("TMPDIR");
    if (!folder || !*folder) folder = "/tmp";
    int descriptor = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor < 0) descriptor = memfd_create("breadbin-run", MFD_CLOEXEC);
    if (descriptor < 0) error = std::string("cannot make a scratch file: ") + std::strerror(errno);
    return descriptor;
}

bool writeAll(int descriptor, std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        ssize_t put = ::write(descriptor, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            error = put < 0 ? std::strerror(errno) : "nothing was written";
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

bool SpooledReport::start(std::string& error) {
    int descriptor = scratchFile(error);
    if (descriptor < 0) return false;
    spool_.reset(fdopen(descriptor, "w+"));
    if (spool_) return true;
    error = std::string("cannot make a scratch file: ") + std::strerror(errno);
    close(descriptor);
    return false;
}

bool SpooledReport::add(std::string_view piece, std::string& error) {
    ++pieces_;
    if (std::fwrite(piece.data(), 1, piece.size(), spool_.get()) == piece.size()) return true;
    error = "cannot keep a report on its way: " + std::string(std::strerror(errno));
    return false;
}

bool SpooledReport::write(const std::string& path, std::string_view head, std::string_view tail,
                          std::string& error) {
    OutputFile file;
    if (!file.open(path, error) || !file.write(head, error)) return false;
    bool readBack = std::fflush(spool_.get()) == 0 && std::fseek(spool_.get(), 0, SEEK_SET) == 0;
    char buffer[65536];
    for (std::size_t got;
         readBack && (got = std::fread(buffer, 1, sizeof buffer, spool_.get())) > 0;) {
        if (!file.write(std::string_view(buffer, got), error)) return false;
    }
    if (!readBack || std::ferror(spool_.get())) {
        error = "cannot read back a report: " + std::string(std::strerror(errno));
        return false;
    }
    return file.write(tail, error) && file.commit(error);
}
