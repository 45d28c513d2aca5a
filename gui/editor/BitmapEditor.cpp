// The bitmap editor base: default open with an empty frame, close, the editor counter and flag
// the effect's processing reads, and the factory that builds standard controls from bitmap ids.
#include "gui/editor/BitmapEditor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "gui/FrameView.h"
#include "gui/controls/Buttons.h"
#include "gui/controls/LinearSlider.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/controls/SplashArea.h"
#include "gui/text/NumberField.h"
#include "gui/text/TextBuffer.h"
#include "gui/text/TextField.h"
#include "gui/text/ValueDisplay.h"
#include "host/ExtendedEffect.h"
#include "resources/VersionInfo.h"
#include "text/NumberText.h"

namespace flanger::gui::editor {

namespace {

using gui::controls::HorizontalLinearSlider;
using gui::controls::InfoSplash;
using gui::controls::MomentaryButton;
using gui::controls::RotaryKnob;
using gui::controls::StripKnob;
using gui::controls::ToggleButton;
using gui::controls::VerticalLinearSlider;
using gui::text::NumberField;
using gui::text::TextField;
using gui::text::ValueDisplay;

constexpr std::int32_t kVerticalSliderStyle = 64;   // the value grows towards the top
constexpr std::int32_t kHorizontalSliderStyle = 8;  // the value grows towards the right

// A rectangle from a corner and an extent, left ≤ right and top ≤ bottom whatever the signs.
gui::Rect rectFrom(std::int32_t h, std::int32_t v, std::int32_t width, std::int32_t height) noexcept {
    return {std::min(h, h + width), std::min(v, v + height), std::max(h, h + width), std::max(v, v + height)};
}

gui::Rect normalised(const gui::Rect& r) noexcept {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

int widthOf(const gui::SkinBitmap* bitmap) noexcept {
    return bitmap != nullptr ? bitmap->getWidth() : 0;
}
int heightOf(const gui::SkinBitmap* bitmap) noexcept {
    return bitmap != nullptr ? bitmap->getHeight() : 0;
}

// The editor behind a control's frame, or null when it has none (not in a frame, or a frame
// of some other editor kind).
BitmapEditor* editorOf(void* control) noexcept {
    auto* owner = static_cast<gui::Control*>(control);
    if (owner == nullptr || owner->ownerFrame() == nullptr) return nullptr;
    return dynamic_cast<BitmapEditor*>(owner->ownerFrame()->ownerEditor());
}

}  // namespace

BitmapEditor::BitmapEditor(ExtendedEffect* owner, params::ParameterTable* parameters, PlatformOpener opener)
    : FrameEditor(owner, opener), table(parameters) {
    if (effect != nullptr) effect->attachEditor(this);
}

BitmapEditor::~BitmapEditor() {
    // The views hold references on the set's bitmaps: let them go before the set does.
    aboutArea = nullptr;
    destroyFrame();
}

int32_t BitmapEditor::open(void* parent) {
    rect = {0, 0, 0, 0};
    FrameEditor::open(parent);
    aboutArea = nullptr;  // a frame that replaces an open one takes its about area with it
    if (!createFrame({0, 0, rect.right, rect.bottom})) return 0;
    built = true;
    requestRedraw();
    return 1;
}

void BitmapEditor::close() {
    aboutArea = nullptr;
    destroyFrame();
    built = false;
}

void BitmapEditor::idle() {
    FrameEditor::idle();
    // Runs on every idle, also while the in-host-idle guard holds the rest back.
    if (table == nullptr) return;
    if (const int counter = table->editorCounter(); counter > 0) table->setEditorCounter(counter - 1);
    table->setEditorFlag(true);
}

// --- Formatting ---

void BitmapEditor::formatValue(float value, char* text, std::int32_t /*tag*/) {
    if (text == nullptr) return;
    // Hosts call setlocale: never let the process locale turn the point into a comma.
    ::flanger::text::formatFixed(value, 1, text, gui::text::kTextCapacity);
}

std::int32_t BitmapEditor::formatText(const char* text, char* out, std::int32_t /*tag*/) {
    if (out == nullptr) return 0;
    // The hook buffers hold 256 bytes: a longer text is cut, never copied past them.
    std::size_t length = 0;
    if (text != nullptr) {
        const void* end = std::memchr(text, '\0', gui::text::kTextCapacity - 1);
        length = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
                                : gui::text::kTextCapacity - 1;
    }
    if (length > 0) std::memcpy(out, text, length);
    out[length] = '\0';
    return static_cast<std::int32_t>(length) + 1;
}

void BitmapEditor::valueFormattingHook(float value, char* text, void* control) {
    if (text == nullptr) return;
    text[0] = '\0';  // no editor to ask: empty text rather than whatever the buffer held
    if (BitmapEditor* editor = editorOf(control); editor != nullptr)
        editor->formatValue(value, text, static_cast<gui::Control*>(control)->getTag());
}

void BitmapEditor::textFormattingHook(char* text, char* shown, void* control) {
    if (shown == nullptr) return;
    shown[0] = '\0';
    if (BitmapEditor* editor = editorOf(control); editor != nullptr)
        editor->formatText(text, shown, static_cast<gui::Control*>(control)->getTag());
}

// --- Factory ---

gui::SkinBitmap* BitmapEditor::bitmapFor(int id) const noexcept {
    return id == kMainBitmap ? bitmaps.getMain() : bitmaps.get(id);
}

bool BitmapEditor::addToFrame(gui::View* view, std::int32_t tag, std::int32_t count,
                              const std::int32_t* indices) {
    if (view == nullptr) return false;
    const bool added =
        frame != nullptr && (count > 0 && indices != nullptr ? frame->addChild(view, tag, count, indices)
                                                             : frame->addChild(view));
    // Not taken by a frame: nobody else would ever release it.
    if (!added) view->release();
    return added;
}

bool BitmapEditor::addToggleButton(ToggleButton*& out, std::int32_t h, std::int32_t v, std::int32_t tag,
                                   int bitmapId, std::int32_t count, const std::int32_t* indices) {
    return makeToggleButton(out, h, v, tag, bitmapId, count, indices);
}

bool BitmapEditor::makeToggleButton(ToggleButton*& out, std::int32_t h, std::int32_t v, std::int32_t tag,
                                    int bitmapId, std::int32_t count, const std::int32_t* indices) {
    out = nullptr;
    gui::SkinBitmap* bitmap = bitmapFor(bitmapId);
    // Two frames stacked: the control is one frame tall.
    auto* button = new (std::nothrow)
        ToggleButton(rectFrom(h, v, widthOf(bitmap), heightOf(bitmap) / 2), this, tag, bitmap);
    return handOut(out, button, true, tag, count, indices);
}

bool BitmapEditor::addMomentaryButton(MomentaryButton*& out, std::int32_t h, std::int32_t v, std::int32_t tag,
                                      int bitmapId, std::int32_t count, const std::int32_t* indices) {
    return makeMomentaryButton(out, h, v, tag, bitmapId, count, indices);
}

bool BitmapEditor::makeMomentaryButton(MomentaryButton*& out, std::int32_t h, std::int32_t v,
                                       std::int32_t tag, int bitmapId, std::int32_t count,
                                       const std::int32_t* indices) {
    out = nullptr;
    gui::SkinBitmap* bitmap = bitmapFor(bitmapId);
    const int frameHeight = heightOf(bitmap) / 2;
    auto* button = new (std::nothrow)
        MomentaryButton(rectFrom(h, v, widthOf(bitmap), frameHeight), this, tag, frameHeight, bitmap, {0, 0});
    return handOut(out, button, true, tag, count, indices);
}

bool BitmapEditor::addRotaryKnob(RotaryKnob*& out, const gui::Rect& corners, std::int32_t tag,
                                 int pointerBitmapId, int backgroundId, std::int32_t count,
                                 const std::int32_t* indices) {
    return addRotaryKnob(out, {corners.left, corners.top}, corners.right - corners.left,
                         corners.bottom - corners.top, tag, pointerBitmapId, backgroundId, count, indices);
}

bool BitmapEditor::addRotaryKnob(RotaryKnob*& out, gui::Point corner, std::int32_t width, std::int32_t height,
                                 std::int32_t tag, int pointerBitmapId, int backgroundId, std::int32_t count,
                                 const std::int32_t* indices) {
    out = nullptr;
    gui::SkinBitmap* background = bitmapFor(backgroundId);
    // Smaller than its background both ways: the background is the whole editor picture, so
    // the knob shows the piece under it; otherwise the background is the knob's own picture.
    const bool pieceOfBackground = height < heightOf(background) && width < widthOf(background);
    const gui::Point offset = pieceOfBackground ? corner : gui::Point{0, 0};
    auto* knob = new (std::nothrow) RotaryKnob(rectFrom(corner.h, corner.v, width, height), this, tag,
                                               background, bitmapFor(pointerBitmapId), offset);
    return handOut(out, knob, true, tag, count, indices);
}

bool BitmapEditor::addStripKnob(StripKnob*& out, const gui::Rect& size, std::int32_t tag, int bitmapId,
                                gui::Point offset, bool add, std::int32_t count,
                                const std::int32_t* indices) {
    out = nullptr;
    const gui::Rect area = normalised(size);
    gui::SkinBitmap* strip = bitmapFor(bitmapId);
    const std::int32_t frameHeight = area.height();
    // A control without height holds no frame (and must not divide by zero).
    const std::int32_t frameCount = frameHeight > 0 ? heightOf(strip) / frameHeight : 0;
    auto* knob = new (std::nothrow) StripKnob(area, this, tag, frameCount, frameHeight, strip, offset);
    if (knob == nullptr) return false;
    knob->setTransparent(true);
    return handOut(out, knob, add, tag, count, indices);
}

bool BitmapEditor::addVerticalSlider(VerticalLinearSlider*& out, std::int32_t h, std::int32_t v,
                                     std::int32_t tag, int thumbId, int backgroundId, bool add,
                                     std::int32_t count, const std::int32_t* indices) {
    out = nullptr;
    gui::SkinBitmap* thumb = bitmapFor(thumbId);
    gui::SkinBitmap* background = bitmapFor(backgroundId);
    const int travelEnd = v + heightOf(background) - heightOf(thumb);
    auto* slider = new (std::nothrow)
        VerticalLinearSlider(rectFrom(h, v, widthOf(thumb), heightOf(background)), this, tag, v, travelEnd,
                             thumb, background, {0, 0}, kVerticalSliderStyle);
    if (slider == nullptr) return false;
    slider->setThumbTransparent(true);
    slider->setJumpToClick(false);
    return handOut(out, slider, add, tag, count, indices);
}

bool BitmapEditor::addHorizontalSlider(HorizontalLinearSlider*& out, std::int32_t h, std::int32_t v,
                                       std::int32_t tag, int thumbId, int backgroundId, bool add,
                                       std::int32_t count, const std::int32_t* indices) {
    out = nullptr;
    gui::SkinBitmap* thumb = bitmapFor(thumbId);
    gui::SkinBitmap* background = bitmapFor(backgroundId);
    const int travelEnd = h + widthOf(background) - widthOf(thumb);
    auto* slider = new (std::nothrow)
        HorizontalLinearSlider(rectFrom(h, v, widthOf(background), heightOf(thumb)), this, tag, h, travelEnd,
                               thumb, background, {0, 0}, kHorizontalSliderStyle);
    if (slider == nullptr) return false;
    slider->setThumbTransparent(true);
    slider->setJumpToClick(false);
    return handOut(out, slider, add, tag, count, indices);
}

bool BitmapEditor::addValueDisplay(ValueDisplay*& out, const gui::Rect& size,
                                   void (*formatter)(float, char*)) {
    out = nullptr;
    auto* display = new (std::nothrow) ValueDisplay(normalised(size), this, 0, nullptr, 0);
    if (display == nullptr) return false;
    display->setFontId(kFactoryFontId);
    display->setValueFormatter(formatter);
    return handOut(out, display, true, 0, 0, nullptr);
}

bool BitmapEditor::addParameterDisplay(ValueDisplay*& out, const gui::Rect& size, std::int32_t tag,
                                       bool add) {
    out = nullptr;
    auto* display = new (std::nothrow) ValueDisplay(normalised(size), this, tag, nullptr, 0);
    if (display == nullptr) return false;
    display->setFontId(kFactoryFontId);
    display->setValueFormatterWithContext(&valueFormattingHook, static_cast<gui::Control*>(display));
    return handOut(out, display, add, tag, 0, nullptr);
}

bool BitmapEditor::addNumberField(NumberField*& out, const gui::Rect& size, std::int32_t tag,
                                  std::int32_t count, const std::int32_t* indices) {
    out = nullptr;
    auto* field = new (std::nothrow) NumberField(normalised(size), this, tag, nullptr, nullptr, 0);
    if (field == nullptr) return false;
    field->setFontId(kFactoryFontId);
    field->setValueFormatterWithContext(&valueFormattingHook, static_cast<gui::Control*>(field));
    return handOut(out, field, true, tag, count, indices);
}

bool BitmapEditor::addTextField(TextField*& out, const gui::Rect& size, std::int32_t tag, std::int32_t count,
                                const std::int32_t* indices) {
    out = nullptr;
    auto* field = new (std::nothrow) TextField(normalised(size), this, tag, nullptr, nullptr, 0);
    if (field == nullptr) return false;
    field->setFontId(kFactoryFontId);
    field->setTextFormatterWithContext(&textFormattingHook, static_cast<gui::Control*>(field));
    return handOut(out, field, true, tag, count, indices);
}

bool BitmapEditor::addInfoSplash(const gui::Rect& size, int bitmapId, const gui::Rect& versionRect,
                                 const gui::Rect& legalTextRect, gui::Color color, std::int32_t alignment) {
    gui::SkinBitmap* picture = bitmapFor(bitmapId);
    auto* splash = new (std::nothrow)
        InfoSplash(normalised(size), this, 0, picture, {0, 0, widthOf(picture), heightOf(picture)}, {0, 0});
    if (!addToFrame(splash, 0, 0, nullptr)) return false;
    aboutArea = splash;
    setInfoTexts(versionRect, legalTextRect, color, alignment);
    return true;
}

void BitmapEditor::setInfoTexts(const gui::Rect& versionRect, const gui::Rect& legalTextRect,
                                gui::Color color, std::int32_t alignment) {
    if (aboutArea == nullptr) return;
    const VersionInfo info;
    setInfoTexts(versionRect, legalTextRect, color, alignment, info);
}

void BitmapEditor::setInfoTexts(const gui::Rect& versionRect, const gui::Rect& legalTextRect,
                                gui::Color color, std::int32_t alignment, const VersionInfo& info) {
    if (aboutArea == nullptr) return;
    std::array<char, InfoSplash::kTextBytes> version{};
    std::array<char, InfoSplash::kTextBytes> legal{};
    info.fileVersion(version.data(), version.size());
    info.legalText(legal.data(), legal.size());
    // A value the block does not have leaves its slot unset rather than showing "Version: ".
    gui::controls::fillInfoTexts(*aboutArea, versionRect, legalTextRect, color, alignment,
                                 version[0] != '\0' ? version.data() : nullptr,
                                 legal[0] != '\0' ? legal.data() : nullptr);
}

}  // namespace flanger::gui::editor
