// The flanger editor: its 22 controls built from the pair table, control changes to parameter
// changes, parameter changes back to the controls, the free/sync layouts of the rate section, the
// curve update of the modulation display, and the factory that makes it for a plug-in.
#include "editor/FlangerEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>
#include <span>

#include "editor/ControlPairs.h"
#include "editor/CurveDisplay.h"
#include "editor/CurveMath.h"
#include "editor/EditorSkin.h"
#include "editor/ModulationDisplay.h"
#include "editor/SkinControls.h"
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
#include "params/ParameterText.h"
#include "resources/Palette.h"
#include "text/NumberText.h"

namespace flanger::editor {

namespace {

using gui::Rect;
using params::FlangerParameters;

constexpr std::int32_t kMenuStyle = 0x600;  // popup over the control, current entry checked
constexpr std::int32_t kSliderStyle = 64;   // the value grows towards the top
constexpr std::int32_t kDisplayFlags = CurveDisplay::kDrawFirst | CurveDisplay::kDrawSecond;
constexpr gui::Color kDisabledInk{127, 127, 127, 0};

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
    popupLook = kNotePopupLook;  // the size menu wears the note menu's skin
}

void FlangerEditor::loadBitmaps(int scalePercent) {
    if (bitmapsLoaded && (scalePercent == 0 || scalePercent == bitmapScale)) return;
    bitmapsLoaded = true;
    bitmapScale = scalePercent > 0 ? scalePercent : 100;
    bitmaps.load(kFirstBitmap, kBitmapCount, kBackgroundBitmap, bitmapScale);
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
    loadBitmaps(frame->pixelScale().percent);
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

    for (const PairRow& row : kPairs) {
        if (row.followsMode) continue;  // set with the layout's edit lists below
        frame->setEditList(row.knob, 1, &row.parameter);
        frame->setEditList(row.field, 1, &row.parameter);
        if (row.companion != 0) frame->setEditList(row.companion, 1, &row.parameter);
    }
    setRateEditLists(syncMode());
    static constexpr std::int32_t kSwitchParameter = FlangerParameters::kSwitch;
    static constexpr std::int32_t kNoteParameter = FlangerParameters::kSyncBeat;
    frame->setEditList(kSyncSwitch, 1, &kSwitchParameter);
    frame->setEditList(kNoteMenu, 1, &kNoteParameter);

    // Initial values; each knob learns its reset value first.
    for (const PairRow& row : kPairs) {
        const float value = normalisedOf(row.parameter);
        gui::Control* knob = control(row.knob);
        knob->setDefaultValue(table->normalize(row.parameter, table->defaultValue(row.parameter)));
        knob->setValue(value);
        control(row.field)->setValue(value);
        if (row.parameter == FlangerParameters::kDepth) display->setVertical(value);
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
    gui::SkinBitmap* handle = bitmaps.get(kSliderHandle);
    gui::SkinBitmap* background = bitmaps.get(kBackgroundBitmap);
    const int handleHeight = handle != nullptr ? handle->getHeight() : 0;
    for (const PairRow& row : kPairs) {
        gui::Control* knob = nullptr;
        if (row.kind == KnobKind::Strip) {
            gui::controls::StripKnob* strip = nullptr;
            if (!addStripKnob(strip, row.knobSize, row.knob, kKnobStrip, {0, 0}, true, 0, nullptr))
                return false;
            knob = strip;
        } else if (row.kind == KnobKind::Rotary) {
            // The piece of the editor picture under it is its background, as the factory would
            // give it; made here for the dimmed look.
            const Rect& place = row.knobSize;
            auto* rotary = new (std::nothrow) DimmableKnob(place, this, row.knob, background,
                                                           bitmaps.get(kKnobHandle), {place.left, place.top});
            if (!addToFrame(rotary, row.knob, 0, nullptr)) return false;
            knob = rotary;
        } else {
            // Made here rather than by the factory, which sizes a slider by its background.
            const Rect& place = row.knobSize;
            auto* slider = new (std::nothrow) gui::controls::VerticalLinearSlider(
                place, this, row.knob, place.top, place.bottom - handleHeight, handle, background,
                {place.left, place.top}, kSliderStyle);
            if (slider == nullptr) return false;
            slider->setThumbTransparent(true);
            slider->setJumpToClick(true);
            if (!addToFrame(slider, row.knob, 0, nullptr)) return false;
            knob = slider;
        }
        controls[static_cast<std::size_t>(row.knob)] = knob;
        if (params::isStepped(row.parameter))
            knob->setStepSize(oneStepOf(row.parameter));
        else if (row.knobStep > 0.0f)
            knob->setStepSize(row.knobStep);
    }

    // The fields follow all the knobs, in the rows' order.
    for (const PairRow& row : kPairs) {
        auto* field = new (std::nothrow) gui::text::NumberField(row.fieldSize, this, row.field, nullptr,
                                                                bitmaps.get(row.fieldBackground), 0);
        if (field == nullptr) return false;
        field->setFontId(kFactoryFontId);
        // The open edit box: the field's screen, ringed in the accent.
        field->setBoxColor(colourOf(kSkinScreen));
        field->setOutlineColor(colourOf(kSkinAccent));
        field->setMin(table->minimum(row.parameter));
        field->setMax(table->maximum(row.parameter));
        field->setValueFormatterWithContext(&valueFormattingHook, static_cast<gui::Control*>(field));
        field->setTypedTextReader(&readTypedText, this);
        if (!addToFrame(field, row.field, 0, nullptr)) return false;
        controls[static_cast<std::size_t>(row.field)] = field;
    }

    auto* lamp = new (std::nothrow) LampButton({256, 140, 268, 152}, this, kSyncSwitch, bitmaps.get(kLamp));
    if (!addToFrame(lamp, kSyncSwitch, 0, nullptr)) return false;
    controls[kSyncSwitch] = lamp;

    auto* menu = new (std::nothrow) gui::menu::ChoiceMenu({222, 139, 253, 151}, this, kNoteMenu,
                                                          bitmaps.get(kRateFieldBackground), nullptr, 0);
    if (menu == nullptr) return false;
    menu->setStyleBits(kMenuStyle);
    menu->setFontId(kFactoryFontId);
    menu->setPopupLook(kNotePopupLook);
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
    if (const PairRow* row = findPair([index](const PairRow& r) { return r.parameter == index; });
        row != nullptr && !row->followsMode) {
        control(row->knob)->setValue(value);
        control(row->field)->setValue(value);
        if (index == FlangerParameters::kDepth) display->setVertical(value);
        if (index == FlangerParameters::kStereo) widthBar->setValue(value);
        if (index == FlangerParameters::kTmpSync) updateSyncPeriod();
        if (row->shapesCurves) updateCurves();
        return;
    }
    switch (index) {
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
    // The rate knob edits "SyncBeat" in sync mode: one step of it is one note.
    control(kRateKnob)->setStepSize(sync ? oneStepOf(FlangerParameters::kSyncBeat) : kRateKnobStep);
    control(kTempoKnob)->enableMouse(sync);
    control(kTempoKnob)->markDirty(true);  // drawn dimmed while it takes no input
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
    for (const PairRow& row : kPairs) {
        if (!row.followsMode) continue;
        frame->setEditList(row.knob, 1, &parameter);
        frame->setEditList(row.field, 1, &parameter);
    }
}

float FlangerEditor::oneStepOf(int index) const {
    return 1.0f / std::max(table->stepCount(index), 1.0f);
}

bool FlangerEditor::readTypedText(const char* text, float& real, std::int32_t tag, void* data) {
    auto* self = static_cast<FlangerEditor*>(data);
    const PairRow* row = findPair([tag](const PairRow& r) { return r.field == tag; });
    if (self == nullptr || self->table == nullptr || row == nullptr) return false;
    // The same reading as the host's text entry, so a field and a host agree on every text.
    const std::optional<float> plain =
        params::readParameterText(*self->table, row->parameter, text, &::flanger::text::readQuantity);
    if (!plain) return false;
    real = *plain;
    return true;
}

void FlangerEditor::updateSyncPeriod() {
    params::storeBeatsPerCycle(*table);
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
    if (const PairRow* row = pairOfTag(tag); row != nullptr) {
        effect->setParameterFromEditor(row->followsMode ? rateParameter : row->parameter, value);
    } else if (tag == kSyncSwitch) {
        effect->setParameterFromEditor(FlangerParameters::kSwitch, value);
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
    const PairRow* row = findPair([tag](const PairRow& r) { return r.field == tag; });
    if (row == nullptr) {
        ::flanger::text::formatFixed(value, 2, text, gui::text::kTextCapacity);
        return;
    }
    switch (row->format) {
        case FieldFormat::Percent:
            std::snprintf(text, gui::text::kTextCapacity, "%d%%", roundedForText(value));
            break;
        case FieldFormat::Milliseconds:
            formatWithUnit(value, 1, "ms", text);
            break;
        case FieldFormat::Hertz:
            formatWithUnit(value, 1, "Hz", text);
            break;
        case FieldFormat::Whole:
            std::snprintf(text, gui::text::kTextCapacity, "%d", roundedForText(value));
            break;
        case FieldFormat::Times:
            std::snprintf(text, gui::text::kTextCapacity, "%d x", roundedForText(value));
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
