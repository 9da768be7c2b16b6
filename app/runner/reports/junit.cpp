#include "app/runner/reports/junit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/runner/io/text.h"
#include "app/runner/reports/summary.h"
#include "machine/contract.h"

namespace {

// Emulated cycles as seconds, as JUnit's times are written.
std::string secondsText(uint64_t cycles) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f",
                  static_cast<double>(cycles) / static_cast<double>(kCyclesPerSecond));
    return text;
}

std::string attribute(std::string_view name, std::string_view value) {
    std::string text(" ");
    text.append(name).append("=\"").append(xmlEscape(value)).append("\"");
    return text;
}

// The summary's fields of a result.
std::string properties(const RunResult& result) {
    std::string lines;
    forEachResultField(result, [&](std::string_view name, const auto& value, unsigned uses) {
        if (!(uses & kSummarised)) return;
        lines += "        <property" + attribute("name", name) +
                 attribute("value", fieldText(value, uses).text) + "/>\n";
    });
    return "      <properties>\n" + lines + "      </properties>\n";
}

}  // namespace

std::string junitTestCase(const RunResult& result) {
    // A routine test is named by its name, in the class of its file.
    bool routineTest = !result.test.empty();
    std::string text = "    <testcase" +
                       attribute("name", routineTest ? result.test : result.program) +
                       attribute("classname", routineTest ? result.program : kJunitSuiteName) +
                       attribute("time", secondsText(result.cycles)) + ">\n";
    text += properties(result);
    if (result.verdict != Verdict::Pass) {
        std::string element(verdictInfo(result.verdict).junitElement);
        std::string type =
            result.verdict == Verdict::Error ? "error" : std::string(stopReasonName(result.stop));
        text += "      <" + element + attribute("message", result.message) +
                attribute("type", type) + ">" + xmlEscape(result.details) + "</" + element + ">\n";
    }
    if (!result.screen.empty() || !result.trace.empty())
        text += "      <system-out>" + xmlEscape(result.screen + result.trace) + "</system-out>\n";
    return text + "    </testcase>\n";
}

void JunitCounts::add(const RunResult& result) {
    tests += 1;
    std::string_view element = verdictInfo(result.verdict).junitElement;
    failures += element == "failure";
    errors += element == "error";
    cycles += result.cycles;
}

std::string junitSuiteName(std::string_view shard) {
    std::string name(kJunitSuiteName);
    if (!shard.empty()) name.append(" shard ").append(shard);
    return name;
}

std::string junitHead(const JunitCounts& counts, std::string_view suiteName) {
    std::string numbers = attribute("tests", std::to_string(counts.tests)) +
                          attribute("failures", std::to_string(counts.failures)) +
                          attribute("errors", std::to_string(counts.errors));
    std::string time = attribute("time", secondsText(counts.cycles));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + numbers + time +
           ">\n  <testsuite" + attribute("name", suiteName) + numbers + attribute("skipped", "0") +
           time + ">\n";
}

std::string junitReport(const std::vector<RunResult>& results, std::string_view suiteName) {
    JunitCounts counts;
    std::string cases;
    for (const RunResult& result : results) {
        counts.add(result);
        cases += junitTestCase(result);
    }
    return junitHead(counts, suiteName) + cases + std::string(kJunitTail);
}

bool JunitReport::add(const RunResult& result, std::string& error) {
    counts_.add(result);
    return spool_.add(junitTestCase(result), error);
}

bool JunitReport::write(const std::string& path, std::string_view suiteName, std::string& error) {
    return spool_.write(path, junitHead(counts_, suiteName), kJunitTail, error);
}
