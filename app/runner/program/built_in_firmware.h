// The project's own firmware images, built into the runner at build time, so that a
// program runs with no ROM files at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct BuiltInFile {
    std::string_view name;  // the name the machine opens it by
    const uint8_t* bytes;
    std::size_t size;
};

// kernal.rom, basic.rom and chargen.rom, generated from the build's firmware/ folder.
extern const std::array<BuiltInFile, 3> kBuiltInFirmware;
