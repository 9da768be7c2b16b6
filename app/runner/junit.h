// The JUnit XML report that CI systems read: one test suite, one test case per program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/runner/result.h"

// Text for XML: markup escaped, control characters XML cannot hold (not \t \n \r) as '?',
// an invalid UTF-8 byte as U+FFFD, so the report is always well-formed UTF-8.
std::string xmlEscape(std::string_view text);
// The report: a FAIL is a failure, a LIMIT or ERROR an error; times are emulated seconds.
// Each test case carries the summary's fields as its properties.
std::string junitReport(const std::vector<RunResult>& results);
