// The flanger editor on the headless backend with a real effect behind it: the controls and
// their places, host changes moving the controls (and only the ones on display), the free and
// sync layouts, user edits reaching the host as automation inside begin/end edit, the number
// texts, changes from other threads, and the whole window against goldens in both layouts, with
// an edit box open and with the note popup; the editor at 150 and 200 % and its size menu.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "editor/FlangerEditor.h"
#include "editor/ModulationDisplay.h"
#include "effect/FlangerEffect.h"
#include "gui/BmpDecoder.h"
#include "gui/FrameView.h"
#include "gui/KnobMode.h"
#include "gui/controls/Buttons.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/controls/SplashArea.h"
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/PopupSession.h"
#include "gui/text/TextField.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/host/RecordingHost.h"
#include "tests/support/GoldenImage.h"
#include "tools/screenshot/FlangerEditorPicture.h"

namespace flanger::editor {
namespace {

using params::FlangerParameters;
using testing::RecordingHost;
using Tag = FlangerEditor::Tag;

std::pair<int32_t, int32_t> request(int32_t opcode, int32_t index) {
    return {opcode, index};
}

// Picks the popup line with a given label, as a user would.
class PickByLabel : public gui::menu::PopupPresenter {
public:
    std::string label;
    int runs = 0;
    std::int32_t run(const gui::menu::PopupTree& tree, gui::Point, bool) override {
        ++runs;
        for (const auto& menu : tree.menus)
            for (const auto& item : menu)
                if (item.label == label) return item.id;
        return -1;
    }
};

class FlangerEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setCurrentPlatform(&headless);
        effect = std::make_unique<effect::FlangerEffect>(
            &RecordingHost::callback, static_cast<host::EditorFactory>(&editor::createFlangerEditor));
        ASSERT_TRUE(effect->initialise());
        editor = dynamic_cast<FlangerEditor*>(effect->editor());
        ASSERT_NE(editor, nullptr);
        // Knobs drag by vertical movement, so a straight path has a known direction.
        editor->selectKnobMode(gui::controls::kLinearKnobMode);
        table = effect->flangerParameters();
    }
    void TearDown() override {
        gui::setKnobMode(0);
        if (editor->frameView() != nullptr) editor->close();
        effect.reset();
        platform::setCurrentPlatform(nullptr);
    }

    void open() {
        ASSERT_EQ(editor->open(reinterpret_cast<void*>(0x77)), 1);
        frame = editor->frameView();
        window = static_cast<platform::HeadlessWindow*>(frame->nativeWindow());
        window->postExpose({0, 0, 370, 216});
        editor->idle();
    }
    const platform::Surface& screen() { return window->screen(); }
    gui::Control* control(int tag) { return editor->control(tag); }
    std::string fieldText(int tag) {
        char text[256] = {};
        static_cast<gui::text::TextField*>(control(tag))->getText(text);
        return text;
    }
    // Normalised value as the host sends it, through the effect's set-parameter path.
    void hostSets(int index, float normalised) { effect->setParameterValue(index, normalised); }
    void press(gui::Point at) {
        headless.setPointer(at.h, at.v);
        headless.setButtons(platform::kLeftButton);
        window->postButtonPress(at.h, at.v, 1);
        // Every read holds the button for a few passes, then lets go.
        int reads = 0;
        headless.onReadPointer([&reads](platform::HeadlessPlatform& p) {
            if (++reads > 6) p.setButtons(0);
        });
        editor->idle();
        headless.onReadPointer(nullptr);
        headless.setButtons(0);
    }
    // A press at from, then the pointer moving by (dh, dv) one pixel per pass, then released.
    void drag(gui::Point from, int dh, int dv) {
        headless.setPointer(from.h, from.v);
        headless.setButtons(platform::kLeftButton);
        window->postButtonPress(from.h, from.v, 1);
        const int steps = std::max(std::abs(dh), std::abs(dv));
        int reads = 0;
        headless.onReadPointer([&](platform::HeadlessPlatform& p) {
            const int pass = ++reads / 2;  // buttons and position are read once each per pass
            const int k = std::min(pass, steps);
            p.setPointer(from.h + (steps > 0 ? dh * k / steps : 0),
                         from.v + (steps > 0 ? dv * k / steps : 0));
            if (pass > steps + 2) p.setButtons(0);
        });
        editor->idle();
        headless.onReadPointer(nullptr);
        headless.setButtons(0);
    }
    // The host requests since the last mark, as (opcode, index).
    std::vector<std::pair<int32_t, int32_t>> requestsSince(std::size_t mark,
                                                           bool editsAndAutomationOnly = true) {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (std::size_t i = mark; i < host.requests.size(); ++i) {
            const auto& r = host.requests[i];
            if (editsAndAutomationOnly && r.opcode != vst::audioMasterAutomate &&
                r.opcode != vst::audioMasterBeginEdit && r.opcode != vst::audioMasterEndEdit)
                continue;
            out.push_back({r.opcode, r.index});
        }
        return out;
    }
    std::vector<int32_t> editListOf(int tag) {
        const std::size_t mark = host.requests.size();
        frame->notifyEditStart(tag);
        frame->notifyEditEnd(tag);
        std::vector<int32_t> indices;
        for (const auto& [opcode, index] : requestsSince(mark))
            if (opcode == vst::audioMasterBeginEdit) indices.push_back(index);
        return indices;
    }
    // The brightest channel value in a rectangle of the window: text ink shows there.
    int brightest(const gui::Rect& r) {
        int best = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const std::uint32_t p = screen().pixel(x, y);
                best = std::max(
                    {best, int(platform::redOf(p)), int(platform::greenOf(p)), int(platform::blueOf(p))});
            }
        return best;
    }
    platform::Surface area(const gui::Rect& r) {
        platform::Surface out(r.width(), r.height());
        for (int y = 0; y < r.height(); ++y)
            for (int x = 0; x < r.width(); ++x) out.setPixel(x, y, screen().pixel(r.left + x, r.top + y));
        return out;
    }

    RecordingHost host;
    platform::HeadlessPlatform headless;
    std::unique_ptr<effect::FlangerEffect> effect;
    FlangerEditor* editor = nullptr;
    FlangerParameters* table = nullptr;
    gui::FrameView* frame = nullptr;
    platform::HeadlessWindow* window = nullptr;
};

TEST_F(FlangerEditorTest, BuildsNothingUntilOpenAndEverythingAtIt) {
    EXPECT_EQ(editor->control(Tag::kFeedbackKnob), nullptr);
    EXPECT_EQ(editor->open(nullptr), 0);
    EXPECT_FALSE(editor->controlsBuilt());
    open();
    EXPECT_EQ(editor->rectangle().right, 370);
    EXPECT_EQ(editor->rectangle().bottom, 216);
    for (int tag = 1; tag <= 22; ++tag) {
        ASSERT_NE(control(tag), nullptr) << tag;
        EXPECT_EQ(control(tag)->getTag(), tag);
    }
    // Free mode at program 0: every control but the note menu, plus the about area.
    EXPECT_EQ(frame->childCount(), 22);
    EXPECT_FALSE(frame->isChild(control(Tag::kNoteMenu)));
    EXPECT_TRUE(frame->isChild(control(Tag::kRateField)));
    EXPECT_EQ(control(Tag::kRateKnob)->bounds(), (gui::Rect{225, 154, 267, 196}));
    EXPECT_EQ(control(Tag::kTempoKnob)->bounds(), (gui::Rect{235, 47, 257, 69}));
    EXPECT_EQ(static_cast<gui::controls::RotaryKnob*>(control(Tag::kShapeKnob))->backgroundOffset(),
              (gui::Point{235, 102}));
    EXPECT_EQ(control(Tag::kMixSlider)->bounds(), (gui::Rect{333, 48, 345, 189}));
    EXPECT_EQ(control(Tag::kModulationDisplay)->bounds(), (gui::Rect{11, 41, 207, 115}));
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getStepSize(), 0.05f);
    EXPECT_FLOAT_EQ(control(Tag::kShapeKnob)->getStepSize(), 1.0f / 16.0f);
    EXPECT_EQ(editor->sweepCurve().size(), 196u);
    auto* display = static_cast<ModulationDisplay*>(control(Tag::kModulationDisplay));
    EXPECT_EQ(display->xEditTag(), 5);
    EXPECT_EQ(display->yEditTag(), 9);
}

TEST_F(FlangerEditorTest, OpenShowsTheProgramsValuesAndResetValues) {
    open();
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 0.5f);
    EXPECT_EQ(fieldText(Tag::kFeedbackField), "50%");
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getValue(), 0.2f);
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getDefaultValue(), 0.2f);
    EXPECT_EQ(fieldText(Tag::kRateField), "1.0Hz");
    EXPECT_EQ(fieldText(Tag::kTempoField), "1 x");
    EXPECT_EQ(fieldText(Tag::kOutputField), "100%");
    EXPECT_FLOAT_EQ(control(Tag::kOutputSlider)->getValue(), 1.0f);
    EXPECT_FLOAT_EQ(control(Tag::kStereoBar)->getValue(), 0.5f);
    EXPECT_EQ(control(Tag::kSyncSwitch)->getValue(), 0.0f);
    auto* display = static_cast<ModulationDisplay*>(control(Tag::kModulationDisplay));
    EXPECT_FLOAT_EQ(display->getHorizontal(), 0.2f);
    EXPECT_FLOAT_EQ(display->getVertical(), 0.5f);
}

TEST_F(FlangerEditorTest, NumberTextsFollowTheirUnits) {
    char text[256];
    const auto formatted = [&](float value, int tag) {
        editor->formatValue(value, text, tag);
        return std::string(text);
    };
    EXPECT_EQ(formatted(49.5f, Tag::kFeedbackField), "50%");
    EXPECT_EQ(formatted(12.34f, Tag::kDelayField), "12.3ms");
    EXPECT_EQ(formatted(2.46f, Tag::kRateField), "2.5Hz");
    EXPECT_EQ(formatted(3.0f, Tag::kTempoField), "3 x");
    EXPECT_EQ(formatted(7.0f, Tag::kShapeField), "7");
    EXPECT_EQ(formatted(0.126f, 99), "0.13");
    EXPECT_EQ(formatted(std::nanf(""), Tag::kMixField), "0%");  // never an undefined conversion
    open();
    hostSets(FlangerParameters::kDelay, table->normalize(FlangerParameters::kDelay, 12.34f));
    EXPECT_EQ(fieldText(Tag::kDelayField), "12.3ms");
}

TEST_F(FlangerEditorTest, HostChangesMoveOnlyTheRateSectionOnDisplay) {
    open();
    editor->parameterChanged(FlangerParameters::kSyncBeat, 0.5f);  // free mode: not on display
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getValue(), 0.2f);
    hostSets(FlangerParameters::kSwitch, 1.0f);
    const float beat = control(Tag::kRateKnob)->getValue();
    editor->parameterChanged(FlangerParameters::kRate, 0.9f);  // sync mode: "Rate" is not on display
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getValue(), beat);
    EXPECT_EQ(fieldText(Tag::kRateField), "1.0Hz");
}

TEST_F(FlangerEditorTest, SwitchingSyncOnSwapsInTheNoteMenuAndTheTempoControls) {
    table->setPlain(FlangerParameters::kSyncBeat, 8.0f);  // "1/4 T"
    open();
    EXPECT_EQ(brightest({223, 30, 268, 40}), 127);  // "TmpSync" greyed in free mode
    EXPECT_FALSE(control(Tag::kTempoKnob)->acceptsMouse());
    hostSets(FlangerParameters::kSwitch, 1.0f);
    editor->idle();
    EXPECT_TRUE(frame->isChild(control(Tag::kNoteMenu)));
    EXPECT_FALSE(frame->isChild(control(Tag::kRateField)));
    auto* menu = static_cast<gui::menu::ChoiceMenu*>(control(Tag::kNoteMenu));
    std::string shown;
    EXPECT_EQ(menu->currentItem(&shown, false), 8);
    EXPECT_EQ(shown, "1/4 T");
    EXPECT_TRUE(control(Tag::kTempoKnob)->acceptsMouse());
    EXPECT_TRUE(control(Tag::kTempoField)->acceptsMouse());
    EXPECT_EQ(brightest({223, 30, 268, 40}), 255);  // now white
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getValue(), 8.0f / 17.0f);
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getDefaultValue(), 0.2f);
    EXPECT_FLOAT_EQ(control(Tag::kSyncSwitch)->getValue(), 1.0f);
    EXPECT_EQ(editListOf(Tag::kRateKnob), std::vector<int32_t>{6});
    EXPECT_FLOAT_EQ(table->peekPlain(FlangerParameters::kBeatsPerCycle), 1.0f * (2.0f / 3.0f));

    hostSets(FlangerParameters::kSwitch, 0.0f);
    EXPECT_TRUE(frame->isChild(control(Tag::kRateField)));
    EXPECT_FALSE(frame->isChild(control(Tag::kNoteMenu)));
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getValue(), 0.2f);
    EXPECT_EQ(editListOf(Tag::kRateField), std::vector<int32_t>{5});
}

TEST_F(FlangerEditorTest, ModeComesFromTheTableLikeTheEngines) {
    open();
    hostSets(FlangerParameters::kSwitch, 0.7f);  // the table steps it to 1: sync
    EXPECT_EQ(table->peekPlain(FlangerParameters::kSwitch), 1.0f);
    EXPECT_TRUE(frame->isChild(control(Tag::kNoteMenu)));
    EXPECT_EQ(control(Tag::kSyncSwitch)->getValue(), 1.0f);
    EXPECT_EQ(editListOf(Tag::kRateKnob), std::vector<int32_t>{6});
    // The lamp shows its lit frame.
    editor->idle();
    const auto lit = gui::loadBitmapResource(1010);
    ASSERT_TRUE(lit.has_value());
    EXPECT_EQ(screen().pixel(261, 145), lit->pixel(5, 16));
}

TEST_F(FlangerEditorTest, LampDrawsOneFrameAndLeavesTheRestOfItsRectangleToTheBackground) {
    open();
    const auto background = gui::loadBitmapResource(1001);
    const auto lamp = gui::loadBitmapResource(1010);
    ASSERT_TRUE(background.has_value() && lamp.has_value());
    for (bool on : {false, true}) {
        hostSets(FlangerParameters::kSwitch, on ? 1.0f : 0.0f);
        editor->idle();
        for (int x = 256; x < 268; ++x)
            EXPECT_EQ(screen().pixel(x, 151), background->pixel(x, 151)) << on << " " << x;
        for (int y = 140; y < 152; ++y)
            EXPECT_EQ(screen().pixel(267, y), background->pixel(267, y)) << on << " " << y;
        EXPECT_EQ(screen().pixel(256, 150), lamp->pixel(0, on ? 21 : 10));
    }
}

TEST_F(FlangerEditorTest, PickingANoteCountsOnlySelectableEntries) {
    open();
    hostSets(FlangerParameters::kSwitch, 1.0f);
    editor->idle();
    PickByLabel picker;
    picker.label = "1/4 T";
    static_cast<gui::menu::ChoiceMenu*>(control(Tag::kNoteMenu))->setPopupPresenter(&picker);
    const std::size_t mark = host.requests.size();
    press({230, 145});
    EXPECT_EQ(picker.runs, 1);
    EXPECT_EQ(table->peekPlain(FlangerParameters::kSyncBeat), 8.0f);
    const auto seen = requestsSince(mark);
    EXPECT_NE(std::find(seen.begin(), seen.end(), request(vst::audioMasterAutomate, 6)), seen.end());
    EXPECT_FLOAT_EQ(control(Tag::kRateKnob)->getValue(), 8.0f / 17.0f);
    static_cast<gui::menu::ChoiceMenu*>(control(Tag::kNoteMenu))->setPopupPresenter(nullptr);
}

TEST_F(FlangerEditorTest, RateKnobDragEditsTheParameterOnDisplayInsideItsBrackets) {
    open();
    float rateAfterFreeDrag = 0.0f;
    for (int parameter : {FlangerParameters::kRate, FlangerParameters::kSyncBeat}) {
        if (parameter == FlangerParameters::kSyncBeat) {
            rateAfterFreeDrag = table->peekPlain(FlangerParameters::kRate);
            hostSets(FlangerParameters::kSwitch, 1.0f);
        }
        const float before = table->peekPlain(parameter);
        const std::size_t mark = host.requests.size();
        drag({246, 175}, 0, -30);
        const auto seen = requestsSince(mark);
        ASSERT_GE(seen.size(), 3u) << parameter;
        EXPECT_EQ(seen.front(), request(vst::audioMasterBeginEdit, parameter));
        EXPECT_EQ(seen.back(), request(vst::audioMasterEndEdit, parameter));
        for (std::size_t i = 1; i + 1 < seen.size(); ++i)
            EXPECT_EQ(seen[i], request(vst::audioMasterAutomate, parameter));
        EXPECT_NE(table->peekPlain(parameter), before) << parameter;
        // The knob follows, and the other control of the pair too.
        EXPECT_NEAR(control(Tag::kRateKnob)->getValue(), table->peekNormalized(parameter), 0.5f / 17.0f);
    }
    EXPECT_EQ(table->peekPlain(FlangerParameters::kRate), rateAfterFreeDrag);  // left alone in sync mode
}

TEST_F(FlangerEditorTest, KnobDragMovesItsFieldThroughTheEffectsEcho) {
    open();
    const std::size_t mark = host.requests.size();
    drag({34, 175}, 0, -20);
    const auto seen = requestsSince(mark);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), request(vst::audioMasterBeginEdit, 0));
    EXPECT_EQ(seen.back(), request(vst::audioMasterEndEdit, 0));
    const float feedback = table->peekPlain(FlangerParameters::kFeedback);
    EXPECT_GT(feedback, 50.0f);
    char expected[256];
    editor->formatValue(feedback, expected, Tag::kFeedbackField);
    EXPECT_EQ(fieldText(Tag::kFeedbackField), expected);
}

// Every control but the rate pair's edits one parameter: its edit list names it, a change of
// either control of a pair reaches the host as its automation, and the echo moves both controls.
TEST_F(FlangerEditorTest, EachPairEditsItsOwnParameterAndShowsItsEcho) {
    struct Pair {
        int knob;
        int field;
        int parameter;
    };
    const Pair pairs[] = {
        {Tag::kFeedbackKnob, Tag::kFeedbackField, FlangerParameters::kFeedback},
        {Tag::kDelayKnob, Tag::kDelayField, FlangerParameters::kDelay},
        {Tag::kDepthKnob, Tag::kDepthField, FlangerParameters::kDepth},
        {Tag::kStereoKnob, Tag::kStereoField, FlangerParameters::kStereo},
        {Tag::kTempoKnob, Tag::kTempoField, FlangerParameters::kTmpSync},
        {Tag::kShapeKnob, Tag::kShapeField, FlangerParameters::kShapeSync},
        {Tag::kMixSlider, Tag::kMixField, FlangerParameters::kMix},
        {Tag::kOutputSlider, Tag::kOutputField, FlangerParameters::kOutput},
    };
    open();
    hostSets(FlangerParameters::kSwitch, 1.0f);  // the effect echoes the tempo in sync mode only
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.parameter);
        const std::vector<int32_t> own{pair.parameter};
        EXPECT_EQ(editListOf(pair.knob), own);
        EXPECT_EQ(editListOf(pair.field), own);
        for (const auto& [changed, other, value] :
             {std::tuple{pair.knob, pair.field, 0.75f}, std::tuple{pair.field, pair.knob, 0.25f}}) {
            const std::size_t mark = host.requests.size();
            control(changed)->setValue(value);
            editor->onValueChanged(nullptr, control(changed));
            EXPECT_EQ(requestsSince(mark), (std::vector{request(vst::audioMasterAutomate, pair.parameter)}));
            EXPECT_FLOAT_EQ(control(other)->getValue(), value);
        }
    }
    EXPECT_EQ(editListOf(Tag::kStereoBar), std::vector<int32_t>{FlangerParameters::kStereo});
    EXPECT_EQ(editListOf(Tag::kSyncSwitch), std::vector<int32_t>{FlangerParameters::kSwitch});
    EXPECT_EQ(editListOf(Tag::kNoteMenu), std::vector<int32_t>{FlangerParameters::kSyncBeat});
    const std::size_t mark = host.requests.size();
    control(Tag::kStereoBar)->setValue(0.1f);
    editor->onValueChanged(nullptr, control(Tag::kStereoBar));
    EXPECT_EQ(requestsSince(mark),
              (std::vector{request(vst::audioMasterAutomate, FlangerParameters::kStereo)}));
    EXPECT_NEAR(control(Tag::kStereoKnob)->getValue(), 0.1f, 1e-6f);
}

TEST_F(FlangerEditorTest, DisplayDragEditsRateAndDepthTogether) {
    open();
    const std::size_t mark = host.requests.size();
    drag({100, 80}, 20, -10);
    const auto seen = requestsSince(mark);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], request(vst::audioMasterBeginEdit, 2));  // tag 5
    EXPECT_EQ(seen[1], request(vst::audioMasterBeginEdit, 5));  // tag 9
    EXPECT_GT(table->peekPlain(FlangerParameters::kRate), 1.0f);
    EXPECT_GT(table->peekPlain(FlangerParameters::kDepth), 50.0f);
    // The knob shows the value the drag sent; the table keeps it in whole percent.
    EXPECT_NEAR(control(Tag::kDepthKnob)->getValue(), table->peekNormalized(FlangerParameters::kDepth),
                0.01f);
}

TEST_F(FlangerEditorTest, TempoChangeRewritesTheSyncPeriodInEitherMode) {
    open();
    table->setPlain(FlangerParameters::kSyncBeat, 2.0f);  // "1/4": one beat
    table->setPlain(FlangerParameters::kTmpSync, 3.0f);
    table->setPlain(FlangerParameters::kBeatsPerCycle, 9.0f);
    editor->parameterChanged(FlangerParameters::kTmpSync, table->peekNormalized(FlangerParameters::kTmpSync));
    EXPECT_FLOAT_EQ(table->peekPlain(FlangerParameters::kBeatsPerCycle), 3.0f);
    EXPECT_EQ(fieldText(Tag::kTempoField), "3 x");
    hostSets(FlangerParameters::kSwitch, 1.0f);
    table->setPlain(FlangerParameters::kTmpSync, 5.0f);
    editor->parameterChanged(FlangerParameters::kTmpSync, table->peekNormalized(FlangerParameters::kTmpSync));
    EXPECT_FLOAT_EQ(table->peekPlain(FlangerParameters::kBeatsPerCycle), 5.0f);
}

TEST_F(FlangerEditorTest, AboutClickOpensThePictureWithoutAskingTheHost) {
    open();
    const std::size_t mark = host.requests.size();
    press({30, 12});
    EXPECT_TRUE(requestsSince(mark, false).empty());
    auto* splash = editor->infoSplash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isOpen());
    EXPECT_STREQ(splash->secondText().text.data(), "Version: 1.1.1");
    EXPECT_FALSE(splash->firstText().set);
    editor->idle();
    const auto about = gui::loadBitmapResource(1000);
    ASSERT_TRUE(about.has_value());
    EXPECT_EQ(screen().pixel(300, 100), about->pixel(300, 100));
    press({300, 100});
    EXPECT_FALSE(splash->isOpen());
}

TEST_F(FlangerEditorTest, ChangesFromAnotherThreadWaitForTheNextIdle) {
    open();
    std::thread automation([this] {
        hostSets(FlangerParameters::kFeedback, 0.8f);
        hostSets(FlangerParameters::kSwitch, 0.7f);
    });
    automation.join();
    // No view was touched off the editor's thread.
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 0.5f);
    EXPECT_FALSE(frame->isChild(control(Tag::kNoteMenu)));
    EXPECT_EQ(editor->pendingChanges(), (1u << 0) | (1u << 4));
    editor->idle();
    EXPECT_EQ(editor->pendingChanges(), 0u);
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 0.8f);
    EXPECT_EQ(fieldText(Tag::kFeedbackField), "80%");
    EXPECT_TRUE(frame->isChild(control(Tag::kNoteMenu)));
    EXPECT_EQ(control(Tag::kSyncSwitch)->getValue(), 1.0f);
}

TEST_F(FlangerEditorTest, TypedRateTextNeverLandsInSyncBeat) {
    open();
    press({237, 145});  // opens the Rate field's edit box
    auto* field = static_cast<gui::text::TextField*>(control(Tag::kRateField));
    ASSERT_TRUE(field->isEditing());
    for (char c : std::string("4")) editor->keyDown({c, 0, 0});
    hostSets(FlangerParameters::kSwitch, 1.0f);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(frame->focusView(), nullptr);
    EXPECT_EQ(table->peekPlain(FlangerParameters::kSyncBeat), 0.0f);
    EXPECT_EQ(table->peekPlain(FlangerParameters::kRate), 1.0f);
    hostSets(FlangerParameters::kSwitch, 0.0f);
    EXPECT_EQ(fieldText(Tag::kRateField), "1.0Hz");
}

// The Rate field reads typed text as the host's text entry does; text that does not read
// leaves the value and shows the old text again, telling the host nothing.
TEST_F(FlangerEditorTest, TypedFieldTextIsReadLikeHostTextAndUnreadableTextIsRefused) {
    open();
    auto type = [&](const std::string& typed) {
        press({237, 145});  // opens the Rate field's edit box
        ASSERT_TRUE(static_cast<gui::text::TextField*>(control(Tag::kRateField))->isEditing());
        editor->keyDown({'a', 0, 4});  // Control+A: the typed text replaces the old
        for (char c : typed) editor->keyDown({c, 0, 0});
        editor->keyDown({0, gui::text::kVirtualReturn, 0});
        editor->idle();
    };
    const auto automationSince = [&](std::size_t mark) {
        const auto seen = requestsSince(mark);
        return std::count(seen.begin(), seen.end(),
                          request(vst::audioMasterAutomate, FlangerParameters::kRate));
    };
    std::size_t mark = host.requests.size();
    type("abc");
    EXPECT_EQ(table->peekPlain(FlangerParameters::kRate), 1.0f);
    EXPECT_EQ(fieldText(Tag::kRateField), "1.0Hz");
    EXPECT_EQ(automationSince(mark), 0);
    mark = host.requests.size();
    type("2,5 hz");
    EXPECT_FLOAT_EQ(table->peekPlain(FlangerParameters::kRate), 2.5f);
    EXPECT_EQ(fieldText(Tag::kRateField), "2.5Hz");
    EXPECT_EQ(automationSince(mark), 1);
}

// Every wheel step on a stepped knob moves its parameter by exactly one step, end to end.
TEST_F(FlangerEditorTest, SteppedKnobsMoveOneStepPerWheelStep) {
    open();
    hostSets(FlangerParameters::kSwitch, 1.0f);  // the tempo knob and the note on the rate knob
    editor->idle();
    struct Knob {
        gui::Point at;
        int parameter;
        int steps;
    };
    for (const Knob& knob : {Knob{{246, 113}, FlangerParameters::kShapeSync, 16},
                             Knob{{246, 58}, FlangerParameters::kTmpSync, 9},
                             Knob{{246, 175}, FlangerParameters::kSyncBeat, 17}}) {
        SCOPED_TRACE(knob.parameter);
        const float bottom = table->minimum(knob.parameter);
        ASSERT_EQ(table->peekPlain(knob.parameter), bottom);
        for (int step = 1; step <= knob.steps; ++step) {
            headless.setPointer(knob.at.h, knob.at.v);
            window->postWheel(knob.at.h, knob.at.v, 1.0f);
            editor->idle();
            ASSERT_EQ(table->peekPlain(knob.parameter), bottom + static_cast<float>(step)) << step;
        }
    }
}

// Keys the host forwards: a key no control under the pointer (or focused) uses stays the host's,
// and one over a knob steps it; two steps before the next repaint that come back to the drawn
// value still reach the parameter.
TEST_F(FlangerEditorTest, ForwardedArrowsStepOnlyTheControlUnderThePointer) {
    open();
    const auto key = [this](int32_t opcode, std::uint8_t virt) {
        return effect->dispatch(opcode, 0, virt, nullptr, 0.0f);
    };
    std::vector<float> before;
    for (int i = 0; i < FlangerParameters::kParameterCount; ++i) before.push_back(table->peekNormalized(i));
    const std::size_t mark = host.requests.size();
    headless.setPointer(300, 20);  // the background beside the title
    EXPECT_EQ(key(vst::effEditKeyDown, gui::kVirtualDown), 0);
    EXPECT_EQ(key(vst::effEditKeyUp, gui::kVirtualDown), 0);
    EXPECT_TRUE(requestsSince(mark).empty());
    for (int i = 0; i < FlangerParameters::kParameterCount; ++i)
        EXPECT_EQ(table->peekNormalized(i), before[static_cast<std::size_t>(i)]) << i;

    headless.setPointer(34, 175);  // the Feedback knob
    gui::Control* knob = control(Tag::kFeedbackKnob);
    const float start = knob->getValue();
    EXPECT_EQ(key(vst::effEditKeyDown, gui::kVirtualDown), 1);
    EXPECT_LT(table->peekNormalized(FlangerParameters::kFeedback), start);
    EXPECT_EQ(requestsSince(mark),
              (std::vector{request(vst::audioMasterBeginEdit, 0), request(vst::audioMasterAutomate, 0),
                           request(vst::audioMasterEndEdit, 0)}));
    EXPECT_EQ(key(vst::effEditKeyDown, gui::kVirtualUp), 1);
    EXPECT_FLOAT_EQ(knob->getValue(), start);
    EXPECT_NEAR(table->peekNormalized(FlangerParameters::kFeedback), knob->getValue(), 1e-6f);
    EXPECT_EQ(table->peekNormalized(FlangerParameters::kOutput), before[FlangerParameters::kOutput]);
}

TEST_F(FlangerEditorTest, LoadsItsBitmapsOnlyWhenTheHostFirstAsksForTheWindow) {
    // An effect that is only rendered with never pays for its editor's pictures.
    EXPECT_EQ(editor->bitmapSet().size(), 0);
    EXPECT_EQ(editor->bitmapSet().get(1001), nullptr);
    vst::ERect* rect = nullptr;
    ASSERT_EQ(editor->editorRect(&rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 370);
    EXPECT_EQ(rect->bottom, 216);
    gui::SkinBitmap* background = editor->bitmapSet().get(1001);
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->getWidth(), 370);
    // Loaded once: asking again or opening keeps the same set.
    ASSERT_EQ(editor->editorRect(&rect), 1);
    open();
    EXPECT_EQ(editor->bitmapSet().get(1001), background);
    EXPECT_EQ(editor->sweepCurve().size(), 196u);
}

TEST_F(FlangerEditorTest, CloseReleasesEveryControlEvenTheOneLeftOut) {
    vst::ERect* rect = nullptr;
    ASSERT_EQ(editor->editorRect(&rect), 1);  // as hosts do before the first open: loads the bitmaps
    gui::SkinBitmap* menuBackground = editor->bitmapSet().get(1008);
    gui::SkinBitmap* strip = editor->bitmapSet().get(1003);
    const int menuReferences = menuBackground->referenceCount();
    const int stripReferences = strip->referenceCount();
    for (int cycle = 0; cycle < 50; ++cycle) {
        open();
        if (cycle % 2 == 1) hostSets(FlangerParameters::kSwitch, 1.0f);
        editor->close();
        EXPECT_EQ(editor->control(Tag::kNoteMenu), nullptr);
        EXPECT_FALSE(editor->controlsBuilt());
        editor->parameterChanged(FlangerParameters::kFeedback, 0.1f);  // closed: ignored
        hostSets(FlangerParameters::kSwitch, 0.0f);
    }
    EXPECT_EQ(menuBackground->referenceCount(), menuReferences);
    EXPECT_EQ(strip->referenceCount(), stripReferences);
}

TEST_F(FlangerEditorTest, WholeEditorMatchesItsGoldensInBothLayouts) {
    open();
    testing::expectMatchesGolden(screen(), FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, "editor/full-free",
                                 {8, 60});
    hostSets(FlangerParameters::kSwitch, 1.0f);
    editor->idle();
    testing::expectMatchesGolden(screen(), FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, "editor/full-sync",
                                 {8, 60});
    // A full repaint draws the same as the idle repaints did.
    const platform::Surface idled = screen();
    window->postExpose({0, 0, 370, 216});
    editor->idle();
    int differing = 0;
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 370; ++x) differing += screen().pixel(x, y) != idled.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
}

TEST_F(FlangerEditorTest, OpenEditBoxAndNotePopupWearTheSkin) {
    open();
    press({237, 145});  // the Rate field's box opens with its text selected
    ASSERT_TRUE(static_cast<gui::text::TextField*>(control(Tag::kRateField))->isEditing());
    editor->idle();
    testing::expectMatchesGolden(screen(), FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, "editor/rate-edit-box",
                                 {8, 60});
    hostSets(FlangerParameters::kSwitch, 1.0f);
    editor->idle();
    // Down twice: the second line lit, the first (the current note) checked.
    gui::menu::QueuedPopupPresenter popup;
    using Event = gui::menu::PopupEvent;
    for (Event::Key key : {Event::Key::Down, Event::Key::Down, Event::Key::Escape})
        popup.events.push_back({Event::Kind::Key, key, {}});
    static_cast<gui::menu::ChoiceMenu*>(control(Tag::kNoteMenu))->setPopupPresenter(&popup);
    press({230, 145});
    static_cast<gui::menu::ChoiceMenu*>(control(Tag::kNoteMenu))->setPopupPresenter(nullptr);
    ASSERT_TRUE(popup.events.empty());
    testing::expectMatchesGolden(popup.lastFrame, FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, "editor/note-popup",
                                 {8, 60});
}

TEST(FlangerEditorScreenshot, ShowsTheEditorAsItOpensAndItsAboutPicture) {
    // What scripts/demo.sh writes: the same picture as the free-layout golden.
    testing::expectMatchesGolden(tools::renderFlangerEditor(false), FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR,
                                 "editor/full-free", {8, 60});
    const platform::Surface about = tools::renderFlangerEditor(true);
    const auto picture = gui::loadBitmapResource(1000);
    ASSERT_TRUE(picture.has_value());
    ASSERT_EQ(about.width(), 370);
    EXPECT_EQ(about.pixel(20, 20), picture->pixel(20, 20));
    EXPECT_EQ(about.pixel(360, 100), picture->pixel(360, 100));
}

}  // namespace
}  // namespace flanger::editor

namespace flanger::editor {
namespace {

// Aligned 2 × 2 blocks of a picture's area that are not one colour: a 100 % picture doubled has
// none, one drawn at 200 % has them wherever an edge or a letter is.
int detailedBlocks(const platform::Surface& picture, const gui::Rect& area) {
    int count = 0;
    for (int y = area.top; y < area.bottom; y += 2)
        for (int x = area.left; x < area.right; x += 2) {
            const std::uint32_t p = picture.pixel(x, y);
            count += picture.pixel(x + 1, y) != p || picture.pixel(x, y + 1) != p ||
                     picture.pixel(x + 1, y + 1) != p;
        }
    return count;
}

TEST(FlangerEditorScales, DrawSharpAtOneAndAHalfAndTwiceTheSize) {
    for (const int scale : {150, 200}) {
        const std::string suffix = "-" + std::to_string(scale);
        const platform::Surface editor = tools::renderFlangerEditor(false, scale);
        ASSERT_EQ(editor.width(), 370 * scale / 100);
        ASSERT_EQ(editor.height(), 216 * scale / 100);
        testing::expectMatchesGolden(editor, FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR,
                                     "editor/full-free" + suffix, {8, 60 * scale * scale / 10000});
        testing::expectMatchesGolden(tools::renderFlangerEditor(true, scale), FLANGER_GOLDEN_DIR,
                                     FLANGER_ACTUAL_DIR, "editor/about" + suffix,
                                     {8, 60 * scale * scale / 10000});
    }
    // The title lettering, the Feedback field's text and the Feedback knob at 200 %.
    const platform::Surface twice = tools::renderFlangerEditor(false, 200);
    EXPECT_GT(detailedBlocks(twice, {36, 20, 330, 52}), 150);
    EXPECT_GT(detailedBlocks(twice, {20, 278, 114, 302}), 40);
    EXPECT_GT(detailedBlocks(twice, {26, 308, 110, 392}), 150);
}

// A settings folder of the test's own, as another user's home would be.
class FlangerEditorSizeMenu : public FlangerEditorTest {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("flanger-size-menu-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        FlangerEditorTest::SetUp();
    }
    void TearDown() override {
        FlangerEditorTest::TearDown();
        std::filesystem::remove_all(folder);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    // A right click on the title, answered by a user picking label from the menu.
    gui::menu::PopupTree pickFromSizeMenu(const std::string& label) {
        struct Recording : PickByLabel {
            gui::menu::PopupTree seen;
            std::int32_t run(const gui::menu::PopupTree& tree, gui::Point at, bool secondary) override {
                seen = tree;
                return PickByLabel::run(tree, at, secondary);
            }
        } pick;
        pick.label = label;
        gui::menu::setDefaultPopupPresenter(&pick);
        headless.setPointer(30, 12);
        headless.setButtons(platform::kRightButton);
        window->postButtonPress(30, 12, platform::kRightButton);
        editor->idle();
        headless.setButtons(0);
        editor->idle();
        gui::menu::setDefaultPopupPresenter(nullptr);
        EXPECT_EQ(pick.runs, 1);
        return pick.seen;
    }
    static std::pair<int, int> openedSize(FlangerEditor& someEditor) {
        vst::ERect* rect = nullptr;
        someEditor.editorRect(&rect);
        return {rect->right - rect->left, rect->bottom - rect->top};
    }

    std::filesystem::path folder;
};

TEST_F(FlangerEditorSizeMenu, APickIsRememberedForEveryInstanceAndACorruptFileMeansTheDefault) {
    open();
    const gui::menu::PopupTree menu = pickFromSizeMenu("150 %");
    ASSERT_EQ(menu.menus.size(), 1u);
    ASSERT_EQ(menu.menus[0].size(), 6u);  // "Size" and the five sizes
    EXPECT_EQ(menu.menus[0][0].label, "Size");
    EXPECT_TRUE(menu.menus[0][1].checked);  // 100 %
    // This host cannot resize the window: the editor stays as it is until it is opened again,
    // and then opens at the size picked, as a second instance does.
    EXPECT_EQ(openedSize(*editor), std::make_pair(370, 216));
    effect::FlangerEffect second(&RecordingHost::callback,
                                 static_cast<host::EditorFactory>(&editor::createFlangerEditor));
    ASSERT_TRUE(second.initialise());
    EXPECT_EQ(openedSize(*dynamic_cast<FlangerEditor*>(second.editor())), std::make_pair(555, 324));
    editor->close();
    open();
    EXPECT_EQ(window->backing().width(), 555);

    for (const char* broken :
         {"", "size=150\n", "BrackwaterFlanger settings 1\nsize=lots\n", "\x01\xff\x7f"}) {
        std::ofstream(folder / "BrackwaterFlanger" / "settings", std::ios::binary | std::ios::trunc)
            << broken;
        EXPECT_EQ(openedSize(*dynamic_cast<FlangerEditor*>(second.editor())), std::make_pair(370, 216))
            << broken;
    }
}

TEST_F(FlangerEditorSizeMenu, TheHostsScaleWinsAndTheMenuSaysSo) {
    editor->setHostScale(200);
    open();
    EXPECT_EQ(window->backing().width(), 740);
    const gui::menu::PopupTree menu = pickFromSizeMenu("100 %");
    ASSERT_EQ(menu.menus[0].size(), 7u);
    EXPECT_TRUE(menu.menus[0][5].checked);  // 200 %
    EXPECT_EQ(menu.menus[0][1].kind, gui::menu::PopupItem::Kind::Greyed);
    EXPECT_EQ(menu.menus[0][6].label, "set by the host");
    editor->idle();
    EXPECT_EQ(window->backing().width(), 740);
    EXPECT_FALSE(std::filesystem::exists(folder / "BrackwaterFlanger" / "settings"));
}

// A host that resizes its window when asked (audioMasterSizeWindow) gets the new size at the
// editor's next idle, and the rebuilt editor takes clicks where it now draws its controls; the
// host's own scale may come from another of its threads.
TEST_F(FlangerEditorSizeMenu, AHostThatResizesGetsTheNewSizeAtTheNextIdleFromAnyThread) {
    host.answers[vst::audioMasterCanDo] = 1;
    host.answers[vst::audioMasterSizeWindow] = 1;
    open();
    pickFromSizeMenu("150 %");
    EXPECT_EQ(window->backing().width(), 555);
    EXPECT_EQ(window->backing().height(), 324);
    const auto asked = std::find_if(host.requests.begin(), host.requests.end(),
                                    [](const auto& r) { return r.opcode == vst::audioMasterSizeWindow; });
    ASSERT_NE(asked, host.requests.end());
    EXPECT_EQ(std::make_pair(asked->index, static_cast<int>(asked->value)), std::make_pair(555, 324));
    // A quick click on the lamp, drawn at (393, 219) now.
    window->postPointerPress(393, 219, platform::kLeftButton);
    window->postPointerRelease(393, 219, platform::kLeftButton);
    editor->idle();
    EXPECT_EQ(table->peekPlain(FlangerParameters::kSwitch), 1.0f);

    std::thread([&] { editor->setHostScale(200); }).join();
    EXPECT_EQ(window->backing().width(), 555) << "not from the host's other thread";
    editor->idle();
    EXPECT_EQ(window->backing().width(), 740);
    EXPECT_EQ(editor->frameView()->pixelScale().percent, 200);
}

}  // namespace
}  // namespace flanger::editor
