// The X11 backend's child window: its creation (in the host's parent or a container of its own),
// presentation through MIT-SHM or XPutImage, its title, class and cursor.
#include "platform/x11/X11Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstddef>

namespace flanger::platform {

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
bool presentsThroughSharedMemory(Window& window) noexcept {
    auto* x11 = dynamic_cast<X11Window*>(&window);
    return x11 != nullptr && x11->sharedMemory();
}

std::uintptr_t nativeWindowId(Window& window) noexcept {
    auto* x11 = dynamic_cast<X11Window*>(&window);
    return x11 != nullptr ? static_cast<std::uintptr_t>(x11->id()) : 0;
}

}  // namespace flanger::platform
