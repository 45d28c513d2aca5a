// Text controls drawn by a headless frame against PNG goldens in tests/golden/text/: displays in
// their styles, a number field, and the open edit box with its selection and its caret.
// FLANGER_REGENERATE_GOLDENS=1 rewrites them; a mismatch leaves actual and diff pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gui/text/NumberField.h"
#include "gui/text/TextField.h"
#include "tests/controls/ControlTestSupport.h"
#include "tests/support/GoldenImage.h"
#include "tools/common/PngFile.h"

namespace flanger::gui::text {
namespace {

// Text is anti-aliased by the system's FreeType: a little slack per channel and pixel count.
void expectMatchesGolden(const platform::Surface& actual, const std::string& name) {
    testing::expectMatchesGolden(actual, FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, name, {24, 20});
}

void percent(float value, char* text) {
    std::snprintf(text, kTextCapacity, "%.1f %%", value);
}

class TextGolden : public testing::ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        pixels().fill({0, 0, 240, 240}, 0x404850u);
    }
    template <typename T>
    T* add(T* view) {
        view->setTextInk(colors::white);
        view->setBoxColor(Color{20, 30, 60, 0});
        view->setOutlineColor(colors::grey);
        frame->addChild(view);
        return view;
    }
    platform::Surface shot(const Rect& r) {
        frame->idle();
        platform::Surface out(r.width(), r.height());
        platform::copyBlock(pixels(), r.left, r.top, out, 0, 0, r.width(), r.height());
        return out;
    }
};

TEST_F(TextGolden, DisplaysInTheirStyles) {
    auto* flat = add(new ValueDisplay({10, 10, 90, 30}, nullptr, 1, nullptr, 0));
    flat->setValue(0.5f);
    auto* sunken = add(new ValueDisplay({10, 40, 90, 60}, nullptr, 2, nullptr, kSunkenFrame | kShadowText));
    sunken->setValueFormatter(&percent);
    sunken->setValue(42.0f);
    auto* raised = add(new ValueDisplay({10, 70, 90, 90}, nullptr, 3, nullptr, kRaisedFrame));
    raised->setAlignment(0);
    raised->setTextTransparent(false);
    raised->setValue(1.0f);
    expectMatchesGolden(shot({0, 0, 100, 100}), "value-displays");
}

TEST_F(TextGolden, NumberFieldAndTheOpenEditBox) {
    auto* number = add(new NumberField({10, 10, 90, 30}, &listener, 1, nullptr, nullptr, 0));
    number->setMax(100.0f);
    number->setValueFormatter(&percent);
    number->setValue(0.7f);
    auto* selected = add(new TextField({10, 40, 90, 60}, &listener, 2, "selected", nullptr, 0));
    add(new TextField({10, 70, 90, 90}, &listener, 3, "caret", nullptr, 0));
    frame->idle();
    press({50, 80});
    frame->onKeyPress({0, 9, 0});  // End: caret after the text, nothing selected
    // Only one box is open at a time: picture the caret, then the selection, side by side.
    const platform::Surface withCaret = shot({0, 0, 100, 100});
    press({50, 50});
    ASSERT_TRUE(selected->isEditing());
    platform::Surface both = shot({0, 0, 100, 100});
    platform::copyBlock(withCaret, 0, 65, both, 0, 65, 100, 35);
    expectMatchesGolden(both, "number-field-and-edit-box");
}

}  // namespace
}  // namespace flanger::gui::text
