// The X11 backend's window input: the events it handles, text input through the input method,
// the keyboard focus held for a clicked control, drops and discarded clicks.
#include "platform/x11/X11Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <new>

namespace flanger::platform {

void X11Window::setDropHandler(DropEvents* receiver) noexcept {
    if (!open || !platform.connected()) return;
    if (drops == nullptr) {
        if (receiver == nullptr) return;
        drops.reset(new (std::nothrow) XdndReceiver(state.display, window));
        if (drops == nullptr) return;
    }
    drops->setReceiver(receiver);
}

bool X11Window::beginTextInput(TextInputEvents* receiver, std::uint32_t clickTimeMs) noexcept {
    if (receiver == nullptr || window == 0 || !platform.connected()) return false;
    int revert = 0;
    XGetInputFocus(state.display, &focusBefore, &revert);
    if (keyFocusHeld) {
        // Held for a control already: the edit gives the focus back to whoever had it before.
        keyFocusHeld = false;
        focusBefore = keyFocusBefore;
    }
    input.open(state.display, window);
    XSelectInput(state.display, window, kBaseEvents | KeyPressMask | FocusChangeMask | input.filterEvents());
    input.setFocus(true);
    // The time of the opening click: the server refuses a focus change older than the last one.
    const Time when = clickTimeMs != 0 ? static_cast<Time>(clickTimeMs) : lastPressTime;
    XSetInputFocus(state.display, window, RevertToParent, when);
    XFlush(state.display);
    textReceiver = receiver;
    return true;
}

void X11Window::endTextInput() noexcept {
    if (textReceiver == nullptr) return;
    textReceiver = nullptr;
    if (window == 0 || !platform.connected()) return;
    input.setFocus(false);
    XSelectInput(state.display, window, kBaseEvents);
    ::Window focused = 0;
    int revert = 0;
    XGetInputFocus(state.display, &focused, &revert);
    // Given back only while still ours: a FocusOut means someone else took it already.
    if (focused == window && focusBefore != None && focusBefore != PointerRoot && focusBefore != window) {
        XSetInputFocus(state.display, focusBefore, RevertToParent, CurrentTime);
    }
    XFlush(state.display);
}
bool X11Window::pointerInside() noexcept {
    ::Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    // False when the pointer is on another screen.
    if (XQueryPointer(state.display, window, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask) == False)
        return false;
    return x >= 0 && y >= 0 && x < surface.width() && y < surface.height();
}

void X11Window::holdKeyFocus() noexcept {
    if (keyFocusHeld || textReceiver != nullptr || !open || window == 0 || !platform.connected()) return;
    // A drag that ended outside the window leaves the keys where they were.
    if (!pointerInside()) return;
    int revert = 0;
    XGetInputFocus(state.display, &keyFocusBefore, &revert);
    if (keyFocusBefore == window) return;
    XSelectInput(state.display, window, kBaseEvents | KeyPressMask | LeaveWindowMask | FocusChangeMask);
    // The click's own time: the server refuses a focus change older than the last one.
    XSetInputFocus(state.display, window, RevertToParent, lastPressTime);
    XFlush(state.display);
    keyFocusHeld = true;
}

void X11Window::releaseKeyFocus() noexcept {
    if (!keyFocusHeld) return;
    keyFocusHeld = false;
    if (window == 0 || !platform.connected()) return;
    if (textReceiver == nullptr) XSelectInput(state.display, window, kBaseEvents);
    ::Window focused = 0;
    int revert = 0;
    XGetInputFocus(state.display, &focused, &revert);
    // Given back only while still ours: someone who took it since keeps it.
    if (focused == window) XSetInputFocus(state.display, keyFocusBefore, RevertToParent, CurrentTime);
    XFlush(state.display);
}

void X11Window::handleHeldKey(XKeyEvent& event) noexcept {
    // Shift on its own comes before Shift+Up: it keeps the keyboard.
    if (IsModifierKey(XLookupKeysym(&event, 0))) return;
    const TextKey key = x11::decodeKey(event);
    // Escape, or a key no control uses (the host's shortcut), hands the keyboard back; only that
    // one key is lost to the host.
    if (key.key == Key::Escape || handler == nullptr || !handler->onKey(key)) releaseKeyFocus();
}

void X11Window::handle(XEvent& event) noexcept {
    if (state.ownsPointerEvent(event)) state.takePointerEvent(event);
    if (drops != nullptr && drops->handle(event)) return;
    switch (event.type) {
        case KeyPress: {
            if (textReceiver == nullptr) {
                if (keyFocusHeld) handleHeldKey(event.xkey);
                break;
            }
            TextKey keys[64];
            const int count = input.lookup(event.xkey, keys, 64);
            // A Return among them ends the edit: the rest is not typed into the next one.
            for (int i = 0; i < count && textReceiver != nullptr; ++i) textReceiver->onTextKey(keys[i]);
            break;
        }
        case FocusOut:
            // Grabs (a window manager's, a popup's) take the focus only for a while. NotifyPointer
            // comes when the focus arrives from an ancestor while the pointer rests here (the
            // opening click's own focus change): this window did not have the focus.
            if (textReceiver != nullptr && event.xfocus.mode != NotifyGrab &&
                event.xfocus.mode != NotifyUngrab && event.xfocus.detail != NotifyInferior &&
                event.xfocus.detail != NotifyPointer) {
                textReceiver->onTextFocusLost();
            }
            // Someone else took the keys: nothing to give back later.
            if (keyFocusHeld && event.xfocus.mode == NotifyNormal && event.xfocus.detail != NotifyInferior &&
                event.xfocus.detail != NotifyPointer) {
                keyFocusHeld = false;
                if (textReceiver == nullptr) XSelectInput(state.display, window, kBaseEvents);
            }
            break;
        case LeaveNotify:
            if (keyFocusHeld && event.xcrossing.detail != NotifyInferior) releaseKeyFocus();
            break;
        case Expose: {
            const PixelBox area{event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                                event.xexpose.y + event.xexpose.height};
            exposed = exposed.unite(area);
            if (event.xexpose.count > 0) break;  // more of the same exposure follows
            const PixelBox all = exposed;
            exposed = {};
            if (handler != nullptr) handler->onExpose(all);
            // The handler drew into the backing; show the whole exposed area, not just what changed.
            surface.takeDamage();
            putBox(all);
            break;
        }
        case ButtonPress: {
            lastPressTime = event.xbutton.time;
            const unsigned logical = event.xbutton.button;
            if (handler == nullptr) break;
            if (logical == 4 || logical == 5) {
                handler->onWheel(event.xbutton.x, event.xbutton.y, logical == 4 ? 1.0f : -1.0f);
                break;
            }
            const std::uint32_t bit = state.physicalBit(logical);
            if (bit != 0) handler->onButtonPress(event.xbutton.x, event.xbutton.y, bit);
            break;
        }
        case DestroyNotify:
            if (event.xdestroywindow.window == window) {
                open = false;
                window = 0;
                keyFocusHeld = false;
                input.close(platform.connected());
                if (handler != nullptr) handler->onDestroyed();
            }
            break;
        default:
            break;
    }
}
void X11Window::discardPendingButtons(int count) noexcept {
    if (window == 0 || !platform.connected()) return;
    // What the server has sent so far; wheel steps are not clicks and stay.
    XSync(state.display, False);
    const auto isClick = [](Display*, XEvent* event, XPointer self) -> Bool {
        const bool button = event->type == ButtonPress || event->type == ButtonRelease;
        return button && event->xany.window == *reinterpret_cast<::Window*>(self) &&
                       event->xbutton.button <= 3
                   ? True
                   : False;
    };
    // Counted by presses: the releases in between go with them (the pointer state then comes from
    // the live query again, as nothing queued contradicts it).
    XEvent event;
    for (int dropped = 0; dropped < count;) {
        if (XCheckIfEvent(state.display, &event, isClick, reinterpret_cast<XPointer>(&window)) == False)
            break;
        if (event.type == ButtonPress) ++dropped;
    }
}
}  // namespace flanger::platform
