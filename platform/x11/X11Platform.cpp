// The X11 backend's platform object: its own connection, whose X errors are trapped by a handler
// that never lets them reach Xlib's default, and the pump, clipboard and popups of its windows.
#include "platform/x11/X11Platform.h"
#include "platform/x11/X11DesktopScale.h"
#include "platform/x11/X11Popup.h"
#include "platform/x11/X11State.h"
#include "platform/x11/X11TextInput.h"
#include "platform/x11/X11Window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace flanger::platform {
namespace {

// Connections owned by this module. Written under registryMutex when a platform opens or closes;
// read by the error handler, which runs on whatever thread made the failing Xlib call.
constexpr int kMaxConnections = 16;
std::array<std::atomic<Display*>, kMaxConnections> ownConnections{};
std::array<std::atomic<int>, kMaxConnections> errorCounts{};
std::array<std::atomic<int>, kMaxConnections> lastErrors{};
std::mutex registryMutex;
int openConnections = 0;                      // guarded by registryMutex
XErrorHandler previousHandler = nullptr;      // guarded by registryMutex; the host's handler, if any
XIOErrorHandler previousIoHandler = nullptr;  // likewise, for broken connections

int slotOf(Display* display) noexcept {
    for (int i = 0; i < kMaxConnections; ++i) {
        if (ownConnections[i].load(std::memory_order_acquire) == display) return i;
    }
    return -1;
}

int trapError(Display* display, XErrorEvent* error) {
    const int slot = slotOf(display);
    if (slot >= 0) {
        errorCounts[slot].fetch_add(1, std::memory_order_relaxed);
        lastErrors[slot].store(error->error_code, std::memory_order_relaxed);
        return 0;
    }
    // Not ours (the host's connection): behave as if we were not here.
    XErrorHandler chained = previousHandler;
    return chained != nullptr ? chained(display, error) : 0;
}

// Xlib would end the process when the connection breaks (server gone, socket closed); returning
// from this hook keeps the host alive and leaves the display marked dead.
void connectionLost(Display*, void* data) {
    static_cast<std::atomic<bool>*>(data)->store(true, std::memory_order_relaxed);
}

// Xlib's default I/O error handler exits; for our connections we return, and the per-display
// exit hook below records the loss instead.
int trapIoError(Display* display) {
    if (slotOf(display) >= 0) return 0;
    XIOErrorHandler chained = previousIoHandler;
    return chained != nullptr ? chained(display) : 0;
}

}  // namespace

X11Platform::X11Platform(std::unique_ptr<State> opened) noexcept : state(std::move(opened)) {}

std::unique_ptr<X11Platform> X11Platform::open(const char* displayName, bool allowSharedMemory) noexcept {
    try {
        auto state = std::make_unique<State>();
        state->allowSharedMemory = allowSharedMemory;
        {
            std::lock_guard<std::mutex> lock(registryMutex);
            int slot = -1;
            for (int i = 0; i < kMaxConnections && slot < 0; ++i) {
                if (ownConnections[i].load(std::memory_order_acquire) == nullptr) slot = i;
            }
            if (slot < 0) return nullptr;
            // Install the trap before the first request, so even opening errors are caught.
            if (openConnections == 0) {
                XErrorHandler before = XSetErrorHandler(trapError);
                previousHandler = before == trapError ? previousHandler : before;
                XIOErrorHandler ioBefore = XSetIOErrorHandler(trapIoError);
                previousIoHandler = ioBefore == trapIoError ? previousIoHandler : ioBefore;
            }
            Display* display = XOpenDisplay(displayName);
            if (display == nullptr) {
                if (openConnections == 0) {
                    XSetErrorHandler(previousHandler);
                    XSetIOErrorHandler(previousIoHandler);
                }
                return nullptr;
            }
            ++openConnections;
            state->display = display;
            state->slot = slot;
            errorCounts[slot].store(0, std::memory_order_relaxed);
            lastErrors[slot].store(0, std::memory_order_relaxed);
            ownConnections[slot].store(display, std::memory_order_release);
        }
        XSetIOErrorExitHandler(state->display, connectionLost, &state->lost);
        state->root = DefaultRootWindow(state->display);
        state->mappedButtons = XGetPointerMapping(state->display, state->logicalOfPhysical.data(),
                                                  static_cast<int>(state->logicalOfPhysical.size()));
        // Left-handed setting: physical button 1 acts as logical 3 and 3 as 1.
        state->swapped =
            state->mappedButtons >= 3 && state->logicalOfPhysical[0] == 3 && state->logicalOfPhysical[2] == 1;
        return std::unique_ptr<X11Platform>(new X11Platform(std::move(state)));
    } catch (...) {
        return nullptr;
    }
}

X11Platform::~X11Platform() {
    if (connected()) XSync(state->display, False);
    std::lock_guard<std::mutex> lock(registryMutex);
    XCloseDisplay(state->display);
    ownConnections[static_cast<std::size_t>(state->slot)].store(nullptr, std::memory_order_release);
    if (--openConnections == 0) {
        // Give the host its handler back, unless someone replaced ours meanwhile.
        XErrorHandler current = XSetErrorHandler(previousHandler);
        if (current != trapError) XSetErrorHandler(current);
        XIOErrorHandler currentIo = XSetIOErrorHandler(previousIoHandler);
        if (currentIo != trapIoError) XSetIOErrorHandler(currentIo);
        previousHandler = nullptr;
        previousIoHandler = nullptr;
    }
}

std::unique_ptr<Window> X11Platform::createChildWindow(NativeParent parent, int width, int height) noexcept {
    if (parent == 0 || width <= 0 || height <= 0 || !connected()) return nullptr;
    try {
        auto window = std::make_unique<X11Window>(*this, *state, width, height);
        if (!window->create(parent)) return nullptr;
        state->windows.push_back(window.get());
        return window;
    } catch (...) {
        return nullptr;
    }
}

PointerState X11Platform::readPointer() noexcept {
    return connected() ? state->pointerAfter(false) : PointerState{};
}

PointerState X11Platform::trackPointer() noexcept {
    return connected() ? state->pointerAfter(true) : PointerState{};
}
bool X11Platform::buttonsSwapped() noexcept {
    return state->swapped;
}

std::uint32_t X11Platform::tickCountMs() noexcept {
    const auto elapsed = std::chrono::steady_clock::now() - state->start;
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void X11Platform::sleepMs(int milliseconds) noexcept {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void X11Platform::processEvents() noexcept {
    while (connected() && XPending(state->display) > 0) {
        XEvent event;
        XNextEvent(state->display, &event);
        // The input method sees keys first: while it composes, they are its own.
        if (XFilterEvent(&event, None) == True) continue;
        // Keyboard layout changed: without this, keys would still decode by the old one.
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        for (X11Window* window : state->windows) {
            if (window->id() == event.xany.window) {
                window->handle(event);
                break;
            }
        }
    }
}

bool X11Platform::processOneExpose() noexcept {
    if (!connected()) return false;
    XEvent event;
    if (XCheckTypedEvent(state->display, Expose, &event) == False) return false;
    X11Window* target = nullptr;
    for (X11Window* window : state->windows) {
        if (window->id() == event.xexpose.window) target = window;
    }
    if (target == nullptr) return true;
    target->handle(event);
    // An exposure arrives as a run of rectangles; deliver the whole run as one repaint.
    while (event.xexpose.count > 0 &&
           XCheckTypedWindowEvent(state->display, event.xexpose.window, Expose, &event) == True) {
        target->handle(event);
    }
    return true;
}

bool X11Platform::readClipboardText(std::string& out) noexcept {
    if (!connected()) return false;
    for (X11Window* window : state->windows) {
        if (window->id() != 0) return x11::readClipboard(state->display, window->id(), out, 250);
    }
    return false;
}

PixelBox X11Platform::screenArea() noexcept {
    if (!connected()) return {};
    const int screen = DefaultScreen(state->display);
    return {0, 0, DisplayWidth(state->display, screen), DisplayHeight(state->display, screen)};
}

std::unique_ptr<Popup> X11Platform::openPopup(Window& owner, const PixelBox& box,
                                              const Surface& pixels) noexcept {
    if (&owner.owner() != this || !owner.isOpen() || !connected()) return nullptr;
    return x11::openPopup(*this, state->display, static_cast<::Window>(nativeWindowId(owner)), box, pixels);
}
int X11Platform::desktopScalePercent(NativeParent /*parent*/) noexcept {
    if (!connected()) return 0;
    // The database lives on the first screen's root whatever screen the editor is on. 1 MiB
    // bounds what a hostile property could make us hold; real ones are a few kilobytes.
    constexpr long kMaxWords = 256 * 1024;
    const ::Window firstRoot = RootWindow(state->display, 0);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(state->display, firstRoot, XA_RESOURCE_MANAGER, 0, kMaxWords, False,
                                          XA_STRING, &type, &format, &count, &remaining, &data);
    int percent = 0;
    // A text cut short by the bound could end inside a line: it says nothing reliable.
    if (status == Success && data != nullptr && type == XA_STRING && format == 8 && remaining == 0) {
        // Xlib ends every property it returns with a NUL beyond its count.
        percent = x11::desktopScaleOfResources(reinterpret_cast<const char*>(data));
    }
    if (data != nullptr) XFree(data);
    return percent;
}

int X11Platform::errorCount() const noexcept {
    return errorCounts[static_cast<std::size_t>(state->slot)].load(std::memory_order_relaxed);
}
int X11Platform::lastErrorCode() const noexcept {
    return lastErrors[static_cast<std::size_t>(state->slot)].load(std::memory_order_relaxed);
}
void X11Platform::sync() noexcept {
    if (connected()) XSync(state->display, False);
}
bool X11Platform::connected() const noexcept {
    return !state->lost.load(std::memory_order_relaxed);
}
void X11Platform::setOwnContainer(bool on) noexcept {
    state->ownContainer = on;
}

int X11Platform::connectionFd() const noexcept {
    return ConnectionNumber(state->display);
}
}  // namespace flanger::platform
