// Output files that are whole or absent. The bytes go to a temporary file beside the
// target, which takes the target's name only once everything is written: a failed or
// interrupted write leaves neither a half-written nor an empty file, and what was at the
// path before stays as it was. A path that names a device or a pipe (/dev/null,
// /dev/stdout, a FIFO with a reader) is written in place, and is never removed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// The name that stands for standard output.
inline constexpr std::string_view kStandardOutput = "-";

// One output on its way to its path. Not committed by the end of its life, it removes its
// temporary file and leaves the path alone.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Starts writing `path` ("-": standard output). False, with the reason, when it cannot.
    bool open(const std::string& path, std::string& error);
    // Adds bytes. False, with the reason, when they cannot be written.
    bool write(std::string_view bytes, std::string& error);
    // Ends the writing and puts the file in place. False, with the reason, when it fails.
    bool commit(std::string& error);

private:
    void abandon();

    std::string path_;       // as given, for messages
    std::string target_;     // where the file goes (a link's target, for a link)
    std::string temporary_;  // "" when written in place
    int descriptor_ = -1;
    bool ownsDescriptor_ = false;
};

// Writes `bytes` to `path` ("-": standard output) as a whole. False, with a one-line
// reason naming the path, when it cannot.
bool writeOutputFile(const std::string& path, std::string_view bytes, std::string& error);
// Whether `path` can be written, looked at before a run so that a long run does not end
// on an output that was never possible. Creates, changes and removes nothing.
bool checkOutputFile(const std::string& path, std::string& error);

// Creates `path` when it does not exist, writing nothing: a FIFO without a reader is
// refused rather than waited on, as a device that cannot be opened. False, with the
// reason alone, when it cannot.
bool touchFile(const std::string& path, std::string& reason);

// A file of no name for bytes on their way (a batch's results, a report being made): in
// $TMPDIR (else /tmp) on disk, else in memory; gone when closed. -1, with the reason, when
// none can be made.
int scratchFile(std::string& error);
// Writes all of `bytes` to `descriptor`. False, with the reason, when it cannot.
bool writeAll(int descriptor, std::string_view bytes, std::string& error);

// A report made as the results of a batch come: each piece goes to a scratch file at
// once, so that a batch of any size keeps none of them in memory, and the report is
// written whole, between its head and its tail, at the end.
class SpooledReport {
public:
    bool start(std::string& error);
    bool add(std::string_view piece, std::string& error);
    // The pieces added so far.
    uint64_t pieces() const { return pieces_; }
    // Writes `head`, the pieces and `tail` to `path` as a whole (OutputFile).
    bool write(const std::string& path, std::string_view head, std::string_view tail,
               std::string& error);

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> spool_;
    uint64_t pieces_ = 0;
};
