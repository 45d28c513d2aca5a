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

// A whole text that is one number as people type it: spaces around it, a point or a comma, and
// then, if unit is not empty, optionally that unit in any case ("2,5 hz"). Nothing for any other
// text, for NaN and for a number too large for a float, so a typo is never read as a value.
std::optional<float> readQuantity(const char* text, const char* unit) noexcept;

}  // namespace flanger::text
