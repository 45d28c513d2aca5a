// Value display: hook precedence and the box drawing shared by every text control.
#include "gui/text/ValueDisplay.h"

#include "gui/SkinBitmap.h"

namespace flanger::gui::text {

ValueDisplay::ValueDisplay(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                           SkinBitmap* bitmap, std::int32_t styleBits)
    : Control(bounds, valueListener, controlTag, bitmap), style(styleBits) {
    if ((static_cast<std::uint32_t>(style) & kNoDrawing) != 0) markDirty(false);
}

void ValueDisplay::formatValue(float shown, TextBuffer& out) const noexcept {
    if (formatterWithContext != nullptr) {
        callHook(out, [&](char* text) { formatterWithContext(shown, text, hookData); });
    } else if (formatter != nullptr) {
        callHook(out, [&](char* text) { formatter(shown, text); });
    } else {
        flanger::text::formatFixed(shown, 2, out.data(), out.size());
    }
}

void ValueDisplay::draw(Canvas& canvas) {
    TextBuffer text;
    formatValue(value, text);
    drawText(canvas, text.data(), nullptr);
}

void ValueDisplay::drawText(Canvas& canvas, const char* text, SkinBitmap* bitmap) {
    markDirty(false);
    const auto bits = static_cast<std::uint32_t>(style);
    if ((bits & kNoDrawing) != 0) return;
    const bool threeD = (bits & (kSunkenFrame | kRaisedFrame)) != 0;
    SkinBitmap* image = bitmap != nullptr ? bitmap : background;
    if (image != nullptr) {
        if (transparent)
            image->drawKeyed(canvas, size, backgroundOffset);
        else
            image->draw(canvas, size, backgroundOffset);
    } else if (!transparent) {
        canvas.setBrushColor(backColor);
        canvas.fillInterior(size);
        if (!threeD) {
            canvas.setPenColor(frameColor);
            canvas.outlineRect(size);
        }
    }
    if (threeD) {
        const bool sunken = (bits & kSunkenFrame) != 0;
        canvas.setPenColor(sunken ? backColor : frameColor);
        canvas.movePen({size.left, size.bottom});
        canvas.drawLineTo({size.left, size.top});
        canvas.drawLineTo({size.right + 1, size.top});
        canvas.setPenColor(sunken ? frameColor : backColor);
        canvas.movePen({size.right, size.top + 1});
        canvas.drawLineTo({size.right, size.bottom});
        canvas.drawLineTo({size.left, size.bottom});
    }
    if ((bits & kNoText) != 0 || text == nullptr) return;
    canvas.selectFont(font, 0, fontStyle);
    const int opaque = transparentText ? 0 : 1;
    if ((bits & kShadowText) != 0) {
        canvas.setTextInk(shadowColor);
        canvas.drawTextLine(text, size.movedBy(1, 1), opaque, align);
    }
    canvas.setTextInk(fontColor);
    canvas.drawTextLine(text, size, opaque, align);
}

void ValueDisplay::setFontId(std::int32_t id) {
    if (id == font) return;
    font = id;
    markDirty(true);
}

void ValueDisplay::setTextInk(Color color) {
    if (color.sameRgb(fontColor)) return;
    fontColor = color;
    markDirty(true);
}

void ValueDisplay::setBoxColor(Color color) {
    if (color.sameRgb(backColor)) return;
    backColor = color;
    markDirty(true);
}

void ValueDisplay::setOutlineColor(Color color) {
    if (color.sameRgb(frameColor)) return;
    frameColor = color;
    markDirty(true);
}

void ValueDisplay::setShadowInk(Color color) {
    if (color.sameRgb(shadowColor)) return;
    shadowColor = color;
    markDirty(true);
}

void ValueDisplay::setAlignment(std::int32_t newAlign) {
    if (newAlign == align) return;
    align = newAlign;
    markDirty(true);
}

void ValueDisplay::setValueFormatterWithContext(ValueFormatterWithContext hook, void* data) {
    formatterWithContext = hook;
    hookData = data;
}

void ValueDisplay::setStyleBits(std::int32_t bits) {
    if (bits == style) return;
    style = bits;
    markDirty(true);
}

void ValueDisplay::setFontStyle(std::int32_t bits) {
    if (bits == fontStyle) return;
    fontStyle = bits;
    markDirty(true);
}

}  // namespace flanger::gui::text
