#include "app/runner/batch/wire.h"

#include <charconv>

void appendField(std::string& out, std::string_view value) {
    out += std::to_string(value.size());
    out += ':';
    out += value;
}

bool takeField(std::string_view& in, std::string_view& value) {
    std::size_t colon = in.find(':');
    if (colon == std::string_view::npos) return false;
    std::size_t length = 0;
    auto [end, problem] = std::from_chars(in.data(), in.data() + colon, length);
    if (problem != std::errc{} || end != in.data() + colon || length > in.size() - colon - 1)
        return false;
    value = in.substr(colon + 1, length);
    in.remove_prefix(colon + 1 + length);
    return true;
}

namespace {

void appendNumber(std::string& out, uint64_t value) { appendField(out, std::to_string(value)); }

template <class Number>
bool takeNumber(std::string_view& in, Number& number) {
    std::string_view text;
    uint64_t value = 0;
    if (!takeField(in, text)) return false;
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc{} || end != text.data() + text.size()) return false;
    number = static_cast<Number>(value);
    return true;
}

bool takeString(std::string_view& in, std::string& text) {
    std::string_view value;
    if (!takeField(in, value)) return false;
    text = value;
    return true;
}

// Each kind of field as text in the encoding, and back.
void encodeValue(std::string& out, const std::string& text) { appendField(out, text); }
void encodeValue(std::string& out, uint64_t number) { appendNumber(out, number); }
void encodeValue(std::string& out, Verdict verdict) {
    appendNumber(out, static_cast<uint64_t>(verdict));
}
void encodeValue(std::string& out, StopReason stop) {
    appendNumber(out, static_cast<uint64_t>(stop));
}
void encodeValue(std::string& out, int exitByte) {
    appendNumber(out, static_cast<uint64_t>(exitByte + 1));  // -1, none, is 0
}
void encodeValue(std::string& out, const std::vector<std::string>& lines) {
    appendNumber(out, lines.size());
    for (const std::string& line : lines) appendField(out, line);
}
void encodeValue(std::string& out, const std::vector<StopwatchTimes>& times) {
    appendNumber(out, times.size());
    for (const StopwatchTimes& t : times) {
        for (uint64_t value : {t.id, t.count, t.min, t.max, t.total}) appendNumber(out, value);
    }
}
void encodeValue(std::string& out, const CpuState& r) {
    for (unsigned value : {unsigned{r.regA}, unsigned{r.regX}, unsigned{r.regY}, unsigned{r.regS},
                           unsigned{r.regP}, unsigned{r.regPC}}) {
        appendNumber(out, value);
    }
}

bool decodeValue(std::string_view& in, std::string& text) { return takeString(in, text); }
bool decodeValue(std::string_view& in, uint64_t& number) { return takeNumber(in, number); }
bool decodeValue(std::string_view& in, Verdict& verdict) {
    return takeNumber(in, verdict) && static_cast<std::size_t>(verdict) < kVerdictCount;
}
bool decodeValue(std::string_view& in, StopReason& stop) {
    return takeNumber(in, stop) && static_cast<std::size_t>(stop) < kStopReasonCount;
}
bool decodeValue(std::string_view& in, int& exitByte) {
    if (!takeNumber(in, exitByte)) return false;
    exitByte -= 1;
    return true;
}
bool decodeValue(std::string_view& in, std::vector<std::string>& lines) {
    uint64_t count = 0;
    if (!takeNumber(in, count) || count > in.size()) return false;
    lines.resize(count);
    for (std::string& line : lines) {
        if (!takeString(in, line)) return false;
    }
    return true;
}
bool decodeValue(std::string_view& in, std::vector<StopwatchTimes>& times) {
    uint64_t count = 0;
    if (!takeNumber(in, count) || count > in.size()) return false;
    times.resize(count);
    for (StopwatchTimes& t : times) {
        for (uint64_t* value : {&t.id, &t.count, &t.min, &t.max, &t.total}) {
            if (!takeNumber(in, *value)) return false;
        }
    }
    return true;
}
bool decodeValue(std::string_view& in, CpuState& r) {
    return takeNumber(in, r.regA) && takeNumber(in, r.regX) && takeNumber(in, r.regY) &&
           takeNumber(in, r.regS) && takeNumber(in, r.regP) && takeNumber(in, r.regPC);
}

}  // namespace

std::string encodeResult(const RunResult& result) {
    std::string out;
    forEachResultField(result, [&](std::string_view, const auto& value, unsigned uses) {
        if (uses & kEncoded) encodeValue(out, value);
    });
    return out;
}

bool decodeResult(std::string_view bytes, RunResult& result) {
    RunResult decoded;
    bool ok = true;
    forEachResultField(decoded, [&](std::string_view, auto& value, unsigned uses) {
        if (ok && (uses & kEncoded)) ok = decodeValue(bytes, value);
    });
    if (!ok || !bytes.empty()) return false;
    result = std::move(decoded);
    return true;
}
