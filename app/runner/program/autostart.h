// A disk image as a run's program: the image becomes drive 8, and the run starts the
// image's first program as LOAD"*",8,1 and RUN would, or the file --autostart names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads the program to autostart from the disk image at `path` into `programFile` (its
// load address, then its bytes): with `name` empty the image's first program (its first
// PRG in the directory's order), else the file that LOAD"NAME",8,1 loads, NAME in ASCII
// with letters of either case and the drive's wildcards. False, with one line in `error`,
// when the image holds no program, has no such file or cannot be read.
bool readAutostartFile(const std::string& path, const std::string& name,
                       std::vector<uint8_t>& programFile, std::string& error);
