// Key decoding and clipboard reading for edit boxes on X11.
#include "platform/x11/X11TextInput.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace flanger::platform::x11 {

std::uint32_t keysymToUnicode(unsigned long keysym) noexcept {
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) return static_cast<std::uint32_t>(keysym);
    // Keysyms 0x01000000 + code point name every other Unicode character.
    if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) return static_cast<std::uint32_t>(keysym - 0x01000000);
    if (keysym >= 0xFFB0 && keysym <= 0xFFB9) return static_cast<std::uint32_t>('0' + (keysym - 0xFFB0));
    switch (keysym) {
        case 0xFF80: return ' ';  // KP_Space
        case 0xFFAA: return '*';
        case 0xFFAB: return '+';
        case 0xFFAC: return ',';  // KP_Separator
        case 0xFFAD: return '-';
        case 0xFFAE: return '.';  // KP_Decimal
        case 0xFFAF: return '/';
        case 0x20AC: return 0x20AC;  // EuroSign
        default: return 0;
    }
}

TextKey decodeKey(XKeyEvent& event) noexcept {
    TextKey key;
    char ignored[8];
    KeySym keysym = NoSymbol;
    // XLookupString applies Shift, Caps and Num Lock to the keysym; its bytes are not used, so
    // the result does not depend on the process locale.
    XLookupString(&event, ignored, sizeof ignored, &keysym, nullptr);
    key.keysym = static_cast<std::uint32_t>(keysym);
    key.shift = (event.state & ShiftMask) != 0;
    key.control = (event.state & ControlMask) != 0;
    key.character = keysymToUnicode(keysym);
    return key;
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
    const int status = XGetWindowProperty(display, requestor, property, 0, 16384, True, AnyPropertyType, &type,
                                          &format, &count, &after, &data);
    if (status != Success || data == nullptr) return false;
    const bool usable = format == 8 && type != XInternAtom(display, "INCR", False);
    if (usable) {
        if (target == XA_STRING) appendLatin1AsUtf8(out, data, count);
        else out.assign(reinterpret_cast<const char*>(data), count);
    }
    XFree(data);
    return usable;
}
}  // namespace

bool readClipboard(Display* display, ::Window requestor, std::string& out, int timeoutMs) noexcept {
    if (display == nullptr || requestor == 0) return false;
    try {
        out.clear();
        if (convert(display, requestor, XInternAtom(display, "UTF8_STRING", False), out, timeoutMs)) return true;
        out.clear();
        return convert(display, requestor, XA_STRING, out, timeoutMs);
    } catch (...) {
        return false;
    }
}

}  // namespace flanger::platform::x11
