// The JUnit XML report that CI systems read: one test suite, one test case per program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/runner/options.h"
#include "app/runner/result.h"
#include "host/output_file.h"

// Text for XML: markup escaped, control characters XML cannot hold (not \t \n \r) as '?',
// an invalid UTF-8 byte as U+FFFD, so the report is always well-formed UTF-8.
std::string xmlEscape(std::string_view text);
// One test case of the report: a FAIL is a failure, a LIMIT or ERROR an error; times are
// emulated seconds. It carries the summary's fields as its properties, the mismatches in
// its failure, the final screen and the trace in its system-out.
std::string junitTestCase(const RunResult& result);

// The counts on the report's suite.
struct JunitCounts {
    uint64_t tests = 0, failures = 0, errors = 0, cycles = 0;
    void add(const RunResult& result);
};
inline constexpr std::string_view kJunitSuiteName = "breadbin-run";
// The suite's name: "breadbin-run", with the shard when there is one ("breadbin-run shard
// 2/4"), so that the reports of a batch's shards merge.
std::string junitSuiteName(const Shard& shard);
// The report up to its first test case, and after its last.
std::string junitHead(const JunitCounts& counts, std::string_view suiteName);
inline constexpr std::string_view kJunitTail = "  </testsuite>\n</testsuites>\n";

// The whole report of `results`, one suite.
std::string junitReport(const std::vector<RunResult>& results,
                        std::string_view suiteName = kJunitSuiteName);

// The report of a batch, made as the results come (SpooledReport): each test case goes to
// a scratch file at once; the head with the counts goes first when the report is written.
class JunitReport {
public:
    bool start(std::string& error) { return spool_.start(error); }
    bool add(const RunResult& result, std::string& error);
    // Writes the report to `path` as a whole.
    bool write(const std::string& path, std::string_view suiteName, std::string& error);

private:
    SpooledReport spool_;
    JunitCounts counts_;
};
