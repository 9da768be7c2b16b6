// breadbin-run: runs 6502 test programs on the emulated machine without a display, for
// CI. It stops on a verdict or a limit, reports why and where, and writes the screen as
// text or PNG, a JSON summary, hex dumps and a JUnit report; see --help and
// app/runner/driver.h.
#include <string_view>
#include <vector>

#include "app/runner/driver.h"

int main(int argc, char** argv) {
    return runBreadbinRun(std::vector<std::string_view>(argv + 1, argv + argc), BREADBIN_VERSION);
}
