// Text as the runner reads and writes it: UTF-8 from outside put in each report's form (a
// terminal line, JSON, XML), values quoted in messages, and numbers read and written the
// runner's way ($C000 and 0xC000 in hex, decimal otherwise).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// ---- text from outside (program names, files, screen texts) in each report's own form.
// One reading of UTF-8 serves them all: a byte that does not start a valid sequence
// (overlong forms and surrogates included) counts as one invalid byte.

inline constexpr int32_t kInvalidByte = -1;
// The code point that starts at text[at], moving `at` past it; kInvalidByte (moving one
// byte on) where the bytes there are not UTF-8.
int32_t nextCodePoint(std::string_view text, std::size_t& at);
// UTF-8 of a code point.
void appendUtf8(std::string& out, int32_t codePoint);
// The control characters: C0, DEL and C1. A terminal line escapes them and XML drops them.
constexpr bool isControl(int32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
}
// Text for a terminal line: control characters (newlines included) and invalid bytes
// written as escapes (\n, \t, \x1b, \xff), so the text stays on its line and sends no
// control sequence; the rest as it is.
std::string terminalText(std::string_view text);
// Text as a JSON string, quotes included: always valid UTF-8, C0 controls and DEL
// escaped, an invalid byte replaced by U+FFFD.
std::string jsonString(std::string_view text);
// Text for XML: markup escaped, control characters XML cannot hold (not \t \n \r) as '?',
// an invalid UTF-8 byte as U+FFFD, so the report is always well-formed UTF-8.
std::string xmlEscape(std::string_view text);

// How much of a value from outside a message quotes: its first kQuotedValueBytes bytes
// (without splitting a UTF-8 sequence), then "..." and the value's length, so that a
// message stays a line however long the value. Messages of the libraries that read the
// command line and the test files are cut the same way at kLibraryMessageBytes.
inline constexpr std::size_t kQuotedValueBytes = 64;
inline constexpr std::size_t kLibraryMessageBytes = 256;
// `text` cut as above at `bytes`: "abc", or "aaaa... (1000000 bytes)".
std::string cutValue(std::string_view text, std::size_t bytes = kQuotedValueBytes);
// `text` between two `mark`s, cut as above: 'abc', or 'aaaa...' (1000000 bytes).
std::string quotedValue(std::string_view text, char mark = '\'');

// The PETSCII byte of a character as the machine starts (upper case and signs): letters
// of either case are its letters ($41-$5A), the signs and digits of ASCII $20-$5D but the
// backslash are themselves, and the pound sign and the arrows up and left take their
// codes; -1 for a character that has none.
int petsciiOf(int32_t codePoint);
// UTF-8 text in those bytes; false at the first character without one.
bool petsciiText(std::string_view text, std::vector<uint8_t>& bytes);

// ---- numbers

// printf's formatting of `values` as a string, for the short fields of reports (a line of
// a trace or a dump, a JSON number); longer than 127 bytes, it is cut there.
template <class... Values>
std::string formatted(const char* format, Values... values) {
    char text[128];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// Reads an unsigned number up to `max`: $C000 or 0xC000 in hex, decimal otherwise.
bool parseNumber(std::string_view text, uint64_t max, uint64_t& value);
// "$C0" and "$C010".
std::string hexByte(unsigned value);
std::string hexWord(unsigned value);
// `length` bytes from `bytes`, shown from `address` on: 16 a line, "C000: A9 01 60".
std::string hexDump(uint16_t address, const uint8_t* bytes, std::size_t length);
