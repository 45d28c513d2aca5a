// The flanger's parameter text: note names, switch words, and numbers held to steps and ranges.
#include "params/ParameterText.h"

#include <algorithm>
#include <cmath>

#include "params/FlangerParameters.h"
#include "params/NoteTable.h"

namespace flanger::params {

namespace {

bool isSpace(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char lowerCase(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text, without its surrounding spaces, is name in any case, where each space of the
// name may be any number of spaces in the text, none included.
bool matchesName(const char* text, const char* name) noexcept {
    while (isSpace(*text)) ++text;
    for (; *name != '\0'; ++name) {
        if (*name == ' ') {
            while (isSpace(*text)) ++text;
            continue;
        }
        if (lowerCase(*text) != lowerCase(*name)) return false;
        ++text;
    }
    while (isSpace(*text)) ++text;
    return *text == '\0';
}

std::optional<float> switchWord(const char* text) noexcept {
    for (const char* word : {"on", "yes", "true"})
        if (matchesName(text, word)) return 1.0f;
    for (const char* word : {"off", "no", "false"})
        if (matchesName(text, word)) return 0.0f;
    return std::nullopt;
}

std::optional<float> noteName(const char* text) noexcept {
    for (int i = 0; i < kNoteCount; ++i)
        if (matchesName(text, noteNames[i])) return static_cast<float>(i);
    return std::nullopt;
}

}  // namespace

std::optional<float> readParameterText(const ParameterTable& table, int index, const char* text,
                                       NumberReader readNumber) noexcept {
    using P = FlangerParameters;
    if (text == nullptr || readNumber == nullptr || index < 0 || index >= table.count()) return std::nullopt;
    std::optional<float> value;
    if (index == P::kSwitch) value = switchWord(text);
    if (index == P::kSyncBeat) value = noteName(text);
    if (!value) value = readNumber(text, table.unit(index));
    if (!value || !std::isfinite(*value)) return std::nullopt;
    const float minimum = table.minimum(index);
    float plain = std::clamp(*value, minimum, table.maximum(index));
    // A stepped entry holds whole steps only: "0.5" for "Switch" must not leave the engine in
    // free mode while the host shows "on".
    if (isStepped(index) && table.step(index) > 0.0f) {
        const float step = table.step(index);
        plain = std::min(std::floor((plain - minimum) / step + 0.5f) * step + minimum, table.maximum(index));
    }
    return plain;
}

}  // namespace flanger::params
