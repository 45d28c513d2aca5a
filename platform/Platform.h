// The platform interface the GUI toolkit is written against: child windows with a backing
// surface, the pointer and keyboard state, the clock and sleep. Backends: X11 (x11/), null
// (no window system) and headless (headless/, pixels in memory and a scripted pointer, for tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Surface.h"

namespace flanger::platform {

class Platform;
struct TextKey;

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// Physical mouse buttons; the toolkit applies the swapped-buttons setting itself.
enum PhysicalButton : std::uint32_t { kLeftButton = 1, kMiddleButton = 2, kRightButton = 4 };

struct PointerState {
    ScreenPoint position;       // on the screen (root window), not relative to any window
    std::uint32_t buttons = 0;  // PhysicalButton bits
    bool shift = false;
    bool control = false;
    bool alt = false;
};

// Receives a window's native events when the backend pumps them (processEvents). The frame view
// implements it; positions are window pixels.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // The area was uncovered: draw it into the backing surface (the backend presents afterwards).
    virtual void onExpose(const PixelBox& area) = 0;
    // A press of a physical button (PhysicalButton), wheel steps excluded.
    virtual void onButtonPress(int x, int y, std::uint32_t button) = 0;
    // Wheel turned: +1 per step away from the user, −1 towards.
    virtual void onWheel(int x, int y, float steps) = 0;
    // The native window disappeared (host destroyed its parent): draw nothing from now on.
    virtual void onDestroyed() = 0;
    // A key pressed while the window holds the keyboard focus for its controls (holdKeyFocus);
    // false when no control used it, and the window then gives the focus back.
    virtual bool onKey(const TextKey& /*key*/) { return false; }
};

// Longest dropped file name a backend hands on, terminator included; longer ones would arrive cut
// and are left out.
inline constexpr std::size_t kMaxDroppedName = 1024;

// Receives what the user drops onto a window: file names (type 0, count = number of names) or
// one text (type 1, one item, count = its size in bytes). Answers whether a view took it.
class DropEvents {
public:
    virtual ~DropEvents() = default;
    virtual bool onDrop(const char* const* items, int count, int type, ScreenPoint where) = 0;
};

// The keys the toolkit tells apart, whatever the window system numbers them. The keypad's
// editing keys and arrows are the main ones; only its Enter stays a key of its own. The two
// letters (either case) are there for the Control shortcuts; every other key is Other and goes
// by the character it types.
enum class Key : std::uint32_t {
    Other,
    Backspace,
    Return,
    KeypadEnter,
    Escape,
    Insert,
    Delete,
    Home,
    End,
    Left,
    Right,
    Up,
    Down,
    LetterA,
    LetterV,
};

// One key as a window decodes it while it holds the keyboard focus for text entry.
struct TextKey {
    Key key = Key::Other;
    std::uint32_t character = 0;  // the Unicode character the key types, 0 for none
    bool shift = false;
    bool control = false;
};

// Receives the keys of a window's text input and the loss of its keyboard focus.
class TextInputEvents {
public:
    virtual ~TextInputEvents() = default;
    virtual void onTextKey(const TextKey& key) = 0;
    // The focus went elsewhere (a grab taking it for a while does not count).
    virtual void onTextFocusLost() = 0;
};

// Cursor shapes a window can show; kCursorDefault restores the one in use before the first change.
enum CursorKind : int {
    kCursorDefault = 0,
    kCursorWait = 1,
    kCursorSizeWestEast = 2,
    kCursorSizeNorthSouth = 3,
    kCursorSizeAll = 4,
    kCursorSizeNorthEastSouthWest = 5,
    kCursorSizeNorthWestSouthEast = 6,
};

class Window {
public:
    virtual ~Window() = default;

    virtual Platform& owner() noexcept = 0;
    // The window's pixels; drawing adds damage to it, present() shows the damaged part.
    virtual Surface& backing() noexcept = 0;
    virtual void present() noexcept = 0;
    // Top-left of the window's client area on the screen.
    virtual ScreenPoint screenOrigin() noexcept = 0;
    // False once the native window has gone (e.g. destroyed together with the host's parent).
    virtual bool isOpen() const noexcept = 0;
    // Null stops delivery. The handler must outlive its registration.
    virtual void setEventHandler(WindowEvents* handler) noexcept = 0;

    // Optional services; a backend without them keeps these defaults.
    // The window system's own id of the window (an XID on X11), for hosts that embed it by id;
    // 0 where there is none.
    virtual std::uintptr_t systemId() const noexcept { return 0; }
    // The title and class name the window system shows for the window.
    virtual void setIdentity(const char* /*title*/, const char* /*className*/) noexcept {}
    // Any shape outside CursorKind is ignored.
    virtual void setCursorShape(int /*shape*/) noexcept {}
    // Makes the window a drop target delivering to receiver; null stops accepting drops.
    virtual void setDropHandler(DropEvents* /*receiver*/) noexcept {}
    // Takes the keyboard focus for an edit box opened by a click at clickTimeMs (the window
    // system's time of that click) and delivers its keys to receiver. False when the window
    // cannot take it: keys then come only through the host. endTextInput gives the focus back.
    virtual bool beginTextInput(TextInputEvents* /*receiver*/, std::uint32_t /*clickTimeMs*/) noexcept {
        return false;
    }
    virtual void endTextInput() noexcept {}
    // After a click on a control that steps with the arrows: takes the keyboard focus while the
    // pointer stays over the window, so the arrows work in hosts that forward no keys; they
    // arrive as WindowEvents::onKey. The focus goes back to the window that had it when the
    // pointer leaves, on Escape, or at releaseKeyFocus.
    virtual void holdKeyFocus() noexcept {}
    virtual void releaseKeyFocus() noexcept {}
    // Drops at most count button events queued for the window unprocessed (the click that closed
    // a popup must not arrive as a new press).
    virtual void discardPendingButtons(int /*count*/) noexcept {}
    // Gives the window (and its backing, cleared) a new fixed size; false when it cannot, and
    // the window then keeps its old size.
    virtual bool resize(int /*width*/, int /*height*/) noexcept { return false; }
};

// One input of an open popup, positions on the screen.
struct PopupInput {
    enum Kind : int { kPress, kRelease, kMotion, kKey };
    int kind = kMotion;
    ScreenPoint at;
    std::uint32_t button = 0;  // PhysicalButton of a press or release; 0 for a wheel step
    Key key = Key::Other;      // for keys
};

// A popup menu's windows above everything on the screen while the pointer and keyboard are
// grabbed for it; one window per open menu level. Destroying it releases the grabs and removes
// the windows.
class Popup {
public:
    virtual ~Popup() = default;
    // Shows pixels (the box's size) as menu level `level` at box on the screen.
    virtual void show(std::size_t level, const PixelBox& box, const Surface& pixels) noexcept = 0;
    // Removes the windows of the levels from count up.
    virtual void keepLevels(std::size_t count) noexcept = 0;
    // The next input, waiting at most waitMs for one; false when none came.
    virtual bool nextInput(PopupInput& out, int waitMs) noexcept = 0;
    // False once the popup cannot go on: its window or its owner went away, the connection broke.
    virtual bool isOpen() const noexcept = 0;
};

// The host's parent window: an XID on X11, any non-zero token on the headless backend.
using NativeParent = std::uintptr_t;

class Platform {
public:
    virtual ~Platform() = default;

    // A visible child window of width × height at (0, 0) in the parent; null on failure.
    virtual std::unique_ptr<Window> createChildWindow(NativeParent parent, int width,
                                                      int height) noexcept = 0;
    // The pointer as the events handled so far leave it: a queued press, release or motion that
    // has not been handled yet wins over the live state, so a click handled late still reads as
    // down at its press.
    virtual PointerState readPointer() noexcept = 0;
    // For tracking loops: handles the next queued pointer event of this platform's windows (press,
    // release or motion, wheel steps aside) and answers the state after it; with none queued, as
    // readPointer. Lets a press and its release inside one host idle be a whole click, and a drag
    // see every motion in order.
    virtual PointerState trackPointer() noexcept { return readPointer(); }
    // The system's left-handed setting, read once per platform object.
    virtual bool buttonsSwapped() noexcept = 0;
    virtual std::uint32_t tickCountMs() noexcept = 0;
    virtual void sleepMs(int milliseconds) noexcept = 0;
    // Delivers pending native events of this platform's windows to their handlers; never blocks.
    virtual void processEvents() noexcept = 0;
    // Delivers at most one pending expose of this platform's windows (the rest stay queued);
    // true when one was delivered. Lets a drag loop repaint without taking other input.
    virtual bool processOneExpose() noexcept { return false; }
    // The clipboard's text (first choice UTF-8), waiting only a bounded time for its owner to
    // answer; false when there is none. Edit boxes paste from it.
    virtual bool readClipboardText(std::string& /*out*/) noexcept { return false; }
    // Popup menus: whether the platform has them at all, the screen area they must stay in, and
    // a popup over owner (a window of this platform) showing pixels at box as its first level,
    // with the pointer and keyboard grabbed; null when a grab is refused.
    virtual bool offersPopups() const noexcept { return false; }
    virtual PixelBox screenArea() noexcept { return {}; }
    // The desktop's scale for windows in parent, in percent of 96 dpi (Xft.dpi on X11, the dpi of
    // the parent's top-level window on Windows), unrounded; 0 when the desktop says nothing.
    virtual int desktopScalePercent(NativeParent /*parent*/) noexcept { return 0; }
    virtual std::unique_ptr<Popup> openPopup(Window& /*owner*/, const PixelBox& /*box*/,
                                             const Surface& /*pixels*/) noexcept {
        return nullptr;
    }
};

// The platform the toolkit reads live state through when a canvas has no window. Defaults to the
// null platform; an open editor installs its own window system's while open, tests a headless one.
Platform& currentPlatform() noexcept;
void setCurrentPlatform(Platform* platform) noexcept;  // null restores the default

}  // namespace flanger::platform
