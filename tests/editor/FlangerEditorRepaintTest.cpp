// The flanger editor on the headless backend, with a real effect behind it: what each idle
// repaints, the editor flag the idle raises and processing clears, values a host should never
// send, idle rates, a host closing the editor from inside a drag, and changes from a second
// thread while the window thread idles and drags (run under ThreadSanitizer by CI).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "editor/FlangerEditor.h"
#include "editor/ModulationDisplay.h"
#include "effect/FlangerEffect.h"
#include "gui/FrameView.h"
#include "gui/KnobMode.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/menu/ChoiceMenu.h"
#include "gui/text/TextField.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/host/RecordingHost.h"
#include "tests/support/GoldenImage.h"

namespace flanger::editor {
namespace {

using gui::Rect;
using params::FlangerParameters;
using testing::RecordingHost;
using Tag = FlangerEditor::Tag;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Size rectangles of the controls involved; drawing covers their edges too.
constexpr Rect kFeedbackKnob{13, 154, 55, 196};
constexpr Rect kFeedbackField{10, 139, 57, 151};
constexpr Rect kDisplay{11, 41, 207, 115};
constexpr Rect kStereoKnob{163, 154, 205, 196};
constexpr Rect kStereoField{160, 139, 207, 151};
constexpr Rect kWidthBar{12, 31, 206, 40};

// What a control's repaint may present: its rectangle with its edges, and a pixel of rounding
// round it.
long long drawnArea(const Rect& r) {
    return static_cast<long long>(r.right - r.left + 3) * (r.bottom - r.top + 3);
}
bool inside(const Rect& r, int x, int y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

class FlangerEditorRepaint;
FlangerEditorRepaint* current = nullptr;

class FlangerEditorRepaint : public ::testing::Test {
protected:
    // The recording host, and a host that may close the editor from inside its idle request.
    static intptr_t hostCallback(vst::EffectRecord* record, int32_t opcode, int32_t index, intptr_t value,
                                 void* ptr, float opt) {
        const intptr_t answer = RecordingHost::callback(record, opcode, index, value, ptr, opt);
        if (opcode == vst::audioMasterIdle && current != nullptr && current->closeOnHostIdle) {
            current->closeOnHostIdle = false;
            current->effect->dispatch(vst::effEditClose, 0, 0, nullptr, 0.0f);
        }
        return answer;
    }

    void SetUp() override {
        current = this;
        platform::setCurrentPlatform(&headless);
        effect = std::make_unique<effect::FlangerEffect>(
            &hostCallback, static_cast<host::EditorFactory>(&editor::createFlangerEditor));
        ASSERT_TRUE(effect->initialise());
        editor = dynamic_cast<FlangerEditor*>(effect->editor());
        ASSERT_NE(editor, nullptr);
        editor->selectKnobMode(gui::controls::kLinearKnobMode);
        table = effect->flangerParameters();
    }
    void TearDown() override {
        gui::setKnobMode(0);
        if (editor->frameView() != nullptr) editor->close();
        effect.reset();
        platform::setCurrentPlatform(nullptr);
        current = nullptr;
    }

    void open() {
        ASSERT_EQ(editor->open(reinterpret_cast<void*>(0x77)), 1);
        frame = editor->frameView();
        window = static_cast<platform::HeadlessWindow*>(frame->nativeWindow());
        window->postExpose({0, 0, 370, 216});
        editor->idle();
        editor->idle();  // anything the first paint left dirty
    }
    const platform::Surface& screen() { return window->screen(); }
    gui::Control* control(int tag) { return editor->control(tag); }
    void hostSets(int index, float normalised) { effect->setParameterValue(index, normalised); }

    // Runs one idle and checks it presented only inside the given rectangles, and changed
    // pixels only there; answers the number of presents.
    int idleShowingOnly(std::initializer_list<Rect> allowed) {
        const platform::Surface before = screen();
        const int presents = window->presentCount();
        const long long pixels = window->presentedPixels();
        editor->idle();
        long long limit = 0;
        for (const Rect& r : allowed) limit += drawnArea(r);
        EXPECT_LE(window->presentedPixels() - pixels, limit) << "presented outside the changed controls";
        int strays = 0;
        for (int y = 0; y < 216; ++y)
            for (int x = 0; x < 370; ++x) {
                if (screen().pixel(x, y) == before.pixel(x, y)) continue;
                bool ok = false;
                for (const Rect& r : allowed) ok = ok || inside(r, x, y);
                strays += ok ? 0 : 1;
            }
        EXPECT_EQ(strays, 0) << "pixels changed outside the changed controls";
        return window->presentCount() - presents;
    }
    bool changedIn(const platform::Surface& before, const Rect& r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (screen().pixel(x, y) != before.pixel(x, y)) return true;
        return false;
    }

    // A press at from, the pointer moving by (dh, dv), one pixel per pass, for as long as the
    // button is held: held for holdPasses passes (or until the script lets go).
    void drag(gui::Point from, int dh, int dv, int holdPasses) {
        headless.setPointer(from.h, from.v);
        headless.setButtons(platform::kLeftButton);
        window->postButtonPress(from.h, from.v, 1);
        const int steps = std::max(std::abs(dh), std::abs(dv));
        int reads = 0;
        headless.onReadPointer([&, steps](platform::HeadlessPlatform& p) {
            const int pass = ++reads / 2;
            const int k = std::min(pass, steps);
            p.setPointer(from.h + (steps > 0 ? dh * k / steps : 0),
                         from.v + (steps > 0 ? dv * k / steps : 0));
            if (pass > holdPasses) p.setButtons(0);
            p.setTickCount(p.tickCountMs() + 30);  // so the drag's refresh asks the host to idle
        });
        editor->idle();
        headless.onReadPointer(nullptr);
        headless.setButtons(0);
    }
    // Begin/end edit of each parameter since mark: +1 per begin, −1 per end.
    std::vector<std::pair<int32_t, int32_t>> editsSince(std::size_t mark) {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (std::size_t i = mark; i < host.requests.size(); ++i) {
            const auto& r = host.requests[i];
            if (r.opcode == vst::audioMasterBeginEdit || r.opcode == vst::audioMasterEndEdit)
                out.push_back({r.opcode, r.index});
        }
        return out;
    }
    void expectEveryEditEnded(std::size_t mark) {
        int open = 0;
        for (const auto& [opcode, index] : editsSince(mark))
            open += opcode == vst::audioMasterBeginEdit ? 1 : -1;
        EXPECT_EQ(open, 0) << "a begun edit was never ended";
        EXPECT_FALSE(editsSince(mark).empty()) << "the drag reported no edit at all";
    }

    bool closeOnHostIdle = false;
    RecordingHost host;
    platform::HeadlessPlatform headless;
    std::unique_ptr<effect::FlangerEffect> effect;
    FlangerEditor* editor = nullptr;
    FlangerParameters* table = nullptr;
    gui::FrameView* frame = nullptr;
    platform::HeadlessWindow* window = nullptr;
};

TEST_F(FlangerEditorRepaint, EachIdleShowsOnlyWhatChanged) {
    open();
    // Nothing changed: nothing presented.
    const int presents = window->presentCount();
    for (int i = 0; i < 5; ++i) editor->idle();
    EXPECT_EQ(window->presentCount(), presents);

    platform::Surface before = screen();
    hostSets(FlangerParameters::kFeedback, 1.0f);
    EXPECT_GT(idleShowingOnly({kFeedbackKnob, kFeedbackField, kDisplay}), 0);
    EXPECT_TRUE(changedIn(before, kFeedbackKnob));
    EXPECT_TRUE(changedIn(before, kFeedbackField));
    EXPECT_TRUE(changedIn(before, kDisplay));  // the comb curve's colour follows the feedback
    EXPECT_EQ(idleShowingOnly({}), 0);

    before = screen();
    hostSets(FlangerParameters::kStereo, 1.0f);
    EXPECT_GT(idleShowingOnly({kStereoKnob, kStereoField, kWidthBar}), 0);
    EXPECT_TRUE(changedIn(before, kStereoKnob));
    EXPECT_TRUE(changedIn(before, kStereoField));
    EXPECT_TRUE(changedIn(before, kWidthBar));
    EXPECT_EQ(idleShowingOnly({}), 0);
}

TEST_F(FlangerEditorRepaint, IdleRaisesTheEditorFlagAndTheNextProcessCallClearsIt) {
    effect->setSampleRate(44100.0f);
    effect->setBlockSize(64);
    effect->resume();
    std::vector<float> left(64, 0.0f), right(64, 0.0f), outLeft(64), outRight(64);
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    vst::EffectRecord* record = effect->effectRecord();
    const auto process = [&] { record->processReplacing(record, inputs, outputs, 64); };
    open();
    process();
    EXPECT_FALSE(table->editorFlag());
    for (int round = 0; round < 3; ++round) {
        editor->idle();
        EXPECT_TRUE(table->editorFlag());
        process();
        EXPECT_FALSE(table->editorFlag());
        process();
        EXPECT_FALSE(table->editorFlag());
    }
    // While the counter holds processing off, the flag stays up; each idle counts it down.
    table->setEditorCounter(2);
    editor->idle();
    EXPECT_EQ(table->editorCounter(), 1);
    process();
    EXPECT_TRUE(table->editorFlag());
    editor->idle();
    EXPECT_EQ(table->editorCounter(), 0);
    process();
    EXPECT_FALSE(table->editorFlag());
}

TEST_F(FlangerEditorRepaint, HostValuesOutOfRangeAreHeldToTheRangeAndNonFiniteOnesIgnored) {
    open();
    // Through the effect: clamped to 0..1, NaN dropped.
    hostSets(FlangerParameters::kFeedback, 2.0f);
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 1.0f);
    hostSets(FlangerParameters::kFeedback, -1.0f);
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 0.0f);
    hostSets(FlangerParameters::kFeedback, kInf);
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 1.0f);
    hostSets(FlangerParameters::kFeedback, -kInf);
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 0.0f);
    hostSets(FlangerParameters::kFeedback, kNaN);
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(), 0.0f);
    EXPECT_FLOAT_EQ(table->peekPlain(FlangerParameters::kFeedback), 0.0f);

    // Straight into the editor, every parameter and then some: the controls stay in 0..1 and a
    // non-finite value moves nothing.
    for (int index = -1; index <= 12; ++index) {
        for (float bad : {2.0f, -1.0f, 1e30f, -1e30f}) {
            editor->parameterChanged(index, bad);
            for (int tag = 1; tag <= 22; ++tag) {
                const float v = control(tag)->getValue();
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "tag " << tag << " holds " << v << " after " << index;
            }
        }
        editor->parameterChanged(index, 0.25f);
        std::vector<float> held;
        for (int tag = 1; tag <= 22; ++tag) held.push_back(control(tag)->getValue());
        for (float bad : {kNaN, kInf, -kInf}) editor->parameterChanged(index, bad);
        for (int tag = 1; tag <= 22; ++tag)
            EXPECT_EQ(control(tag)->getValue(), held[static_cast<std::size_t>(tag - 1)])
                << "tag " << tag << " moved on a non-finite value of " << index;
    }
    editor->idle();
    EXPECT_FLOAT_EQ(control(Tag::kStereoBar)->getValue(), control(Tag::kStereoKnob)->getValue());
}

TEST_F(FlangerEditorRepaint, TableValuesNoHostShouldSendDrawAndFinishSafely) {
    open();
    // The table keeps what text or a program writes; the editor must survive each of them.
    const float wild[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 18.0f, 17.9f, -0.5f, 2.0e9f};
    for (float switchValue : {0.0f, 1.0f}) {
        table->setPlain(FlangerParameters::kSwitch, switchValue);
        editor->parameterChanged(FlangerParameters::kSwitch, switchValue);
        for (float value : wild) {
            for (int index :
                 {FlangerParameters::kFeedback, FlangerParameters::kDelay, FlangerParameters::kDepth,
                  FlangerParameters::kRate, FlangerParameters::kSyncBeat, FlangerParameters::kTmpSync,
                  FlangerParameters::kShapeSync}) {
                const float kept = table->peekPlain(index);
                table->setPlain(index, value);
                editor->parameterChanged(index, 0.5f);
                editor->idle();
                for (float point : editor->sweepCurve())
                    ASSERT_TRUE(std::isfinite(point)) << index << " " << value;
                for (float point : editor->combCurve())
                    ASSERT_TRUE(std::isfinite(point)) << index << " " << value;
                const float period = table->peekPlain(FlangerParameters::kBeatsPerCycle);
                EXPECT_FALSE(std::isnan(period)) << index << " " << value;
                table->setPlain(index, kept);
            }
        }
    }
    // A value that is no number shows as the default: the same curves as the default's.
    table->setPlain(FlangerParameters::kSwitch, 0.0f);
    editor->parameterChanged(FlangerParameters::kSwitch, 0.0f);
    table->setPlain(FlangerParameters::kDepth, table->defaultValue(FlangerParameters::kDepth));
    editor->parameterChanged(FlangerParameters::kDepth, 0.5f);
    const std::vector<float> atDefault = editor->sweepCurve();
    table->setPlain(FlangerParameters::kDepth, kNaN);
    editor->parameterChanged(FlangerParameters::kDepth, 0.5f);
    EXPECT_EQ(editor->sweepCurve(), atDefault);
    // A window repaint after all that still draws the whole editor.
    window->postExpose({0, 0, 370, 216});
    editor->idle();
    EXPECT_EQ(screen().width(), 370);
}

TEST_F(FlangerEditorRepaint, IdleRateDoesNotChangeThePictures) {
    open();
    const auto paintAfterChanges = [&](int idleMs) {
        hostSets(FlangerParameters::kFeedback, 0.9f);
        hostSets(FlangerParameters::kSwitch, 1.0f);
        hostSets(FlangerParameters::kSyncBeat, 5.0f / 17.0f);
        hostSets(FlangerParameters::kStereo, 0.1f);
        for (int i = 0; i < 6; ++i) {
            headless.setTickCount(headless.tickCountMs() + static_cast<std::uint32_t>(idleMs));
            editor->idle();
        }
        platform::Surface shown = screen();
        hostSets(FlangerParameters::kFeedback, 0.5f);
        hostSets(FlangerParameters::kSwitch, 0.0f);
        hostSets(FlangerParameters::kStereo, 0.5f);
        editor->idle();
        return shown;
    };
    const platform::Surface slow = paintAfterChanges(66);
    const platform::Surface fast = paintAfterChanges(10);
    int differing = 0;
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 370; ++x) differing += slow.pixel(x, y) != fast.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
}

TEST_F(FlangerEditorRepaint, HostClosingTheEditorInsideADragEndsTheDragAndEveryEdit) {
    const struct {
        gui::Point press;
        int dh, dv;
        const char* what;
    } drags[] = {
        {{34, 175}, 0, -30, "feedback knob"},
        {{100, 80}, 30, -20, "modulation display"},
        {{150, 35}, 40, 0, "stereo width bar"},
        {{339, 120}, 0, -30, "mix slider"},
    };
    for (const auto& d : drags) {
        SCOPED_TRACE(d.what);
        open();
        const std::size_t mark = host.requests.size();
        closeOnHostIdle = true;
        // The button stays down long after the close: the drag must not wait for it.
        drag(d.press, d.dh, d.dv, 100000);
        EXPECT_FALSE(closeOnHostIdle) << "the drag never asked the host to idle";
        expectEveryEditEnded(mark);
        EXPECT_EQ(editor->frameView(), nullptr) << "the frame outlived the drag";
        EXPECT_FALSE(editor->controlsBuilt());
        EXPECT_TRUE(headless.windows().empty()) << "the window outlived the close";
        editor->idle();  // nothing left to touch
    }
}

TEST_F(FlangerEditorRepaint, ASecondOpenReplacesTheFirstFrame) {
    open();
    gui::FrameView* first = frame;
    hostSets(FlangerParameters::kSwitch, 1.0f);
    ASSERT_EQ(editor->open(reinterpret_cast<void*>(0x78)), 1);
    EXPECT_NE(editor->frameView(), nullptr);
    EXPECT_EQ(headless.windows().size(), 1u);
    EXPECT_EQ(headless.windows().front()->parent(), static_cast<platform::NativeParent>(0x78));
    (void)first;
    EXPECT_TRUE(editor->frameView()->isChild(control(Tag::kNoteMenu)));
    editor->close();
    EXPECT_TRUE(headless.windows().empty());
}

TEST_F(FlangerEditorRepaint, WideProgramShowsSixDottedQuarterCyclesAndMatchesItsGolden) {
    effect->dispatch(vst::effSetProgram, 0, 3, nullptr, 0.0f);  // "Wide": synced to 1/4 D, 10 x
    open();
    EXPECT_TRUE(frame->isChild(control(Tag::kNoteMenu)));
    std::string note;
    static_cast<gui::menu::ChoiceMenu*>(control(Tag::kNoteMenu))->currentItem(&note, false);
    EXPECT_EQ(note, "1/4 D");
    char text[256] = {};
    static_cast<gui::text::TextField*>(control(Tag::kTempoField))->getText(text);
    EXPECT_STREQ(text, "10 x");
    // Six triangles: the sweep falls back to 0 six times after rising.
    int cycles = 0;
    const std::vector<float>& sweep = editor->sweepCurve();
    for (std::size_t x = 1; x < sweep.size(); ++x) cycles += sweep[x] == 0.0f && sweep[x - 1] != 0.0f ? 1 : 0;
    EXPECT_EQ(cycles, 6);
    testing::expectMatchesGolden(screen(), FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, "editor/full-wide",
                                 {8, 60});
}

TEST_F(FlangerEditorRepaint, ThreadedAutomationWhileTheWindowThreadIdlesAndDrags) {
    open();
    std::atomic<bool> stop{false};
    std::thread automation([&] {
        for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
            const int index = i % FlangerParameters::kHostParameterCount;
            hostSets(index, static_cast<float>(i % 97) / 96.0f);
            if (i % 5 == 0) std::this_thread::yield();
        }
    });
    for (int round = 0; round < 20; ++round) {
        drag({34, 175}, 0, -20, 25);
        drag({100, 80}, 20, -10, 25);
        drag({150, 35}, 30, 0, 25);
        for (int i = 0; i < 5; ++i) editor->idle();
    }
    stop = true;
    automation.join();
    editor->idle();
    EXPECT_EQ(editor->pendingChanges(), 0u);
    // Afterwards the controls show the table.
    EXPECT_FLOAT_EQ(control(Tag::kFeedbackKnob)->getValue(),
                    table->peekNormalized(FlangerParameters::kFeedback));
}

}  // namespace
}  // namespace flanger::editor
