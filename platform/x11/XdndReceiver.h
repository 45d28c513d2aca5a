// The drop-target side of the XDND protocol (version 5) for one window: accepts text/uri-list
// and text/plain, answers the source's position messages with copy (Control held) or move,
// fetches the data on drop and hands it to the window's drop receiver.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "platform/Platform.h"

namespace flanger::platform {

class XdndReceiver {
public:
    XdndReceiver(Display* display, ::Window window) noexcept;
    ~XdndReceiver();
    XdndReceiver(const XdndReceiver&) = delete;
    XdndReceiver& operator=(const XdndReceiver&) = delete;

    // Publishes XdndAware on the window (receiver non-null) or withdraws it (null).
    void setReceiver(DropEvents* receiver) noexcept;
    // True when the event belonged to the protocol and was handled.
    bool handle(const XEvent& event) noexcept;

private:
    enum class Offer { Nothing, Files, Text };

    void reset() noexcept;
    void chooseType(const XClientMessageEvent& enter) noexcept;
    void sendStatus(::Window source, bool accept, Atom action) noexcept;
    void sendFinished(::Window source, bool accepted, Atom action) noexcept;
    void deliver(const XSelectionEvent& selection) noexcept;
    Atom atom(const char* name) noexcept { return XInternAtom(display, name, False); }

    Display* display;
    ::Window window;
    DropEvents* receiver = nullptr;
    ::Window source = 0;
    Offer offer = Offer::Nothing;
    Atom offeredType = 0;
    Atom action = 0;
    ScreenPoint lastPosition;
    bool awaitingData = false;
};

}  // namespace flanger::platform
