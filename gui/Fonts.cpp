// The toolkit's font table and the requests made from it, the same on every system.
#include "gui/Fonts.h"

#include <cstdlib>

namespace flanger::gui {
namespace {

constexpr FontTableEntry kFontTable[kFontCount] = {
    {"Arial", 12}, {"Arial", 18}, {"Arial", 14}, {"Arial", 12},
    {"Arial", 11}, {"Arial", 10}, {"Arial", 9},  {"Symbol", 13},
};

}  // namespace

const FontTableEntry& fontTableEntry(int fontId) noexcept {
    return kFontTable[(fontId < 0 || fontId >= kFontCount) ? 0 : fontId];
}

FontRequest makeFontRequest(int fontId, int size, int style) noexcept {
    FontRequest request;
    request.fontId = (fontId < 0 || fontId >= kFontCount) ? 0 : fontId;
    const FontTableEntry& entry = kFontTable[request.fontId];
    request.face = entry.face;
    request.pixelSize = size == 0 ? entry.defaultSize : std::abs(size);
    request.weight = (request.fontId == 0 || (style & 1) != 0) ? 700 : 400;
    request.italic = (style & 2) != 0;
    request.underline = (style & 4) != 0;
    request.pitchAndFamily = request.fontId == 7 ? 0x50 : 0x22;
    return request;
}

}  // namespace flanger::gui
