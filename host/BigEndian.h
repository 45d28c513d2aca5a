// Chunk data is big-endian on every platform: these two helpers are the only way floats and
// words enter or leave a chunk.
#pragma once

#include <bit>
#include <cstdint>

namespace flanger::host {

inline uint32_t readBigEndianWord(const unsigned char* bytes) noexcept {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

inline void writeBigEndianWord(unsigned char* bytes, uint32_t word) noexcept {
    bytes[0] = static_cast<unsigned char>(word >> 24);
    bytes[1] = static_cast<unsigned char>(word >> 16);
    bytes[2] = static_cast<unsigned char>(word >> 8);
    bytes[3] = static_cast<unsigned char>(word);
}

inline float readBigEndianFloat(const unsigned char* bytes) noexcept {
    return std::bit_cast<float>(readBigEndianWord(bytes));
}

inline void writeBigEndianFloat(unsigned char* bytes, float value) noexcept {
    writeBigEndianWord(bytes, std::bit_cast<uint32_t>(value));
}

}  // namespace flanger::host
