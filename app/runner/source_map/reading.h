// What the source map's readers share: a text file's lines with their numbers, tabs laid
// out as the assemblers lay them out, and the paths of the sources a file names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Tabs stop every kTabSize columns in every listing the readers take.
inline constexpr std::size_t kTabSize = 8;

// The lines of `text`, without their line ends ("\n" or "\r\n").
std::vector<std::string_view> splitLines(std::string_view text);
// `text` with its tabs turned into spaces, and without trailing white space or '\r'.
std::string expandTabs(std::string_view text);
// `text` without blanks (spaces, tabs, '\r') at either end.
std::string_view trimmed(std::string_view text);
// Whether `text` is 1 to `digits` hex digits.
bool isHexText(std::string_view text, std::size_t digits);
// The value of hex digits that isHexText accepted.
unsigned hexValue(std::string_view text);
// A source file as a file at `path` names it: relative names from the folder that file
// is in (where the tools that write these files ran), as an absolute, normal path.
std::string sourcePath(const std::string& path, std::string_view name);
