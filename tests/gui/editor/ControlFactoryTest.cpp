// The bitmap editor's control factory on the headless backend with the module's own bitmaps:
// sizes taken from the bitmaps, the knob's background offset, edit lists, the add flag, the
// formatting hooks and the about area's texts.
#include <gtest/gtest.h>

#include <unistd.h>
#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/FrameView.h"
#include "gui/controls/Buttons.h"
#include "gui/controls/LinearSlider.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/controls/SplashArea.h"
#include "gui/editor/BitmapEditor.h"
#include "gui/text/NumberField.h"
#include "gui/text/TextField.h"
#include "host/ExtendedEffect.h"
#include "params/ParameterTable.h"
#include "platform/headless/HeadlessPlatform.h"
#include "resources/VersionInfo.h"
#include "tests/support/CommaLocale.h"

namespace flanger::gui::editor {
namespace {

using namespace gui::controls;
using gui::text::NumberField;
using gui::text::TextField;
using gui::text::ValueDisplay;

std::vector<std::pair<int32_t, int32_t>>* edits = nullptr;  // opcode, parameter index

intptr_t recordingHost(vst::EffectRecord*, int32_t opcode, int32_t index, intptr_t, void*, float) {
    if (edits != nullptr && (opcode == vst::audioMasterBeginEdit || opcode == vst::audioMasterEndEdit))
        edits->push_back({opcode, index});
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class TestEffect : public ExtendedEffect {
public:
    TestEffect() : ExtendedEffect(recordingHost, 1, 1) {}
    void processAdding(float**, float**, int32_t) override {}
};

// The module's bitmaps 1000–1010 with main 1001 (370 × 216), in a frame of that size.
class FactoryEditor : public BitmapEditor {
public:
    FactoryEditor(ExtendedEffect* owner, params::ParameterTable* parameters)
        : BitmapEditor(owner, parameters) {
        bitmaps.load(1000, 11, 1001);
        rect = {0, 0, 216, 370};
    }
    int32_t open(void* parent) override {
        FrameEditor::open(parent);
        if (!createFrame({0, 0, rect.right, rect.bottom})) return 0;
        built = true;
        return 1;
    }
    void formatValue(float value, char* text, std::int32_t tag) override {
        if (tag == 42) {
            std::snprintf(text, 256, "tag42:%d", static_cast<int>(value));
            return;
        }
        BitmapEditor::formatValue(value, text, tag);
    }
    using BitmapEditor::setInfoTexts;
};

class ControlFactory : public ::testing::Test {
protected:
    void SetUp() override {
        edits = &log;
        platform::setCurrentPlatform(&headless);
        effect = new TestEffect;
        editor = new FactoryEditor(effect, &table);
        ASSERT_EQ(editor->open(reinterpret_cast<void*>(0x77)), 1);
        frame = editor->frameView();
    }
    void TearDown() override {
        editor->close();
        delete effect;  // destroys the editor
        platform::setCurrentPlatform(nullptr);
        edits = nullptr;
    }
    // The parameter indices the frame reports for an edit that starts on tag.
    std::vector<int32_t> reportedFor(int32_t tag) {
        log.clear();
        frame->notifyEditStart(tag);
        std::vector<int32_t> indices;
        for (const auto& [opcode, index] : log)
            if (opcode == vst::audioMasterBeginEdit) indices.push_back(index);
        frame->notifyEditEnd(tag);
        return indices;
    }
    std::string formatted(gui::text::ValueDisplay& display, float real) {
        char text[256] = "garbage";
        BitmapEditor::valueFormattingHook(real, text, static_cast<gui::Control*>(&display));
        return text;
    }

    std::vector<std::pair<int32_t, int32_t>> log;
    platform::HeadlessPlatform headless;
    params::ParameterTable table{12};
    TestEffect* effect = nullptr;
    FactoryEditor* editor = nullptr;
    gui::FrameView* frame = nullptr;
};

TEST_F(ControlFactory, SmallKnobOverTheMainBitmapShowsThePieceUnderIt) {
    RotaryKnob* knob = nullptr;
    ASSERT_TRUE(editor->addRotaryKnob(knob, gui::Rect{235, 47, 257, 69}, 15, 1004, BitmapEditor::kMainBitmap,
                                      0, nullptr));
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->bounds(), (gui::Rect{235, 47, 257, 69}));
    EXPECT_EQ(knob->getBackground(), editor->bitmapSet().get(1001));
    EXPECT_EQ(knob->pointerBitmap(), editor->bitmapSet().get(1004));
    EXPECT_EQ(knob->backgroundOffset(), (gui::Point{235, 47}));
    EXPECT_TRUE(frame->isChild(knob));
    EXPECT_EQ(knob->valueListener(), editor);
}

TEST_F(ControlFactory, KnobAsLargeAsItsBackgroundInEitherDirectionUsesTheOrigin) {
    RotaryKnob* wide = nullptr;
    // As wide as the 370-pixel background, though much lower.
    ASSERT_TRUE(editor->addRotaryKnob(wide, gui::Point{10, 20}, 370, 22, 1, 1004, 1001, 0, nullptr));
    EXPECT_EQ(wide->backgroundOffset(), (gui::Point{0, 0}));
    RotaryKnob* same = nullptr;
    // Exactly the 4 × 4 handle bitmap used as background.
    ASSERT_TRUE(editor->addRotaryKnob(same, gui::Point{30, 40}, 4, 4, 2, 1004, 1004, 0, nullptr));
    EXPECT_EQ(same->backgroundOffset(), (gui::Point{0, 0}));
    EXPECT_EQ(same->bounds(), (gui::Rect{30, 40, 34, 44}));
}

TEST_F(ControlFactory, EditListIsRegisteredOnlyWithAPositiveCountAndAnArray) {
    const int32_t indices[] = {3, 7};
    RotaryKnob* withList = nullptr;
    ASSERT_TRUE(editor->addRotaryKnob(withList, gui::Point{0, 0}, 22, 22, 5, 1004, -1, 2, indices));
    EXPECT_EQ(reportedFor(5), (std::vector<int32_t>{3, 7}));

    // A count without an array adds the control plainly.
    ToggleButton* noArray = nullptr;
    ASSERT_TRUE(editor->addToggleButton(noArray, 50, 50, 6, 1010, 1, nullptr));
    EXPECT_TRUE(frame->isChild(noArray));
    EXPECT_TRUE(reportedFor(6).empty());

    NumberField* noCount = nullptr;
    ASSERT_TRUE(editor->addNumberField(noCount, {10, 139, 57, 151}, 7, 0, indices));
    EXPECT_TRUE(frame->isChild(noCount));
    EXPECT_TRUE(reportedFor(7).empty());
}

TEST_F(ControlFactory, ButtonsSlidersAndStripsTakeTheirSizesFromTheBitmaps) {
    ToggleButton* toggle = nullptr;
    ASSERT_TRUE(editor->addToggleButton(toggle, 256, 140, 11, 1010, 0, nullptr));
    EXPECT_EQ(toggle->bounds(), (gui::Rect{256, 140, 267, 151}));  // 11 × 22: one 11 × 11 frame
    MomentaryButton* momentary = nullptr;
    ASSERT_TRUE(editor->addMomentaryButton(momentary, 5, 6, 12, 1010, 0, nullptr));
    EXPECT_EQ(momentary->bounds(), (gui::Rect{5, 6, 16, 17}));
    EXPECT_EQ(momentary->heightOfFrame(), 11);

    VerticalLinearSlider* vertical = nullptr;
    ASSERT_TRUE(editor->addVerticalSlider(vertical, 100, 10, 13, 1005, 1006, true, 0, nullptr));
    EXPECT_EQ(vertical->bounds(), (gui::Rect{100, 10, 112, 84}));  // thumb 12 wide, background 74 high
    EXPECT_EQ(vertical->travelPixels(), 74 - 22);
    EXPECT_FALSE(vertical->getJumpToClick());
    EXPECT_TRUE(vertical->vertical());

    HorizontalLinearSlider* horizontal = nullptr;
    ASSERT_TRUE(editor->addHorizontalSlider(horizontal, 20, 30, 14, 1005, 1009, true, 0, nullptr));
    EXPECT_EQ(horizontal->bounds(), (gui::Rect{20, 30, 216, 52}));  // background 196 wide, thumb 22 high
    EXPECT_EQ(horizontal->travelPixels(), 196 - 12);
    EXPECT_FALSE(horizontal->vertical());

    StripKnob* strip = nullptr;
    ASSERT_TRUE(editor->addStripKnob(strip, {13, 154, 55, 196}, 1, 1003, {0, 0}, true, 0, nullptr));
    EXPECT_EQ(strip->frames(), 65);
    EXPECT_EQ(strip->heightOfFrame(), 42);
    EXPECT_TRUE(strip->isTransparent());
}

TEST_F(ControlFactory, StripKnobWithoutHeightHoldsNoFrameInsteadOfDividingByZero) {
    StripKnob* flat = nullptr;
    ASSERT_TRUE(editor->addStripKnob(flat, {13, 154, 55, 154}, 1, 1003, {0, 0}, true, 0, nullptr));
    EXPECT_EQ(flat->frames(), 0);
}

TEST_F(ControlFactory, NotAddingLeavesTheControlOutAndTheReferenceWithTheCaller) {
    StripKnob* strip = nullptr;
    ASSERT_TRUE(editor->addStripKnob(strip, {13, 154, 55, 196}, 1, 1003, {0, 0}, false, 0, nullptr));
    ASSERT_NE(strip, nullptr);
    EXPECT_FALSE(frame->isChild(strip));
    EXPECT_EQ(strip->referenceCount(), 1);
    strip->release();

    VerticalLinearSlider* slider = nullptr;
    const int32_t indices[] = {9};
    ASSERT_TRUE(editor->addVerticalSlider(slider, 0, 0, 19, 1005, 1006, false, 1, indices));
    EXPECT_FALSE(frame->isChild(slider));
    EXPECT_EQ(frame->editTableCapacity(), -1);  // its edit list went nowhere
    slider->release();

    ValueDisplay* display = nullptr;
    ASSERT_TRUE(editor->addParameterDisplay(display, {0, 0, 40, 12}, 3, false));
    EXPECT_FALSE(frame->isChild(display));
    display->release();
}

TEST_F(ControlFactory, ClosedEditorRefusesAndLeavesNothingBehind) {
    editor->close();
    ToggleButton* toggle = reinterpret_cast<ToggleButton*>(0x1);
    EXPECT_FALSE(editor->addToggleButton(toggle, 0, 0, 11, 1010, 0, nullptr));
    EXPECT_EQ(toggle, nullptr);
    EXPECT_FALSE(
        editor->addInfoSplash({10, 6, 78, 23}, 1000, {144, 174, 215, 194}, {}, gui::colors::white, 0));
    EXPECT_EQ(editor->infoSplash(), nullptr);
}

TEST_F(ControlFactory, ValueFormattingAsksTheControlsEditorWithItsTag) {
    NumberField* field = nullptr;
    ASSERT_TRUE(editor->addNumberField(field, {10, 139, 57, 151}, 42, 0, nullptr));
    EXPECT_EQ(field->fontId(), BitmapEditor::kFactoryFontId);
    EXPECT_EQ(formatted(*field, 7.0f), "tag42:7");
    ValueDisplay* display = nullptr;
    ASSERT_TRUE(editor->addParameterDisplay(display, {0, 0, 40, 12}, 3, true));
    EXPECT_EQ(formatted(*display, 2.25f), "2.2");  // the base: "%.1f"
    EXPECT_EQ(formatted(*display, -0.04f), "-0.0");
}

TEST_F(ControlFactory, HookForAControlWithoutAnEditorWritesEmptyText) {
    NumberField loose({0, 0, 40, 12}, editor, 2, nullptr, nullptr, 0);
    EXPECT_EQ(formatted(loose, 5.0f), "");
    char shown[256] = "garbage";
    char typed[] = "abc";
    BitmapEditor::textFormattingHook(typed, shown, static_cast<gui::Control*>(&loose));
    EXPECT_STREQ(shown, "");
    BitmapEditor::valueFormattingHook(1.0f, shown, nullptr);
    EXPECT_STREQ(shown, "");
}

TEST_F(ControlFactory, TextFormattingCopiesTheTextAndCountsItsTerminator) {
    TextField* field = nullptr;
    ASSERT_TRUE(editor->addTextField(field, {0, 0, 60, 12}, 4, 0, nullptr));
    char shown[256] = {};
    char typed[] = "hello";
    BitmapEditor::textFormattingHook(typed, shown, static_cast<gui::Control*>(field));
    EXPECT_STREQ(shown, "hello");
    EXPECT_EQ(editor->formatText("hello", shown, 4), 6);
    const std::string longer(400, 'a');
    EXPECT_EQ(editor->formatText(longer.c_str(), shown, 4), 256);  // cut to the hook's buffer
    EXPECT_EQ(std::string(shown).size(), 255u);
}

TEST_F(ControlFactory, NumbersKeepTheirPointInADecimalCommaLocale) {
    char text[256] = {};
    {
        const flanger::testing::CommaLocale comma;
        if (!comma.selected()) GTEST_SKIP() << "no locale with a decimal comma can be made here";
        editor->formatValue(12.34f, text, 0);
    }
    EXPECT_STREQ(text, "12.3");
}

TEST_F(ControlFactory, InfoSplashShowsTheVersionInItsSecondSlot) {
    ASSERT_TRUE(editor->addInfoSplash({10, 6, 78, 23}, 1000, {144, 174, 215, 194}, {0, 0, 0, 0},
                                      gui::colors::white, 0));
    InfoSplash* splash = editor->infoSplash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(frame->isChild(splash));
    EXPECT_EQ(splash->displayArea(), (gui::Rect{0, 0, 370, 216}));
    EXPECT_TRUE(splash->secondText().set);
    EXPECT_STREQ(splash->secondText().text.data(), "Version: 1.1.1");
    EXPECT_EQ(splash->secondText().rect, (gui::Rect{144, 174, 215, 194}));
    EXPECT_FALSE(splash->firstText().set);  // its rectangle is empty
}

TEST_F(ControlFactory, EmptyVersionRectangleLeavesTheSecondSlotUnset) {
    ASSERT_TRUE(editor->addInfoSplash({10, 6, 78, 23}, 1000, {0, 0, 0, 0}, {20, 180, 200, 200},
                                      gui::colors::white, 0));
    InfoSplash* splash = editor->infoSplash();
    EXPECT_FALSE(splash->secondText().set);
    ASSERT_TRUE(splash->firstText().set);
    EXPECT_NE(std::string(splash->firstText().text.data()).find("Brackwater"), std::string::npos);
}

TEST_F(ControlFactory, MissingVersionValuesLeaveTheirSlotsUnset) {
    ASSERT_TRUE(editor->addInfoSplash({10, 6, 78, 23}, 1000, {}, {}, gui::colors::white, 0));
    const resources::VersionInfo none(nullptr, 0);
    editor->setInfoTexts({144, 174, 215, 194}, {20, 180, 200, 200}, gui::colors::white, 0, none);
    EXPECT_FALSE(editor->infoSplash()->secondText().set);
    EXPECT_FALSE(editor->infoSplash()->firstText().set);
}

TEST_F(ControlFactory, CloseForgetsTheAboutAreaAndReopenBuildsAfresh) {
    ASSERT_TRUE(
        editor->addInfoSplash({10, 6, 78, 23}, 1000, {144, 174, 215, 194}, {}, gui::colors::white, 0));
    editor->close();
    EXPECT_EQ(editor->infoSplash(), nullptr);
    editor->setInfoTexts({144, 174, 215, 194}, {}, gui::colors::white, 0);  // nothing to write into
    ASSERT_EQ(editor->open(reinterpret_cast<void*>(0x77)), 1);
    frame = editor->frameView();
    EXPECT_EQ(frame->childCount(), 0);
}

}  // namespace
}  // namespace flanger::gui::editor
