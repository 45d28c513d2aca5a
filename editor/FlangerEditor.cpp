// The flanger editor: its 22 controls and their tags, control changes to parameter changes,
// parameter changes back to the controls, the free/sync layouts of the rate section, the curve
// update of the modulation display, and the factory that makes it for a plug-in.
#include "editor/FlangerEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <span>

#include "editor/CurveDisplay.h"
#include "editor/CurveMath.h"
#include "editor/ModulationDisplay.h"
#include "editor/StereoWidthBar.h"
#include "gui/FrameView.h"
#include "gui/controls/Buttons.h"
#include "gui/controls/ControlDrawing.h"
#include "gui/controls/LinearSlider.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/WindowPopupPresenter.h"
#include "gui/text/EditBox.h"
#include "gui/text/NumberField.h"
#include "gui/text/TextBuffer.h"
#include "gui/text/TextField.h"
#include "host/PluginBase.h"
#include "params/FlangerParameters.h"
#include "params/NoteTable.h"
#include "text/NumberText.h"

namespace flanger::editor {

namespace {

using gui::Rect;
using params::FlangerParameters;

constexpr int kAboutPicture = 1000;
constexpr int kFieldBackground = 1002;
constexpr int kKnobStrip = 1003;
constexpr int kKnobHandle = 1004;
constexpr int kSliderHandle = 1005;
constexpr int kDisplayBackground = 1006;
constexpr int kLevelFieldBackground = 1007;
constexpr int kRateFieldBackground = 1008;
constexpr int kWidthBarBackground = 1009;
constexpr int kLamp = 1010;
// The size of the modulation display's picture, and of the display when the picture is missing.
constexpr int kDisplayWidth = 196;
constexpr int kDisplayHeight = 74;

constexpr std::int32_t kMenuStyle = 0x600;  // popup over the control, current entry checked
constexpr std::int32_t kSliderStyle = 64;   // the value grows towards the top
constexpr std::int32_t kDisplayFlags = CurveDisplay::kDrawFirst | CurveDisplay::kDrawSecond;
constexpr float kRateKnobStep = 0.05f;
constexpr float kShapeKnobStep = 1.0f / 17.0f;
constexpr gui::Color kDisabledInk{127, 127, 127, 0};

// The two-frame lamp is 11 × 22 while its control is 12 × 12: drawn as the plain toggle draws,
// the off frame would show the on frame's first row and the on frame would read past the
// bitmap. One frame's pixels are drawn and the rest of the rectangle shows the editor behind it.
class LampButton : public gui::controls::ToggleButton {
public:
    using ToggleButton::ToggleButton;

    void draw(gui::Canvas& canvas) override {
        if (background != nullptr) {
            const int frameHeight = background->getHeight() / 2;
            const Rect shown{size.left, size.top, size.left + std::min(size.width(), background->getWidth()),
                             size.top + std::min(size.height(), frameHeight)};
            gui::controls::restoreFrameBackground(canvas, frame, size, size);
            const gui::Point source{0, gui::controls::showsOn(value) ? frameHeight : 0};
            gui::controls::drawBackground(canvas, background, shown, source, transparent);
        }
        markDirty(false);
    }
};

struct KnobPlace {
    std::int32_t tag;
    Rect size;
};

constexpr KnobPlace kStripKnobs[] = {
    {FlangerEditor::kFeedbackKnob, {13, 154, 55, 196}}, {FlangerEditor::kDelayKnob, {63, 154, 105, 196}},
    {FlangerEditor::kDepthKnob, {113, 154, 155, 196}},  {FlangerEditor::kStereoKnob, {163, 154, 205, 196}},
    {FlangerEditor::kRateKnob, {225, 154, 267, 196}},
};

struct FieldPlace {
    std::int32_t tag;
    Rect size;
    int background;
    int parameter;
};

constexpr FieldPlace kNumberFields[] = {
    {FlangerEditor::kFeedbackField, {10, 139, 57, 151}, kFieldBackground, FlangerParameters::kFeedback},
    {FlangerEditor::kDelayField, {60, 139, 107, 151}, kFieldBackground, FlangerParameters::kDelay},
    {FlangerEditor::kDepthField, {110, 139, 157, 151}, kFieldBackground, FlangerParameters::kDepth},
    {FlangerEditor::kStereoField, {160, 139, 207, 151}, kFieldBackground, FlangerParameters::kStereo},
    {FlangerEditor::kRateField, {222, 139, 253, 151}, kRateFieldBackground, FlangerParameters::kRate},
    {FlangerEditor::kShapeField, {222, 85, 269, 97}, kFieldBackground, FlangerParameters::kShapeSync},
    {FlangerEditor::kTempoField, {222, 29, 269, 41}, kFieldBackground, FlangerParameters::kTmpSync},
    {FlangerEditor::kMixField, {325, 30, 352, 43}, kLevelFieldBackground, FlangerParameters::kMix},
    {FlangerEditor::kOutputField, {285, 30, 312, 43}, kLevelFieldBackground, FlangerParameters::kOutput},
};

// Edit lists in the order they are set; −1 marks the rate pair, whose list follows the mode.
struct EditPlace {
    std::int32_t tag;
    std::int32_t parameter;
};

constexpr EditPlace kEditLists[] = {
    {FlangerEditor::kFeedbackKnob, FlangerParameters::kFeedback},
    {FlangerEditor::kFeedbackField, FlangerParameters::kFeedback},
    {FlangerEditor::kDelayKnob, FlangerParameters::kDelay},
    {FlangerEditor::kDelayField, FlangerParameters::kDelay},
    {FlangerEditor::kDepthKnob, FlangerParameters::kDepth},
    {FlangerEditor::kDepthField, FlangerParameters::kDepth},
    {FlangerEditor::kStereoKnob, FlangerParameters::kStereo},
    {FlangerEditor::kStereoField, FlangerParameters::kStereo},
    {FlangerEditor::kStereoBar, FlangerParameters::kStereo},
    {FlangerEditor::kRateKnob, -1},
    {FlangerEditor::kRateField, -1},
    {FlangerEditor::kTempoKnob, FlangerParameters::kTmpSync},
    {FlangerEditor::kTempoField, FlangerParameters::kTmpSync},
    {FlangerEditor::kShapeKnob, FlangerParameters::kShapeSync},
    {FlangerEditor::kShapeField, FlangerParameters::kShapeSync},
    {FlangerEditor::kMixSlider, FlangerParameters::kMix},
    {FlangerEditor::kMixField, FlangerParameters::kMix},
    {FlangerEditor::kOutputSlider, FlangerParameters::kOutput},
    {FlangerEditor::kOutputField, FlangerParameters::kOutput},
    {FlangerEditor::kSyncSwitch, FlangerParameters::kSwitch},
    {FlangerEditor::kNoteMenu, FlangerParameters::kSyncBeat},
};

// The parameter of the knob/field pair a tag belongs to (the rate pair excluded), or −1.
int pairParameter(std::int32_t tag) {
    switch (tag) {
        case FlangerEditor::kFeedbackKnob:
        case FlangerEditor::kFeedbackField:
            return FlangerParameters::kFeedback;
        case FlangerEditor::kDelayKnob:
        case FlangerEditor::kDelayField:
            return FlangerParameters::kDelay;
        case FlangerEditor::kDepthKnob:
        case FlangerEditor::kDepthField:
            return FlangerParameters::kDepth;
        case FlangerEditor::kStereoKnob:
        case FlangerEditor::kStereoField:
        case FlangerEditor::kStereoBar:
            return FlangerParameters::kStereo;
        case FlangerEditor::kSyncSwitch:
            return FlangerParameters::kSwitch;
        case FlangerEditor::kShapeKnob:
        case FlangerEditor::kShapeField:
            return FlangerParameters::kShapeSync;
        case FlangerEditor::kTempoKnob:
        case FlangerEditor::kTempoField:
            return FlangerParameters::kTmpSync;
        case FlangerEditor::kMixSlider:
        case FlangerEditor::kMixField:
            return FlangerParameters::kMix;
        case FlangerEditor::kOutputSlider:
        case FlangerEditor::kOutputField:
            return FlangerParameters::kOutput;
        default:
            return -1;
    }
}

// value + 0.5 truncated, as "%d" wants it; out-of-range and NaN values would make that
// conversion undefined, so they are held to what an int can show.
int roundedForText(float value) {
    const double shifted = static_cast<double>(value) + 0.5;
    if (!(shifted > -2147483648.0)) return std::isnan(shifted) ? 0 : -2147483647 - 1;
    if (shifted >= 2147483647.0) return 2147483647;
    return static_cast<int>(shifted);
}

// One decimal without the process locale, then the unit.
void formatWithUnit(float value, int decimals, const char* unit, char* text) {
    char number[64];  // a float with one decimal needs at most 42 characters
    ::flanger::text::formatFixed(value, decimals, number, sizeof number);
    std::snprintf(text, gui::text::kTextCapacity, "%s%s", number, unit);
}

}  // namespace

FlangerEditor::FlangerEditor(host::ExtendedEffect* owner, params::ParameterTable* parameters,
                             gui::editor::PlatformOpener opener)
    : BitmapEditor(owner, parameters, opener) {
    rect = {0, 0, static_cast<int16_t>(kHeight), static_cast<int16_t>(kWidth)};
    rawMenuIndices = false;
}

void FlangerEditor::loadBitmaps() {
    if (bitmapsLoaded) return;
    bitmapsLoaded = true;
    bitmaps.load(kFirstBitmap, kBitmapCount, kBackgroundBitmap);
    const int width = bitmaps.getWidth(kBackgroundBitmap);
    const int height = bitmaps.getHeight(kBackgroundBitmap);
    // Hosts size their window from this before opening: never answer an empty rectangle.
    rect = {0, 0, static_cast<int16_t>(height > 0 ? height : kHeight),
            static_cast<int16_t>(width > 0 ? width : kWidth)};
    // The display keeps its 196 × 74 without its picture: the curves are still drawn.
    const int pictureWidth = bitmaps.getWidth(kDisplayBackground);
    const int pictureHeight = bitmaps.getHeight(kDisplayBackground);
    const bool hasPicture = pictureWidth > 0 && pictureHeight > 0;
    displayWidth = hasPicture ? pictureWidth : kDisplayWidth;
    displayHeight = hasPicture ? pictureHeight : kDisplayHeight;
    try {
        sweep.assign(static_cast<std::size_t>(displayWidth), 0.0f);
        comb.assign(static_cast<std::size_t>(displayWidth), 0.0f);
    } catch (const std::bad_alloc&) {
        // No curves then: updateCurves loads nothing rather than failing the effect.
        sweep.clear();
        comb.clear();
    }
}

int32_t FlangerEditor::editorRect(vst::ERect** out) {
    loadBitmaps();
    return BitmapEditor::editorRect(out);
}

FlangerEditor::~FlangerEditor() {
    // Hosts should close first; an editor destroyed open still lets every control go.
    accepting.store(false, std::memory_order_relaxed);
    releaseControls();
}

gui::Control* FlangerEditor::control(std::int32_t tag) const noexcept {
    if (tag < 1 || tag > kTagCount) return nullptr;
    return controls[static_cast<std::size_t>(tag)];
}

bool FlangerEditor::syncMode() const {
    return table->peekPlain(FlangerParameters::kSwitch) == 1.0f;
}

float FlangerEditor::normalisedOf(int index) const {
    return table->peekNormalized(index);
}

int32_t FlangerEditor::open(void* parent) {
    if (parent == nullptr || table == nullptr) return 0;
    releaseControls();  // a second open without a close builds afresh
    loadBitmaps();
    FrameEditor::open(parent);
    if (!createFrame({0, 0, rect.right, rect.bottom})) return 0;
    editorThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    pending.store(0, std::memory_order_relaxed);  // everything is read from the table below
    frame->setBackground(bitmaps.get(kBackgroundBitmap));
    if (!buildControls()) {
        // Out of memory half-way: nothing half-built stays open.
        releaseControls();
        destroyFrame();
        return 0;
    }
    built = true;

    const std::int32_t rateParameter = syncMode() ? FlangerParameters::kSyncBeat : FlangerParameters::kRate;
    for (const EditPlace& place : kEditLists) {
        frame->setEditList(place.tag, 1, place.parameter >= 0 ? &place.parameter : &rateParameter);
    }

    // Initial values, in the design's order; knobs learn their reset value first.
    for (int index : {FlangerParameters::kFeedback, FlangerParameters::kDelay, FlangerParameters::kDepth,
                      FlangerParameters::kRate, FlangerParameters::kStereo, FlangerParameters::kTmpSync,
                      FlangerParameters::kShapeSync, FlangerParameters::kMix, FlangerParameters::kOutput}) {
        std::int32_t knobTag = 0;
        switch (index) {
            case FlangerParameters::kFeedback:
                knobTag = kFeedbackKnob;
                break;
            case FlangerParameters::kDelay:
                knobTag = kDelayKnob;
                break;
            case FlangerParameters::kDepth:
                knobTag = kDepthKnob;
                break;
            case FlangerParameters::kRate:
                knobTag = kRateKnob;
                break;
            case FlangerParameters::kStereo:
                knobTag = kStereoKnob;
                break;
            case FlangerParameters::kTmpSync:
                knobTag = kTempoKnob;
                break;
            case FlangerParameters::kShapeSync:
                knobTag = kShapeKnob;
                break;
            case FlangerParameters::kMix:
                knobTag = kMixSlider;
                break;
            default:
                knobTag = kOutputSlider;
                break;
        }
        const float value = normalisedOf(index);
        gui::Control* knob = control(knobTag);
        knob->setDefaultValue(table->normalize(index, table->defaultValue(index)));
        knob->setValue(value);
        control(knobTag + 1)->setValue(value);
        if (index == FlangerParameters::kDepth) display->setVertical(value);
    }
    selectNoteFromTable();
    const bool sync = syncMode();
    control(kSyncSwitch)->setValue(sync ? 1.0f : 0.0f);
    applyLayout(sync);
    const float rateShown = normalisedOf(sync ? FlangerParameters::kSyncBeat : FlangerParameters::kRate);
    control(kRateKnob)->setValue(rateShown);
    display->setHorizontal(rateShown);
    widthBar->setValue(normalisedOf(FlangerParameters::kStereo));
    updateCurves();

    // The note menu opens in the window system's popups where it has them.
    if (frame->windowPlatform().offersPopups()) {
        gui::menu::acquireWindowPopups();
        holdsPopups = true;
    }
    accepting.store(true, std::memory_order_release);
    requestRedraw();
    return 1;
}

bool FlangerEditor::buildControls() {
    // The about area on the title lettering; open, the frame draws it over everything as its
    // modal view. Only the version line is written on it: the other rectangle is empty.
    if (!addInfoSplash({10, 6, 78, 23}, kAboutPicture, {144, 174, 215, 194}, {0, 0, 0, 0}, gui::colors::white,
                       0))
        return false;
    gui::controls::StripKnob* strip = nullptr;
    for (const KnobPlace& place : kStripKnobs) {
        if (!addStripKnob(strip, place.size, place.tag, kKnobStrip, {0, 0}, true, 0, nullptr)) return false;
        controls[static_cast<std::size_t>(place.tag)] = strip;
    }
    control(kRateKnob)->setStepSize(kRateKnobStep);

    gui::controls::RotaryKnob* knob = nullptr;
    if (!addRotaryKnob(knob, Rect{235, 47, 257, 69}, kTempoKnob, kKnobHandle, kBackgroundBitmap, 0, nullptr))
        return false;
    controls[kTempoKnob] = knob;
    if (!addRotaryKnob(knob, Rect{235, 102, 257, 124}, kShapeKnob, kKnobHandle, kBackgroundBitmap, 0,
                       nullptr))
        return false;
    controls[kShapeKnob] = knob;
    knob->setStepSize(kShapeKnobStep);

    // The sliders run 141 pixels over the editor picture, not its height: made here rather than
    // by the factory, which sizes a slider by its background.
    gui::SkinBitmap* handle = bitmaps.get(kSliderHandle);
    gui::SkinBitmap* background = bitmaps.get(kBackgroundBitmap);
    const int handleHeight = handle != nullptr ? handle->getHeight() : 0;
    for (const KnobPlace& place :
         {KnobPlace{kMixSlider, {333, 48, 345, 189}}, KnobPlace{kOutputSlider, {293, 48, 305, 189}}}) {
        auto* slider = new (std::nothrow) gui::controls::VerticalLinearSlider(
            place.size, this, place.tag, place.size.top, place.size.bottom - handleHeight, handle, background,
            {place.size.left, place.size.top}, kSliderStyle);
        if (slider == nullptr) return false;
        slider->setThumbTransparent(true);
        slider->setJumpToClick(true);
        if (!addToFrame(slider, place.tag, 0, nullptr)) return false;
        controls[static_cast<std::size_t>(place.tag)] = slider;
    }

    for (const FieldPlace& place : kNumberFields) {
        auto* field = new (std::nothrow)
            gui::text::NumberField(place.size, this, place.tag, nullptr, bitmaps.get(place.background), 0);
        if (field == nullptr) return false;
        field->setFontId(kFactoryFontId);
        field->setMin(table->minimum(place.parameter));
        field->setMax(table->maximum(place.parameter));
        field->setValueFormatterWithContext(&valueFormattingHook, static_cast<gui::Control*>(field));
        if (!addToFrame(field, place.tag, 0, nullptr)) return false;
        controls[static_cast<std::size_t>(place.tag)] = field;
    }

    auto* lamp = new (std::nothrow) LampButton({256, 140, 268, 152}, this, kSyncSwitch, bitmaps.get(kLamp));
    if (!addToFrame(lamp, kSyncSwitch, 0, nullptr)) return false;
    controls[kSyncSwitch] = lamp;

    auto* menu = new (std::nothrow) gui::menu::ChoiceMenu({222, 139, 253, 151}, this, kNoteMenu,
                                                          bitmaps.get(kRateFieldBackground), nullptr, 0);
    if (menu == nullptr) return false;
    menu->setStyleBits(kMenuStyle);
    menu->setFontId(kFactoryFontId);
    // Straight, triplet and dotted values in three groups; separators are not selectable, so
    // selectable entry i is note i.
    for (int i = 0; i < params::kNoteCount; ++i) {
        if (i == 6 || i == 12) menu->addItem("-");
        menu->addItem(params::noteNames[i]);
    }
    if (!addToFrame(menu, kNoteMenu, 0, nullptr)) return false;
    controls[kNoteMenu] = menu;
    noteMenu = menu;

    auto* curves = new (std::nothrow) ModulationDisplay({11, 41, 207, 115}, this, kModulationDisplay,
                                                        bitmaps.get(kDisplayBackground), kDisplayFlags);
    if (curves == nullptr) return false;
    curves->setScale(1.0f);
    curves->setCurveColor(1, gui::colors::white);
    curves->setEditTags(kDepthKnob, kRateKnob);
    if (!addToFrame(curves, kModulationDisplay, 0, nullptr)) return false;
    controls[kModulationDisplay] = curves;
    display = curves;

    auto* bar = new (std::nothrow)
        StereoWidthBar({12, 31, 206, 40}, this, kStereoBar, bitmaps.get(kWidthBarBackground));
    if (!addToFrame(bar, kStereoBar, 0, nullptr)) return false;
    controls[kStereoBar] = bar;
    widthBar = bar;
    return true;
}

void FlangerEditor::close() {
    accepting.store(false, std::memory_order_relaxed);
    releaseControls();
    BitmapEditor::close();
}

void FlangerEditor::releaseControls() {
    if (holdsPopups) gui::menu::releaseWindowPopups();
    holdsPopups = false;
    // The one of the rate field and note menu the layout took out belongs to the editor alone.
    for (std::int32_t tag : {kRateField, kNoteMenu}) {
        gui::Control* alternate = controls[static_cast<std::size_t>(tag)];
        if (alternate != nullptr && (frame == nullptr || !frame->isChild(alternate))) alternate->release();
    }
    controls.fill(nullptr);
    display = nullptr;
    widthBar = nullptr;
    noteMenu = nullptr;
    built = false;
    if (frame != nullptr) {
        aboutArea = nullptr;
        frame->setModalView(nullptr);  // an about picture left open goes with the other children
        frame->removeAllChildren(true);
    }
}

void FlangerEditor::idle() {
    // A host idling from inside a drag's own idle request: the drag's state is on the stack.
    if (!hostIdleRunning && built) {
        std::uint32_t changed = pending.exchange(0, std::memory_order_acquire);
        for (std::int32_t index = 0; changed != 0; ++index, changed >>= 1) {
            if ((changed & 1u) != 0) applyParameter(index, normalisedOf(index));
        }
    }
    BitmapEditor::idle();
}

void FlangerEditor::parameterChanged(int32_t index, float normalised) {
    if (table == nullptr || !accepting.load(std::memory_order_acquire)) return;
    // Controls take 0..1 only: a value no host should send is held to it, one that is no
    // number at all moves nothing (the strip frame and slider position come from it).
    if (!std::isfinite(normalised)) return;
    normalised = std::clamp(normalised, 0.0f, 1.0f);
    if (std::this_thread::get_id() != editorThread.load(std::memory_order_relaxed)) {
        // Views belong to the editor's thread: note the change, the next idle reads the table.
        if (index >= 0 && index < FlangerParameters::kHostParameterCount)
            pending.fetch_or(1u << index, std::memory_order_release);
    } else {
        applyParameter(index, normalised);
    }
    requestRedraw();
}

void FlangerEditor::applyParameter(std::int32_t index, float value) {
    if (!built) return;
    switch (index) {
        case FlangerParameters::kFeedback:
        case FlangerParameters::kDelay:
        case FlangerParameters::kDepth:
        case FlangerParameters::kShapeSync:
        case FlangerParameters::kStereo:
        case FlangerParameters::kMix:
        case FlangerParameters::kOutput: {
            std::int32_t knobTag = kFeedbackKnob;
            if (index == FlangerParameters::kDelay) knobTag = kDelayKnob;
            if (index == FlangerParameters::kDepth) knobTag = kDepthKnob;
            if (index == FlangerParameters::kShapeSync) knobTag = kShapeKnob;
            if (index == FlangerParameters::kStereo) knobTag = kStereoKnob;
            if (index == FlangerParameters::kMix) knobTag = kMixSlider;
            if (index == FlangerParameters::kOutput) knobTag = kOutputSlider;
            control(knobTag)->setValue(value);
            control(knobTag + 1)->setValue(value);
            if (index == FlangerParameters::kDepth) display->setVertical(value);
            if (index == FlangerParameters::kStereo) {
                widthBar->setValue(value);  // the width does not shape the curves
            } else if (index != FlangerParameters::kMix && index != FlangerParameters::kOutput) {
                updateCurves();
            }
            break;
        }
        case FlangerParameters::kSwitch: {
            // The value the host sent may be any number: the table says what mode it made.
            const bool sync = syncMode();
            control(kSyncSwitch)->setValue(sync ? 1.0f : 0.0f);
            applyLayout(sync);
            if (sync) {
                selectNoteFromTable();
                updateSyncPeriod();
                const float beat = normalisedOf(FlangerParameters::kSyncBeat);
                control(kRateKnob)->setValue(beat);
                display->setHorizontal(beat);
            } else {
                const float rate = normalisedOf(FlangerParameters::kRate);
                control(kRateKnob)->setValue(rate);
                control(kRateField)->setValue(rate);
                display->setHorizontal(rate);
            }
            updateCurves();
            setRateEditLists(sync);
            break;
        }
        case FlangerParameters::kRate:
            if (syncMode()) break;
            control(kRateKnob)->setValue(value);
            control(kRateField)->setValue(value);
            display->setHorizontal(value);
            updateCurves();
            break;
        case FlangerParameters::kSyncBeat: {
            if (!syncMode()) break;
            selectNoteFromTable();
            updateSyncPeriod();
            const float beat = normalisedOf(FlangerParameters::kSyncBeat);
            control(kRateKnob)->setValue(beat);
            display->setHorizontal(beat);
            updateCurves();
            break;
        }
        case FlangerParameters::kTmpSync:
            control(kTempoKnob)->setValue(value);
            control(kTempoField)->setValue(value);
            updateSyncPeriod();
            updateCurves();
            break;
        default:
            break;
    }
}

void FlangerEditor::applyLayout(bool sync) {
    gui::Control* leaving = control(sync ? kRateField : kNoteMenu);
    gui::Control* coming = control(sync ? kNoteMenu : kRateField);
    if (frame->isChild(leaving)) {
        dropFocus(leaving);
        frame->removeChild(leaving, false);
    }
    if (!frame->isChild(coming)) frame->addChild(coming);
    coming->markDirty(true);
    control(kTempoKnob)->enableMouse(sync);
    control(kTempoField)->enableMouse(sync);
    static_cast<gui::text::ValueDisplay*>(control(kTempoField))
        ->setTextInk(sync ? gui::colors::white : kDisabledInk);
}

void FlangerEditor::dropFocus(gui::View* view) {
    // An open edit box is cancelled, not committed: its text was typed for the other parameter.
    if (auto* field = dynamic_cast<gui::text::TextField*>(view); field != nullptr && field->isEditing()) {
        gui::text::EditKey escape;
        escape.kind = gui::text::EditKey::Kind::Escape;
        field->editKey(escape);
    }
    if (frame->focusView() == view) frame->setFocusView(nullptr);
}

void FlangerEditor::setRateEditLists(bool sync) {
    const std::int32_t parameter = sync ? FlangerParameters::kSyncBeat : FlangerParameters::kRate;
    frame->setEditList(kRateKnob, 1, &parameter);
    frame->setEditList(kRateField, 1, &parameter);
}

void FlangerEditor::updateSyncPeriod() {
    const int note = params::noteIndex(table->peekPlain(FlangerParameters::kSyncBeat));
    // The table keeps whatever text or a program wrote: the period the engine reads is made
    // from a tempo factor in its range, the default standing in for one that is no number.
    float tempo = table->peekPlain(FlangerParameters::kTmpSync);
    if (!std::isfinite(tempo)) tempo = table->defaultValue(FlangerParameters::kTmpSync);
    tempo = std::clamp(tempo, table->minimum(FlangerParameters::kTmpSync),
                       table->maximum(FlangerParameters::kTmpSync));
    table->setPlain(FlangerParameters::kBeatsPerCycle, tempo * params::noteBeats[note]);
}

void FlangerEditor::selectNoteFromTable() {
    noteMenu->selectItem(params::noteIndex(table->peekPlain(FlangerParameters::kSyncBeat)), rawMenuIndices);
}

void FlangerEditor::updateCurves() {
    if (display == nullptr || table == nullptr) return;
    loadModulationCurves(*display, curveParametersFrom(*table), displayWidth, displayHeight,
                         std::span<float>(sweep), std::span<float>(comb));
}

void FlangerEditor::onValueChanged(gui::Canvas* canvas, gui::Control* changed) {
    if (changed == nullptr || effect == nullptr || table == nullptr) return;
    const float value = changed->getValue();
    const std::int32_t tag = changed->getTag();
    const int rateParameter = syncMode() ? FlangerParameters::kSyncBeat : FlangerParameters::kRate;
    if (const int parameter = pairParameter(tag); parameter >= 0) {
        effect->setParameterFromEditor(parameter, value);
    } else if (tag == kRateKnob || tag == kRateField) {
        effect->setParameterFromEditor(rateParameter, value);
    } else if (tag == kNoteMenu && noteMenu != nullptr) {
        const std::int32_t note = noteMenu->currentItem(nullptr, rawMenuIndices);
        if (note >= 0) {
            table->setPlain(FlangerParameters::kSyncBeat, static_cast<float>(note));
            effect->setParameterFromEditor(FlangerParameters::kSyncBeat,
                                           normalisedOf(FlangerParameters::kSyncBeat));
        }
    } else if (tag == kModulationDisplay && display != nullptr) {
        // Read both first: the first change's echo moves the display's values.
        const float horizontal = display->getHorizontal();
        const float vertical = display->getVertical();
        effect->setParameterFromEditor(rateParameter, horizontal);
        effect->setParameterFromEditor(FlangerParameters::kDepth, vertical);
    }
    if (canvas != nullptr) changed->redrawIfDirty(*canvas);
}

void FlangerEditor::formatValue(float value, char* text, std::int32_t tag) {
    if (text == nullptr) return;
    switch (tag) {
        case kFeedbackField:
        case kDepthField:
        case kStereoField:
        case kMixField:
        case kOutputField:
            std::snprintf(text, gui::text::kTextCapacity, "%d%%", roundedForText(value));
            break;
        case kDelayField:
            formatWithUnit(value, 1, "ms", text);
            break;
        case kRateField:
            formatWithUnit(value, 1, "Hz", text);
            break;
        case kShapeField:
            std::snprintf(text, gui::text::kTextCapacity, "%d", roundedForText(value));
            break;
        case kTempoField:
            std::snprintf(text, gui::text::kTextCapacity, "%d x", roundedForText(value));
            break;
        default:
            ::flanger::text::formatFixed(value, 2, text, gui::text::kTextCapacity);
            break;
    }
}

host::EditorBase* createFlangerEditor(host::ExtendedEffect* owner,
                                      gui::editor::PlatformOpener opener) noexcept {
    // Any plug-in whose table holds the flanger's parameters: the editor reads and writes them
    // through the table and the host interface only.
    auto* plugin = dynamic_cast<host::PluginBase*>(owner);
    params::ParameterTable* table = plugin != nullptr ? plugin->parameterTable() : nullptr;
    if (table == nullptr || table->count() < FlangerParameters::kParameterCount) return nullptr;
    // Attaches itself to the effect, which owns it from then on.
    return new (std::nothrow) FlangerEditor(owner, table, opener);
}

host::EditorBase* createFlangerEditor(host::ExtendedEffect* owner) noexcept {
    return createFlangerEditor(owner, nullptr);
}

}  // namespace flanger::editor
