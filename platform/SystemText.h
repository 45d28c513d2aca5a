// Text drawn by the window system's own rasteriser, for builds that carry no font library of
// their own (Windows: GDI). The module installs the backend's; the toolkit's fonts go through it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Surface.h"

namespace flanger::platform {

// A font as the toolkit asks for it: the face, the character height in pixels and the style.
struct SystemFont {
    const char* face = "Arial";
    int pixelSize = 12;
    int weight = 700;  // 700 bold, 400 regular
    bool italic = false;
    bool underline = false;
    int pitchAndFamily = 0x22;
};

struct SystemTextMetrics {
    int ascent = 0;
    int descent = 0;
    int width = 0;  // sum of the advances
};

class SystemText {
public:
    virtual ~SystemText() = default;
    // One line of 8-bit (Windows-1252) text; false when the font cannot be made.
    virtual bool measure(const SystemFont& font, const char* text, SystemTextMetrics& out) noexcept = 0;
    // Blends one line's grey-scale coverage in ink over target's pixels, baseline at y = baseline
    // from pen x, inside clip (already within the surface). Adds no damage: the caller does, from
    // the advance width it answers (0 when the font cannot be made).
    virtual int draw(Surface& target, const SystemFont& font, const char* text, int x, int baseline,
                     std::uint32_t ink, const PixelBox& clip) noexcept = 0;
    // The family the system draws the font with, e.g. "Liberation Sans"; empty when unknown.
    virtual std::string family(const SystemFont& /*font*/) noexcept { return {}; }
};

// The Unicode character of a Windows-1252 byte (the toolkit's texts are 8-bit); 0 for the five
// bytes the code page leaves unassigned.
std::uint32_t windows1252CodePoint(unsigned char byte) noexcept;

// Null until a module installs one; text is then neither measured nor drawn.
SystemText* systemText() noexcept;
void setSystemText(SystemText* text) noexcept;

}  // namespace flanger::platform
