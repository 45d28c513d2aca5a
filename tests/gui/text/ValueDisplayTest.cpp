// Value display: which hook formats the value, the no-drawing style's dirty rule, box edges.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "gui/text/ValueDisplay.h"
#include "platform/Surface.h"

namespace flanger::gui::text {
namespace {

constexpr std::uint32_t kPaper = 0x00102030;

class CapturingDisplay : public ValueDisplay {
public:
    using ValueDisplay::ValueDisplay;
    std::string shownText() {
        TextBuffer text;
        formatValue(value, text);
        return text.data();
    }
};

class ValueDisplayTest : public ::testing::Test {
protected:
    platform::Surface surface{80, 60, kPaper};
    Canvas canvas{nullptr, &surface, nullptr};
    Color at(int x, int y) const { return Color::fromPixel(surface.pixel(x, y)); }
};

TEST_F(ValueDisplayTest, HookWithDataWinsOverThePlainHookWhichWinsOverTheDefault) {
    CapturingDisplay display({10, 10, 50, 30}, nullptr, 1, nullptr, 0);
    display.setValue(0.5f);
    EXPECT_EQ(display.shownText(), "0.50");
    display.setValueFormatter(
        [](float v, char* text) { std::snprintf(text, kTextCapacity, "plain %d", int(v * 10)); });
    EXPECT_EQ(display.shownText(), "plain 5");
    static int data = 7;
    display.setValueFormatterWithContext(
        [](float, char* text, void* d) {
            std::snprintf(text, kTextCapacity, "ctx %d", *static_cast<int*>(d));
        },
        &data);
    EXPECT_EQ(display.shownText(), "ctx 7");
}

TEST_F(ValueDisplayTest, AHookThatWritesNothingGivesEmptyText) {
    CapturingDisplay display({10, 10, 50, 30}, nullptr, 1, nullptr, 0);
    display.setValueFormatter([](float, char*) {});
    EXPECT_EQ(display.shownText(), "");
}

TEST_F(ValueDisplayTest, NoDrawingStyleStartsCleanAndDrawsNothing) {
    CapturingDisplay display({10, 10, 50, 30}, nullptr, 1, nullptr, kNoDrawing);
    EXPECT_FALSE(display.needsRedraw());
    display.setValue(0.3f);
    EXPECT_TRUE(display.needsRedraw());
    display.draw(canvas);
    EXPECT_FALSE(display.needsRedraw());
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) ASSERT_EQ(surface.pixel(x, y), kPaper);
}

TEST_F(ValueDisplayTest, SunkenAndRaisedEdgesSwapBackAndFrameColours) {
    for (const auto style : {kSunkenFrame, kRaisedFrame}) {
        surface.fill({0, 0, 80, 60}, kPaper);
        CapturingDisplay display({10, 10, 50, 30}, nullptr, 1, nullptr, style | kNoText);
        display.setBoxColor(colors::blue);
        display.setOutlineColor(colors::green);
        display.draw(canvas);
        const Color light = style == kSunkenFrame ? colors::blue : colors::green;
        const Color dark = style == kSunkenFrame ? colors::green : colors::blue;
        EXPECT_EQ(at(30, 10), light) << "top, style " << style;
        EXPECT_EQ(at(10, 20), light) << "left";
        EXPECT_EQ(at(30, 30), dark) << "bottom";
        EXPECT_EQ(at(50, 20), dark) << "right";
        EXPECT_EQ(at(30, 20), colors::blue) << "filled inside, no outline over the 3D edges";
    }
}

TEST_F(ValueDisplayTest, FlatBoxIsFilledAndOutlinedUnlessTransparent) {
    CapturingDisplay display({10, 10, 50, 30}, nullptr, 1, nullptr, kNoText);
    display.setBoxColor(colors::yellow);
    display.setOutlineColor(colors::red);
    display.draw(canvas);
    EXPECT_EQ(at(30, 20), colors::yellow);
    EXPECT_EQ(at(10, 20), colors::red);
    surface.fill({0, 0, 80, 60}, kPaper);
    display.setTransparent(true);
    display.draw(canvas);
    EXPECT_EQ(surface.pixel(30, 20), kPaper);
}

TEST_F(ValueDisplayTest, SettersMarkDirtyOnlyOnARealChange) {
    CapturingDisplay display({10, 10, 50, 30}, nullptr, 1, nullptr, 0);
    display.draw(canvas);
    ASSERT_FALSE(display.needsRedraw());
    display.setTextInk(Color{255, 255, 255, 99});  // alpha alone is no change
    display.setAlignment(1);
    display.setFontId(3);
    EXPECT_FALSE(display.needsRedraw());
    display.setTextInk(colors::red);
    EXPECT_TRUE(display.needsRedraw());
}

TEST_F(ValueDisplayTest, DrawsItsTextInTheFontColour) {
    CapturingDisplay display({10, 10, 70, 40}, nullptr, 1, nullptr, 0);
    display.setValue(0.5f);
    display.setTextInk(colors::red);
    display.draw(canvas);
    int inked = 0;
    for (int y = 11; y < 40; ++y)
        for (int x = 11; x < 70; ++x) inked += at(x, y).red > 128 && at(x, y).green < 64;
    EXPECT_GT(inked, 10);
}

}  // namespace
}  // namespace flanger::gui::text
