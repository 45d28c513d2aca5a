// The bitmap-skinned editor base: the bitmap set, the default open that builds an empty frame,
// close, the parameter table's editor bookkeeping at idle, and the control factory that builds
// standard controls from bitmap ids, sizes them from the bitmaps and adds them to the frame.
#pragma once

#include <cstdint>

#include "gui/Color.h"
#include "gui/Control.h"
#include "gui/Geometry.h"
#include "gui/SkinBitmap.h"
#include "gui/editor/FrameEditor.h"
#include "params/ParameterTable.h"

namespace flanger::gui::controls {
class ToggleButton;
class MomentaryButton;
class RotaryKnob;
class StripKnob;
class VerticalLinearSlider;
class HorizontalLinearSlider;
class InfoSplash;
}  // namespace flanger::gui::controls

namespace flanger::gui::text {
class ValueDisplay;
class NumberField;
class TextField;
}  // namespace flanger::gui::text

namespace flanger::resources {
class VersionInfo;
}

namespace flanger::gui::editor {

using resources::VersionInfo;

class BitmapEditor : public FrameEditor, public gui::ValueListener {
public:
    // The font every text control made here uses.
    static constexpr std::int32_t kFactoryFontId = 6;
    // Bitmap id that stands for the set's main bitmap.
    static constexpr int kMainBitmap = -1;

    BitmapEditor(ExtendedEffect* owner, params::ParameterTable* parameters, PlatformOpener opener = nullptr);
    ~BitmapEditor() override;

    void onValueChanged(gui::Canvas* /*canvas*/, gui::Control* /*control*/) override {}

    int32_t open(void* parent) override;
    void close() override;
    void idle() override;
    void parameterChanged(int32_t /*index*/, float /*normalised*/) override {}
    int32_t reserved() override { return 0; }
    void dataParameterChanged(int32_t /*index*/, const void* /*block*/, int32_t /*size*/,
                              int32_t /*offset*/) override {}
    void sampleRateChanged(float /*rate*/) override {}

    // --- Formatting, reached by the text controls' hooks. text holds 256 bytes. ---
    virtual void formatValue(float value, char* text, std::int32_t tag);
    // Copies text (with its terminator) into out; answers its length + 1.
    virtual std::int32_t formatText(const char* text, char* out, std::int32_t tag);

    // --- Control factory. Each answers the frame's add result and hands the control out through
    // `out` (null when it could not be made or added). With add false the control is not put in
    // the frame: the call answers true and the caller owns the reference. The edit list (count
    // parameter indices) is registered only when count > 0 and indices is given. ---
    virtual bool addToggleButton(gui::controls::ToggleButton*& out, std::int32_t h, std::int32_t v,
                                 std::int32_t tag, int bitmapId, std::int32_t count,
                                 const std::int32_t* indices);
    virtual bool makeToggleButton(gui::controls::ToggleButton*& out, std::int32_t h, std::int32_t v,
                                  std::int32_t tag, int bitmapId, std::int32_t count,
                                  const std::int32_t* indices);
    virtual bool addMomentaryButton(gui::controls::MomentaryButton*& out, std::int32_t h, std::int32_t v,
                                    std::int32_t tag, int bitmapId, std::int32_t count,
                                    const std::int32_t* indices);
    virtual bool makeMomentaryButton(gui::controls::MomentaryButton*& out, std::int32_t h, std::int32_t v,
                                     std::int32_t tag, int bitmapId, std::int32_t count,
                                     const std::int32_t* indices);
    // From two corners.
    virtual bool addRotaryKnob(gui::controls::RotaryKnob*& out, const gui::Rect& corners, std::int32_t tag,
                               int pointerBitmapId, int backgroundId, std::int32_t count,
                               const std::int32_t* indices);
    // From a corner and an extent. The knob shows the background piece under it when it is
    // smaller than the background both ways, else the background from its origin.
    virtual bool addRotaryKnob(gui::controls::RotaryKnob*& out, gui::Point corner, std::int32_t width,
                               std::int32_t height, std::int32_t tag, int pointerBitmapId, int backgroundId,
                               std::int32_t count, const std::int32_t* indices);
    // Frames as tall as the control, as many as the strip holds.
    virtual bool addStripKnob(gui::controls::StripKnob*& out, const gui::Rect& size, std::int32_t tag,
                              int bitmapId, gui::Point offset, bool add, std::int32_t count,
                              const std::int32_t* indices);
    virtual bool addVerticalSlider(gui::controls::VerticalLinearSlider*& out, std::int32_t h, std::int32_t v,
                                   std::int32_t tag, int thumbId, int backgroundId, bool add,
                                   std::int32_t count, const std::int32_t* indices);
    virtual bool addHorizontalSlider(gui::controls::HorizontalLinearSlider*& out, std::int32_t h,
                                     std::int32_t v, std::int32_t tag, int thumbId, int backgroundId,
                                     bool add, std::int32_t count, const std::int32_t* indices);
    virtual bool addValueDisplay(gui::text::ValueDisplay*& out, const gui::Rect& size,
                                 void (*formatter)(float value, char* text));
    virtual bool addParameterDisplay(gui::text::ValueDisplay*& out, const gui::Rect& size, std::int32_t tag,
                                     bool add);
    virtual bool addNumberField(gui::text::NumberField*& out, const gui::Rect& size, std::int32_t tag,
                                std::int32_t count, const std::int32_t* indices);
    virtual bool addTextField(gui::text::TextField*& out, const gui::Rect& size, std::int32_t tag,
                              std::int32_t count, const std::int32_t* indices);
    // The about area: a click on size opens picture bitmapId over the editor; then setInfoTexts.
    virtual bool addInfoSplash(const gui::Rect& size, int bitmapId, const gui::Rect& versionRect,
                               const gui::Rect& legalTextRect, gui::Color color, std::int32_t alignment);
    // Writes the module's version texts into the about area (nothing without one).
    virtual void setInfoTexts(const gui::Rect& versionRect, const gui::Rect& legalTextRect, gui::Color color,
                              std::int32_t alignment);

    // The formatting hooks the text controls are given; data is the control itself.
    static void valueFormattingHook(float value, char* text, void* control);
    static void textFormattingHook(char* text, char* shown, void* control);

    gui::BitmapSet& bitmapSet() noexcept { return bitmaps; }
    bool controlsBuilt() const noexcept { return built; }
    params::ParameterTable* parameterTable() const noexcept { return table; }
    gui::controls::InfoSplash* infoSplash() const noexcept { return aboutArea; }

protected:
    // id −1: the main bitmap; null when the set has no such bitmap.
    gui::SkinBitmap* bitmapFor(int id) const noexcept;
    // Puts a made control into the frame (with its edit list when one is given), or releases
    // it when there is no frame to take it. False and out left null when it did not go in.
    bool addToFrame(gui::View* view, std::int32_t tag, std::int32_t count, const std::int32_t* indices);
    // Hands a made control out: to the caller alone when add is false, else once the frame took it.
    template <class C>
    bool handOut(C*& out, C* control, bool add, std::int32_t tag, std::int32_t count,
                 const std::int32_t* indices) {
        if (add && !addToFrame(control, tag, count, indices)) return false;
        out = control;
        return true;
    }
    // setInfoTexts with the version texts read from info.
    void setInfoTexts(const gui::Rect& versionRect, const gui::Rect& legalTextRect, gui::Color color,
                      std::int32_t alignment, const VersionInfo& info);

    params::ParameterTable* table;
    gui::controls::InfoSplash* aboutArea = nullptr;  // owned by the frame; cleared with it
    gui::BitmapSet bitmaps;
    bool built = false;
};

}  // namespace flanger::gui::editor
