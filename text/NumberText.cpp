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

namespace {

// Longer texts are read up to this many bytes: no number the parameters take needs more.
constexpr std::size_t kLongest = 256;

bool isSpace(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char lowerCase(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads the leading number of a copy whose commas are points already; rest: where it ended.
NumberRead readLeading(const char* begin, const char* end, float& value, const char*& rest) noexcept {
    value = 0.0f;
    rest = begin;
    while (begin < end && isSpace(*begin)) ++begin;
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
    rest = result.ptr;
    return NumberRead::Number;
}

// A bounded copy with every ',' as '.'; its length, or kLongest when the text did not fit.
std::size_t copyWithPoints(const char* text, char (&copy)[kLongest]) noexcept {
    std::size_t length = 0;
    while (text[length] != '\0' && length < kLongest - 1) {
        copy[length] = text[length] == ',' ? '.' : text[length];
        ++length;
    }
    copy[length] = '\0';
    return text[length] == '\0' ? length : kLongest;
}

}  // namespace

NumberRead readNumber(const char* text, float& value) noexcept {
    value = 0.0f;
    if (text == nullptr) return NumberRead::None;
    char copy[kLongest];
    const std::size_t length = std::min(copyWithPoints(text, copy), kLongest - 1);
    const char* rest = nullptr;
    return readLeading(copy, copy + length, value, rest);
}

std::optional<float> readQuantity(const char* text, const char* unit) noexcept {
    if (text == nullptr) return std::nullopt;
    char copy[kLongest];
    const std::size_t length = copyWithPoints(text, copy);
    if (length == kLongest) return std::nullopt;
    const char* end = copy + length;
    float value = 0.0f;
    const char* at = nullptr;
    if (readLeading(copy, end, value, at) != NumberRead::Number || !std::isfinite(value)) return std::nullopt;
    while (at < end && isSpace(*at)) ++at;
    if (unit != nullptr && unit[0] != '\0') {
        const char* u = unit;
        const char* matched = at;
        while (*u != '\0' && matched < end && lowerCase(*matched) == lowerCase(*u)) {
            ++matched;
            ++u;
        }
        if (*u == '\0') at = matched;
    }
    while (at < end && isSpace(*at)) ++at;
    if (at != end) return std::nullopt;
    return value;
}

std::optional<float> parseNumber(const char* text) noexcept {
    float value = 0.0f;
    if (readNumber(text, value) != NumberRead::Number) return std::nullopt;
    return value;
}

}  // namespace flanger::text
