// Number field: a real value kept in the field's text, the drag that steps it, and typed entry.
#include "gui/text/NumberField.h"

#include <cmath>
#include <cstring>
#include <optional>

#include "gui/FrameView.h"

namespace flanger::gui::text {

namespace {
// The parse-and-reformat display hook a number field starts with.
void reformatAsNumber(char* text, char* shown) {
    const float parsed = flanger::text::parseNumber(text).value_or(0.0f);
    flanger::text::formatFixed(parsed, 1, shown, kTextCapacity);
}
}  // namespace

NumberField::NumberField(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                         const char* initialText, SkinBitmap* bitmap, std::int32_t styleBits)
    : TextField(bounds, valueListener, controlTag, initialText, bitmap, styleBits) {
    textFormatter = &reformatAsNumber;
}

void NumberField::setValueFormatterWithContext(ValueFormatterWithContext hook, void* data) {
    numberFormatterWithContext = hook;
    numberHookData = data;
}

void NumberField::clampReal(float& real) const {
    if (real > maximum)
        real = maximum;
    else if (real < minimum)
        real = minimum;
    else if (std::isnan(real))
        real = minimum;  // shown as the minimum, never carried on
}

void NumberField::setTypedTextReader(TypedTextReader reader, void* data) {
    typedReader = reader;
    typedReaderData = data;
}

bool NumberField::takeTypedText(const char* typed) {
    // The text the edit began with (Escape, or nothing typed) is no change, whatever it reads as.
    if (std::strcmp(typed, content.data()) == 0) return false;
    syncFromText();
    const float before = value;
    float real = 0.0f;
    if (typedReader != nullptr) {
        if (!typedReader(typed, real, tag, typedReaderData)) return false;
    } else if (const std::optional<float> number = flanger::text::parseNumber(typed)) {
        real = *number;
    } else {
        return false;
    }
    value = real;
    clampReal(value);
    if (numberFormatter != nullptr || numberFormatterWithContext != nullptr) {
        writeText();
    } else {
        // Without a hook the typed text is all there is to show.
        storeText(typed);
        writtenText = content;
        textFromValue = true;
    }
    return value != before;
}

float NumberField::normalised(float real) const noexcept {
    const float span = maximum - minimum;
    // An empty range has one value: report its bottom rather than divide by zero.
    if (!(span != 0.0f) || !std::isfinite(span)) return 0.0f;
    return (real - minimum) / span;
}

void NumberField::syncFromText() const {
    if (textFromValue && std::strcmp(writtenText.data(), content.data()) == 0) return;
    float real = flanger::text::parseNumber(content.data()).value_or(0.0f);
    clampReal(real);
    // getValue is const in the base; this object is never const itself.
    auto* self = const_cast<NumberField*>(this);
    self->value = real;
    self->writtenText = content;
    self->textFromValue = true;
}

void NumberField::writeText() {
    TextBuffer text{};
    if (numberFormatter != nullptr) {
        callHook(text, [&](char* out) { numberFormatter(value, out); });
    } else if (numberFormatterWithContext != nullptr) {
        callHook(text, [&](char* out) { numberFormatterWithContext(value, out, numberHookData); });
    }
    storeText(text.data());
    writtenText = content;
    // Without a hook the empty text is all there is: the value reads back from it (the minimum).
    textFromValue = numberFormatter != nullptr || numberFormatterWithContext != nullptr;
}

float NumberField::getValue() const {
    syncFromText();
    return normalised(value);
}

void NumberField::setValue(float x) {
    value = minimum + (maximum - minimum) * x;
    clampReal(value);
    writeText();
}

float NumberField::getRealValue() {
    syncFromText();
    return value;
}

void NumberField::setRealValue(float real) {
    value = real;
    clampReal(value);
    writeText();
}

void NumberField::setFontSize(std::int32_t newSize) {
    if (newSize > 0) sizeOfFont = newSize;
    for (int id = 0; id < kFontCount; ++id) {
        if (fontTableEntry(id).defaultSize == sizeOfFont) setFontId(id);
    }
}

void NumberField::setSteps(float coarseStep, float fineStep) {
    coarse = coarseStep;
    fine = fineStep;
}

void NumberField::draw(Canvas& canvas) {
    if (box != nullptr) {
        TextField::draw(canvas);
        return;
    }
    syncFromText();
    TextBuffer text;
    if (numberFormatter != nullptr) {
        callHook(text, [&](char* out) { numberFormatter(value, out); });
    } else if (numberFormatterWithContext != nullptr) {
        callHook(text, [&](char* out) { numberFormatterWithContext(value, out, numberHookData); });
    } else {
        flanger::text::formatFixed(value, 2, text.data(), text.size());
    }
    drawText(canvas, text.data(), nullptr);
}

void NumberField::dragStep(Canvas& canvas, std::int32_t /*h*/, std::int32_t v, std::int32_t /*lastH*/,
                           std::int32_t lastV) {
    // From the real value, not the text read back: the text's rounding would swallow fine steps.
    const float current = normalised(value);
    const std::uint32_t buttons = canvas.readButtons();
    float next = getDefaultValue();
    if (buttons != kResetClick) {
        const float step = buttons == (kPrimaryButton | kShiftKey) ? fine : coarse;
        next = current - static_cast<float>(v - lastV) * step;
    }
    setValue(next);
    dragged = true;
}

void NumberField::focusLost(Canvas* canvas) {
    if (box == nullptr) return;
    syncFromText();
    TextField::focusLost(canvas);
}

void NumberField::onMouseDown(Canvas& canvas, Point /*where*/) {
    dragged = false;
    if (pressInOpenBox(canvas)) return;
    if (!mouseEnabled) return;
    const std::uint32_t buttons = canvas.readButtons();
    notifyEditStart();
    if ((buttons & kPrimaryButton) != 0) {
        const bool dragging = (static_cast<std::uint32_t>(style) & kVerticalDrag) != 0;
        if (dragging && frame != nullptr && frame->focusView() == nullptr) {
            if ((buttons & kControlKey) != 0) setValue(getDefaultValue());
            frame->setCursor(platform::kCursorSizeNorthSouth);
            redrawIfDirty(canvas);
            Point last;
            canvas.currentPointer(last);
            while ((canvas.readButtons() & kPrimaryButton) != 0) {
                Point now;
                canvas.readPointer(now);
                if (now != last) {
                    dragStep(canvas, now.h, now.v, last.h, last.v);
                    last = now;
                    redrawIfDirty(canvas);
                    if (listener != nullptr) listener->onValueChanged(&canvas, this);
                }
                refreshDuringDrag();
            }
            if (listener != nullptr) listener->onValueChanged(&canvas, this);
        }
        if (frame != nullptr) frame->setCursor(platform::kCursorDefault);
        Point at;
        canvas.currentPointer(at);
        const bool inside = size.contains(at);
        if (inside && frame != nullptr && frame->focusView() != this && (buttons & kControlKey) == 0 &&
            !dragged) {
            frame->setFocusView(this);
            focusGained(&canvas);
        }
    }
    notifyEditEnd();
}

}  // namespace flanger::gui::text
