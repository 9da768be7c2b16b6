// Runs a program as a subprocess with a time limit and collects what it printed, for the
// tests of breadbin-run.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

struct ProcessOutcome {
    int status = -1;        // the exit status, or -1 when it did not exit normally
    bool timedOut = false;  // killed at the time limit
    int signal = 0;         // the signal that ended it, if one did
    std::string out;        // standard output
    std::string err;        // standard error
};

// Runs `path` with `arguments` (argv[0] is `path`) in `folder` (empty: this process's
// working directory), waiting at most `seconds`.
inline ProcessOutcome runProcess(const std::string& path, const std::vector<std::string>& arguments,
                                 double seconds = 60, const std::string& folder = "") {
    ProcessOutcome outcome;
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return outcome;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        close(outPipe[1]);
        close(errPipe[1]);
        if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    pollfd streams[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* texts[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(streams, 2, static_cast<int>(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || !(streams[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(streams[i].fd);
                streams[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& stream : streams) {
        if (stream.fd >= 0) close(stream.fd);
    }
    int waitStatus = 0;
    waitpid(pid, &waitStatus, 0);
    if (WIFEXITED(waitStatus)) outcome.status = WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) outcome.signal = WTERMSIG(waitStatus);
    return outcome;
}
