// Text where the module carries no font library (Windows): measured and drawn by the window
// system's rasteriser that the module installed (platform/SystemText.h).
#include <algorithm>

#include "gui/Fonts.h"
#include "platform/SystemText.h"

namespace flanger::gui {
namespace {

platform::SystemFont systemFont(const FontRequest& request) noexcept {
    platform::SystemFont font;
    font.face = request.face;
    font.pixelSize = std::max(1, request.pixelSize);
    font.weight = request.weight;
    font.italic = request.italic;
    font.underline = request.underline;
    font.pitchAndFamily = request.pitchAndFamily;
    return font;
}

}  // namespace

ResolvedFace resolveFace(const FontRequest& request) noexcept {
    ResolvedFace face;
    if (platform::SystemText* text = platform::systemText()) {
        try {
            face.family = text->family(systemFont(request));
        } catch (...) {
        }
    }
    face.bold = request.weight >= 700;
    face.italic = request.italic;
    return face;
}

TextMetrics measureText(const FontRequest& request, const char* text) noexcept {
    TextMetrics metrics;
    platform::SystemText* system = platform::systemText();
    platform::SystemTextMetrics measured;
    if (system == nullptr || !system->measure(systemFont(request), text != nullptr ? text : "", measured))
        return metrics;
    metrics.ascent = measured.ascent;
    metrics.descent = measured.descent;
    metrics.width = measured.width;
    return metrics;
}

void drawText(platform::Surface& target, const FontRequest& request, const char* text, int x, int baseline,
              std::uint32_t ink, const platform::PixelBox& clip) noexcept {
    platform::SystemText* system = platform::systemText();
    if (text == nullptr || system == nullptr) return;
    const platform::PixelBox box = clip.intersect({0, 0, target.width(), target.height()});
    if (box.empty()) return;
    system->draw(target, systemFont(request), text, x, baseline, ink, box);
    const TextMetrics metrics = measureText(request, text);
    target.addDamage(
        {x - 2, baseline - request.pixelSize * 2, x + metrics.width + 2, baseline + request.pixelSize});
}

}  // namespace flanger::gui
