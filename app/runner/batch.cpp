#include "app/runner/batch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>

#include "app/runner/coverage.h"
#include "app/runner/run.h"
#include "host/output_file.h"
#include "machine/counting.h"
#include "machine/trace.h"

namespace {

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

namespace {

// Jobs that wait for an earlier one to be reported, at most: a bound on the files kept
// open and the processes held while one slow job holds up the report.
constexpr std::size_t kMaxWaitingJobs = 256;
// What a job's process leaves in its result file: a record per result as it finishes
// ('R' and the result), then, once it has given them all, 'E' and its execution counts.
constexpr char kResultRecord = 'R';
constexpr char kEndRecord = 'E';
// How much of a result file is read at a time.
constexpr std::size_t kReadChunk = std::size_t{1} << 20;

// A job between its start and its report.
struct JobSlot {
    pid_t pid = -1;         // -1 once it has ended, or when it never started
    int resultFile = -1;    // the scratch file it leaves its records in
    off_t readUpTo = 0;     // where the next unread record starts
    std::size_t given = 0;  // results reported so far
    bool complete = false;  // its end record has been read
    int waitStatus = 0;     // how its process ended
    std::string failure;    // why it never started, when it did not
};

RunResult unfinished(const BatchJob& job, std::size_t entry, const std::string& why, bool notRun) {
    std::string test = entry < job.tests.size() ? job.tests[entry] : std::string();
    RunResult result = badInput(job.name, test.empty() ? why : test + ": " + why);
    result.test = test;
    result.stop = notRun ? StopReason::NotRun : StopReason::Crashed;
    return result;
}

// The results a job did not give, each an ERROR: the first says why the job ended there,
// the rest that they were not run.
void reportUnfinished(const BatchJob& job, JobSlot& slot, bool interrupted,
                      const ResultReport& report) {
    std::size_t entries = std::max<std::size_t>(job.tests.size(), 1);
    std::string first, rest;
    if (!slot.failure.empty()) {
        first = rest = slot.failure;
    } else if (interrupted && slot.resultFile < 0) {
        first = rest = "not run: the batch was interrupted";
    } else if (interrupted) {
        first = "not finished: the batch was interrupted";
        rest = "not run: the batch was interrupted";
    } else if (WIFSIGNALED(slot.waitStatus)) {
        first = "the run crashed (signal " + std::to_string(WTERMSIG(slot.waitStatus)) + ")";
        rest = "not run: the run crashed before it";
    } else {
        first = "the run ended without a result";
        rest = "not run: the run ended without its results";
    }
    for (std::size_t entry = slot.given; entry < entries; ++entry) {
        report(unfinished(job, entry, entry == slot.given ? first : rest,
                          entry > slot.given || first == rest));
    }
    slot.given = entries;
}

// Reports the records that have come into a job's result file since the last look; a
// record being written is left for the next. False when the file holds what is not a
// record.
bool reportRecords(JobSlot& slot, const ResultReport& report) {
    std::string bytes;
    for (;;) {
        std::size_t had = bytes.size();
        bytes.resize(had + kReadChunk);
        ssize_t got = pread(slot.resultFile, bytes.data() + had, kReadChunk,
                            slot.readUpTo + static_cast<off_t>(had));
        if (got < 0 && errno == EINTR) got = 0;
        bytes.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        std::string_view unread = bytes;
        std::string_view record;
        while (takeField(unread, record)) {
            if (record.starts_with(kResultRecord)) {
                RunResult result;
                if (!decodeResult(record.substr(1), result)) return false;
                ++slot.given;
                report(result);
            } else if (record.starts_with(kEndRecord)) {
                if (counting.executionCounts && !mergeCounts(record.substr(1))) return false;
                slot.complete = true;
            } else {
                return false;
            }
        }
        std::size_t taken = bytes.size() - unread.size();
        slot.readUpTo += static_cast<off_t>(taken);
        bytes.erase(0, taken);
        if (got <= 0) return true;
    }
}

// Starts the process that runs job `index`. It gives its results into `slot`'s scratch
// file, a byte into `wake` after each.
void startJob(const JobRunner& run, std::size_t index, JobSlot& slot, int wake,
              const std::vector<int>& parentOnly) {
    std::string error;
    slot.resultFile = scratchFile(error);
    if (slot.resultFile < 0) {
        slot.failure = error;
        return;
    }
    std::fflush(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        slot.failure = std::string("cannot start a process: ") + std::strerror(errno);
        return;
    }
    if (pid > 0) {
        slot.pid = pid;
        return;
    }
    // The run dies with the batch, even when the batch is killed outright, and takes
    // SIGINT and SIGTERM as any process does.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kStatusError);
    for (int descriptor : parentOnly) close(descriptor);
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGCHLD, SIGINT, SIGTERM}) sigaddset(&signals, signal);
    sigprocmask(SIG_UNBLOCK, &signals, nullptr);
    // The job counts afresh (the batch's counts came along with the fork); its counts go
    // back in its end record.
    if (counting.executionCounts) startCounting();
    auto put = [&](char kind, std::string_view bytes) {
        std::string record;
        appendField(record, std::string(1, kind).append(bytes));
        std::string ignored;
        writeAll(slot.resultFile, record, ignored);
        [[maybe_unused]] ssize_t woken = write(wake, "", 1);  // a full pipe wakes it already
    };
    run(index, [&](const RunResult& result) { put(kResultRecord, encodeResult(result)); });
    put(kEndRecord, counting.executionCounts ? encodeCounts() : std::string());
    std::fflush(nullptr);
    _exit(0);
}

sigset_t batchSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGCHLD, SIGINT, SIGTERM}) sigaddset(&signals, signal);
    return signals;
}

}  // namespace

void holdInterruptions() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM}) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, nullptr);
}

int releaseInterruptions(int interruptedBy, int status) {
    sigset_t pending;
    sigpending(&pending);
    if (!interruptedBy) {
        for (int signal : {SIGINT, SIGTERM}) {
            if (sigismember(&pending, signal)) interruptedBy = signal;
        }
    }
    if (interruptedBy) {
        // Only the signal that interrupted the batch may end it: another one pending is
        // dropped first.
        for (int signal : {SIGINT, SIGTERM}) {
            if (signal != interruptedBy) ::signal(signal, SIG_IGN);
        }
        ::signal(interruptedBy, SIG_DFL);
        raise(interruptedBy);
    }
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM}) sigaddset(&held, signal);
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
    return status;
}

int runJobsInParallel(const std::vector<BatchJob>& jobs, uint64_t atOnce, const JobRunner& run,
                      const ResultReport& report) {
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    std::size_t parallel = atOnce ? atOnce : static_cast<std::size_t>(std::max(processors, 1L));
    // The batch waits in one place for its processes' results and ends and for SIGINT
    // and SIGTERM: the signals are held back and read from a descriptor, beside the pipe
    // into which each run puts a byte per result, so that none is missed between two waits.
    sigset_t signals = batchSignals();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &signals, &before);
    int signalEvents = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    int wake[2] = {-1, -1};
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;

    std::map<std::size_t, JobSlot> slots;  // the jobs started and not yet reported
    std::size_t running = 0;
    std::size_t next = 0;      // the next job to start
    std::size_t reported = 0;  // the jobs reported so far
    int interruptedBy = 0;
    bool stopped = false;
    while (reported < jobs.size()) {
        while (!interruptedBy && running < parallel && next < jobs.size() &&
               next < reported + kMaxWaitingJobs) {
            JobSlot& slot = slots[next];
            startJob(run, next++, slot, wake[1], {signalEvents, wake[0]});
            running += slot.pid > 0;
        }
        if (interruptedBy && !stopped) {
            stopped = true;
            for (auto& [index, slot] : slots) {
                if (slot.pid > 0) kill(slot.pid, SIGKILL);
            }
        }
        int waitStatus = 0;
        for (pid_t pid; (pid = waitpid(-1, &waitStatus, WNOHANG)) > 0;) {
            for (auto& [index, slot] : slots) {
                if (slot.pid != pid) continue;
                slot.pid = -1;
                slot.waitStatus = waitStatus;
                --running;
            }
        }
        for (char drained[256]; read(wake[0], drained, sizeof drained) > 0;) {
        }
        // The jobs in order, as far as they have come.
        while (reported < jobs.size()) {
            auto found = slots.find(reported);
            if (found == slots.end() && !stopped) break;  // not started yet
            JobSlot never;
            JobSlot& slot = found != slots.end() ? found->second : never;
            bool ended = slot.pid < 0;
            if (slot.resultFile >= 0 && !reportRecords(slot, report)) {
                slot.failure = "the run ended without a result";
                if (slot.pid > 0) kill(slot.pid, SIGKILL);
            }
            if (!ended) break;
            if (!slot.complete) reportUnfinished(jobs[reported], slot, interruptedBy != 0, report);
            if (slot.resultFile >= 0) close(slot.resultFile);
            if (found != slots.end()) slots.erase(found);
            ++reported;
        }
        if (reported == jobs.size() || (running < parallel && next < jobs.size() &&
                                        !interruptedBy && next < reported + kMaxWaitingJobs))
            continue;
        pollfd events[2] = {{signalEvents, POLLIN, 0}, {wake[0], POLLIN, 0}};
        if (poll(events, 2, -1) < 0) continue;
        for (signalfd_siginfo info; read(signalEvents, &info, sizeof info) == sizeof info;) {
            int signal = static_cast<int>(info.ssi_signo);
            if ((signal == SIGINT || signal == SIGTERM) && !interruptedBy) interruptedBy = signal;
        }
    }
    for (int descriptor : {signalEvents, wake[0], wake[1]}) {
        if (descriptor >= 0) close(descriptor);
    }
    // SIGCHLD as it was; SIGINT and SIGTERM stay held for the caller's reports.
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    if (!sigismember(&before, SIGCHLD)) sigprocmask(SIG_UNBLOCK, &child, nullptr);
    return interruptedBy;
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
