// Text across the VST3 boundary: UTF-16 strings of a fixed size, to and from the effect's
// byte texts (which are ASCII or Windows-1252, as the VST 2.x boundary is).
#pragma once

#include <cstddef>

#include "module/vst3/Vst3Interface.h"

namespace flanger::vst3 {

// Copies text into a buffer of capacity characters (at least one), always terminated.
inline void copyToUtf16(char16* out, std::size_t capacity, const char* text) noexcept {
    if (out == nullptr || capacity == 0) return;
    std::size_t n = 0;
    for (; text != nullptr && text[n] != 0 && n + 1 < capacity; ++n)
        out[n] = static_cast<char16>(static_cast<unsigned char>(text[n]));
    out[n] = 0;
}

// A host's UTF-16 text as bytes for the effect's text reader: characters beyond one byte cannot
// be part of any text the effect reads, so they become '?' and the reader refuses them.
inline bool copyFromUtf16(char* out, std::size_t capacity, const char16* text) noexcept {
    if (out == nullptr || capacity == 0 || text == nullptr) return false;
    std::size_t n = 0;
    for (; text[n] != 0; ++n) {
        if (n + 1 >= capacity) return false;  // longer than any value text
        out[n] = text[n] < 0x80 ? static_cast<char>(text[n]) : '?';
    }
    out[n] = 0;
    return true;
}

inline void copyBytes(char* out, std::size_t capacity, const char* text) noexcept {
    if (out == nullptr || capacity == 0) return;
    std::size_t n = 0;
    for (; text != nullptr && text[n] != 0 && n + 1 < capacity; ++n) out[n] = text[n];
    out[n] = 0;
}

}  // namespace flanger::vst3
