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
#include <memory>
#include <new>
#include <utility>

namespace flanger::platform {
namespace {

// A fixed size, said where embedding hosts look for it: they keep the window at its size instead
// of stretching it over their container.
XSizeHints fixedSize(int width, int height) noexcept {
    XSizeHints size{};
    size.flags = PSize | PMinSize | PMaxSize | PBaseSize;
    size.width = size.min_width = size.max_width = size.base_width = width;
    size.height = size.min_height = size.max_height = size.base_height = height;
    return size;
}

}  // namespace

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
    XSizeHints size = fixedSize(surface.width(), surface.height());
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
    visual = parentAttributes.visual;
    depth = parentAttributes.depth;
    presentation = makePresentation(surface.width(), surface.height());
    if (presentation == nullptr) {
        XDestroyWindow(display, window);
        XSync(display, False);
        window = 0;
        destroyContainer();
        return false;
    }
    const XImage* image = presentation->image;
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

std::unique_ptr<X11Window::Presentation> X11Window::makePresentation(int width, int height) noexcept {
    std::unique_ptr<Presentation> made(new (std::nothrow) Presentation);
    if (made == nullptr) return nullptr;
    const bool sharedOk = state.allowSharedMemory && XShmQueryExtension(state.display) == True &&
                          makeSharedImage(*made, width, height);
    if (!sharedOk) {
        try {
            made->staging.assign(static_cast<std::size_t>(width) * height, 0);
        } catch (...) {
            return nullptr;
        }
        made->image =
            XCreateImage(state.display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                         reinterpret_cast<char*>(made->staging.data()), static_cast<unsigned>(width),
                         static_cast<unsigned>(height), 32, width * 4);
    }
    if (made->image == nullptr || made->image->bits_per_pixel != 32) {
        destroyPresentation(made);
        return nullptr;
    }
    return made;
}

bool X11Window::makeSharedImage(Presentation& out, int width, int height) noexcept {
    // Any failure here falls back to XPutImage: remote displays, no segments left, a server
    // that refuses the attach.
    Display* display = state.display;
    XShmSegmentInfo& segment = out.segment;
    const auto dropImage = [&out] {
        out.image->data = nullptr;
        XDestroyImage(out.image);
        out.image = nullptr;
    };
    out.image = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment,
                                static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (out.image == nullptr) return false;
    if (out.image->bits_per_pixel != 32) {
        dropImage();
        return false;
    }
    segment.shmid =
        shmget(IPC_PRIVATE, static_cast<std::size_t>(out.image->bytes_per_line) * out.image->height,
               IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        dropImage();
        return false;
    }
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    if (segment.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(segment.shmid, IPC_RMID, nullptr);
        segment.shmaddr = nullptr;
        dropImage();
        return false;
    }
    out.image->data = segment.shmaddr;
    segment.readOnly = False;
    const int errorsBefore = platform.errorCount();
    const bool attached = XShmAttach(display, &segment) == True;
    XSync(display, False);
    // Marked for removal now: it disappears once both sides have detached, even after a crash.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (!attached || platform.errorCount() != errorsBefore) {
        shmdt(segment.shmaddr);
        segment.shmaddr = nullptr;
        dropImage();
        return false;
    }
    out.shared = true;
    return true;
}

void X11Window::destroyPresentation(std::unique_ptr<Presentation>& target) noexcept {
    if (target == nullptr) return;
    if (target->shared) {
        if (platform.connected()) {
            XShmDetach(state.display, &target->segment);
            XSync(state.display, False);
        }
        shmdt(target->segment.shmaddr);
    }
    if (target->image != nullptr) {
        target->image->data = nullptr;  // the pixels belong to `staging` or the segment
        XDestroyImage(target->image);
    }
    target.reset();
}

bool X11Window::resize(int width, int height) noexcept {
    if (width <= 0 || height <= 0 || !open || window == 0 || !platform.connected()) return false;
    // Everything that can fail is made first, so a refusal leaves the window as it was.
    Surface resized;
    try {
        resized = Surface(width, height);
    } catch (...) {
        return false;
    }
    std::unique_ptr<Presentation> made = makePresentation(width, height);
    if (made == nullptr) return false;
    Display* display = state.display;
    const int errorsBefore = platform.errorCount();
    XSizeHints size = fixedSize(width, height);
    const auto w = static_cast<unsigned>(width), h = static_cast<unsigned>(height);
    // The container is what the host's parent holds and measures: it changes with the window.
    if (container != 0) {
        XResizeWindow(display, container, w, h);
        XSetWMNormalHints(display, container, &size);
    }
    XResizeWindow(display, window, w, h);
    XSetWMNormalHints(display, window, &size);
    XSync(display, False);
    if (!platform.connected() || platform.errorCount() != errorsBefore) {
        // Only a window already gone refuses (the host destroyed the parent): its destruction is
        // on its way through the queue.
        destroyPresentation(made);
        return false;
    }
    destroyPresentation(presentation);
    presentation = std::move(made);
    // The same object, so references to the backing stay good. The server throws the old
    // contents away (the window keeps the default ForgetGravity) and exposes all of it.
    surface = std::move(resized);
    surface.addDamage({0, 0, width, height});
    return true;
}

X11Window::~X11Window() {
    releaseKeyFocus();
    auto& list = state.windows;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    Display* display = state.display;
    destroyPresentation(presentation);
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
    if (box.empty() || !open || presentation == nullptr || !platform.connected()) return;
    XImage* image = presentation->image;
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
    if (presentation->shared) {
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
