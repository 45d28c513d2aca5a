// Text controls drawn by a headless frame against PNG goldens in tests/golden/text/: displays in
// their styles, a number field, and the open edit box with its selection and its caret.
// FLANGER_REGENERATE_GOLDENS=1 rewrites them; a mismatch leaves actual and diff pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gui/text/TextField.h"
#include "tests/controls/ControlTestSupport.h"
#include "tools/screenshot/PngFile.h"

namespace flanger::gui::text {
namespace {

// Text is anti-aliased by the system's FreeType: a little slack per channel and pixel count.
void expectMatchesGolden(const platform::Surface& actual, const std::string& name) {
    const std::filesystem::path golden = std::filesystem::path(FLANGER_GOLDEN_DIR) / (name + ".png");
    const char* regenerate = std::getenv("FLANGER_REGENERATE_GOLDENS");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        ASSERT_TRUE(tools::writePng(golden.string(), actual));
        GTEST_SKIP() << "regenerated " << golden;
    }
    const auto expected = tools::readPng(golden.string());
    ASSERT_TRUE(expected.has_value()) << "missing golden " << golden;
    ASSERT_EQ(expected->width(), actual.width());
    ASSERT_EQ(expected->height(), actual.height());
    platform::Surface diff(actual.width(), actual.height());
    int over = 0;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const std::uint32_t a = actual.pixel(x, y), e = expected->pixel(x, y);
            const int d = std::max({std::abs(platform::redOf(a) - platform::redOf(e)),
                                    std::abs(platform::greenOf(a) - platform::greenOf(e)),
                                    std::abs(platform::blueOf(a) - platform::blueOf(e))});
            over += d > 24 ? 1 : 0;
            diff.setPixel(x, y, d > 24 ? 0xFF00FFu : (a >> 2) & 0x3F3F3Fu);
        }
    }
    if (over > 20) {
        const std::filesystem::path dir = FLANGER_ACTUAL_DIR;
        std::filesystem::create_directories(dir);
        tools::writePng((dir / (name + "-actual.png")).string(), actual);
        tools::writePng((dir / (name + "-diff.png")).string(), diff);
        ADD_FAILURE() << name << ": " << over << " pixels differ; see " << dir.string();
    }
}

void percent(float value, char* text) { std::snprintf(text, kTextCapacity, "%.1f %%", value); }

class TextGolden : public controls::testing::ControlFixture {
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
