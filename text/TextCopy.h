// The one bounded text copy every host buffer and text control goes through, and cutting a
// text at a UTF-8 character boundary.
#pragma once

#include <cstddef>

namespace flanger::text {

// Copies at most maxBytes bytes of source (null: empty) into destination and terminates it, so
// destination needs maxBytes + 1 bytes. Never reads source beyond maxBytes bytes.
void copyText(char* destination, const char* source, std::size_t maxBytes) noexcept;

// The length of text cut to at most maxBytes without splitting a UTF-8 sequence; bytes that
// are not valid UTF-8 count as single characters (they are drawn as Latin-1).
std::size_t cutAtCharacter(const char* text, std::size_t length, std::size_t maxBytes) noexcept;

}  // namespace flanger::text
