// breadbin-run from its command line to its exit status: the options read, then one
// driver for programs and test files alike. A run is a list of jobs (a program, or a test
// file and its tests) each giving one or more results; the shard, the outputs, the counts,
// the reports (result lines, JUnit, the tests' summary) and the status are handled once,
// for one program run in this process as for a batch of processes.
#pragma once

#include <string_view>
#include <vector>

// Runs breadbin-run with `arguments` (without the program's name) and returns its exit
// status; `version` is what --version prints after the name.
int runBreadbinRun(const std::vector<std::string_view>& arguments, std::string_view version);
