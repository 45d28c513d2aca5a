// The edit box a text field lays over itself while the user types: a drawn one-line editor
// with caret, selection, horizontal scroll and the 255-byte limit. Keys arrive as EditKeys,
// made from host key codes or from the window system's key events.
#pragma once

#include <cstdint>
#include <string>

#include "gui/Canvas.h"
#include "gui/Color.h"
#include "gui/Fonts.h"
#include "gui/Geometry.h"
#include "gui/View.h"
#include "platform/Platform.h"

namespace flanger::gui::text {

inline constexpr std::size_t kEditLimitBytes = 255;

struct EditKey {
    enum class Kind {
        None,
        Character,
        Back,
        Delete,
        Home,
        End,
        Left,
        Right,
        Return,
        Enter,
        Escape,
        SelectAll,
        Paste
    };
    Kind kind = Kind::None;
    char32_t character = 0;  // for Character: the Unicode code point
    bool shift = false;      // extends the selection with caret moves
};

// Host virtual keys the box understands (the host's published numbers).
inline constexpr std::uint8_t kVirtualBack = 1;
inline constexpr std::uint8_t kVirtualReturn = 4;
inline constexpr std::uint8_t kVirtualEscape = 6;
inline constexpr std::uint8_t kVirtualSpace = 7;
inline constexpr std::uint8_t kVirtualEnd = 9;
inline constexpr std::uint8_t kVirtualHome = 10;
inline constexpr std::uint8_t kVirtualEnter = 19;
inline constexpr std::uint8_t kVirtualInsert = 21;
inline constexpr std::uint8_t kVirtualDelete = 22;

// Host modifiers: 1 Shift, 2 Alt, 4 or 8 Control (hosts differ in which they send).
EditKey editKeyFromHost(const KeyCode& key) noexcept;

// Keys the window decodes itself.
EditKey editKeyFromText(const platform::TextKey& key) noexcept;

// Appends the UTF-8 form of a code point (nothing for surrogates or beyond U+10FFFF).
void appendUtf8(std::string& out, char32_t codePoint);

class EditBox {
public:
    enum class Outcome { Handled, Commit, Cancel, Ignored };

    // area: where the box lies in window pixels (the field plus one pixel); align as the field's.
    // An edge colour other than back outlines the box and, shaded towards back, marks the
    // selection; else the selection is drawn in the ink colour.
    EditBox(const Rect& area, const char* text, int align, const FontRequest& font, Color ink, Color back,
            Color edge = colors::black);

    // Edits for one key; Commit and Cancel ask the owner to end the edit after this returns.
    Outcome key(const EditKey& key);
    // Replaces the selection with text, cut so the whole stays within 255 bytes.
    void insert(const std::string& text);
    // Pastes the first line of clipboard text.
    void paste(const std::string& clipboard);
    // Places the caret at the character nearest window x (selecting from the anchor with extend).
    void pointAt(int windowX, bool extend);

    void draw(Canvas& canvas);

    const std::string& text() const noexcept { return content; }
    void setText(const std::string& text);
    std::size_t caret() const noexcept { return caretAt; }
    std::size_t selectionStart() const noexcept { return std::min(anchor, caretAt); }
    std::size_t selectionEnd() const noexcept { return std::max(anchor, caretAt); }
    bool hasSelection() const noexcept { return anchor != caretAt; }
    const Rect& area() const noexcept { return box; }
    int scrollOffset() const noexcept { return scroll; }
    // The clipboard text a paste key asks for; set by the owner before key().
    void setClipboardSource(std::string (*source)(void*), void* data) noexcept {
        clipboard = source;
        clipboardData = data;
    }

private:
    std::size_t previousCharacter(std::size_t at) const noexcept;
    std::size_t nextCharacter(std::size_t at) const noexcept;
    void moveCaret(std::size_t to, bool extend) noexcept;
    void eraseSelection();
    int widthOf(std::size_t bytes) const;  // pixels of the first bytes of the text
    void keepCaretVisible();

    Rect box;
    std::string content;
    std::size_t caretAt = 0;
    std::size_t anchor = 0;
    int scroll = 0;  // pixels of text scrolled off to the left
    int align;
    FontRequest fontRequest;
    Color ink;
    Color back;
    Color edge;
    std::string (*clipboard)(void*) = nullptr;
    void* clipboardData = nullptr;
};

// Text in the 8-bit form the font layer draws: valid UTF-8 characters up to U+00FF become one
// byte, others '?', and bytes that are not UTF-8 stay as they are (drawn as Latin-1).
std::string toDrawable(const std::string& utf8);

}  // namespace flanger::gui::text
