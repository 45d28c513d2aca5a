// A text field that keeps a number in its text, shows it through hooks and can be dragged.
#pragma once

#include <cstdint>

#include "gui/text/TextBuffer.h"
#include "gui/text/TextField.h"

namespace flanger::gui::text {

// Reads a typed text into the field's real value; false refuses the text. tag: the field's.
using TypedTextReader = bool (*)(const char* text, float& real, std::int32_t tag, void* data);

class NumberField : public TextField {
public:
    NumberField(const Rect& size, ValueListener* listener, std::int32_t tag, const char* initialText,
                SkinBitmap* background, std::int32_t style);

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;
    void focusLost(Canvas* canvas) override;
    void setValue(float normalised) override;
    float getValue() const override;
    void setValueFormatter(ValueFormatter hook) override { numberFormatter = hook; }
    void setValueFormatterWithContext(ValueFormatterWithContext hook, void* data) override;

    // Typed text goes through reader; without one, through the leading number of the text. A
    // refused text leaves the value and shows the old text again.
    void setTypedTextReader(TypedTextReader reader, void* data);

    virtual float getRealValue();
    virtual void setRealValue(float real);
    virtual void setFontSize(std::int32_t size);
    virtual void setSteps(float coarse, float fine);
    virtual void dragStep(Canvas& canvas, std::int32_t h, std::int32_t v, std::int32_t lastH,
                          std::int32_t lastV);
    virtual void clampReal(float& real) const;

    bool wasDragged() const noexcept { return dragged; }
    float coarseStep() const noexcept { return coarse; }
    float fineStep() const noexcept { return fine; }
    std::int32_t fontSize() const noexcept { return sizeOfFont; }

protected:
    bool takeTypedText(const char* typed) override;

private:
    // The real value the text holds: re-read only when the text is not the one the value was
    // last written as, so fine drag steps are not lost to the text's rounding.
    void syncFromText() const;
    void writeText();
    float normalised(float real) const noexcept;

    ValueFormatter numberFormatter = nullptr;
    ValueFormatterWithContext numberFormatterWithContext = nullptr;
    void* numberHookData = nullptr;
    TypedTextReader typedReader = nullptr;
    void* typedReaderData = nullptr;
    float coarse = 0.01f;
    float fine = 0.0015f;
    std::int32_t sizeOfFont = 10;
    bool dragged = false;
    TextBuffer writtenText{};  // the text as the value last wrote it
    bool textFromValue = false;
};

}  // namespace flanger::gui::text
