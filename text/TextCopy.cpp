// The bounded text copy and cutting at a UTF-8 character boundary.
#include "text/TextCopy.h"

#include <cstring>

namespace flanger::text {

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

void copyText(char* destination, const char* source, std::size_t maxBytes) noexcept {
    if (destination == nullptr) return;
    if (source == nullptr) {
        destination[0] = 0;
        return;
    }
    const std::size_t length = strnlen(source, maxBytes);
    std::memcpy(destination, source, length);
    destination[length] = 0;
}

}  // namespace flanger::text
