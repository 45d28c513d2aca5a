// Edit box: key editing on UTF-8 text kept within 255 bytes, and its drawing with caret,
// selection and horizontal scroll.
#include "gui/text/EditBox.h"

#include <algorithm>

#include "gui/text/TextBuffer.h"
#include "text/TextCopy.h"

namespace flanger::gui::text {

EditKey editKeyFromHost(const KeyCode& key) noexcept {
    EditKey out;
    out.shift = (key.modifier & 1) != 0;
    const bool control = (key.modifier & (4 | 8)) != 0;
    switch (key.virt) {
        case kVirtualBack:
            out.kind = EditKey::Kind::Back;
            return out;
        case kVirtualReturn:
            out.kind = EditKey::Kind::Return;
            return out;
        case kVirtualEnter:
            out.kind = EditKey::Kind::Enter;
            return out;
        case kVirtualEscape:
            out.kind = EditKey::Kind::Escape;
            return out;
        case kVirtualEnd:
            out.kind = EditKey::Kind::End;
            return out;
        case kVirtualHome:
            out.kind = EditKey::Kind::Home;
            return out;
        case kVirtualLeft:
            out.kind = EditKey::Kind::Left;
            return out;
        case kVirtualRight:
            out.kind = EditKey::Kind::Right;
            return out;
        case kVirtualDelete:
            out.kind = EditKey::Kind::Delete;
            return out;
        case kVirtualSpace:
            out.kind = EditKey::Kind::Character;
            out.character = U' ';
            return out;
        case kVirtualInsert:
            if (out.shift) out.kind = EditKey::Kind::Paste;
            return out;
        default:
            break;
    }
    if (key.virt != 0 || key.character <= 0) return out;
    const char32_t c = static_cast<char32_t>(key.character);
    if (control) {
        if (c == U'a' || c == U'A') out.kind = EditKey::Kind::SelectAll;
        if (c == U'v' || c == U'V') out.kind = EditKey::Kind::Paste;
        return out;
    }
    if (c < 0x20 || c == 0x7F) return out;
    out.kind = EditKey::Kind::Character;
    out.character = c;
    return out;
}

EditKey editKeyFromText(const platform::TextKey& key) noexcept {
    EditKey out;
    out.shift = key.shift;
    using Kind = EditKey::Kind;
    using platform::Key;
    switch (key.key) {
        case Key::Backspace:
            out.kind = Kind::Back;
            return out;
        case Key::Return:
            out.kind = Kind::Return;
            return out;
        case Key::KeypadEnter:
            out.kind = Kind::Enter;
            return out;
        case Key::Escape:
            out.kind = Kind::Escape;
            return out;
        case Key::Home:
            out.kind = Kind::Home;
            return out;
        case Key::End:
            out.kind = Kind::End;
            return out;
        case Key::Left:
            out.kind = Kind::Left;
            return out;
        case Key::Right:
            out.kind = Kind::Right;
            return out;
        case Key::Delete:
            out.kind = Kind::Delete;
            return out;
        case Key::Insert:
            if (key.shift) out.kind = Kind::Paste;
            return out;
        default:
            break;
    }
    if (key.control) {
        if (key.key == Key::LetterA) out.kind = Kind::SelectAll;
        if (key.key == Key::LetterV) out.kind = Kind::Paste;
        return out;
    }
    if (key.character < 0x20 || key.character == 0x7F || (key.character >= 0x80 && key.character < 0xA0))
        return out;
    out.kind = Kind::Character;
    out.character = key.character;
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF) return;
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {
// Bytes of the character at data: its UTF-8 sequence, or 1 for a byte that starts none.
std::size_t characterLength(const char* data, std::size_t left) noexcept {
    for (std::size_t n = 1; n <= 4 && n <= left; ++n) {
        if (flanger::text::cutAtCharacter(data, left, n) == n) return n;
    }
    return 1;
}
}  // namespace

std::string toDrawable(const std::string& utf8) {
    std::string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t length = characterLength(utf8.data() + at, utf8.size() - at);
        const auto lead = static_cast<unsigned char>(utf8[at]);
        if (length == 1) {
            out += static_cast<char>(lead);
        } else {
            char32_t c = lead & (0xFFu >> (length + 1));
            for (std::size_t i = 1; i < length; ++i)
                c = (c << 6) | (static_cast<unsigned char>(utf8[at + i]) & 0x3Fu);
            out += c <= 0xFF ? static_cast<char>(c) : '?';
        }
        at += length;
    }
    return out;
}

EditBox::EditBox(const Rect& area, const char* initial, int alignment, const FontRequest& font,
                 Color inkColor, Color backColor, Color edgeColor)
    : box(area), align(alignment), fontRequest(font), ink(inkColor), back(backColor), edge(edgeColor) {
    setText(initial != nullptr ? initial : "");
}

void EditBox::setText(const std::string& text) {
    content = text.substr(0, flanger::text::cutAtCharacter(text.data(), text.size(), kEditLimitBytes));
    // Everything selected, as a box opens: typing replaces the old text.
    anchor = 0;
    caretAt = content.size();
    keepCaretVisible();
}

std::size_t EditBox::nextCharacter(std::size_t at) const noexcept {
    if (at >= content.size()) return content.size();
    return at + characterLength(content.data() + at, content.size() - at);
}

std::size_t EditBox::previousCharacter(std::size_t at) const noexcept {
    if (at == 0) return 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < at;) {
        start = i;
        i = nextCharacter(i);
    }
    return start;
}

void EditBox::moveCaret(std::size_t to, bool extend) noexcept {
    caretAt = std::min(to, content.size());
    if (!extend) anchor = caretAt;
    keepCaretVisible();
}

void EditBox::eraseSelection() {
    const std::size_t from = selectionStart();
    content.erase(from, selectionEnd() - from);
    caretAt = anchor = from;
}

void EditBox::insert(const std::string& text) {
    eraseSelection();
    const std::size_t room = kEditLimitBytes - std::min(kEditLimitBytes, content.size());
    const std::size_t length = flanger::text::cutAtCharacter(text.data(), text.size(), room);
    content.insert(caretAt, text, 0, length);
    moveCaret(caretAt + length, false);
}

void EditBox::paste(const std::string& clipboardText) {
    const std::size_t end = clipboardText.find_first_of("\r\n");
    std::string line = clipboardText.substr(0, end);
    // Control characters and zero bytes of binary data would end or garble the text.
    std::replace_if(
        line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    insert(line);
}

EditBox::Outcome EditBox::key(const EditKey& k) {
    using Kind = EditKey::Kind;
    switch (k.kind) {
        case Kind::None:
            return Outcome::Ignored;
        case Kind::Return:
        case Kind::Enter:
            return Outcome::Commit;
        case Kind::Escape:
            return Outcome::Cancel;
        case Kind::Character: {
            std::string bytes;
            appendUtf8(bytes, k.character);
            insert(bytes);
            return Outcome::Handled;
        }
        case Kind::Back:
            if (!hasSelection()) anchor = previousCharacter(caretAt);
            eraseSelection();
            keepCaretVisible();
            return Outcome::Handled;
        case Kind::Delete:
            if (!hasSelection()) anchor = nextCharacter(caretAt);
            eraseSelection();
            keepCaretVisible();
            return Outcome::Handled;
        case Kind::Home:
            moveCaret(0, k.shift);
            return Outcome::Handled;
        case Kind::End:
            moveCaret(content.size(), k.shift);
            return Outcome::Handled;
        case Kind::Left:
            if (hasSelection() && !k.shift)
                moveCaret(selectionStart(), false);
            else
                moveCaret(previousCharacter(caretAt), k.shift);
            return Outcome::Handled;
        case Kind::Right:
            if (hasSelection() && !k.shift)
                moveCaret(selectionEnd(), false);
            else
                moveCaret(nextCharacter(caretAt), k.shift);
            return Outcome::Handled;
        case Kind::SelectAll:
            anchor = 0;
            moveCaret(content.size(), true);
            return Outcome::Handled;
        case Kind::Paste:
            if (clipboard != nullptr) paste(clipboard(clipboardData));
            return Outcome::Handled;
    }
    return Outcome::Ignored;
}

int EditBox::widthOf(std::size_t bytes) const {
    return measureText(fontRequest, toDrawable(content.substr(0, bytes)).c_str()).width;
}

void EditBox::keepCaretVisible() {
    const int inner = std::max(1, box.width() - 2);
    const int caretX = widthOf(caretAt);
    const int total = widthOf(content.size());
    if (total <= inner) {
        scroll = 0;
        return;
    }
    if (caretX - scroll > inner) scroll = caretX - inner;
    if (caretX < scroll) scroll = caretX;
    scroll = std::clamp(scroll, 0, total - inner);
}

void EditBox::pointAt(int windowX, bool extend) {
    std::size_t best = 0;
    int bestDistance = 1 << 30;
    const int start = box.left + 1 - scroll;
    for (std::size_t at = 0;; at = nextCharacter(at)) {
        const int distance = std::abs(start + widthOf(at) - windowX);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = at;
        }
        if (at >= content.size()) break;
    }
    moveCaret(best, extend);
}

void EditBox::draw(Canvas& canvas) {
    platform::Surface* surface = canvas.deviceContext();
    if (surface == nullptr) return;
    // Drawn in physical pixels: the outline and the caret are one logical pixel thick, the text
    // in the font at the canvas's scale.
    const PixelScale& scale = canvas.pixelScale();
    const int one = scale.lengthToPhysical(1);
    FontRequest font = fontRequest;
    font.pixelSize = scale.lengthToPhysical(font.pixelSize);
    const auto widthAt = [&](std::size_t bytes) {
        return measureText(font, toDrawable(content.substr(0, bytes)).c_str()).width;
    };
    const platform::PixelBox r = canvas.toDevice(box);
    const platform::PixelBox clip = r;
    const bool outlined = !edge.sameRgb(back);
    if (outlined) {
        surface->fill(clip, edge.pixel());
        surface->fill({r.left + one, r.top + one, r.right - one, r.bottom - one}, back.pixel());
    } else {
        surface->fill(clip, back.pixel());
    }
    const std::string shown = toDrawable(content);
    const TextMetrics metrics = measureText(font, shown.c_str());
    const int inner = r.right - r.left - 2 * one;
    int x = r.left + one - scale.edge(scroll);
    if (metrics.width <= inner) {
        if (align == 1)
            x = r.left + one + (inner - metrics.width) / 2;
        else if (align == 2)
            x = r.right - one - metrics.width;
    }
    const int top = r.top + (r.bottom - r.top - metrics.height()) / 2;
    const platform::PixelBox inside{r.left + one, r.top + (outlined ? one : 0), r.right - one,
                                    r.bottom - (outlined ? one : 0)};
    if (hasSelection()) {
        // Outlined: selected text in the font colour on a shade of the edge colour, kept a pixel
        // clear of the outline so the two do not run together. Else in the back colour on the
        // font colour.
        const int from = x + widthAt(selectionStart());
        const int to = x + widthAt(selectionEnd());
        const platform::PixelBox markable =
            outlined ? platform::PixelBox{inside.left, inside.top + one, inside.right, inside.bottom - one}
                     : inside;
        const platform::PixelBox marked =
            platform::PixelBox{from, top, to, top + metrics.height()}.intersect(markable);
        drawText(*surface, font, shown.c_str(), x, top + metrics.ascent, ink.pixel(), inside);
        const auto shade = [](std::uint8_t e, std::uint8_t b) {
            return static_cast<std::uint8_t>((e * 9 + b * 11) / 20);
        };
        const Color selection{shade(edge.red, back.red), shade(edge.green, back.green),
                              shade(edge.blue, back.blue), 0};
        surface->fill(marked, (outlined ? selection : ink).pixel());
        drawText(*surface, font, shown.c_str(), x, top + metrics.ascent, (outlined ? ink : back).pixel(),
                 marked);
    } else {
        drawText(*surface, font, shown.c_str(), x, top + metrics.ascent, ink.pixel(), inside);
        const int caretX = x + widthAt(caretAt);
        surface->fill(platform::PixelBox{caretX, top, caretX + one, top + metrics.height()}.intersect(
                          outlined ? inside : clip),
                      ink.pixel());
    }
}

}  // namespace flanger::gui::text
