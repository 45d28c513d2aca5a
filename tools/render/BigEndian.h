// Big-endian reading and writing over byte spans, for the preset files. Readers never look
// past the span: a caller checks the offset first or takes the checked variants.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "host/BigEndian.h"

namespace flanger::tools {

inline std::optional<uint32_t> readU32BE(std::span<const uint8_t> bytes, size_t offset) noexcept {
    if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
    return host::readBigEndianWord(bytes.data() + offset);
}

inline std::optional<int32_t> readI32BE(std::span<const uint8_t> bytes, size_t offset) noexcept {
    const auto raw = readU32BE(bytes, offset);
    if (!raw) return std::nullopt;
    return static_cast<int32_t>(*raw);
}

inline std::optional<float> readFloatBE(std::span<const uint8_t> bytes, size_t offset) noexcept {
    const auto raw = readU32BE(bytes, offset);
    if (!raw) return std::nullopt;
    return std::bit_cast<float>(*raw);
}

inline void appendU32BE(std::vector<uint8_t>& out, uint32_t value) {
    unsigned char word[4];
    host::writeBigEndianWord(word, value);
    for (unsigned char byte : word) out.push_back(byte);
}

inline void appendI32BE(std::vector<uint8_t>& out, int32_t value) {
    appendU32BE(out, static_cast<uint32_t>(value));
}

inline void appendFloatBE(std::vector<uint8_t>& out, float value) {
    appendU32BE(out, std::bit_cast<uint32_t>(value));
}

}  // namespace flanger::tools
