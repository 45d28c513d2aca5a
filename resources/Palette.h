// The skin's colours as 0xRRGGBB, shared by the build-time artwork and what the editor draws in
// code, so an open edit box, a popup or a dimmed knob matches the bitmaps around it.
#pragma once

#include <cstdint>

namespace flanger::resources::palette {

// The chassis behind every section, a vertical gradient from top to bottom.
constexpr std::uint32_t kChassisTop = 0x1C252D;
constexpr std::uint32_t kChassisBottom = 0x131A20;

// The raised sections' flat face; every knob and handle sits on it (their edges are blended
// against it, so it must be exactly this).
constexpr std::uint32_t kPanel = 0x25303A;
constexpr std::uint32_t kPanelLight = 0x3A4955;  // a section's lit top-left edge
constexpr std::uint32_t kPanelDark = 0x10161B;   // its shaded bottom-right edge, sunken boxes' top-left

// Screens and number fields: their paper, their lit bottom-right edge and the display's grid.
constexpr std::uint32_t kScreen = 0x090E12;
constexpr std::uint32_t kScreenEdge = 0x33434F;
constexpr std::uint32_t kScreenGrid = 0x17232B;

constexpr std::uint32_t kLabel = 0x9DB1BF;     // section labels and major scale ticks
constexpr std::uint32_t kDimLabel = 0x5F7382;  // secondary lettering, minor ticks, greyed entries
constexpr std::uint32_t kTitle = 0xE6EEF2;     // the title and light text on the screens

// The accent (the stereo bar's colour) and its deep end, for value arcs, the lamp and picks.
constexpr std::uint32_t kAccent = 0x91E3EE;
constexpr std::uint32_t kAccentDeep = 0x387FB1;

}  // namespace flanger::resources::palette
