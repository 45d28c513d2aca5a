// Keyboard input for the X11 backend: keysyms to the platform's keys (for edit boxes and popups);
// for edit boxes, key events decoded through an input method where the host's locale allows one,
// else keysym to Unicode without the process locale; and the CLIPBOARD's text read with a bounded
// wait. Only the backend's own sources include this header.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace flanger::platform::x11 {

// The key a keysym stands for (the keypad's editing keys and arrows as the main ones), else Other.
Key keyOfKeysym(unsigned long keysym) noexcept;

// The Unicode character a keysym types (Latin-1, the Unicode keysym range, the keypad), or 0.
std::uint32_t keysymToUnicode(unsigned long keysym) noexcept;

// A key press as the edit box takes it.
TextKey decodeKey(XKeyEvent& event) noexcept;

// Appends the code points of UTF-8 text as keys (Key::Other) with the event's modifiers, at most
// capacity of them counting from count; malformed bytes are skipped. Answers the new count.
int appendTextKeys(const char* utf8, std::size_t length, const XKeyEvent& event, TextKey* out, int count,
                   int capacity) noexcept;

// An input method and one input context (no preedit, no status window) for a window's edit
// boxes, so composed and dead-key characters arrive as the user's input method makes them.
// The process locale is the host's: it is never set here, nor are the locale modifiers (both
// process-wide). Where Xlib does not support the host's locale or no method opens, keys take
// the keysym path. Everything runs on the thread that pumps the window's connection.
class InputContext {
public:
    // Bytes of one lookup beyond which a committed text is dropped (an edit box keeps 255).
    static constexpr int kMaxLookupBytes = 4096;

    InputContext() = default;
    ~InputContext() { close(true); }
    InputContext(const InputContext&) = delete;
    InputContext& operator=(const InputContext&) = delete;

    // Opens the method and a context on window at the first call; later calls only answer
    // whether one is open, so a method that failed is not asked again at every edit.
    bool open(Display* display, ::Window window) noexcept;
    // Destroys the context and closes the method; without a live connection both are only
    // forgotten (Xlib cannot talk to a server that is gone). The next open tries afresh.
    void close(bool connectionAlive) noexcept;
    bool active() const noexcept { return context != nullptr; }
    // Events the method must see through XFilterEvent (key releases, for some methods).
    long filterEvents() const noexcept { return active() ? filterMask : 0; }
    // On while an edit box is open; off also drops a half-composed character.
    void setFocus(bool on) noexcept;
    // The keys one key press types: through the context when one is open (several for a
    // committed text, none while composing), else one key by keysym. Answers the count.
    int lookup(XKeyEvent& event, TextKey* out, int capacity) noexcept;

private:
    static void methodDestroyed(XIM method, XPointer self, XPointer unused);

    XIM method = nullptr;
    XIC context = nullptr;
    long filterMask = 0;
    bool tried = false;
    bool focused = false;
    XIMCallback destroyCallback{};  // must live as long as the method
};

// The CLIPBOARD selection's text as UTF-8 (UTF8_STRING, else Latin-1 STRING), asked for on
// requestor and waited for at most timeoutMs. Large (incremental) transfers are refused.
bool readClipboard(Display* display, ::Window requestor, std::string& out, int timeoutMs) noexcept;

}  // namespace flanger::platform::x11
