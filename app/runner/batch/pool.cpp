#include "app/runner/batch/pool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "app/runner/batch/wire.h"
#include "app/runner/io/output_file.h"
#include "app/runner/reports/counts.h"
#include "machine/counting.h"

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
        // A short read is the file's end as it stands: its writers only append.
        if (got < static_cast<ssize_t>(kReadChunk)) return true;
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

// Takes every job process that has ended, noting how; returns how many did.
std::size_t reapEnded(std::map<std::size_t, JobSlot>& slots) {
    std::size_t ended = 0;
    int waitStatus = 0;
    for (pid_t pid; (pid = waitpid(-1, &waitStatus, WNOHANG)) > 0;) {
        for (auto& [index, slot] : slots) {
            if (slot.pid != pid) continue;
            slot.pid = -1;
            slot.waitStatus = waitStatus;
            ++ended;
        }
    }
    return ended;
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
        running -= reapEnded(slots);
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
