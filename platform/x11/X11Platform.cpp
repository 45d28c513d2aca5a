// Xlib implementation of the platform interface. Every request goes through this module's own
// connection; X errors on it are trapped by a handler that never lets them reach Xlib's default.
#include "platform/x11/X11Platform.h"
#include "platform/x11/X11Popup.h"
#include "platform/x11/X11TextInput.h"
#include "platform/x11/XdndReceiver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

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

struct X11Platform::State {
    Display* display = nullptr;
    // Set by Xlib's I/O-error exit hook on the thread that hit the broken connection; read before
    // every request. Once set, the connection is never used again (only closed).
    std::atomic<bool> lost{false};
    int slot = -1;
    ::Window root = 0;
    std::array<unsigned char, 256> logicalOfPhysical{};  // pointer mapping, read once
    int mappedButtons = 0;
    bool swapped = false;
    bool allowSharedMemory = true;
    bool ownContainer = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::vector<class X11Window*> windows;

    // Physical button (1–3) whose press produced this logical button, or 0.
    unsigned physicalOf(unsigned logical) const noexcept {
        for (int p = 0; p < std::min(mappedButtons, 3); ++p) {
            if (logicalOfPhysical[static_cast<std::size_t>(p)] == logical)
                return static_cast<unsigned>(p + 1);
        }
        return logical <= 3 && mappedButtons == 0 ? logical : 0;
    }
    // The PhysicalButton bit of a logical button, 0 for the wheel and beyond.
    std::uint32_t physicalBit(unsigned logical) const noexcept {
        static constexpr std::uint32_t kBits[4] = {0, kLeftButton, kMiddleButton, kRightButton};
        const unsigned physical = physicalOf(logical);
        return physical <= 3 ? kBits[physical] : 0;
    }
    // Buttons and modifiers of an X state mask (logical buttons, as the server reports them).
    void readMask(unsigned mask, PointerState& out) const noexcept {
        const unsigned logicalMasks[3] = {Button1Mask, Button2Mask, Button3Mask};
        out.buttons = 0;
        for (unsigned logical = 1; logical <= 3; ++logical) {
            if ((mask & logicalMasks[logical - 1]) != 0) out.buttons |= physicalBit(logical);
        }
        out.shift = (mask & ShiftMask) != 0;
        out.control = (mask & ControlMask) != 0;
        out.alt = (mask & Mod1Mask) != 0;
    }

    // The pointer as the pointer events handled so far leave it. Presses are delivered from the
    // host's idle, often after their release has happened: controls must see the press's state,
    // then the release and motions in order, not the live state that is already past them.
    PointerState pointer;
    bool ownsPointerEvent(const XEvent& event) const noexcept;
    void takePointerEvent(const XEvent& event) noexcept;
    bool pointerEventQueued() noexcept;
    PointerState pointerAfter(bool takeNext) noexcept;
    bool queryPointer(PointerState& out) noexcept;
};

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

    void handle(XEvent& event) noexcept;
    ::Window id() const noexcept { return window; }
    bool sharedMemory() const noexcept { return shared; }

private:
    void putBox(const PixelBox& box) noexcept;
    bool createSharedImage(Visual* visual, int depth) noexcept;
    void destroyContainer() noexcept;
    void destroyImage() noexcept;
    bool pointerInside() noexcept;
    void handleHeldKey(XKeyEvent& event) noexcept;

    Cursor cursor = 0;                    // the shape shown now; 0 = inherited from the parent (the host's)
    std::unique_ptr<XdndReceiver> drops;  // made when the window first becomes a drop target
    XShmSegmentInfo segment{};
    bool shared = false;  // image pixels live in a segment the server reads directly

    X11Platform& platform;
    X11Platform::State& state;
    Surface surface;
    ::Window container = 0;  // the host's parent holds this, and the window sits in it at (0, 0)
    ::Window window = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    std::vector<std::uint32_t> staging;  // the backing converted to the window's pixel format
    bool fastFormat = false;             // 32-bit pixels laid out as 0x00RRGGBB
    std::uint32_t alphaBits = 0;         // set on depth-32 visuals so the pixels are opaque
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

bool X11Window::create(NativeParent parent) noexcept {
    Display* display = state.display;
    XWindowAttributes parentAttributes;
    const int errorsBefore = platform.errorCount();
    if (XGetWindowAttributes(display, static_cast<::Window>(parent), &parentAttributes) == 0) return false;
    XSetWindowAttributes attributes{};
    attributes.event_mask = kBaseEvents;
    attributes.background_pixmap = None;  // the backing surface paints everything
    attributes.border_pixel = 0;
    attributes.colormap = parentAttributes.colormap;
    // A fixed size, said where embedding hosts look for it: they keep the window at its size
    // instead of stretching it over their container.
    XSizeHints size{};
    size.flags = PSize | PMinSize | PMaxSize | PBaseSize;
    size.width = size.min_width = size.max_width = size.base_width = surface.width();
    size.height = size.min_height = size.max_height = size.base_height = surface.height();
    ::Window holder = static_cast<::Window>(parent);
    if (state.ownContainer) {
        // Some hosts adopt the first window made in their parent and stretch it over their own
        // area: that one is a plain container, so the editor keeps its size inside it.
        XSetWindowAttributes plain{};
        plain.background_pixel = 0;
        plain.border_pixel = 0;
        plain.colormap = parentAttributes.colormap;
        container =
            XCreateWindow(display, holder, 0, 0, static_cast<unsigned>(surface.width()),
                          static_cast<unsigned>(surface.height()), 0, parentAttributes.depth, InputOutput,
                          parentAttributes.visual, CWBackPixel | CWBorderPixel | CWColormap, &plain);
        XSync(display, False);
        if (container == 0 || platform.errorCount() != errorsBefore) {
            container = 0;
            return false;
        }
        XSetWMNormalHints(display, container, &size);
        holder = container;
    }
    window = XCreateWindow(display, holder, 0, 0, static_cast<unsigned>(surface.width()),
                           static_cast<unsigned>(surface.height()), 0, parentAttributes.depth, InputOutput,
                           parentAttributes.visual, CWEventMask | CWBackPixmap | CWBorderPixel | CWColormap,
                           &attributes);
    XSync(display, False);
    if (window == 0 || platform.errorCount() != errorsBefore) {
        window = 0;
        destroyContainer();
        return false;
    }
    XSetWMNormalHints(display, window, &size);
    gc = XCreateGC(display, window, 0, nullptr);
    const bool sharedOk = state.allowSharedMemory && XShmQueryExtension(display) == True &&
                          createSharedImage(parentAttributes.visual, parentAttributes.depth);
    if (!sharedOk) {
        staging.assign(static_cast<std::size_t>(surface.width()) * surface.height(), 0);
        image = XCreateImage(display, parentAttributes.visual, static_cast<unsigned>(parentAttributes.depth),
                             ZPixmap, 0, reinterpret_cast<char*>(staging.data()),
                             static_cast<unsigned>(surface.width()), static_cast<unsigned>(surface.height()),
                             32, surface.width() * 4);
    }
    if (image == nullptr || image->bits_per_pixel != 32) {
        destroyImage();
        XDestroyWindow(display, window);
        XSync(display, False);
        window = 0;
        destroyContainer();
        return false;
    }
    fastFormat = image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                 image->byte_order == LSBFirst;
    alphaBits = parentAttributes.depth == 32 ? 0xFF000000u : 0;
    XMapWindow(display, window);
    if (container != 0) XMapWindow(display, container);
    XFlush(display);
    open = true;
    return true;
}

void X11Window::destroyContainer() noexcept {
    if (container == 0) return;
    XDestroyWindow(state.display, container);
    XSync(state.display, False);
    container = 0;
}

bool X11Window::createSharedImage(Visual* visual, int depth) noexcept {
    // Any failure here falls back to XPutImage: remote displays, no segments left, a server
    // that refuses the attach.
    Display* display = state.display;
    image = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment,
                            static_cast<unsigned>(surface.width()), static_cast<unsigned>(surface.height()));
    if (image == nullptr) return false;
    if (image->bits_per_pixel != 32) {
        destroyImage();
        return false;
    }
    segment.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * image->height,
                           IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        destroyImage();
        return false;
    }
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    if (segment.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(segment.shmid, IPC_RMID, nullptr);
        segment.shmaddr = nullptr;
        destroyImage();
        return false;
    }
    image->data = segment.shmaddr;
    segment.readOnly = False;
    const int errorsBefore = platform.errorCount();
    const bool attached = XShmAttach(display, &segment) == True;
    XSync(display, False);
    // Marked for removal now: it disappears once both sides have detached, even after a crash.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (!attached || platform.errorCount() != errorsBefore) {
        shmdt(segment.shmaddr);
        segment.shmaddr = nullptr;
        destroyImage();
        return false;
    }
    shared = true;
    return true;
}

void X11Window::destroyImage() noexcept {
    if (shared) {
        if (platform.connected()) {
            XShmDetach(state.display, &segment);
            XSync(state.display, False);
        }
        shmdt(segment.shmaddr);
        shared = false;
    }
    if (image != nullptr) {
        image->data = nullptr;  // the pixels belong to `staging` or the segment
        XDestroyImage(image);
        image = nullptr;
    }
}

X11Window::~X11Window() {
    releaseKeyFocus();
    auto& list = state.windows;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    Display* display = state.display;
    destroyImage();
    // Freeing the GC releases client memory too; on a dead connection Xlib only drops the request.
    if (gc != nullptr) XFreeGC(display, gc);
    input.close(platform.connected());
    if (!platform.connected()) return;
    if (cursor != 0) XFreeCursor(display, cursor);
    // The host may already have destroyed the parent (and with it this window): a BadWindow here
    // is trapped and counted.
    if (window != 0) XDestroyWindow(display, window);
    if (container != 0) XDestroyWindow(display, container);
    XSync(display, False);
}

void X11Window::putBox(const PixelBox& area) noexcept {
    const PixelBox box = area.intersect({0, 0, surface.width(), surface.height()});
    if (box.empty() || !open || image == nullptr || !platform.connected()) return;
    for (int y = box.top; y < box.bottom; ++y) {
        const std::uint32_t* src = surface.row(y);
        auto* dst = reinterpret_cast<std::uint32_t*>(image->data +
                                                     static_cast<std::ptrdiff_t>(y) * image->bytes_per_line);
        for (int x = box.left; x < box.right; ++x) {
            if (fastFormat) {
                dst[x] = src[x] | alphaBits;
            } else {
                // Uncommon visual: let Xlib place the channels for us.
                const auto scale = [](unsigned long mask, std::uint8_t value) -> unsigned long {
                    if (mask == 0) return 0;
                    int shift = 0;
                    while (((mask >> shift) & 1) == 0) ++shift;
                    const unsigned long max = mask >> shift;
                    return ((value * max + 127) / 255) << shift;
                };
                XPutPixel(image, x, y,
                          scale(image->red_mask, redOf(src[x])) | scale(image->green_mask, greenOf(src[x])) |
                              scale(image->blue_mask, blueOf(src[x])) | alphaBits);
            }
        }
    }
    const auto w = static_cast<unsigned>(box.right - box.left),
               h = static_cast<unsigned>(box.bottom - box.top);
    if (shared) {
        XShmPutImage(state.display, window, gc, image, box.left, box.top, box.left, box.top, w, h, False);
        // The server reads the segment asynchronously: wait before the next present rewrites it.
        XSync(state.display, False);
    } else {
        XPutImage(state.display, window, gc, image, box.left, box.top, box.left, box.top, w, h);
        XFlush(state.display);
    }
}

void X11Window::present() noexcept {
    PixelBox boxes[Surface::kDamageBoxes];
    const int count = surface.takeDamageBoxes(boxes);
    for (int i = 0; i < count; ++i) putBox(boxes[i]);
}

void X11Window::setIdentity(const char* title, const char* className) noexcept {
    if (!open || !platform.connected()) return;
    if (title != nullptr) XStoreName(state.display, window, title);
    if (className != nullptr) {
        XClassHint hint;
        hint.res_name = const_cast<char*>(className);
        hint.res_class = const_cast<char*>(className);
        XSetClassHint(state.display, window, &hint);
    }
    XFlush(state.display);
}

void X11Window::setCursorShape(int shape) noexcept {
    if (shape < kCursorDefault || shape > kCursorSizeNorthWestSouthEast || !open || !platform.connected())
        return;
    Display* display = state.display;
    // Font cursors for the system's standard shapes; no default means the parent's cursor shows.
    static constexpr unsigned kGlyphs[] = {0,
                                           XC_watch,
                                           XC_sb_h_double_arrow,
                                           XC_sb_v_double_arrow,
                                           XC_fleur,
                                           XC_bottom_left_corner,
                                           XC_bottom_right_corner};
    const Cursor previous = cursor;
    if (shape == kCursorDefault) {
        XUndefineCursor(display, window);
        cursor = 0;
    } else {
        cursor = XCreateFontCursor(display, kGlyphs[shape]);
        XDefineCursor(display, window, cursor);
    }
    if (previous != 0) XFreeCursor(display, previous);
    XFlush(display);
}

ScreenPoint X11Window::screenOrigin() noexcept {
    if (!open || !platform.connected()) return {};
    int x = 0, y = 0;
    ::Window child = 0;
    if (XTranslateCoordinates(state.display, window, state.root, 0, 0, &x, &y, &child) == False) return {};
    return {x, y};
}

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

bool X11Platform::State::ownsPointerEvent(const XEvent& event) const noexcept {
    const bool button =
        (event.type == ButtonPress || event.type == ButtonRelease) && event.xbutton.button <= 3;
    if (!button && event.type != MotionNotify) return false;
    for (const X11Window* window : windows) {
        if (window->id() == event.xany.window) return true;
    }
    return false;
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

bool presentsThroughSharedMemory(Window& window) noexcept {
    auto* x11 = dynamic_cast<X11Window*>(&window);
    return x11 != nullptr && x11->sharedMemory();
}

std::uintptr_t nativeWindowId(Window& window) noexcept {
    auto* x11 = dynamic_cast<X11Window*>(&window);
    return x11 != nullptr ? static_cast<std::uintptr_t>(x11->id()) : 0;
}

}  // namespace flanger::platform
