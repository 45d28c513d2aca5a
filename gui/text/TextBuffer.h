// The 256-byte text buffers the text controls share.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>

#include "text/TextCopy.h"

namespace flanger::gui::text {

inline constexpr std::size_t kTextCapacity = 256;  // 255 bytes and the terminating zero
using TextBuffer = std::array<char, kTextCapacity>;

// text (null: empty) into a buffer, cut to 255 bytes at a character boundary.
inline void assignText(TextBuffer& out, const char* text) noexcept {
    if (text == nullptr) text = "";
    flanger::text::copyText(out.data(), text,
                            flanger::text::cutAtCharacter(text, std::strlen(text), kTextCapacity - 1));
}

}  // namespace flanger::gui::text
