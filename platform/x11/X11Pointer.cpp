// The X11 backend's pointer state: what the pointer events handled so far say, the live query
// when nothing queued contradicts it.
#include <X11/Xlib.h>

#include "platform/x11/X11State.h"
#include "platform/x11/X11Window.h"

namespace flanger::platform {

bool X11Platform::State::queryPointer(PointerState& out) noexcept {
    ::Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    if (XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask) == False)
        return false;
    out.position = {rootX, rootY};
    // The server reports logical buttons; the toolkit wants physical ones and applies the swap itself.
    readMask(mask, out);
    return true;
}

PointerState X11Platform::State::pointerAfter(bool takeNext) noexcept {
    // The query is a round trip: every event the server sent before its answer is queued now, so
    // an empty queue means the live answer contradicts nothing handled or pending.
    PointerState live;
    const bool haveLive = queryPointer(live);
    if (takeNext) {
        const auto isOwn = [](Display*, XEvent* event, XPointer self) -> Bool {
            return reinterpret_cast<State*>(self)->ownsPointerEvent(*event) ? True : False;
        };
        XEvent event;
        if (XCheckIfEvent(display, &event, isOwn, reinterpret_cast<XPointer>(this)) == True) {
            takePointerEvent(event);
            return pointer;
        }
    } else if (pointerEventQueued()) {
        return pointer;
    }
    if (haveLive) pointer = live;
    return pointer;
}

bool X11Platform::State::pointerEventQueued() noexcept {
    struct Search {
        State* state;
        bool found;
    } search{this, false};
    // Looks through the queue without taking anything out of it.
    const auto look = [](Display*, XEvent* event, XPointer arg) -> Bool {
        auto* s = reinterpret_cast<Search*>(arg);
        if (s->state->ownsPointerEvent(*event)) s->found = true;
        return False;
    };
    XEvent event;
    XCheckIfEvent(display, &event, look, reinterpret_cast<XPointer>(&search));
    return search.found;
}

void X11Platform::State::takePointerEvent(const XEvent& event) noexcept {
    if (event.type == MotionNotify) {
        pointer.position = {event.xmotion.x_root, event.xmotion.y_root};
        readMask(event.xmotion.state, pointer);
        return;
    }
    // A button event's mask is the state before it: the event's own button is added or removed.
    pointer.position = {event.xbutton.x_root, event.xbutton.y_root};
    readMask(event.xbutton.state, pointer);
    const std::uint32_t bit = physicalBit(event.xbutton.button);
    if (event.type == ButtonPress) {
        pointer.buttons |= bit;
    } else {
        pointer.buttons &= ~bit;
    }
}
bool X11Platform::State::ownsPointerEvent(const XEvent& event) const noexcept {
    const bool button =
        (event.type == ButtonPress || event.type == ButtonRelease) && event.xbutton.button <= 3;
    if (!button && event.type != MotionNotify) return false;
    for (const X11Window* window : windows) {
        if (window->id() == event.xany.window) return true;
    }
    return false;
}
}  // namespace flanger::platform
