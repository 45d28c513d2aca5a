// Number text that ignores the process locale: hosts call setlocale, and "2.5" must never read
// as 2.
#pragma once

#include <cstddef>
#include <optional>

namespace flanger::text {

// Like "%.<decimals>f" in the C locale; NaN and infinities as "nan", "inf", "-inf".
void formatFixed(double value, int decimals, char* out, std::size_t capacity) noexcept;

// Reads a leading number as "%f" would in the C locale, with every ',' taken as '.': too large
// reads as infinite, too small as 0. NaN is told apart from text that holds no number, so a
// caller can refuse it (it would survive every later clamp); value is 0 unless a number was read.
enum class NumberRead { Number, None, NotANumber };
NumberRead readNumber(const char* text, float& value) noexcept;

// readNumber's value, or nothing for text that holds no number or holds NaN.
std::optional<float> parseNumber(const char* text) noexcept;

}  // namespace flanger::text
