// Number text that ignores the process locale (hosts call setlocale, and "2.5" must never read
// as 2), the 256-byte text buffers the text controls share, and cutting at a character boundary.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

namespace flanger::gui::text {

inline constexpr std::size_t kTextCapacity = 256;  // 255 bytes and the terminating zero
using TextBuffer = std::array<char, kTextCapacity>;

// Like "%.<decimals>f" in the C locale; NaN and infinities as "nan", "inf", "-inf".
void formatFixed(double value, int decimals, char* out, std::size_t capacity) noexcept;

// Reads a leading number as "%f" would in the C locale, with every ',' taken as '.'. No value
// for text that holds no number or holds NaN (NaN would survive every later clamp).
std::optional<float> parseNumber(const char* text) noexcept;

// The length of text cut to at most maxBytes without splitting a UTF-8 sequence; bytes that
// are not valid UTF-8 count as single characters (they are drawn as Latin-1).
std::size_t cutAtCharacter(const char* text, std::size_t length, std::size_t maxBytes) noexcept;

// Copies text (null = empty) into a buffer, cut to 255 bytes at a character boundary.
void copyText(TextBuffer& out, const char* text) noexcept;

}  // namespace flanger::gui::text
