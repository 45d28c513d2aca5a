// A child window of the X11 backend: the host's parent (or a container of its own) holds it, and
// the backing surface is presented into it. Only the backend's own sources include this header.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/x11/X11State.h"
#include "platform/x11/X11TextInput.h"
#include "platform/x11/XdndReceiver.h"

namespace flanger::platform {

class X11Window final : public Window {
public:
    X11Window(X11Platform& owningPlatform, X11Platform::State& connection, int width, int height) noexcept
        : platform(owningPlatform), state(connection), surface(width, height) {}
    ~X11Window() override;

    bool create(NativeParent parent) noexcept;

    Platform& owner() noexcept override { return platform; }
    Surface& backing() noexcept override { return surface; }
    void present() noexcept override;
    ScreenPoint screenOrigin() noexcept override;
    bool isOpen() const noexcept override { return open; }
    std::uintptr_t systemId() const noexcept override {
        return open ? static_cast<std::uintptr_t>(window) : 0;
    }
    void setEventHandler(WindowEvents* receiver) noexcept override { handler = receiver; }
    void setIdentity(const char* title, const char* className) noexcept override;
    void setCursorShape(int shape) noexcept override;
    void setDropHandler(DropEvents* receiver) noexcept override;
    bool beginTextInput(TextInputEvents* receiver, std::uint32_t clickTimeMs) noexcept override;
    void endTextInput() noexcept override;
    void holdKeyFocus() noexcept override;
    void releaseKeyFocus() noexcept override;
    void discardPendingButtons(int count) noexcept override;
    bool resize(int width, int height) noexcept override;

    void handle(XEvent& event) noexcept;
    ::Window id() const noexcept { return window; }
    bool sharedMemory() const noexcept { return presentation != nullptr && presentation->shared; }

private:
    // What the backing goes to the server through: an image over a shared segment, or over
    // `staging` for XPutImage. Made anew whenever the size changes; it never moves while it
    // lives, as a shared image points at its segment.
    struct Presentation {
        XImage* image = nullptr;
        XShmSegmentInfo segment{};
        bool shared = false;                 // image pixels live in a segment the server reads directly
        std::vector<std::uint32_t> staging;  // the backing converted to the window's pixel format
    };

    void putBox(const PixelBox& box) noexcept;
    std::unique_ptr<Presentation> makePresentation(int width, int height) noexcept;
    bool makeSharedImage(Presentation& out, int width, int height) noexcept;
    void destroyPresentation(std::unique_ptr<Presentation>& target) noexcept;
    void destroyContainer() noexcept;
    bool pointerInside() noexcept;
    void handleHeldKey(XKeyEvent& event) noexcept;

    Cursor cursor = 0;                    // the shape shown now; 0 = inherited from the parent (the host's)
    std::unique_ptr<XdndReceiver> drops;  // made when the window first becomes a drop target

    X11Platform& platform;
    X11Platform::State& state;
    Surface surface;
    ::Window container = 0;  // the host's parent holds this, and the window sits in it at (0, 0)
    ::Window window = 0;
    GC gc = nullptr;
    std::unique_ptr<Presentation> presentation;
    Visual* visual = nullptr;  // the parent's, kept for the presentations made at a new size
    int depth = 0;
    bool fastFormat = false;      // 32-bit pixels laid out as 0x00RRGGBB
    std::uint32_t alphaBits = 0;  // set on depth-32 visuals so the pixels are opaque
    bool open = false;
    WindowEvents* handler = nullptr;
    PixelBox exposed;
    // Text input: keys are selected only while an edit box is open, or a pointer resting over
    // the editor would take the host's keys.
    TextInputEvents* textReceiver = nullptr;
    ::Window focusBefore = 0;
    Time lastPressTime = CurrentTime;
    x11::InputContext input;  // the user's input method for the edit boxes, opened at the first edit
    // Keys for a clicked control: held only while the pointer rests over the window.
    bool keyFocusHeld = false;
    ::Window keyFocusBefore = 0;
};

// Releases and motions with a button held keep the pointer state the controls track by.
constexpr long kBaseEvents =
    ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | StructureNotifyMask;

}  // namespace flanger::platform
