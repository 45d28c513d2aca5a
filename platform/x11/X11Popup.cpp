// X11 popup windows: creation and grabs, presenting a level's pixels, pointer and key events
// turned into popup inputs, and an orderly end (grabs released, windows destroyed, their
// leftover events dropped). X errors go to the connection's trap like every other request.
#include "platform/x11/X11Popup.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/x11/X11Platform.h"
#include "platform/x11/X11TextInput.h"

namespace flanger::platform::x11 {
namespace {

constexpr long kPopupEvents = ExposureMask | StructureNotifyMask;
constexpr unsigned kGrabbedPointerEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

unsigned long scaled(unsigned long mask, std::uint8_t value) noexcept {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const unsigned long max = mask >> shift;
    return ((value * max + 127) / 255) << shift;
}

class X11Popup final : public Popup {
public:
    X11Popup(X11Platform& owningPlatform, Display* connection, ::Window ownerWindow) noexcept
        : platform(owningPlatform), display(connection), owner(ownerWindow) {}
    ~X11Popup() override;

    bool start(const PixelBox& box, const Surface& pixels);
    void show(std::size_t level, const PixelBox& box, const Surface& pixels) noexcept override;
    void keepLevels(std::size_t count) noexcept override;
    bool nextInput(PopupInput& out, int waitMs) noexcept override;
    bool isOpen() const noexcept override { return !gone && platform.connected(); }

private:
    struct Level {
        ::Window id = 0;
        PixelBox box;
        Surface pixels;  // kept to repaint exposures
    };
    static Bool isOurs(Display*, XEvent* event, XPointer self) noexcept;
    bool translate(XEvent& event, PopupInput& out) noexcept;
    ::Window makeWindow(const PixelBox& box) noexcept;
    void put(const Level& level) noexcept;
    std::uint32_t physicalButton(unsigned logical) const noexcept;

    X11Platform& platform;
    Display* display;
    ::Window owner;
    std::vector<Level> levels;
    std::array<unsigned char, 256> mapping{};
    int mappedButtons = 0;
    bool pointerGrabbed = false;
    bool keyboardGrabbed = false;
    bool gone = false;  // the first window or the owner went away
};

bool X11Popup::start(const PixelBox& box, const Surface& pixels) {
    mappedButtons = XGetPointerMapping(display, mapping.data(), static_cast<int>(mapping.size()));
    const int errorsBefore = platform.errorCount();
    show(0, box, pixels);
    XSync(display, False);
    if (levels.empty() || levels[0].id == 0 || platform.errorCount() != errorsBefore) return false;
    // Our own press's automatic grab is replaced; another client's grab refuses us.
    pointerGrabbed = XGrabPointer(display, levels[0].id, False, kGrabbedPointerEvents, GrabModeAsync,
                                  GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    if (!pointerGrabbed) return false;
    keyboardGrabbed =
        XGrabKeyboard(display, levels[0].id, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    return keyboardGrabbed;
}

X11Popup::~X11Popup() {
    if (!platform.connected()) return;
    if (keyboardGrabbed) XUngrabKeyboard(display, CurrentTime);
    if (pointerGrabbed) XUngrabPointer(display, CurrentTime);
    std::vector<::Window> ids;
    for (const Level& level : levels) {
        if (level.id == 0) continue;
        ids.push_back(level.id);
        XDestroyWindow(display, level.id);
    }
    // The host gets the pointer back at once, and nothing of ours stays queued.
    XSync(display, False);
    levels.clear();
    XEvent event;
    const auto leftover = [](Display*, XEvent* e, XPointer list) -> Bool {
        for (::Window id : *reinterpret_cast<std::vector<::Window>*>(list)) {
            if (e->xany.window == id) return True;
        }
        return False;
    };
    while (XCheckIfEvent(display, &event, leftover, reinterpret_cast<XPointer>(&ids)) == True) {
    }
}

::Window X11Popup::makeWindow(const PixelBox& box) noexcept {
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    // Override-redirect: no window manager frame or placement, on top at once.
    attributes.override_redirect = True;
    attributes.save_under = True;
    attributes.event_mask = kPopupEvents;
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(display, screen);
    const ::Window id = XCreateWindow(
        display, RootWindow(display, screen), box.left, box.top,
        static_cast<unsigned>(std::max(1, box.right - box.left)),
        static_cast<unsigned>(std::max(1, box.bottom - box.top)), 0, DefaultDepth(display, screen),
        InputOutput, DefaultVisual(display, screen),
        CWOverrideRedirect | CWSaveUnder | CWEventMask | CWBackPixmap | CWBorderPixel | CWColormap,
        &attributes);
    if (id == 0) return 0;
    // Compositors and screen readers tell menus from other windows by this type.
    const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    const Atom popupMenu = XInternAtom(display, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
    XChangeProperty(display, id, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&popupMenu), 1);
    XMapRaised(display, id);
    return id;
}

void X11Popup::show(std::size_t level, const PixelBox& box, const Surface& pixels) noexcept {
    if (gone || !platform.connected() || box.empty()) return;
    try {
        if (levels.size() <= level) levels.resize(level + 1);
        Level& shown = levels[level];
        if (shown.id == 0) {
            shown.id = makeWindow(box);
        } else if (box.left != shown.box.left || box.top != shown.box.top || box.right != shown.box.right ||
                   box.bottom != shown.box.bottom) {
            XMoveResizeWindow(display, shown.id, box.left, box.top,
                              static_cast<unsigned>(box.right - box.left),
                              static_cast<unsigned>(box.bottom - box.top));
        }
        shown.box = box;
        shown.pixels = pixels;
        put(shown);
        XFlush(display);
    } catch (...) {
        // Out of memory: the level is not shown; the session goes on.
    }
}

void X11Popup::put(const Level& level) noexcept {
    if (level.id == 0 || level.pixels.empty()) return;
    const int screen = DefaultScreen(display);
    const int width = level.pixels.width(), height = level.pixels.height();
    XImage* image = XCreateImage(display, DefaultVisual(display, screen),
                                 static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (image == nullptr) return;
    try {
        std::vector<char> data(static_cast<std::size_t>(image->bytes_per_line) *
                               static_cast<std::size_t>(height));
        image->data = data.data();
        const bool fast = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                          image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                          image->byte_order == LSBFirst;
        const std::uint32_t alpha = DefaultDepth(display, screen) == 32 ? 0xFF000000u : 0;
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* source = level.pixels.row(y);
            auto* row = reinterpret_cast<std::uint32_t*>(image->data + static_cast<std::ptrdiff_t>(y) *
                                                                           image->bytes_per_line);
            for (int x = 0; x < width; ++x) {
                if (fast) {
                    row[x] = source[x] | alpha;
                } else {
                    XPutPixel(image, x, y,
                              scaled(image->red_mask, redOf(source[x])) |
                                  scaled(image->green_mask, greenOf(source[x])) |
                                  scaled(image->blue_mask, blueOf(source[x])));
                }
            }
        }
        GC gc = XCreateGC(display, level.id, 0, nullptr);
        XPutImage(display, level.id, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
        XFreeGC(display, gc);
        image->data = nullptr;  // the vector owns the pixels
    } catch (...) {
        image->data = nullptr;
    }
    XDestroyImage(image);
}

void X11Popup::keepLevels(std::size_t count) noexcept {
    // The first level holds the grab: it stays until the popup ends.
    if (count < 1) count = 1;
    while (levels.size() > count) {
        if (levels.back().id != 0 && platform.connected()) XDestroyWindow(display, levels.back().id);
        levels.pop_back();
    }
    if (platform.connected()) XFlush(display);
}

std::uint32_t X11Popup::physicalButton(unsigned logical) const noexcept {
    // The server reports logical buttons; inputs carry physical ones, like the frame's presses.
    unsigned physical = logical <= 3 && mappedButtons == 0 ? logical : 0;
    for (int p = 0; p < std::min(mappedButtons, 3); ++p) {
        if (mapping[static_cast<std::size_t>(p)] == logical) physical = static_cast<unsigned>(p + 1);
    }
    switch (physical) {
        case 1:
            return kLeftButton;
        case 2:
            return kMiddleButton;
        case 3:
            return kRightButton;
        default:
            return 0;
    }
}

Bool X11Popup::isOurs(Display*, XEvent* event, XPointer self) noexcept {
    const auto* popup = reinterpret_cast<const X11Popup*>(self);
    for (const Level& level : popup->levels) {
        if (level.id != 0 && event->xany.window == level.id) return True;
    }
    return False;
}

bool X11Popup::translate(XEvent& event, PopupInput& out) noexcept {
    switch (event.type) {
        case ButtonPress:
        case ButtonRelease: {
            const unsigned logical = event.xbutton.button;
            out.at = {event.xbutton.x_root, event.xbutton.y_root};
            out.kind = event.type == ButtonPress ? PopupInput::kPress : PopupInput::kRelease;
            if (logical >= 4 && logical <= 7) {
                out.button = 0;  // wheel steps
                return event.type == ButtonPress;
            }
            out.button = physicalButton(logical);
            return out.button != 0;
        }
        case MotionNotify:
            out = {PopupInput::kMotion, {event.xmotion.x_root, event.xmotion.y_root}, 0};
            return true;
        case KeyPress: {
            char ignored[8];
            KeySym keysym = NoSymbol;
            XLookupString(&event.xkey, ignored, sizeof ignored, &keysym, nullptr);
            out = {PopupInput::kKey, {}, 0, keyOfKeysym(keysym)};
            return true;
        }
        case Expose:
            if (event.xexpose.count == 0) {
                for (const Level& level : levels) {
                    if (level.id == event.xexpose.window) put(level);
                }
            }
            return false;
        case UnmapNotify:
        case DestroyNotify:
            // Someone else took the first window away: the grab went with it.
            if (!levels.empty() && event.xany.window == levels[0].id) gone = true;
            return false;
        default:
            return false;
    }
}

bool X11Popup::nextInput(PopupInput& out, int waitMs) noexcept {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!isOpen()) return false;
        XEvent event;
        // The frame's window destroyed (with the host's parent): the popup ends, and the frame
        // still hears of it when its events are next delivered.
        if (XCheckTypedWindowEvent(display, owner, DestroyNotify, &event) == True) {
            XPutBackEvent(display, &event);
            gone = true;
            return false;
        }
        while (XCheckIfEvent(display, &event, &X11Popup::isOurs, reinterpret_cast<XPointer>(this)) == True) {
            if (translate(event, out)) return true;
            if (gone) return false;
        }
        if (attempt == 1 || waitMs <= 0) return false;
        pollfd ready{ConnectionNumber(display), POLLIN, 0};
        poll(&ready, 1, waitMs);
    }
    return false;
}

}  // namespace

std::unique_ptr<Popup> openPopup(X11Platform& platform, Display* display, ::Window owner, const PixelBox& box,
                                 const Surface& pixels) noexcept {
    if (display == nullptr || owner == 0 || !platform.connected()) return nullptr;
    try {
        auto popup = std::make_unique<X11Popup>(platform, display, owner);
        if (!popup->start(box, pixels)) return nullptr;
        return popup;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace flanger::platform::x11
