// The toolkit's font table and text rasteriser: faces found through fontconfig, glyphs rendered
// anti-aliased by FreeType and blended into a surface against what lies beneath.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Surface.h"

namespace flanger::gui {

constexpr int kFontCount = 8;

struct FontTableEntry {
    const char* face;
    int defaultSize;  // pixel height of the characters
};

// Font id → face and default size; id 0 is always bold.
const FontTableEntry& fontTableEntry(int fontId) noexcept;  // ids outside 0–7 read as 0

// What a canvas asks for after selectFont, in the terms the request was specified in.
struct FontRequest {
    int fontId = 0;
    const char* face = "Arial";
    int pixelSize = 12;  // character height (em), not cell height
    int weight = 700;    // 700 bold, 400 regular
    bool italic = false;
    bool underline = false;
    int pitchAndFamily = 0x22;  // 0x22 variable pitch sans-serif; 0x50 decorative (Symbol)
};

FontRequest makeFontRequest(int fontId, int size, int style) noexcept;

// The face file that a request resolves to, for tests and diagnostics.
struct ResolvedFace {
    std::string family;  // as fontconfig names it, e.g. "Liberation Sans"
    std::string file;
    bool bold = false;  // the file itself is bold (else bold is synthesised)
    bool italic = false;
};
ResolvedFace resolveFace(const FontRequest& request) noexcept;

struct TextMetrics {
    int ascent = 0;
    int descent = 0;
    int width = 0;  // sum of the glyph advances
    int height() const noexcept { return ascent + descent; }
};

// Measures one line of 8-bit (Windows-1252) text. All zero when no face can be loaded.
TextMetrics measureText(const FontRequest& request, const char* text) noexcept;

// Draws one line with its baseline at y = baseline starting at pen x, clipped to `clip`
// (and the surface), blending glyph coverage over the pixels beneath; adds damage.
void drawText(platform::Surface& target, const FontRequest& request, const char* text, int x, int baseline,
              std::uint32_t ink, const platform::PixelBox& clip) noexcept;

}  // namespace flanger::gui
