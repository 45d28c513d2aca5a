// The skin artwork: one function per bitmap id (1000–1010), drawn with Cairo at a whole-number
// scale of the design's pixels (1 for 1000–1010, 2 for 2000–2010). The layout follows the editor's
// control rectangles, which are repeated here as art positions in the design's pixels.
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
constexpr int kStripFrameSize = 42;  // design pixels

// Each picture is scale times the design's width and height; the knob strip's frame i takes
// rows kStripFrameSize * scale * i onwards.
Picture drawAbout(int scale);         // 1000
Picture drawBackground(int scale);    // 1001
Picture drawFieldWide(int scale);     // 1002
Picture drawKnobStrip(int scale);     // 1003 (RGB here; stored paletted)
Picture drawKnobHandle(int scale);    // 1004
Picture drawSliderHandle(int scale);  // 1005
Picture drawDisplay(int scale);       // 1006
Picture drawFieldSmall(int scale);    // 1007
Picture drawFieldRate(int scale);     // 1008
Picture drawWidthBar(int scale);      // 1009
Picture drawLamp(int scale);          // 1010

}  // namespace flanger::resources::skin
