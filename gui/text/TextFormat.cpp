// Locale-free number formatting and parsing and UTF-8-aware cutting for the text controls.
#include "gui/text/TextFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace flanger::gui::text {

void formatFixed(double value, int decimals, char* out, std::size_t capacity) noexcept {
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    if (std::isnan(value)) {
        std::snprintf(out, capacity, "%s", "nan");
        return;
    }
    if (std::isinf(value)) {
        std::snprintf(out, capacity, "%s", value < 0 ? "-inf" : "inf");
        return;
    }
    const auto result = std::to_chars(out, out + capacity - 1, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc{}) {
        out[0] = '\0';
        return;
    }
    *result.ptr = '\0';
}

std::optional<float> parseNumber(const char* text) noexcept {
    if (text == nullptr) return std::nullopt;
    char copy[kTextCapacity];
    std::size_t length = 0;
    while (text[length] != '\0' && length < kTextCapacity - 1) {
        copy[length] = text[length] == ',' ? '.' : text[length];
        ++length;
    }
    copy[length] = '\0';
    const char* begin = copy;
    const char* end = copy + length;
    while (begin < end && (*begin == ' ' || (*begin >= '\t' && *begin <= '\r'))) ++begin;
    bool negative = false;
    // from_chars takes no '+', and a '-' only in front of the digits; "%f" takes either.
    if (begin < end && (*begin == '+' || *begin == '-')) {
        negative = *begin == '-';
        ++begin;
        if (begin < end && (*begin == '+' || *begin == '-')) return std::nullopt;
    }
    float value = 0.0f;
    const auto result = std::from_chars(begin, end, value, std::chars_format::general);
    if (result.ptr == begin) return std::nullopt;
    if (result.ec == std::errc::result_out_of_range) {
        // Too large reads as infinite (later clamped), too small as zero, as "%f" gives.
        double wide = 0.0;
        std::from_chars(begin, end, wide, std::chars_format::general);
        value = std::fabs(wide) > 1.0 ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (result.ec != std::errc{}) {
        return std::nullopt;
    }
    if (std::isnan(value)) return std::nullopt;
    return negative ? -value : value;
}

namespace {
// Length of the valid UTF-8 sequence starting at p, or 1 for a byte that starts none.
std::size_t sequenceLength(const unsigned char* p, std::size_t left) noexcept {
    const unsigned char lead = p[0];
    std::size_t need = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        need = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        need = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        need = 4;
    if (need == 1 || need > left) return 1;
    for (std::size_t i = 1; i < need; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 1;
    }
    return need;
}
}  // namespace

std::size_t cutAtCharacter(const char* text, std::size_t length, std::size_t maxBytes) noexcept {
    if (text == nullptr) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t at = 0;
    while (at < length) {
        const std::size_t step = sequenceLength(bytes + at, length - at);
        if (at + step > maxBytes) break;
        at += step;
    }
    return at;
}

void copyText(TextBuffer& out, const char* text) noexcept {
    if (text == nullptr) text = "";
    const std::size_t length = cutAtCharacter(text, std::strlen(text), kTextCapacity - 1);
    std::memcpy(out.data(), text, length);
    out[length] = '\0';
}

}  // namespace flanger::gui::text
