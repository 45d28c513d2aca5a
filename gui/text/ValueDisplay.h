// A control that shows its value as one line of text in a styled box: fill, outline or 3D
// edges, optional shadow text, formatted through hooks the owner installs.
#pragma once

#include <cstdint>

#include "gui/Color.h"
#include "gui/Control.h"
#include "gui/text/TextBuffer.h"
#include "text/NumberText.h"

namespace flanger::gui::text {

// Hooks write at most 255 bytes and the terminating zero into text.
using ValueFormatter = void (*)(float value, char* text);
using ValueFormatterWithContext = void (*)(float value, char* text, void* data);
using TextParser = void (*)(char* text, float* value);

enum DisplayStyle : std::uint32_t {
    kShadowText = 0x4,
    kSunkenFrame = 0x80,
    kRaisedFrame = 0x100,
    kNoText = 0x800,
    kNoDrawing = 0x1000,
    kDoubleClickToEdit = 0x2000,
    kVerticalDrag = 0x80000000u,
};

class ValueDisplay : public Control {
public:
    ValueDisplay(const Rect& size, ValueListener* listener, std::int32_t tag, SkinBitmap* background,
                 std::int32_t style);

    void draw(Canvas& canvas) override;

    virtual void setFontId(std::int32_t id);
    virtual void setTextInk(Color color);
    virtual void setBoxColor(Color color);
    virtual void setOutlineColor(Color color);
    virtual void setShadowInk(Color color);
    virtual void setAlignment(std::int32_t align);
    virtual void setBackgroundOffset(Point offset) { backgroundOffset = offset; }
    virtual void setValueFormatterWithContext(ValueFormatterWithContext hook, void* data);
    virtual void setValueFormatter(ValueFormatter hook) { formatter = hook; }
    virtual void setTextParser(TextParser hook) { parser = hook; }
    virtual void setStyleBits(std::int32_t bits);
    virtual void setFontStyle(std::int32_t bits);
    virtual void setTextTransparent(bool on) { transparentText = on; }

    // Background, frame and text in the display's style, over bitmap when given.
    void drawText(Canvas& canvas, const char* text, SkinBitmap* bitmap);

    std::int32_t styleBits() const noexcept { return style; }
    std::int32_t fontId() const noexcept { return font; }
    std::int32_t alignment() const noexcept { return align; }
    Color textInk() const noexcept { return fontColor; }

protected:
    // The value's text: the hook with data, else the plain hook, else "%2.2f".
    void formatValue(float shown, TextBuffer& out) const noexcept;

    ValueFormatter formatter = nullptr;
    ValueFormatterWithContext formatterWithContext = nullptr;
    TextParser parser = nullptr;  // kept for derived classes; never called here
    void* hookData = nullptr;
    std::int32_t align = 1;
    std::int32_t style;
    std::int32_t font = 3;
    std::int32_t fontStyle = 0;
    Color fontColor = colors::white;
    Color backColor = colors::black;
    Color frameColor = colors::black;
    Color shadowColor = colors::red;
    Point backgroundOffset;
    bool transparentText = true;
};

// Runs a hook into a zeroed buffer and forces the terminator, so a hook that writes nothing
// leaves empty text and one that overruns 255 bytes is still cut.
template <typename Call>
void callHook(TextBuffer& out, Call&& call) {
    out.fill('\0');
    call(out.data());
    out[kTextCapacity - 1] = '\0';
}

}  // namespace flanger::gui::text
