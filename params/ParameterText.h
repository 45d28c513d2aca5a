// What a text typed for one of the flanger's parameters means, for every path that takes one:
// the host's text entry, the editor's number fields and the render tool's settings.
#pragma once

#include <optional>

#include "params/ParameterTable.h"

namespace flanger::params {

// Reads a whole text as one number in a unit (optional in the text); nothing when it is not one.
// The number grammar lives with the other number text, above this layer, so callers pass it in.
using NumberReader = std::optional<float> (*)(const char* text, const char* unit) noexcept;

// The plain value a text gives an entry of a table holding the flanger's entries, or nothing
// when it does not read (the caller then keeps the value as it was). Note names for "SyncBeat"
// in any case, with or without their space ("1/8 T", "1/8t"); "on"/"off", "yes"/"no",
// "true"/"false" for "Switch"; otherwise a number in the entry's own unit, held to its range
// and, for the stepped entries, rounded to the nearest step.
std::optional<float> readParameterText(const ParameterTable& table, int index, const char* text,
                                       NumberReader readNumber) noexcept;

}  // namespace flanger::params
