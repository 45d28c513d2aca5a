// Locale-free number formatting and reading.
#include "text/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace flanger::text {

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

namespace {

// Whether a number too far from 1 for a float is huge (else it is tiny): its decimal exponent
// estimated from the digits before the point, the zeros after it and the written exponent.
bool isHuge(const char* begin, const char* end) noexcept {
    long digitsBefore = 0;
    long zerosAfter = 0;
    bool seenPoint = false;
    bool seenDigit = false;
    const char* at = begin;
    for (; at < end && ((*at >= '0' && *at <= '9') || *at == '.'); ++at) {
        if (*at == '.') {
            seenPoint = true;
        } else if (!seenPoint) {
            if (*at != '0' || seenDigit) ++digitsBefore;
            if (*at != '0') seenDigit = true;
        } else if (!seenDigit) {
            if (*at == '0')
                ++zerosAfter;
            else
                seenDigit = true;
        }
    }
    long exponent = 0;
    if (at < end && (*at == 'e' || *at == 'E')) {
        ++at;
        const bool negative = at < end && *at == '-';
        if (at < end && (*at == '-' || *at == '+')) ++at;
        for (; at < end && *at >= '0' && *at <= '9'; ++at)
            exponent = std::min(exponent * 10 + (*at - '0'), 100000L);
        if (negative) exponent = -exponent;
    }
    const long magnitude = exponent + (digitsBefore > 0 ? digitsBefore - 1 : -(zerosAfter + 1));
    return magnitude > 0;
}

}  // namespace

NumberRead readNumber(const char* text, float& value) noexcept {
    value = 0.0f;
    if (text == nullptr) return NumberRead::None;
    // Longer texts are read up to this many bytes: no number the parameters take needs more.
    constexpr std::size_t kLongest = 256;
    char copy[kLongest];
    std::size_t length = 0;
    while (text[length] != '\0' && length < kLongest - 1) {
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
        if (begin < end && (*begin == '+' || *begin == '-')) return NumberRead::None;
    }
    float parsed = 0.0f;
    const auto result = std::from_chars(begin, end, parsed, std::chars_format::general);
    if (result.ptr == begin) return NumberRead::None;
    if (result.ec == std::errc::result_out_of_range) {
        // Too large reads as infinite (later clamped or refused), too small as zero, as "%f" gives.
        parsed = isHuge(begin, result.ptr) ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (result.ec != std::errc{}) {
        return NumberRead::None;
    }
    if (std::isnan(parsed)) return NumberRead::NotANumber;
    value = negative ? -parsed : parsed;
    return NumberRead::Number;
}

std::optional<float> parseNumber(const char* text) noexcept {
    float value = 0.0f;
    if (readNumber(text, value) != NumberRead::Number) return std::nullopt;
    return value;
}

}  // namespace flanger::text
