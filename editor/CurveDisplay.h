// A curve display: two curves of pixel offsets over a background picture, and a two-axis drag
// that moves a horizontal and a vertical value from the press point.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "gui/Color.h"
#include "gui/Control.h"

namespace flanger::editor {

class CurveDisplay : public gui::Control {
public:
    // Flag bits.
    static constexpr std::int32_t kDrawFirst = 1;
    static constexpr std::int32_t kDrawSecond = 2;
    static constexpr std::int32_t kDrawBaseline = 4;  // and close both curves to it

    // background may be null (the curves are drawn on black); flags is a set of the bits above.
    CurveDisplay(const gui::Rect& size, gui::ValueListener* listener, std::int32_t tag,
                 gui::SkinBitmap* background, std::int32_t flags);
    ~CurveDisplay() override;

    void draw(gui::Canvas& canvas) override;
    void onMouseDown(gui::Canvas& canvas, gui::Point where) override;

    // which 0: the first curve's colour; any other value: the second's (and the baseline's).
    virtual void setCurveColor(int which, gui::Color color);
    // Values around 0, drawn up to ±(height ÷ 2 − 1) pixels from the baseline; count is cut to
    // the sample count. The last entry is always 0.
    virtual void loadCentredCurve(int which, const float* values, int count);
    virtual void setScale(float factor);
    // Control tags under which drags report begin and end of edit; −1 for none.
    virtual void setEditTags(std::int32_t xTag, std::int32_t yTag);

    // Plain stores: the curve loads that follow redraw the display.
    void setHorizontal(float newValue) noexcept { horizontal.store(newValue, std::memory_order_relaxed); }
    void setVertical(float newValue) noexcept { vertical.store(newValue, std::memory_order_relaxed); }
    float getHorizontal() const noexcept { return horizontal.load(std::memory_order_relaxed); }
    float getVertical() const noexcept { return vertical.load(std::memory_order_relaxed); }

    gui::Color curveColor(int which) const noexcept;
    // The stored pixel offset of curve which at index (0 outside the buffer).
    float curveOffset(int which, int index) const noexcept;
    float getScale() const noexcept { return scale.load(std::memory_order_relaxed); }
    std::int32_t getFlags() const noexcept { return flags; }
    std::int32_t getSampleCount() const noexcept { return sampleCount; }
    std::int32_t getBaseline() const noexcept { return baseline; }
    std::int32_t getOriginX() const noexcept { return originX; }
    gui::Point getBackgroundOffset() const noexcept { return backgroundOffset; }
    std::int32_t xEditTag() const noexcept { return editTagX; }
    std::int32_t yEditTag() const noexcept { return editTagY; }
    std::int32_t displayWidth() const noexcept { return width; }
    std::int32_t displayHeight() const noexcept { return height; }

protected:
    // buffer[i] := −(reach × values[i]) for i < count (cut to the sample count), last entry 0.
    void loadScaledCurve(int which, const float* values, int count, float reach) noexcept;

private:
    void drawCurve(gui::Canvas& canvas, const std::atomic<float>* curve, gui::Color color,
                   float factor) const noexcept;

protected:
    // The curves and colours are written by the editor's curve update, on whatever thread the host
    // changes parameters from, and read by draw on the window thread: relaxed atomics, since a
    // curve only has to be whole once the loads are done, not in step with the other fields.
    std::atomic<gui::Color> firstColor{gui::colors::white};
    std::atomic<gui::Color> secondColor{gui::Color{180, 0, 0, 0}};
    gui::Point backgroundOffset;
    std::int32_t originX = 0;
    std::int32_t baseline;
    std::int32_t sampleCount = 0;  // 0 when the buffers could not be allocated
    std::unique_ptr<std::atomic<float>[]> firstCurve;
    std::unique_ptr<std::atomic<float>[]> secondCurve;
    std::atomic<float> scale{1.0f};
    std::int32_t flags;
    std::int32_t width;
    std::int32_t height;
    std::atomic<float> horizontal{0.0f};  // writers: drags (window thread), the editor's setters
    std::atomic<float> vertical{0.0f};    // readers: the editor's onValueChanged, the next drag
    std::int32_t editTagX = -1;
    std::int32_t editTagY = -1;
};

// The two-axis drag arithmetic: a value moved from its press value by a pointer offset at a given
// speed (1 ÷ display size, a third with Shift), kept in 0 … 1. A non-finite press value starts at 0.
float dragAxisValue(float pressValue, int pointerOffset, float perPixel) noexcept;

}  // namespace flanger::editor
