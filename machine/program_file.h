// A program file, as the test hook loads it and the runner reads it: a two-byte load
// address, low byte first, then the bytes that go there.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kLoadAddressBytes = 2;

// The load address that opens a program file of at least kLoadAddressBytes bytes.
inline uint16_t loadAddressOf(const uint8_t* file) {
    return static_cast<uint16_t>(file[0] | file[1] << 8);
}
