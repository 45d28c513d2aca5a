// Text field: the text, the click that opens the edit box (or a double-click with its style),
// the box's keys, and the end of an edit that hands the new text to the listener.
#include "gui/text/TextField.h"

#include <cstring>

#include "gui/FrameView.h"

namespace flanger::gui::text {

namespace {
std::string readClipboard(void* data) {
    auto* field = static_cast<TextField*>(data);
    FrameView* frame = field->ownerFrame();
    std::string text;
    if (frame != nullptr) frame->windowPlatform().readClipboardText(text);
    return text;
}
}  // namespace

TextField::TextField(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                     const char* initialText, SkinBitmap* bitmap, std::int32_t styleBits)
    : ValueDisplay(bounds, valueListener, controlTag, bitmap, styleBits) {
    assignText(content, initialText);
}

TextField::~TextField() {
    if (textWindow != nullptr) textWindow->endTextInput();
}

void TextField::setText(const char* text) {
    if (text == nullptr) return;
    storeText(text);
}

void TextField::storeText(const char* text) {
    TextBuffer next;
    assignText(next, text);
    if (std::strcmp(next.data(), content.data()) == 0) return;
    content = next;
    markDirty(true);
}

void TextField::getText(char* out) const {
    if (out == nullptr) return;
    std::memcpy(out, content.data(), std::strlen(content.data()) + 1);
}

void TextField::setTextFormatterWithContext(TextFormatterWithContext hook, void* data) {
    textFormatterWithContext = hook;
    hookData = data;
}

void TextField::draw(Canvas& canvas) {
    if (box != nullptr) {
        box->draw(canvas);
        markDirty(false);
        return;
    }
    TextBuffer source = content;  // hooks take a writable text; the field's own stays untouched
    TextBuffer shown;
    if (textFormatterWithContext != nullptr) {
        callHook(shown, [&](char* out) { textFormatterWithContext(source.data(), out, hookData); });
    } else if (textFormatter != nullptr) {
        callHook(shown, [&](char* out) { textFormatter(source.data(), out); });
    } else {
        shown = content;
    }
    drawText(canvas, shown.data(), nullptr);
}

std::uint32_t TextField::nowMs() const noexcept {
    if (frame == nullptr || frame->ownerEditor() == nullptr) return 0;
    return frame->windowPlatform().tickCountMs();
}

void TextField::onMouseDown(Canvas& canvas, Point /*where*/) {
    if (pressInOpenBox(canvas)) return;
    if (!takesPress(canvas.readButtons())) return;
    notifyEditStart();
    if (frame != nullptr && frame->focusView() != this) {
        bool open = true;
        if ((static_cast<std::uint32_t>(style) & kDoubleClickToEdit) != 0) {
            const std::uint32_t now = nowMs();
            // Unsigned difference: right across the tick counter's wrap.
            const bool second = hasClick && now - lastClickMs < doubleClickTime;
            hasClick = !second;
            lastClickMs = second ? 0 : now;
            open = second;
        }
        if (open) {
            frame->setFocusView(this);
            focusGained(&canvas);
        }
    }
    notifyEditEnd();
}

void TextField::focusGained(Canvas* canvas) {
    enterEnded = false;
    Rect area = canvas != nullptr ? size.movedBy(canvas->offset().h, canvas->offset().v) : size;
    area.right += 1;
    area.bottom += 1;
    FontRequest request = makeFontRequest(font, 0, 0);
    request.weight = 400;
    request.italic = false;
    request.underline = false;
    textBeforeEdit = content;
    box = std::make_unique<EditBox>(area, content.data(), align, request, fontColor, backColor, frameColor);
    box->setClipboardSource(&readClipboard, this);
    keptForPress = false;
    if (frame != nullptr && frame->nativeWindow() != nullptr &&
        frame->nativeWindow()->beginTextInput(this, 0)) {
        textWindow = frame->nativeWindow();
    }
    markDirty(true);
    if (canvas != nullptr) draw(*canvas);
}

void TextField::focusLost(Canvas* canvas) {
    if (box == nullptr) return;
    // The frame ends every focus before it routes a press; one inside the box stays the box's.
    if (!endingOwnEdit && canvas == nullptr && frame != nullptr && frame->focusView() == nullptr) {
        Point at;
        frame->getCurrentMouseLocation(at);
        const Rect& area = box->area();
        const bool inside = at.h >= area.left && at.h < area.right && at.v >= area.top && at.v < area.bottom;
        if (inside && (frame->windowPlatform().readPointer().buttons & ~platform::kMiddleButton) != 0) {
            keptForPress = true;
            return;
        }
    }
    keptForPress = false;
    // Taken out first: clearing the frame's focus calls back here and must find no box.
    const std::unique_ptr<EditBox> closing = std::move(box);
    if (frame != nullptr && frame->focusView() == this) frame->setFocusView(nullptr);
    if (textWindow != nullptr) {
        textWindow->endTextInput();
        textWindow = nullptr;
    }
    const bool changed = takeTypedText(closing->text().c_str());
    markDirty(true);
    std::unique_ptr<Canvas> own;
    if (canvas == nullptr && frame != nullptr && frame->nativeWindow() != nullptr) {
        own = std::make_unique<Canvas>(frame, &frame->nativeWindow()->backing(), frame->nativeWindow());
        canvas = own.get();
    }
    // The box reached one pixel past the field: give that strip back to what lies beneath.
    if (canvas != nullptr && frame != nullptr) frame->drawArea(*canvas, closing->area());
    // Bracketed by edit start and end, so the host records the typed value as one user edit.
    if (changed && listener != nullptr) {
        notifyEditStart();
        listener->onValueChanged(canvas, this);
        notifyEditEnd();
    }
    if (parent != nullptr)
        parent->receiveNote(this, "LooseFocus");
    else if (frame != nullptr)
        frame->receiveNote(this, "LooseFocus");
}

bool TextField::takeTypedText(const char* typed) {
    const TextBuffer old = content;
    assignText(content, typed);
    return std::strcmp(old.data(), content.data()) != 0;
}

void TextField::endOwnEdit() {
    endingOwnEdit = true;
    focusLost(nullptr);
    endingOwnEdit = false;
}

void TextField::finishKey(EditBox::Outcome outcome) {
    switch (outcome) {
        case EditBox::Outcome::Commit:
            enterEnded = true;
            endOwnEdit();
            break;
        case EditBox::Outcome::Cancel:
            // The old text comes back, so the end of the edit reports no change.
            box->setText(textBeforeEdit.data());
            endOwnEdit();
            break;
        case EditBox::Outcome::Handled:
            markDirty(true);
            break;
        case EditBox::Outcome::Ignored:
            break;
    }
}

bool TextField::editKey(const EditKey& key) {
    if (box == nullptr) return false;
    finishKey(box->key(key));
    return true;
}

std::int32_t TextField::onKeyPress(const KeyCode& key) {
    if (box == nullptr) return -1;
    // With the window's own focus the same key also arrives from the window: type it once.
    if (textWindow == nullptr) finishKey(box->key(editKeyFromHost(key)));
    return 1;
}

void TextField::onTextKey(const platform::TextKey& key) {
    if (box != nullptr) finishKey(box->key(editKeyFromText(key)));
}

void TextField::onTextFocusLost() {
    if (box != nullptr) endOwnEdit();
}

bool TextField::pressInOpenBox(Canvas& canvas) {
    if (box == nullptr || !keptForPress || frame == nullptr) return false;
    keptForPress = false;
    frame->setFocusView(this);
    const std::uint32_t buttons = canvas.readButtons();
    Point at;
    canvas.currentPointer(at);
    box->pointAt(at.h, (buttons & kShiftKey) != 0);
    draw(canvas);
    while ((canvas.readButtons() & kPrimaryButton) != 0) {
        canvas.readPointer(at);
        box->pointAt(at.h, true);
        draw(canvas);
        refreshDuringDrag();
    }
    return true;
}

std::int32_t TextField::onKeyRelease(const KeyCode& /*key*/) {
    return box != nullptr ? 1 : -1;
}

}  // namespace flanger::gui::text
