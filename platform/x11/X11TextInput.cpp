// Key decoding (input method or keysym) and clipboard reading for edit boxes on X11.
#include "platform/x11/X11TextInput.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace flanger::platform::x11 {

Key keyOfKeysym(unsigned long keysym) noexcept {
    switch (keysym) {
        case XK_BackSpace:
            return Key::Backspace;
        case XK_Return:
            return Key::Return;
        case XK_KP_Enter:
            return Key::KeypadEnter;
        case XK_Escape:
            return Key::Escape;
        case XK_Insert:
        case XK_KP_Insert:
            return Key::Insert;
        case XK_Delete:
        case XK_KP_Delete:
            return Key::Delete;
        case XK_Home:
        case XK_KP_Home:
            return Key::Home;
        case XK_End:
        case XK_KP_End:
            return Key::End;
        case XK_Left:
        case XK_KP_Left:
            return Key::Left;
        case XK_Right:
        case XK_KP_Right:
            return Key::Right;
        case XK_Up:
        case XK_KP_Up:
            return Key::Up;
        case XK_Down:
        case XK_KP_Down:
            return Key::Down;
        case XK_a:
        case XK_A:
            return Key::LetterA;
        case XK_v:
        case XK_V:
            return Key::LetterV;
        default:
            return Key::Other;
    }
}

std::uint32_t keysymToUnicode(unsigned long keysym) noexcept {
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return static_cast<std::uint32_t>(keysym);
    // Keysyms 0x01000000 + code point name every other Unicode character.
    if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) return static_cast<std::uint32_t>(keysym - 0x01000000);
    if (keysym >= 0xFFB0 && keysym <= 0xFFB9) return static_cast<std::uint32_t>('0' + (keysym - 0xFFB0));
    switch (keysym) {
        case 0xFF80:
            return ' ';  // KP_Space
        case 0xFFAA:
            return '*';
        case 0xFFAB:
            return '+';
        case 0xFFAC:
            return ',';  // KP_Separator
        case 0xFFAD:
            return '-';
        case 0xFFAE:
            return '.';  // KP_Decimal
        case 0xFFAF:
            return '/';
        case 0x20AC:
            return 0x20AC;  // EuroSign
        default:
            return 0;
    }
}

TextKey decodeKey(XKeyEvent& event) noexcept {
    TextKey key;
    char ignored[8];
    KeySym keysym = NoSymbol;
    // XLookupString applies Shift, Caps and Num Lock to the keysym; its bytes are not used, so
    // the result does not depend on the process locale.
    XLookupString(&event, ignored, sizeof ignored, &keysym, nullptr);
    key.key = keyOfKeysym(keysym);
    key.shift = (event.state & ShiftMask) != 0;
    key.control = (event.state & ControlMask) != 0;
    key.character = keysymToUnicode(keysym);
    return key;
}

int appendTextKeys(const char* utf8, std::size_t length, const XKeyEvent& event, TextKey* out, int count,
                   int capacity) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8);
    std::size_t i = 0;
    while (i < length && count < capacity) {
        const unsigned char lead = bytes[i];
        const int trailing = lead < 0x80             ? 0
                             : (lead & 0xE0) == 0xC0 ? 1
                             : (lead & 0xF0) == 0xE0 ? 2
                             : (lead & 0xF8) == 0xF0 ? 3
                                                     : -1;
        if (trailing < 0 || i + static_cast<std::size_t>(trailing) >= length) {
            ++i;  // a stray continuation byte, or a sequence cut short
            continue;
        }
        std::uint32_t code = trailing == 0 ? lead : lead & (0x3F >> trailing);
        bool valid = true;
        for (int k = 1; k <= trailing; ++k) {
            const unsigned char next = bytes[i + static_cast<std::size_t>(k)];
            if ((next & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || code < kSmallest[trailing] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            ++i;
            continue;
        }
        TextKey key;
        key.character = code;
        key.shift = (event.state & ShiftMask) != 0;
        key.control = (event.state & ControlMask) != 0;
        out[count++] = key;
        i += static_cast<std::size_t>(trailing) + 1;
    }
    return count;
}

bool InputContext::open(Display* connection, ::Window window) noexcept {
    if (context != nullptr) return true;
    if (tried || connection == nullptr || window == 0) return false;
    tried = true;
    // The host owns the locale: an unsupported one means no method, never a setlocale here.
    if (XSupportsLocale() == False) return false;
    method = XOpenIM(connection, nullptr, nullptr, nullptr);
    if (method == nullptr) return false;
    destroyCallback.client_data = reinterpret_cast<XPointer>(this);
    destroyCallback.callback = &InputContext::methodDestroyed;
    XSetIMValues(method, XNDestroyCallback, &destroyCallback, nullptr);
    XIMStyles* styles = nullptr;
    bool supported = false;
    if (XGetIMValues(method, XNQueryInputStyle, &styles, nullptr) == nullptr && styles != nullptr) {
        for (unsigned short i = 0; i < styles->count_styles; ++i) {
            if (styles->supported_styles[i] == (XIMPreeditNothing | XIMStatusNothing)) supported = true;
        }
        XFree(styles);
    }
    if (supported) {
        context = XCreateIC(method, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                            window, XNFocusWindow, window, nullptr);
    }
    if (context == nullptr) {
        XCloseIM(method);
        method = nullptr;
        return false;
    }
    filterMask = 0;
    if (XGetICValues(context, XNFilterEvents, &filterMask, nullptr) != nullptr) filterMask = 0;
    return true;
}

void InputContext::close(bool connectionAlive) noexcept {
    if (connectionAlive) {
        if (context != nullptr) XDestroyIC(context);
        if (method != nullptr) XCloseIM(method);
    }
    context = nullptr;
    method = nullptr;
    focused = false;
    tried = false;
}

void InputContext::methodDestroyed(XIM, XPointer self, XPointer) {
    // The method's server went away: its method and contexts are already freed by Xlib.
    auto* input = reinterpret_cast<InputContext*>(self);
    input->context = nullptr;
    input->method = nullptr;
    input->focused = false;
}

void InputContext::setFocus(bool on) noexcept {
    if (context == nullptr || on == focused) return;
    focused = on;
    if (on) {
        XSetICFocus(context);
        return;
    }
    // A half-composed character must not come back in the next edit.
    char* pending = Xutf8ResetIC(context);
    if (pending != nullptr) XFree(pending);
    XUnsetICFocus(context);
}

int InputContext::lookup(XKeyEvent& event, TextKey* out, int capacity) noexcept {
    if (capacity <= 0) return 0;
    if (context == nullptr) {
        out[0] = decodeKey(event);
        return 1;
    }
    try {
        char small[64];
        KeySym keysym = NoSymbol;
        Status status = XLookupNone;
        int length = Xutf8LookupString(context, &event, small, sizeof small, &keysym, &status);
        const char* bytes = small;
        std::string large;
        if (status == XBufferOverflow) {
            // The method holds a longer text; ask again with room for it, within a bound.
            if (length <= 0 || length > kMaxLookupBytes) return 0;
            large.resize(static_cast<std::size_t>(length));
            length = Xutf8LookupString(context, &event, large.data(), length, &keysym, &status);
            bytes = large.data();
        }
        if (length < 0) length = 0;
        const bool hasKeysym = status == XLookupKeySym || status == XLookupBoth;
        const bool hasText = status == XLookupChars || status == XLookupBoth;
        if (!hasKeysym && !hasText) return 0;
        int count = 0;
        if (hasText) count = appendTextKeys(bytes, static_cast<std::size_t>(length), event, out, 0, capacity);
        if (hasKeysym) {
            if (count == 0) {
                // Keys that type nothing (arrows, Home, Delete ...) go by their key alone.
                out[0] = TextKey{};
                out[0].shift = (event.state & ShiftMask) != 0;
                out[0].control = (event.state & ControlMask) != 0;
                count = 1;
            }
            // A key that types one character keeps its key, so Return and Control+V stay keys.
            if (count == 1) out[0].key = keyOfKeysym(keysym);
        }
        return count;
    } catch (...) {
        return 0;
    }
}

namespace {
void appendLatin1AsUtf8(std::string& out, const unsigned char* bytes, unsigned long count) {
    for (unsigned long i = 0; i < count; ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

// Asks for one target and waits for the owner's answer; true with the property's bytes.
bool convert(Display* display, ::Window requestor, Atom target, std::string& out, int timeoutMs) {
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom property = XInternAtom(display, "FLANGER_CLIPBOARD", False);
    if (XGetSelectionOwner(display, clipboard) == None) return false;
    XConvertSelection(display, clipboard, target, property, requestor, CurrentTime);
    XFlush(display);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    XEvent event;
    for (;;) {
        if (XCheckTypedWindowEvent(display, requestor, SelectionNotify, &event) == True) break;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (event.xselection.property == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // At most 64 KiB: an edit box keeps 255 bytes of the first line anyway.
    const int status = XGetWindowProperty(display, requestor, property, 0, 16384, True, AnyPropertyType,
                                          &type, &format, &count, &after, &data);
    if (status != Success || data == nullptr) return false;
    const bool usable = format == 8 && type != XInternAtom(display, "INCR", False);
    if (usable) {
        if (target == XA_STRING)
            appendLatin1AsUtf8(out, data, count);
        else
            out.assign(reinterpret_cast<const char*>(data), count);
    }
    XFree(data);
    return usable;
}
}  // namespace

bool readClipboard(Display* display, ::Window requestor, std::string& out, int timeoutMs) noexcept {
    if (display == nullptr || requestor == 0) return false;
    try {
        out.clear();
        if (convert(display, requestor, XInternAtom(display, "UTF8_STRING", False), out, timeoutMs))
            return true;
        out.clear();
        return convert(display, requestor, XA_STRING, out, timeoutMs);
    } catch (...) {
        return false;
    }
}

}  // namespace flanger::platform::x11
