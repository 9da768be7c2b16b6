// A batch's result encoding and the reports made of a result: any bytes as an encoded
// result, and the same bytes as a program's name and message. What decodes encodes back
// to the same result; the result line stays one line without control characters, the
// summary is JSON and the JUnit test case valid UTF-8 that XML can hold.
#include <nlohmann/json.hpp>
#include <string>

#include "app/runner/batch/wire.h"
#include "app/runner/io/text.h"
#include "app/runner/reports/junit.h"
#include "app/runner/reports/summary.h"
#include "fuzz_machine.h"

namespace {

bool validUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        if (nextCodePoint(text, at) == kInvalidByte) return false;
    }
    return true;
}

void checkReports(const RunResult& result) {
    std::string line = resultLine(result);
    for (char c : line) require(static_cast<uint8_t>(c) >= 0x20 && c != 0x7F);
    std::string json = summaryJson(result);
    require(validUtf8(json));
    nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    require(!parsed.is_discarded() && parsed["program"].is_string());
    std::string xml = junitTestCase(result);
    require(validUtf8(xml));
    for (std::size_t at = 0; at < xml.size();) {
        int32_t codePoint = nextCodePoint(xml, at);
        require(codePoint >= 0x20 || codePoint == '\t' || codePoint == '\n' || codePoint == '\r');
        require(codePoint != 0xFFFE && codePoint != 0xFFFF);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    RunResult decoded;
    if (decodeResult(bytes, decoded)) {
        RunResult again;
        require(decodeResult(encodeResult(decoded), again));
        require(encodeResult(again) == encodeResult(decoded));
        checkReports(decoded);
    }
    RunResult named;
    named.program = bytes;
    named.message = bytes;
    named.details = bytes;
    named.trace = bytes;
    named.screen = bytes;
    checkReports(named);
    return 0;
}
