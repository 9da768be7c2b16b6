#include "app/runner/junit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/runner/options.h"
#include "app/runner/outputs.h"
#include "host/output_file.h"

namespace {

std::string emulatedSeconds(uint64_t cycles) {
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

std::string xmlEscape(std::string_view text) {
    constexpr int32_t kReplacement = 0xFFFD;
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        int32_t codePoint = nextCodePoint(text, at);
        switch (codePoint) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\t':
            case '\n':
            case '\r': out += static_cast<char>(codePoint); break;
            case kInvalidByte: appendUtf8(out, kReplacement); break;
            default:
                // XML holds neither the other C0 controls nor U+FFFE and U+FFFF; DEL and
                // the C1 controls it holds but discourages.
                bool unfit = codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0) ||
                             codePoint == 0xFFFE || codePoint == 0xFFFF;
                if (unfit) {
                    out += '?';
                } else {
                    appendUtf8(out, codePoint);
                }
        }
    }
    return out;
}

std::string junitTestCase(const RunResult& result) {
    // A routine test is named by its name, in the class of its file.
    bool routineTest = !result.test.empty();
    std::string text = "    <testcase" +
                       attribute("name", routineTest ? result.test : result.program) +
                       attribute("classname", routineTest ? result.program : kJunitSuiteName) +
                       attribute("time", emulatedSeconds(result.cycles)) + ">\n";
    text += properties(result);
    if (result.verdict != Verdict::Pass) {
        std::string element = result.verdict == Verdict::Fail ? "failure" : "error";
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
    failures += result.verdict == Verdict::Fail;
    errors += result.verdict == Verdict::Limit || result.verdict == Verdict::Error;
    cycles += result.cycles;
}

std::string junitSuiteName(const Shard& shard) {
    std::string name(kJunitSuiteName);
    if (shard.given)
        name += " shard " + std::to_string(shard.index) + "/" + std::to_string(shard.count);
    return name;
}

std::string junitHead(const JunitCounts& counts, std::string_view suiteName) {
    std::string numbers = attribute("tests", std::to_string(counts.tests)) +
                          attribute("failures", std::to_string(counts.failures)) +
                          attribute("errors", std::to_string(counts.errors));
    std::string time = attribute("time", emulatedSeconds(counts.cycles));
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
