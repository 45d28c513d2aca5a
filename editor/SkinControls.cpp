// The dimmed knob's fade and the lamp's one-frame draw.
#include "editor/SkinControls.h"

#include <algorithm>

#include "editor/EditorSkin.h"
#include "gui/controls/ControlDrawing.h"

namespace flanger::editor {

void DimmableKnob::draw(gui::Canvas& canvas) {
    RotaryKnob::draw(canvas);
    auto* surface = canvas.deviceContext();
    if (acceptsMouse() || surface == nullptr) return;
    const platform::PixelBox r = canvas.toDevice(size);
    // Only the round cap: the scale dots around it stay as the art has them.
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    const double reach = std::min(r.right - r.left, r.bottom - r.top) / 2.0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            if (dx * dx + dy * dy > reach * reach) continue;
            surface->setPixel(x, y, dimmed(surface->pixel(x, y)));
        }
    }
    surface->addDamage({r.left, r.top, r.right, r.bottom});
}

// Half way to grey, then a little over half way to the panel.
std::uint32_t DimmableKnob::dimmed(std::uint32_t rgb) {
    const int channels[3] = {static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                             static_cast<int>(rgb & 0xFF)};
    const int grey = (channels[0] * 30 + channels[1] * 59 + channels[2] * 11) / 100;
    const int panel[3] = {static_cast<int>(kSkinPanel >> 16), static_cast<int>((kSkinPanel >> 8) & 0xFF),
                          static_cast<int>(kSkinPanel & 0xFF)};
    std::uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        const int flat = (channels[i] + grey) / 2;
        out = (out << 8) | static_cast<std::uint32_t>(panel[i] + (flat - panel[i]) * 9 / 20);
    }
    return out;
}

void LampButton::draw(gui::Canvas& canvas) {
    if (background != nullptr) {
        const int frameHeight = background->getHeight() / 2;
        const gui::Rect shown{size.left, size.top, size.left + std::min(size.width(), background->getWidth()),
                              size.top + std::min(size.height(), frameHeight)};
        gui::controls::restoreFrameBackground(canvas, frame, size, size);
        const gui::Point source{0, gui::controls::showsOn(value) ? frameHeight : 0};
        gui::controls::drawBackground(canvas, background, shown, source, transparent);
    }
    markDirty(false);
}

}  // namespace flanger::editor
