// A splash area shows a picture over the editor while open: a click opens it as the frame's
// modal view, the next click closes it. InfoSplash also writes up to two lines of text on it.
#pragma once

#include <array>
#include <cstdint>

#include "gui/Color.h"
#include "gui/Control.h"

namespace flanger::gui::controls {

class SplashArea : public Control {
public:
    SplashArea(const Rect& size, ValueListener* listener, std::int32_t tag, SkinBitmap* background,
               const Rect& displayRect, Point pictureOffset);

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;
    bool offersEditorMenu() const override { return true; }

    const Rect& displayArea() const noexcept { return display; }
    bool isOpen() const noexcept { return open; }

protected:
    // The picture in the display rectangle, when open.
    void drawPicture(Canvas& canvas);

private:
    Rect display;
    Rect savedSize;
    Point offset;
    bool open = false;  // modal with the display rectangle as its size
};

class InfoSplash : public SplashArea {
public:
    static constexpr std::size_t kTextBytes = 128;

    struct TextSlot {
        std::array<char, kTextBytes> text{};
        Rect rect;
        Color color;
        std::int32_t alignment = 0;
        bool set = false;
    };

    InfoSplash(const Rect& size, ValueListener* listener, std::int32_t tag, SkinBitmap* background,
               const Rect& displayRect, Point pictureOffset);

    void draw(Canvas& canvas) override;

    // Fill a slot (text cut to 127 bytes) and mark it set; the first slot is drawn first.
    void setFirstText(const char* text, const Rect& rect, Color color, std::int32_t alignment);
    void setSecondText(const char* text, const Rect& rect, Color color, std::int32_t alignment);

    const TextSlot& firstText() const noexcept { return slots[0]; }
    const TextSlot& secondText() const noexcept { return slots[1]; }

private:
    void fill(TextSlot& slot, const char* text, const Rect& rect, Color color, std::int32_t alignment);

    std::array<TextSlot, 2> slots;
};

// Whether a text rectangle is meant to be used: right + bottom − left − top > 0.
bool hasPositiveExtent(const Rect& rect) noexcept;

// The about splash's texts: "Version: %s" with fileVersion in the second slot, "%s" with
// legalCopyright in the first, each only when its rectangle has a positive extent and its
// value exists (a missing value leaves the slot unset).
void fillInfoTexts(InfoSplash& splash, const Rect& versionRect, const Rect& legalRect, Color color,
                   std::int32_t alignment, const char* fileVersion, const char* legalCopyright);

}  // namespace flanger::gui::controls
