// Number field: the text as the value's storage, ranges that cannot be divided by, the
// vertical drag and its fine steps, typed entry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "gui/text/NumberField.h"
#include "gui/text/TextField.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::text {
namespace {

using testing::ControlFixture;
using testing::Step;

void oneDecimal(float value, char* text) {
    std::snprintf(text, kTextCapacity, "%.1f", value);
}
void threeDecimals(float value, char* text) {
    std::snprintf(text, kTextCapacity, "%.3f", value);
}

std::string textOf(const TextField& field) {
    return field.textData();
}

TEST(NumberFieldStorage, TextIsTheStorageAndCommaReadsAsPoint) {
    NumberField field({0, 0, 40, 16}, nullptr, 1, "2,5", nullptr, 0);
    field.setMax(10.0f);
    EXPECT_FLOAT_EQ(field.getRealValue(), 2.5f);
    EXPECT_FLOAT_EQ(field.getValue(), 0.25f);
    field.setText("7.5");
    EXPECT_FLOAT_EQ(field.getValue(), 0.75f);
}

TEST(NumberFieldStorage, WithoutAHookTheTextIsEmptyAndReadsAsTheMinimum) {
    NumberField field({0, 0, 40, 16}, nullptr, 1, nullptr, nullptr, 0);
    field.setMin(1.0f);
    field.setMax(5.0f);
    field.setValue(0.5f);
    EXPECT_EQ(textOf(field), "");
    EXPECT_FLOAT_EQ(field.getRealValue(), 1.0f);
}

TEST(NumberFieldStorage, UnparsableAndNanTextReadAsZeroClamped) {
    NumberField field({0, 0, 40, 16}, nullptr, 1, "nan", nullptr, 0);
    field.setMin(-1.0f);
    EXPECT_FLOAT_EQ(field.getRealValue(), 0.0f);
    field.setText("junk");
    EXPECT_FLOAT_EQ(field.getRealValue(), 0.0f);
    field.setText("1e60");
    EXPECT_FLOAT_EQ(field.getRealValue(), 1.0f);
}

TEST(NumberFieldStorage, NanOrInfiniteValuesShowAsTheMinimum) {
    NumberField field({0, 0, 40, 16}, nullptr, 1, nullptr, nullptr, 0);
    field.setValueFormatter(&oneDecimal);
    field.setMin(2.0f);
    field.setMax(4.0f);
    field.setValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(textOf(field), "2.0");
    field.setRealValue(-std::numeric_limits<float>::infinity());
    EXPECT_EQ(textOf(field), "2.0");
    field.setRealValue(std::numeric_limits<float>::infinity());
    EXPECT_EQ(textOf(field), "4.0");
}

TEST(NumberFieldStorage, AnEmptyRangeIsNeverDividedBy) {
    NumberField field({0, 0, 40, 16}, nullptr, 1, "3", nullptr, 0);
    field.setValueFormatter(&oneDecimal);
    field.setMin(3.0f);
    field.setMax(3.0f);
    EXPECT_FLOAT_EQ(field.getValue(), 0.0f);
    field.setValue(0.7f);
    EXPECT_FLOAT_EQ(field.getRealValue(), 3.0f);
    EXPECT_TRUE(std::isfinite(field.getValue()));
}

TEST(NumberFieldStorage, FontSizeSelectsTheLastFontOfThatSize) {
    NumberField field({0, 0, 40, 16}, nullptr, 1, nullptr, nullptr, 0);
    int lastOfTen = -1;
    for (int id = 0; id < kFontCount; ++id)
        if (fontTableEntry(id).defaultSize == 10) {
            lastOfTen = id;
        }
    field.setFontSize(10);
    if (lastOfTen >= 0) {
        EXPECT_EQ(field.fontId(), lastOfTen);
    }
    field.setFontSize(0);  // not positive: the stored size stays
    EXPECT_EQ(field.fontSize(), 10);
}

class NumberFieldDrag : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        field = new NumberField({20, 20, 80, 40}, &listener, 3, nullptr, nullptr,
                                static_cast<std::int32_t>(kVerticalDrag));
        field->setValueFormatter(&threeDecimals);
        field->setValue(0.5f);
        frame->addChild(field);
        editor.watched = field;
    }
    std::vector<Step> upBy(int pixels, int stepPixels, bool shift) {
        std::vector<Step> path;
        for (int moved = stepPixels; moved <= pixels; moved += stepPixels)
            path.push_back({{50, 30 - moved}, shift});
        return path;
    }
    NumberField* field = nullptr;
};

TEST_F(NumberFieldDrag, TenPixelsUpRaisesByATenth) {
    press({50, 30}, upBy(10, 10, false));
    EXPECT_NEAR(field->getValue(), 0.6f, 1e-5);
    EXPECT_TRUE(field->wasDragged());
    EXPECT_FALSE(field->isEditing()) << "a drag opens no edit box";
    ASSERT_FALSE(listener.values.empty());
    EXPECT_NEAR(listener.values.back(), 0.6f, 1e-5);
    EXPECT_EQ(editor.edits.front(), (std::pair<char, int>{'b', 3}));
    EXPECT_EQ(editor.edits.back(), (std::pair<char, int>{'e', 3}));
    EXPECT_EQ(window->cursorShape(), platform::kCursorDefault);
}

TEST_F(NumberFieldDrag, QueuedEventsAreAClickOrADragOfEveryMotion) {
    queuedClick({50, 30});
    EXPECT_TRUE(field->isEditing()) << "press and release in one pump open the edit box";
    EXPECT_EQ(headless.readPointer().buttons, 0u);
    frame->setFocusView(nullptr);
    ASSERT_FALSE(field->isEditing());

    std::vector<Point> up;
    for (int v = 29; v >= 20; --v) up.push_back({50, v});
    queuedClick({50, 30}, up);
    EXPECT_NEAR(field->getValue(), 0.6f, 1e-5) << "each of the ten 1-pixel motions is a step";
    EXPECT_FALSE(field->isEditing());
}

TEST_F(NumberFieldDrag, ShiftAloneWithThePrimaryButtonStepsFinely) {
    press({50, 30}, upBy(10, 10, true), {{}, true});
    EXPECT_NEAR(field->getValue(), 0.515f, 1e-5);
}

TEST_F(NumberFieldDrag, FineStepsAddUpThoughTheTextRounds) {
    // One decimal shown: re-reading the text after each 1-pixel step would lose every step.
    field->setValueFormatter(&oneDecimal);
    field->setValue(0.5f);
    press({50, 30}, upBy(10, 1, true), {{}, true});
    EXPECT_NEAR(field->getValue(), 0.515f, 1e-5);
}

TEST_F(NumberFieldDrag, ControlClickResetsToTheDefaultAndOpensNothing) {
    field->setDefaultValue(0.25f);
    press({50, 30}, {}, {{}, false, false, true});
    EXPECT_NEAR(field->getValue(), 0.25f, 1e-5);
    EXPECT_FALSE(field->isEditing());
}

TEST_F(NumberFieldDrag, AClickWithoutMovementOpensTheEditBoxAndATypedNumberCommits) {
    field->setMax(100.0f);
    field->setRealValue(20.0f);
    press({50, 30});
    ASSERT_TRUE(field->isEditing());
    listener.values.clear();  // the drag loop's closing report
    EXPECT_EQ(frame->focusView(), field);
    for (char c : std::string("70")) EXPECT_EQ(frame->onKeyPress({c, 0, 0}), 1);
    EXPECT_EQ(frame->onKeyPress({0, 4, 0}), 1);  // Return
    EXPECT_FALSE(field->isEditing());
    EXPECT_TRUE(field->endedByEnter());
    EXPECT_FLOAT_EQ(field->getRealValue(), 70.0f);
    ASSERT_EQ(listener.values.size(), 1u);
    EXPECT_FLOAT_EQ(listener.values[0], 0.7f);
}

}  // namespace
}  // namespace flanger::gui::text
