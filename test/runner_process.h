// Runs a program as a subprocess with a time limit and collects what it printed, for the
// tests of breadbin-run.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

// A build under the sanitizers runs several times slower: every time limit here, which
// guards against a hang rather than measuring speed, stretches by the build's factor
// (add_breadbin_test defines it).
#ifndef BREADBIN_TEST_TIME_SCALE
#define BREADBIN_TEST_TIME_SCALE 1
#endif

// Whether this program runs under AddressSanitizer (GCC says so with a macro, clang
// through __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define BREADBIN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BREADBIN_UNDER_ASAN 1
#endif
#endif
#ifndef BREADBIN_UNDER_ASAN
#define BREADBIN_UNDER_ASAN 0
#endif

struct ProcessOutcome {
    int status = -1;         // the exit status, or -1 when it did not exit normally
    bool timedOut = false;   // killed at the time limit
    int signal = 0;          // the signal that ended it, if one did
    std::string out;         // standard output
    std::string err;         // standard error
    long peakKilobytes = 0;  // the largest resident set of the process or a run it waited for
};

// How the subprocess starts besides its arguments.
struct ProcessSetup {
    std::string folder;                    // its working directory; "": this process's
    std::vector<std::string> environment;  // NAME=value set on top of this process's
    std::string outputFile;                // standard output to this file instead of a pipe
};

inline ProcessSetup withEnvironment(std::vector<std::string> environment) {
    ProcessSetup setup;
    setup.environment = std::move(environment);
    return setup;
}
inline ProcessSetup outputTo(std::string file) {
    ProcessSetup setup;
    setup.outputFile = std::move(file);
    return setup;
}

// A subprocess under way, its standard output and error read through pipes.
struct RunningProcess {
    pid_t pid = -1;
    int out = -1;  // -1 once closed (or sent to a file)
    int err = -1;
    ProcessOutcome outcome;
};

// Starts `path` with `arguments` (argv[0] is `path`).
inline RunningProcess startProcess(const std::string& path,
                                   const std::vector<std::string>& arguments,
                                   const ProcessSetup& setup = {}) {
    RunningProcess process;
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return process;
    process.pid = fork();
    if (process.pid == 0) {
        int out = outPipe[1];
        if (!setup.outputFile.empty()) out = open(setup.outputFile.c_str(), O_WRONLY);
        dup2(out, STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        close(outPipe[1]);
        close(errPipe[1]);
        if (!setup.folder.empty() && chdir(setup.folder.c_str()) != 0) _exit(126);
        for (const std::string& variable : setup.environment)
            putenv(const_cast<char*>(variable.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    process.out = outPipe[0];
    process.err = errPipe[0];
    return process;
}

// Reads what the process prints until `until` holds for what its standard output holds
// so far, or both streams end, or `seconds` pass (then it is killed). Returns whether
// `until` came to hold.
template <class Until>
bool readProcess(RunningProcess& process, double seconds, Until until) {
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration<double>(seconds * BREADBIN_TEST_TIME_SCALE);
    int* fds[2] = {&process.out, &process.err};
    std::string* texts[2] = {&process.outcome.out, &process.outcome.err};
    for (;;) {
        if (until(process.outcome.out)) return true;
        pollfd streams[2] = {{*fds[0], POLLIN, 0}, {*fds[1], POLLIN, 0}};
        if (streams[0].fd < 0 && streams[1].fd < 0) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            process.outcome.timedOut = true;
            kill(process.pid, SIGKILL);
            return false;
        }
        if (poll(streams, 2, static_cast<int>(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || !(streams[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(*fds[i]);
                *fds[i] = -1;
            }
        }
    }
}

// Reads the rest of what the process prints and waits for its end, at most `seconds`.
inline ProcessOutcome finishProcess(RunningProcess& process, double seconds) {
    readProcess(process, seconds, [](const std::string&) { return false; });
    for (int* fd : {&process.out, &process.err}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    int waitStatus = 0;
    rusage usage{};
    wait4(process.pid, &waitStatus, 0, &usage);
    process.outcome.peakKilobytes = usage.ru_maxrss;
    if (WIFEXITED(waitStatus)) process.outcome.status = WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) process.outcome.signal = WTERMSIG(waitStatus);
    return process.outcome;
}

// Runs `path` with `arguments` (argv[0] is `path`) in `folder` (empty: this process's
// working directory), waiting at most `seconds`.
inline ProcessOutcome runProcess(const std::string& path, const std::vector<std::string>& arguments,
                                 double seconds = 60, const std::string& folder = "",
                                 ProcessSetup setup = {}) {
    if (!folder.empty()) setup.folder = folder;
    RunningProcess process = startProcess(path, arguments, setup);
    if (process.pid < 0) return {};
    return finishProcess(process, seconds);
}
