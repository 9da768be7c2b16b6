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
// The symbols of kernal.rom and basic.rom as 64tass writes them with -l ("name = $E000"),
// every one its source defines or includes (firmware_labels.h picks the routines').
extern const std::string_view kBuiltInKernalLabels;
extern const std::string_view kBuiltInBasicLabels;
