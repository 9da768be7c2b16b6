// The JUnit XML report that CI systems read: one test suite, one test case per program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/runner/result.h"

// Text for XML: markup escaped, control characters XML cannot hold (not \t \n \r) as '?'.
std::string xmlEscape(std::string_view text);
// The report: a FAIL is a failure, a LIMIT or ERROR an error; times are emulated seconds.
std::string junitReport(const std::vector<RunResult>& results);
