#include "app/runner/junit.h"

#include <cstdio>

#include "app/runner/options.h"
#include "app/runner/outputs.h"

namespace {

constexpr std::string_view kSuiteName = "breadbin-run";

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

std::string junitReport(const std::vector<RunResult>& results) {
    int failures = 0;
    int errors = 0;
    uint64_t cycles = 0;
    std::string cases;
    for (const RunResult& result : results) {
        cycles += result.cycles;
        cases += "    <testcase" + attribute("name", result.program) +
                 attribute("classname", kSuiteName) +
                 attribute("time", emulatedSeconds(result.cycles)) + ">\n";
        cases += properties(result);
        if (result.verdict != Verdict::Pass) {
            std::string element = result.verdict == Verdict::Fail ? "failure" : "error";
            (result.verdict == Verdict::Fail ? failures : errors) += 1;
            std::string type = result.verdict == Verdict::Error
                                   ? "error"
                                   : std::string(stopReasonName(result.stop));
            cases += "      <" + element + attribute("message", result.message) +
                     attribute("type", type) + ">" + xmlEscape(result.details) + "</" + element +
                     ">\n";
        }
        if (!result.screen.empty())
            cases += "      <system-out>" + xmlEscape(result.screen) + "</system-out>\n";
        cases += "    </testcase>\n";
    }
    std::string counts = attribute("tests", std::to_string(results.size())) +
                         attribute("failures", std::to_string(failures)) +
                         attribute("errors", std::to_string(errors));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<testsuites" +
           counts + attribute("time", emulatedSeconds(cycles)) +
           ">\n"
           "  <testsuite" +
           attribute("name", kSuiteName) + counts + attribute("skipped", "0") +
           attribute("time", emulatedSeconds(cycles)) + ">\n" + cases +
           "  </testsuite>\n"
           "</testsuites>\n";
}
