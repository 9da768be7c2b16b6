#include "app/runner/io/text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::size_t kDumpBytesPerLine = 16;

bool readHexDigits(std::string_view digits, uint64_t& value) {
    if (digits.empty()) return false;
    auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return problem == std::errc{} && end == digits.data() + digits.size();
}

// How many of the first `bytes` bytes of `text` make whole UTF-8 sequences: the cut backs
// off over the continuation bytes (10xxxxxx) of a sequence it would split.
std::size_t wholeSequences(std::string_view text, std::size_t bytes) {
    std::size_t end = std::min(bytes, text.size());
    for (std::size_t back = 0; back < 3 && end > 0 && end < text.size() &&
                               (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80;
         ++back)
        --end;
    return end;
}
std::string byteLength(std::size_t bytes) { return " (" + std::to_string(bytes) + " bytes)"; }

}  // namespace

int32_t nextCodePoint(std::string_view text, std::size_t& at) {
    auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    constexpr int32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};  // below: overlong
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        ++at;
        return kInvalidByte;
    }
    int32_t codePoint = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        uint8_t next = byte(at + i);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return kInvalidByte;
        }
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || surrogate) {
        ++at;
        return kInvalidByte;
    }
    at += length;
    return codePoint;
}

void appendUtf8(std::string& out, int32_t codePoint) {
    auto put = [&](int32_t value) { out += static_cast<char>(value); };
    if (codePoint < 0x80) {
        put(codePoint);
    } else if (codePoint < 0x800) {
        put(0xC0 | codePoint >> 6);
        put(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        put(0xE0 | codePoint >> 12);
        put(0x80 | (codePoint >> 6 & 0x3F));
        put(0x80 | (codePoint & 0x3F));
    } else {
        put(0xF0 | codePoint >> 18);
        put(0x80 | (codePoint >> 12 & 0x3F));
        put(0x80 | (codePoint >> 6 & 0x3F));
        put(0x80 | (codePoint & 0x3F));
    }
}

std::string terminalText(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t start = at;
        int32_t codePoint = nextCodePoint(text, at);
        if (codePoint == '\n') {
            out += "\\n";
        } else if (codePoint == '\t') {
            out += "\\t";
        } else if (codePoint == '\r') {
            out += "\\r";
        } else if (codePoint == kInvalidByte || isControl(codePoint)) {
            // The bytes as they came: one escape each.
            for (std::size_t i = start; i < at; ++i)
                out += formatted("\\x%02x", unsigned{static_cast<uint8_t>(text[i])});
        } else {
            out.append(text.substr(start, at - start));
        }
    }
    return out;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        int32_t codePoint = nextCodePoint(text, at);
        switch (codePoint) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case kInvalidByte: out += "\\ufffd"; break;
            default:
                if (codePoint < 0x20 || codePoint == 0x7F) {
                    out += formatted("\\u%04x", static_cast<unsigned>(codePoint));
                } else {
                    appendUtf8(out, codePoint);
                }
        }
    }
    return out + "\"";
}

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
                bool unfit = isControl(codePoint) || codePoint == 0xFFFE || codePoint == 0xFFFF;
                if (unfit) {
                    out += '?';
                } else {
                    appendUtf8(out, codePoint);
                }
        }
    }
    return out;
}

std::string cutValue(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    return std::string(text.substr(0, wholeSequences(text, bytes))) + "..." +
           byteLength(text.size());
}

std::string quotedValue(std::string_view text, char mark) {
    if (text.size() <= kQuotedValueBytes) return mark + std::string(text) + mark;
    return mark + std::string(text.substr(0, wholeSequences(text, kQuotedValueBytes))) + "..." +
           mark + byteLength(text.size());
}

bool parseNumber(std::string_view text, uint64_t max, uint64_t& value) {
    uint64_t parsed = 0;
    bool ok = false;
    if (text.starts_with('$')) {
        ok = readHexDigits(text.substr(1), parsed);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        ok = readHexDigits(text.substr(2), parsed);
    } else if (!text.empty()) {
        auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), parsed, 10);
        ok = problem == std::errc{} && end == text.data() + text.size();
    }
    // from_chars takes no sign for unsigned numbers, but hex digits after the prefix could
    // still hold one ("$-1"): it fails there too, so a parsed value is always unsigned.
    if (!ok || parsed > max) return false;
    value = parsed;
    return true;
}

std::string hexByte(unsigned value) { return formatted("$%02X", value & 0xFF); }
std::string hexWord(unsigned value) { return formatted("$%04X", value & 0xFFFF); }

std::string hexDump(uint16_t address, const uint8_t* bytes, std::size_t length) {
    std::string out;
    for (std::size_t line = 0; line < length; line += kDumpBytesPerLine) {
        out += formatted("%04X:", static_cast<unsigned>((address + line) & 0xFFFF));
        for (std::size_t i = line; i < length && i < line + kDumpBytesPerLine; ++i) {
            out += formatted(" %02X", unsigned{bytes[i]});
        }
        out += '\n';
    }
    return out;
}

int petsciiOf(int32_t codePoint) {
    if (codePoint >= 'a' && codePoint <= 'z') return codePoint - ('a' - 'A');
    switch (codePoint) {
        case 0xA3: return 0x5C;    // pound sign
        case 0x2191: return 0x5E;  // up arrow
        case 0x2190: return 0x5F;  // left arrow
        default: break;
    }
    if (codePoint < 0x20 || codePoint > 0x5D || codePoint == 0x5C) return -1;
    return codePoint;
}

bool petsciiText(std::string_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    for (std::size_t at = 0; at < text.size();) {
        int byte = petsciiOf(nextCodePoint(text, at));
        if (byte < 0) return false;
        bytes.push_back(static_cast<uint8_t>(byte));
    }
    return true;
}
