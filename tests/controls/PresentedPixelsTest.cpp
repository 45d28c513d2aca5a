// What a knob drag presents, counted in pixels on the headless window: only the rectangles of
// the views that changed (the knob, and a display the editor echoes its value into), never the
// area between them; and an idle with nothing changed presents nothing at all.
#include <gtest/gtest.h>

#include "gui/KnobMode.h"
#include "gui/controls/RotaryKnob.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::controls {
namespace {

using testing::ControlFixture;

// Pixels a control at this size rectangle draws: its edges are inclusive.
long long drawnArea(const Rect& r) {
    return static_cast<long long>(r.right - r.left + 1) * (r.bottom - r.top + 1);
}

// Echoes every change of the dragged knob into a second control, as an editor moves the
// number display beside a knob.
struct EchoListener : ValueListener {
    Control* echo = nullptr;
    void onValueChanged(Canvas*, Control* control) override {
        if (echo != nullptr) echo->setValue(control->getValue());
    }
};

class PresentedPixels : public ControlFixture {
protected:
    static constexpr Rect kDragged{100, 100, 140, 140};
    static constexpr Rect kStill{10, 10, 50, 50};
    static constexpr Rect kEcho{190, 200, 230, 220};

    void SetUp() override {
        ControlFixture::SetUp();
        setKnobMode(0);
        // Solid dials: a knob repaints its whole rectangle, as a skinned one does.
        SkinBitmap* dial = testing::solidBitmap(41, 41, 0x405060);
        dragged = new RotaryKnob(kDragged, &listener, 1, dial, nullptr, {0, 0});
        still = new RotaryKnob(kStill, &listener, 2, dial, nullptr, {0, 0});
        echo = new RotaryKnob(kEcho, &listener, 3, dial, nullptr, {0, 0});
        dial->release();
        for (Control* control : {dragged, still, echo}) ASSERT_TRUE(frame->addChild(control));
        dragged->setListener(&echoing);
        frame->idle();  // everything drawn once: from now on only changes are dirty
    }
    void TearDown() override { ControlFixture::TearDown(); }

    // Drags the knob round from the top through the given points; answers the presents it made.
    int drag() {
        dragged->setValue(0.0f);
        echo->setValue(0.0f);
        frame->idle();
        presentsBefore = window->presentCount();
        pixelsBefore = window->presentedPixels();
        press({120, 100}, {{{130, 102}}, {{137, 110}}, {{140, 120}}});
        return window->presentCount() - presentsBefore;
    }

    EchoListener echoing;
    RotaryKnob* dragged = nullptr;
    RotaryKnob* still = nullptr;
    RotaryKnob* echo = nullptr;
    int presentsBefore = 0;
    long long pixelsBefore = 0;
};

TEST_F(PresentedPixels, ADragStepPresentsOnlyTheKnob) {
    const int presents = drag();
    ASSERT_GT(presents, 0);
    EXPECT_GT(dragged->getValue(), 0.0f);
    const long long presented = window->presentedPixels() - pixelsBefore;
    EXPECT_GE(presented, presents * 40LL * 40LL) << "the knob's whole face is shown";
    EXPECT_LE(presented, presents * drawnArea(kDragged)) << "only the knob is shown";
}

TEST_F(PresentedPixels, AKnobAndItsEchoFarApartPresentTheirTwoRectanglesNotTheAreaBetween) {
    echoing.echo = echo;
    const int presents = drag();
    ASSERT_GT(presents, 0);
    EXPECT_FLOAT_EQ(echo->getValue(), dragged->getValue());
    const long long presented = window->presentedPixels() - pixelsBefore;
    EXPECT_LE(presented, presents * (drawnArea(kDragged) + drawnArea(kEcho)));
    // One box round both would be 131 × 121 pixels per present.
    EXPECT_LT(presented, presents * 5000LL);
}

TEST_F(PresentedPixels, IdleWithNothingChangedPresentsNothing) {
    const int presents = window->presentCount();
    const long long pixels = window->presentedPixels();
    for (int i = 0; i < 50; ++i) frame->idle();
    EXPECT_EQ(window->presentCount(), presents);
    EXPECT_EQ(window->presentedPixels(), pixels);
}

}  // namespace
}  // namespace flanger::gui::controls
