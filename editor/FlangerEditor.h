// The flanger's editor: a fixed 370 × 216 window built from the module's bitmaps 1000–1010,
// background 1001, with 22 controls wired to the eleven host parameters, the rate section
// switching between a free rate and a note value, and the about picture on the title.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "gui/editor/BitmapEditor.h"
#include "params/ParameterTable.h"

namespace flanger::gui::menu {
class ChoiceMenu;
}

namespace flanger::editor {

class ModulationDisplay;
class StereoWidthBar;

class FlangerEditor : public gui::editor::BitmapEditor {
public:
    static constexpr int kFirstBitmap = 1000;
    static constexpr int kBitmapCount = 11;
    static constexpr int kBackgroundBitmap = 1001;
    // The window size when the background cannot be read; also what the background measures.
    static constexpr int kWidth = 370;
    static constexpr int kHeight = 216;

    // Control tags. Odd tags below 21 are knobs and sliders, the even tag after each is its
    // number field; the rate knob (9) edits "Rate" in free mode and "SyncBeat" in sync mode.
    enum Tag : std::int32_t {
        kFeedbackKnob = 1,
        kFeedbackField,
        kDelayKnob,
        kDelayField,
        kDepthKnob,
        kDepthField,
        kStereoKnob,
        kStereoField,
        kRateKnob,
        kRateField,
        kSyncSwitch,
        kNoteMenu,
        kShapeKnob,
        kShapeField,
        kTempoKnob,
        kTempoField,
        kMixSlider,
        kMixField,
        kOutputSlider,
        kOutputField,
        kModulationDisplay,
        kStereoBar,
        kTagCount = 22
    };

    FlangerEditor(host::ExtendedEffect* owner, params::ParameterTable* parameters,
                  gui::editor::PlatformOpener opener = nullptr);
    ~FlangerEditor() override;

    // Both load the bitmaps on first use (the rectangle is the background's size).
    int32_t editorRect(vst::ERect** rect) override;
    int32_t open(void* parent) override;
    void close() override;
    void idle() override;
    // From whatever thread the host changes parameters on: applied at once on the editor's own
    // thread (a drag's echo), else left pending for the next idle, which reads the table.
    void parameterChanged(int32_t index, float normalised) override;
    void formatValue(float value, char* text, std::int32_t tag) override;
    void onValueChanged(gui::Canvas* canvas, gui::Control* control) override;

    // Recomputes both curves of the modulation display from the parameter table and loads them.
    void updateCurves();

    // The control of a tag while the editor is open (null otherwise, or for an unknown tag).
    gui::Control* control(std::int32_t tag) const noexcept;
    // Parameter indices (bit i for index i) waiting for the next idle.
    std::uint32_t pendingChanges() const noexcept { return pending.load(std::memory_order_relaxed); }
    const std::vector<float>& sweepCurve() const noexcept { return sweep; }
    const std::vector<float>& combCurve() const noexcept { return comb; }

private:
    // Decodes the editor's bitmaps once, on the user-interface thread: an effect whose editor is
    // never shown (an offline render) neither decodes nor holds them.
    // Loads the skin for scalePercent unless it is loaded for it already; 0: whatever scale is
    // loaded, else 100 %. The controls must not hold the old bitmaps.
    void loadBitmaps(int scalePercent = 0);
    bool buildControls();
    void applyParameter(std::int32_t index, float normalised);
    // The engine's own test: sync exactly when the plain "Switch" value is 1.
    bool syncMode() const;
    float normalisedOf(int index) const;
    // Puts the rate section into the sync or free layout; the caller sets the shown values.
    void applyLayout(bool sync);
    void setRateEditLists(bool sync);
    // The normalised size of one step of a stepped parameter.
    float oneStepOf(int index) const;
    // A typed field text read as the host's text entry reads it (a NumberField reader).
    static bool readTypedText(const char* text, float& real, std::int32_t tag, void* data);
    // Parameter 11 := "TmpSync" × the note's beats; straight into the table, not to the host.
    void updateSyncPeriod();
    void selectNoteFromTable();
    // Ends a focus the view holds before it leaves the frame, an open edit box without a report.
    void dropFocus(gui::View* view);
    void releaseControls();

    // Indexed by tag; the frame holds their references, except the one of the rate field and
    // note menu the layout took out, which the editor holds until it goes back or close.
    std::array<gui::Control*, kTagCount + 1> controls{};
    ModulationDisplay* display = nullptr;
    StereoWidthBar* widthBar = nullptr;
    gui::menu::ChoiceMenu* noteMenu = nullptr;
    bool rawMenuIndices = false;  // menu indices count selectable entries: they are "SyncBeat" values
    bool holdsPopups = false;     // this open editor holds the window system's popup presenter
    bool bitmapsLoaded = false;
    int bitmapScale = 0;
    std::vector<float> sweep;
    std::vector<float> comb;
    int displayWidth = 0;
    int displayHeight = 0;

    // The thread that opened the editor and idles it. Writer: open; reader: parameterChanged.
    std::atomic<std::thread::id> editorThread{};
    // Writer: open and close (editor thread); reader: parameterChanged on any thread.
    std::atomic<bool> accepting{false};
    // Writers: parameterChanged off the editor thread (set bits); reader and clearer: idle.
    std::atomic<std::uint32_t> pending{0};
};

// The editor factory: a FlangerEditor (attached to owner) for a plug-in whose parameter table
// holds the flanger's parameters, else null. Open editors use the window system opener opens,
// or without one platform::currentPlatform().
host::EditorBase* createFlangerEditor(host::ExtendedEffect* owner,
                                      gui::editor::PlatformOpener opener) noexcept;
host::EditorBase* createFlangerEditor(host::ExtendedEffect* owner) noexcept;

}  // namespace flanger::editor
