// Files that the runner reads whole: ROM images, programs, label files, listings and test
// files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads the file at `path` into `bytes`; false, with one line in `error`, when it cannot
// be read, is a folder or is over 1 MiB.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
// The same for a text file, its bytes as they are.
bool readTextFile(const std::string& path, std::string& text, std::string& error);
// `path` as seen from the folder of the file `base`: unchanged when absolute.
std::string relativeTo(const std::string& base, const std::string& path);
