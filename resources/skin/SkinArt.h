// The skin artwork: one function per bitmap id (1000–1010), drawn with Cairo at 1:1.
// The layout follows the editor's control rectangles, which are repeated here as art positions.
#pragma once

#include <cstdint>

#include "resources/Palette.h"
#include "resources/skin/BmpWriter.h"

namespace flanger::resources::skin {

// The flat panel colour under every knob: the knob strip and the handles are blended against it,
// so their keyed draws show no fringe.
constexpr std::uint32_t kKnobPanel = palette::kPanel;
constexpr std::uint32_t kColourKey = 0xFFFFFF;

constexpr int kStripFrames = 65;
constexpr int kStripFrameSize = 42;

Picture drawAbout();         // 1000
Picture drawBackground();    // 1001
Picture drawFieldWide();     // 1002
Picture drawKnobStrip();     // 1003 (RGB here; stored paletted)
Picture drawKnobHandle();    // 1004
Picture drawSliderHandle();  // 1005
Picture drawDisplay();       // 1006
Picture drawFieldSmall();    // 1007
Picture drawFieldRate();     // 1008
Picture drawWidthBar();      // 1009
Picture drawLamp();          // 1010

}  // namespace flanger::resources::skin
