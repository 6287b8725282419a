#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 as zlib's crc32() computes it (IEEE 802.3, reflected, initial and final XOR 0xFFFFFFFF).
// Pass the previous result as crc to continue over several pieces; start with 0.
std::uint32_t crc32Ieee(const unsigned char* data, std::size_t size, std::uint32_t crc = 0);
