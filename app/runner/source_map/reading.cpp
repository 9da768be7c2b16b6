#include "app/runner/source_map/reading.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string expandTabs(std::string_view text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\t') {
            out.append(kTabSize - out.size() % kTabSize, ' ');
        } else if (ch != '\r') {
            out += ch;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool isHexText(std::string_view text, std::size_t digits) {
    return !text.empty() && text.size() <= digits &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

unsigned hexValue(std::string_view text) {
    unsigned value = 0;
    for (char c : text) {
        auto digit = static_cast<unsigned char>(c);
        value = value * 16 + (std::isdigit(digit) ? digit - '0' : std::tolower(digit) - 'a' + 10);
    }
    return value;
}

std::string sourcePath(const std::string& path, std::string_view name) {
    std::filesystem::path named(name);
    if (named.is_relative()) named = std::filesystem::path(path).parent_path() / named;
    return std::filesystem::absolute(named).lexically_normal().string();
}
