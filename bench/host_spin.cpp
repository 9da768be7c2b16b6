// Spins the host's per-stretch services (its service call, a key poll and a clock reading) on the
// headless host with its real clock for a number of seconds, to count the system calls the steps
// make:  strace -c -f breadbin_host_spin 2
#include <cstdio>
#include <cstdlib>

#include "host/host.h"

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    double start = clockSeconds();
    long long steps = 0;
    double now = start;
    while (now - start < seconds) {
        hostService();
        if (!pollKey().empty()) break;
        now = clockSeconds();
        ++steps;
    }
    std::printf("%lld steps in %.3f s: %.2f ns per step\n", steps, now - start,
                (now - start) * 1e9 / static_cast<double>(steps));
    return 0;
}
