// The host-facing side of the bitmap-skinned editor base: the bitmap set, the default open
// that builds an empty frame, close, and the parameter table's editor bookkeeping at idle.
#pragma once

#include <cstdint>

#include "effect/ParameterTable.h"
#include "gui/Control.h"
#include "gui/SkinBitmap.h"
#include "host/FrameEditor.h"

namespace flanger::host {

class BitmapEditor : public FrameEditor, public gui::ValueListener {
public:
    BitmapEditor(ExtendedEffect* owner, effect::ParameterTable* parameters);
    ~BitmapEditor() override;

    void onValueChanged(gui::Canvas* /*canvas*/, gui::Control* /*control*/) override {}

    int32_t open(void* parent) override;
    void close() override;
    void idle() override;
    void parameterChanged(int32_t /*index*/, float /*normalised*/) override {}
    int32_t reserved() override { return 0; }
    void dataParameterChanged(int32_t /*index*/, const void* /*block*/, int32_t /*size*/, int32_t /*offset*/) override {}
    void sampleRateChanged(float /*rate*/) override {}

    gui::BitmapSet& bitmapSet() noexcept { return bitmaps; }
    bool controlsBuilt() const noexcept { return built; }
    effect::ParameterTable* parameterTable() const noexcept { return table; }

protected:
    effect::ParameterTable* table;
    gui::View* aboutArea = nullptr;  // the about splash, once the control factory adds one
    gui::BitmapSet bitmaps;
    bool built = false;
};

}  // namespace flanger::host
