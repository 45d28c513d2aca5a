// A value display holding a text that the user edits in an edit box laid over the field.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gui/text/EditBox.h"
#include "gui/text/ValueDisplay.h"

namespace flanger::gui::text {

using TextFormatter = void (*)(char* text, char* shown);
using TextFormatterWithContext = void (*)(char* text, char* shown, void* data);

class TextField : public ValueDisplay, private platform::TextInputEvents {
public:
    TextField(const Rect& size, ValueListener* listener, std::int32_t tag, const char* initialText,
              SkinBitmap* background, std::int32_t style);
    ~TextField() override;

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;
    void focusLost(Canvas* canvas) override;
    void focusGained(Canvas* canvas) override;
    // While editing every key is the box's (answer 1), so a typed space never reaches the host.
    std::int32_t onKeyPress(const KeyCode& key) override;
    std::int32_t onKeyRelease(const KeyCode& key) override;

    virtual void setText(const char* text);
    virtual void getText(char* out) const;
    virtual void setTextFormatterWithContext(TextFormatterWithContext hook, void* data);
    virtual void setTextFormatter(TextFormatter hook) { textFormatter = hook; }

    // One key from the window system (already decoded); false when no edit is open.
    bool editKey(const EditKey& key);
    bool isEditing() const noexcept { return box != nullptr; }
    // Whether the window holds the keyboard focus for the box (host-forwarded keys are ignored).
    bool hasWindowFocus() const noexcept { return textWindow != nullptr; }
    EditBox* editBox() const noexcept { return box.get(); }
    bool endedByEnter() const noexcept { return enterEnded; }
    const char* textData() const noexcept { return content.data(); }
    std::uint32_t doubleClickMs() const noexcept { return doubleClickTime; }

protected:
    // Stores a text and marks the field dirty when it differs.
    void storeText(const char* text);
    // Ends the edit after the box's own handling of a key has returned.
    void finishKey(EditBox::Outcome outcome);
    std::uint32_t nowMs() const noexcept;
    // A press inside the open box is the box's: caret, or a selection while dragged. True when
    // the press was taken so.
    bool pressInOpenBox(Canvas& canvas);

    void onTextKey(const platform::TextKey& key) override;
    void onTextFocusLost() override;
    // The text an edit ended with: stored (or refused, keeping the old one); true when the field's
    // value changed, which is then reported to the listener.
    virtual bool takeTypedText(const char* typed);
    // Ends the edit for the box's own reasons (keys, focus gone), never kept open for a press.
    void endOwnEdit();

    std::unique_ptr<EditBox> box;            // the open edit box; null while not editing
    platform::Window* textWindow = nullptr;  // holds the keyboard focus for the box
    bool endingOwnEdit = false;
    bool keptForPress = false;  // the frame ended the focus for a press inside the box
    bool enterEnded = false;
    TextBuffer content{};
    TextBuffer textBeforeEdit{};
    std::uint32_t lastClickMs = 0;
    bool hasClick = false;  // a remembered click: wrap-safe where a signed sign test was not
    std::uint32_t doubleClickTime = 500;
    TextFormatter textFormatter = nullptr;
    TextFormatterWithContext textFormatterWithContext = nullptr;
};

}  // namespace flanger::gui::text
