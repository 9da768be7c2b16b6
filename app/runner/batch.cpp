#include "app/runner/batch.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "app/runner/run.h"

namespace {

// One program's process while it runs, and the memory file it leaves its result in.
struct RunningProgram {
    pid_t pid;
    std::size_t index;
    int resultFile;
};

void appendField(std::string& out, std::string_view value) {
    out += std::to_string(value.size());
    out += ':';
    out += value;
}

void appendNumber(std::string& out, uint64_t value) { appendField(out, std::to_string(value)); }

bool takeField(std::string_view& in, std::string_view& value) {
    std::size_t colon = in.find(':');
    if (colon == std::string_view::npos) return false;
    std::size_t length = 0;
    auto [end, problem] = std::from_chars(in.data(), in.data() + colon, length);
    if (problem != std::errc{} || end != in.data() + colon || length > in.size() - colon - 1)
        return false;
    value = in.substr(colon + 1, length);
    in.remove_prefix(colon + 1 + length);
    return true;
}

template <class Number>
bool takeNumber(std::string_view& in, Number& number) {
    std::string_view text;
    uint64_t value = 0;
    if (!takeField(in, text)) return false;
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc{} || end != text.data() + text.size()) return false;
    number = static_cast<Number>(value);
    return true;
}

bool takeString(std::string_view& in, std::string& text) {
    std::string_view value;
    if (!takeField(in, value)) return false;
    text = value;
    return true;
}

std::string readAll(int file) {
    std::string bytes;
    char buffer[65536];
    if (lseek(file, 0, SEEK_SET) != 0) return bytes;
    for (;;) {
        ssize_t got = read(file, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

void writeAll(int file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(file, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        done += static_cast<std::size_t>(put);
    }
}

RunResult crashed(const std::string& program, std::string message) {
    RunResult result = badInput(program, std::move(message));
    result.stop = StopReason::Crashed;
    return result;
}

// Starts the process that runs one program; it leaves its result in `resultFile`.
bool startProgram(const RunnerOptions& options, std::size_t index,
                  std::vector<RunningProgram>& running, std::string& error) {
    int resultFile = memfd_create("breadbin-run-result", MFD_CLOEXEC);
    if (resultFile < 0) {
        error = std::string("cannot make a result file: ") + std::strerror(errno);
        return false;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot start a process: ") + std::strerror(errno);
        close(resultFile);
        return false;
    }
    if (pid == 0) {
        RunResult result = runProgram(options, options.programs[index]);
        writeAll(resultFile, encodeResult(result));
        std::fflush(nullptr);
        _exit(0);
    }
    running.push_back({pid, index, resultFile});
    return true;
}

// Waits for one of the running programs and takes its result.
std::size_t finishOne(const RunnerOptions& options, std::vector<RunningProgram>& running,
                      std::vector<RunResult>& results) {
    int waitStatus = 0;
    pid_t pid;
    do {
        pid = waitpid(-1, &waitStatus, 0);
    } while (pid < 0 && errno == EINTR);
    auto it = std::find_if(running.begin(), running.end(),
                           [&](const RunningProgram& p) { return p.pid == pid; });
    if (it == running.end()) it = running.begin();  // waitpid failed: cannot happen while one runs
    RunningProgram finished = *it;
    running.erase(it);
    const std::string& program = options.programs[finished.index];
    RunResult& result = results[finished.index];
    if (pid != finished.pid) {
        result = crashed(program, std::string("lost the run's process: ") + std::strerror(errno));
    } else if (WIFSIGNALED(waitStatus)) {
        result = crashed(program,
                         "the run crashed (signal " + std::to_string(WTERMSIG(waitStatus)) + ")");
    } else if (!decodeResult(readAll(finished.resultFile), result)) {
        result = crashed(program, "the run ended without a result");
    }
    close(finished.resultFile);
    return finished.index;
}

}  // namespace

namespace {

// Each kind of field as text in the encoding, and back.
void encodeValue(std::string& out, const std::string& text) { appendField(out, text); }
void encodeValue(std::string& out, uint64_t number) { appendNumber(out, number); }
void encodeValue(std::string& out, Verdict verdict) {
    appendNumber(out, static_cast<uint64_t>(verdict));
}
void encodeValue(std::string& out, StopReason stop) {
    appendNumber(out, static_cast<uint64_t>(stop));
}
void encodeValue(std::string& out, int exitByte) {
    appendNumber(out, static_cast<uint64_t>(exitByte + 1));  // -1, none, is 0
}
void encodeValue(std::string& out, const CpuState& r) {
    for (unsigned value : {unsigned{r.regA}, unsigned{r.regX}, unsigned{r.regY}, unsigned{r.regS},
                           unsigned{r.regP}, unsigned{r.regPC}}) {
        appendNumber(out, value);
    }
}

bool decodeValue(std::string_view& in, std::string& text) { return takeString(in, text); }
bool decodeValue(std::string_view& in, uint64_t& number) { return takeNumber(in, number); }
bool decodeValue(std::string_view& in, Verdict& verdict) {
    return takeNumber(in, verdict) && verdict <= Verdict::Error;
}
bool decodeValue(std::string_view& in, StopReason& stop) {
    return takeNumber(in, stop) && stop <= StopReason::Crashed;
}
bool decodeValue(std::string_view& in, int& exitByte) {
    if (!takeNumber(in, exitByte)) return false;
    exitByte -= 1;
    return true;
}
bool decodeValue(std::string_view& in, CpuState& r) {
    return takeNumber(in, r.regA) && takeNumber(in, r.regX) && takeNumber(in, r.regY) &&
           takeNumber(in, r.regS) && takeNumber(in, r.regP) && takeNumber(in, r.regPC);
}

}  // namespace

std::string encodeResult(const RunResult& result) {
    std::string out;
    forEachResultField(result, [&](std::string_view, const auto& value, unsigned uses) {
        if (uses & kEncoded) encodeValue(out, value);
    });
    return out;
}

bool decodeResult(std::string_view bytes, RunResult& result) {
    RunResult decoded;
    bool ok = true;
    forEachResultField(decoded, [&](std::string_view, auto& value, unsigned uses) {
        if (ok && (uses & kEncoded)) ok = decodeValue(bytes, value);
    });
    if (!ok || !bytes.empty()) return false;
    result = std::move(decoded);
    return true;
}

std::vector<RunResult> runInParallel(const RunnerOptions& options,
                                     void (*report)(const RunResult&)) {
    std::size_t count = options.programs.size();
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    std::size_t jobs =
        options.jobs ? options.jobs : static_cast<std::size_t>(std::max(processors, 1L));
    std::vector<RunResult> results(count);
    std::vector<bool> done(count, false);
    std::vector<RunningProgram> running;
    std::size_t next = 0;
    std::size_t reported = 0;
    while (reported < count) {
        while (running.size() < jobs && next < count) {
            std::string error;
            if (!startProgram(options, next, running, error)) {
                results[next] = crashed(options.programs[next], error);
                done[next] = true;
            }
            ++next;
            if (running.empty()) break;  // processes cannot be started: report as they fail
        }
        if (!running.empty()) done[finishOne(options, running, results)] = true;
        while (reported < count && done[reported]) report(results[reported++]);
    }
    return results;
}

int batchStatus(const std::vector<RunResult>& results) {
    int status = kStatusPass;
    for (const RunResult& result : results) status = std::max(status, result.status());
    return status;
}
