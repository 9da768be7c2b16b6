#include "app/runner/batch.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "app/runner/coverage.h"
#include "app/runner/run.h"
#include "host/output_file.h"
#include "machine/counting.h"
#include "machine/trace.h"

namespace {

// Results that wait for an earlier program to be reported, at most: a bound on the files
// kept open and the memory held while one slow program holds up the report.
constexpr std::size_t kMaxWaitingResults = 256;

// One job's process while it runs, and the scratch file it leaves its results in.
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

RunResult crashed(const std::string& program, std::string message) {
    RunResult result = badInput(program, std::move(message));
    result.stop = StopReason::Crashed;
    return result;
}

// The results of a job as bytes: their count, then each.
std::string encodeResults(const std::vector<RunResult>& results) {
    std::string out;
    appendNumber(out, results.size());
    for (const RunResult& result : results) appendField(out, encodeResult(result));
    return out;
}

bool decodeResults(std::string_view bytes, std::vector<RunResult>& results) {
    uint64_t count = 0;
    if (!takeNumber(bytes, count) || count > bytes.size()) return false;
    std::vector<RunResult> decoded(count);
    for (RunResult& result : decoded) {
        std::string_view one;
        if (!takeField(bytes, one) || !decodeResult(one, result)) return false;
    }
    if (!bytes.empty()) return false;
    results = std::move(decoded);
    return true;
}

// Starts the process that runs one job; it leaves its results in `resultFile`, a scratch
// file that the batch reads when the job's turn to be reported comes.
bool startJob(const JobRunner& run, std::size_t index, const sigset_t& childMask,
              std::vector<RunningProgram>& running, std::string& error) {
    int resultFile = scratchFile(error);
    if (resultFile < 0) return false;
    std::fflush(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot start a process: ") + std::strerror(errno);
        close(resultFile);
        return false;
    }
    if (pid == 0) {
        // The run dies with the batch, even when the batch is killed outright.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(kStatusError);
        sigprocmask(SIG_SETMASK, &childMask, nullptr);
        std::string ignored;
        // The job counts afresh (the batch's counts came along with the fork), and its
        // counts go back with its last result.
        if (counting.executionCounts) startCounting();
        std::vector<RunResult> results = run(index);
        if (counting.executionCounts && !results.empty()) results.back().counts = encodeCounts();
        writeAll(resultFile, encodeResults(results), ignored);
        std::fflush(nullptr);
        _exit(0);
    }
    running.push_back({pid, index, resultFile});
    return true;
}

// Takes what a job's process left: its result file, or why there is none.
void takeEnded(const RunningProgram& ended, int waitStatus, bool interrupted,
               const std::string& program, std::vector<int>& resultFiles,
               std::vector<std::vector<RunResult>>& results) {
    if (!WIFSIGNALED(waitStatus)) {
        resultFiles[ended.index] = ended.resultFile;
        return;
    }
    close(ended.resultFile);
    results[ended.index] = {interrupted
                                ? crashed(program, "not finished: the batch was interrupted")
                                : crashed(program, "the run crashed (signal " +
                                                       std::to_string(WTERMSIG(waitStatus)) + ")")};
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
void encodeValue(std::string& out, const std::vector<std::string>& lines) {
    appendNumber(out, lines.size());
    for (const std::string& line : lines) appendField(out, line);
}
void encodeValue(std::string& out, const std::vector<StopwatchTimes>& times) {
    appendNumber(out, times.size());
    for (const StopwatchTimes& t : times) {
        for (uint64_t value : {t.id, t.count, t.min, t.max, t.total}) appendNumber(out, value);
    }
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
bool decodeValue(std::string_view& in, std::vector<std::string>& lines) {
    uint64_t count = 0;
    if (!takeNumber(in, count) || count > in.size()) return false;
    lines.resize(count);
    for (std::string& line : lines) {
        if (!takeString(in, line)) return false;
    }
    return true;
}
bool decodeValue(std::string_view& in, std::vector<StopwatchTimes>& times) {
    uint64_t count = 0;
    if (!takeNumber(in, count) || count > in.size()) return false;
    times.resize(count);
    for (StopwatchTimes& t : times) {
        for (uint64_t* value : {&t.id, &t.count, &t.min, &t.max, &t.total}) {
            if (!takeNumber(in, *value)) return false;
        }
    }
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

std::vector<RunResult> runJobsInParallel(const std::vector<std::string>& names, uint64_t atOnce,
                                         const JobRunner& run, const ResultReport& report,
                                         int& interruptedBy) {
    std::size_t count = names.size();
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    std::size_t jobs = atOnce ? atOnce : static_cast<std::size_t>(std::max(processors, 1L));
    // The batch waits for its processes and for SIGINT and SIGTERM in one place: the
    // three signals are held back and taken by sigwaitinfo, so none is missed between
    // two waits. The runs get the mask back.
    sigset_t waited;
    sigset_t childMask;
    sigemptyset(&waited);
    for (int signal : {SIGCHLD, SIGINT, SIGTERM}) sigaddset(&waited, signal);
    sigprocmask(SIG_BLOCK, &waited, &childMask);

    std::vector<std::vector<RunResult>> results(count);
    std::vector<int> resultFiles(count, -1);  // a finished run's result, not read yet
    std::vector<bool> known(count, false);    // in resultFiles or in results
    std::vector<RunningProgram> running;
    std::size_t next = 0;
    std::size_t reported = 0;
    interruptedBy = 0;
    bool stopped = false;
    while (reported < count) {
        while (!interruptedBy && running.size() < jobs && next < count &&
               next < reported + kMaxWaitingResults) {
            std::string error;
            if (!startJob(run, next, childMask, running, error)) {
                results[next] = {crashed(names[next], error)};
                known[next] = true;
            }
            ++next;
            if (running.empty()) break;  // processes cannot be started: report as they fail
        }
        if (interruptedBy && !stopped) {
            stopped = true;
            for (const RunningProgram& program : running) kill(program.pid, SIGKILL);
            for (; next < count; ++next) {
                results[next] = {crashed(names[next], "not run: the batch was interrupted")};
                known[next] = true;
            }
        }
        // Every process that has ended; when none has, a wait for the next event.
        bool ended = false;
        int waitStatus = 0;
        for (pid_t pid; (pid = waitpid(-1, &waitStatus, WNOHANG)) > 0;) {
            auto it = std::find_if(running.begin(), running.end(),
                                   [&](const RunningProgram& p) { return p.pid == pid; });
            if (it == running.end()) continue;
            takeEnded(*it, waitStatus, interruptedBy != 0, names[it->index], resultFiles, results);
            known[it->index] = true;
            running.erase(it);
            ended = true;
        }
        for (; reported < count && known[reported]; ++reported) {
            int& file = resultFiles[reported];
            if (file >= 0) {
                if (!decodeResults(readAll(file), results[reported]))
                    results[reported] = {
                        crashed(names[reported], "the run ended without a result")};
                close(file);
                file = -1;
            }
            for (RunResult& result : results[reported]) {
                if (!result.counts.empty()) mergeCounts(result.counts);
                result.counts = std::string();
                report(result);
                // Reported, a result keeps only what the batch's status needs.
                result.details = result.trace = result.screen = std::string();
            }
        }
        if (ended || running.empty()) continue;
        siginfo_t info;
        int signal = sigwaitinfo(&waited, &info);
        if (signal == SIGINT || signal == SIGTERM) interruptedBy = signal;
    }
    sigprocmask(SIG_SETMASK, &childMask, nullptr);
    std::vector<RunResult> all;
    for (std::vector<RunResult>& job : results)
        all.insert(all.end(), std::make_move_iterator(job.begin()),
                   std::make_move_iterator(job.end()));
    return all;
}

std::vector<RunResult> runInParallel(const RunnerOptions& options, const ResultReport& report,
                                     int& interruptedBy) {
    auto run = [&](std::size_t i) {
        return std::vector<RunResult>{runProgram(options, options.programs[i])};
    };
    return runJobsInParallel(options.programs, options.jobs, run, report, interruptedBy);
}

std::vector<bool> shardTakes(std::size_t count, const EntryOrder& before, const Shard& shard) {
    std::vector<std::size_t> ordered(count);
    for (std::size_t i = 0; i < count; ++i) ordered[i] = i;
    std::stable_sort(ordered.begin(), ordered.end(), before);
    std::vector<bool> taken(count, false);
    for (std::size_t place = shard.index - 1; place < count; place += shard.count)
        taken[ordered[place]] = true;
    return taken;
}

std::vector<std::string> shareOf(const std::vector<std::string>& programs, const Shard& shard) {
    std::vector<bool> taken = shardTakes(
        programs.size(), [&](std::size_t a, std::size_t b) { return programs[a] < programs[b]; },
        shard);
    std::vector<std::string> share;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        if (taken[i]) share.push_back(programs[i]);
    }
    return share;
}

int batchStatus(const std::vector<RunResult>& results) {
    int status = kStatusPass;
    for (const RunResult& result : results) status = std::max(status, result.status());
    return status;
}
