// The editor preview: the same bitmaps, positions and draw calls the editor's controls use,
// composed through a window canvas on the headless backend.
#include "tools/screenshot/EditorPicture.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "gui/Canvas.h"
#include "gui/SkinBitmap.h"
#include "platform/headless/HeadlessPlatform.h"
#include "resources/ModuleResources.h"

namespace flanger::tools {
namespace {

using gui::Canvas;
using gui::Point;
using gui::Rect;
using gui::SkinBitmap;

platform::Surface capture(void (*paint)(Canvas&, gui::BitmapSet&)) {
    platform::HeadlessPlatform headless;
    auto window = headless.createChildWindow(1, 370, 216);
    if (!window) return {};
    gui::BitmapSet bitmaps;
    bitmaps.load(1000, 11, 1001);
    {
        Canvas canvas(nullptr, &window->backing(), window.get());
        paint(canvas, bitmaps);
    }
    return static_cast<platform::HeadlessWindow&>(*window).screen();
}

void stripKnob(Canvas& canvas, SkinBitmap* strip, Rect size, float value) {
    // Frame ⌊value × (frames − 1)⌋ of the 42-pixel frames, colour-keyed over the background.
    const int frames = strip->getHeight() / size.height();
    const int frame = static_cast<int>(value * static_cast<float>(frames - 1));
    strip->drawKeyed(canvas, size, {0, frame * size.height()});
}

void rotaryKnob(Canvas& canvas, SkinBitmap* background, SkinBitmap* handle, Rect size, float value) {
    background->draw(canvas, size, {size.left, size.top});
    const float radius = static_cast<float>(size.width()) * 0.5f;
    const float inset = std::floor(static_cast<float>(handle->getWidth()) * 0.5f + 2.5f);
    const float angle = 3.9269908f + value * -4.712389f;
    const int h = static_cast<int>(radius + std::cos(angle) * (radius - inset) + 0.5f);
    const int v = static_cast<int>(radius - std::sin(angle) * (radius - inset) + 0.5f);
    const int left = size.left + h - handle->getWidth() / 2, top = size.top + v - handle->getHeight() / 2;
    handle->drawKeyed(canvas, {left, top, left + handle->getWidth(), top + handle->getHeight()}, {0, 0});
}

void fader(Canvas& canvas, SkinBitmap* handle, Rect size, float value) {
    const int travel = (size.bottom - handle->getHeight()) - size.top;
    const int top = size.top + static_cast<int>(static_cast<float>(travel) * (1.0f - value));
    handle->drawKeyed(canvas, {size.left, top, size.left + handle->getWidth(), top + handle->getHeight()},
                      {0, 0});
}

void numberField(Canvas& canvas, SkinBitmap* background, Rect size, const char* text, gui::Color ink) {
    background->draw(canvas, size, {0, 0});
    canvas.selectFont(6, 0, 0);
    canvas.setTextInk(ink);
    canvas.drawTextLine(text, size, 0, 1);
}

void paintEditor(Canvas& canvas, gui::BitmapSet& bitmaps) {
    SkinBitmap* background = bitmaps.getMain();
    if (background == nullptr) return;
    background->draw(canvas, {0, 0, background->getWidth(), background->getHeight()}, {0, 0});
    SkinBitmap* strip = bitmaps.get(1003);
    // Defaults: feedback, delay, depth and stereo at half, rate 1 Hz of 5.
    const float knobValues[5] = {0.5f, 0.5f, 0.5f, 0.5f, 0.2f};
    const int knobLefts[5] = {13, 63, 113, 163, 225};
    for (int i = 0; i < 5; ++i)
        stripKnob(canvas, strip, {knobLefts[i], 154, knobLefts[i] + 42, 196}, knobValues[i]);
    rotaryKnob(canvas, background, bitmaps.get(1004), {235, 47, 257, 69}, 0.0f);
    rotaryKnob(canvas, background, bitmaps.get(1004), {235, 102, 257, 124}, 0.0f);
    fader(canvas, bitmaps.get(1005), {333, 48, 345, 189}, 0.5f);
    fader(canvas, bitmaps.get(1005), {293, 48, 305, 189}, 1.0f);
    bitmaps.get(1010)->draw(canvas, {256, 140, 268, 152}, {0, 0});
    const gui::Color white = gui::colors::white;
    SkinBitmap* wide = bitmaps.get(1002);
    numberField(canvas, wide, {10, 139, 57, 151}, "50%", white);
    numberField(canvas, wide, {60, 139, 107, 151}, "50.0ms", white);
    numberField(canvas, wide, {110, 139, 157, 151}, "50%", white);
    numberField(canvas, wide, {160, 139, 207, 151}, "50%", white);
    numberField(canvas, bitmaps.get(1008), {222, 139, 253, 151}, "1.0Hz", white);
    numberField(canvas, wide, {222, 85, 269, 97}, "0", white);
    numberField(canvas, wide, {222, 29, 269, 41}, "1 x", gui::colors::grey);
    numberField(canvas, bitmaps.get(1007), {325, 30, 352, 43}, "50%", white);
    numberField(canvas, bitmaps.get(1007), {285, 30, 312, 43}, "100%", white);
}

void paintAbout(Canvas& canvas, gui::BitmapSet& bitmaps) {
    SkinBitmap* about = bitmaps.get(1000);
    if (about == nullptr) return;
    about->draw(canvas, {0, 0, about->getWidth(), about->getHeight()}, {0, 0});
    // The version line, read from the module's version block as the about area does.
    const resources::ResourceBytes block = resources::findResource(resources::ResourceKind::Version, 1);
    const void* value = nullptr;
    std::size_t length = 0;
    char version[64] = "";
    if (resources::queryVersionValue(block.data, block.size, "\\StringFileInfo\\000004e4\\FileVersion",
                                     &value, &length) &&
        length > 0 && length < sizeof version) {
        std::memcpy(version, value, length);
        version[length - 1] = 0;
    }
    char line[96];
    std::snprintf(line, sizeof line, "Version: %s", version);
    canvas.selectFont(3, 10, 0);
    canvas.setTextInk(gui::colors::white);
    canvas.drawTextLine(line, {144, 174, 215, 194}, 0, 0);
}

}  // namespace

platform::Surface renderEditorPreview() {
    return capture(paintEditor);
}
platform::Surface renderAboutPreview() {
    return capture(paintAbout);
}

}  // namespace flanger::tools
