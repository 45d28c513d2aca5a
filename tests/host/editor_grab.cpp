// flanger_editor_grab OUT.png [GOLDEN.png [CHANNEL PIXELS]]: finds the flanger editor's window on
// $DISPLAY in whatever host shows it (its own child window, named "Window", of a class "Plugin…"
// that ends in the module's address), prints its id, writes what
// the server shows of it to OUT.png and, given a golden picture, fails when more than PIXELS
// pixels (default 60) differ by more than CHANNEL (default 8) in a channel: the slack of text.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/ImageDifference.h"
#include "tests/support/WindowGrab.h"
#include "tools/common/PngFile.h"

namespace {

bool isEditorWindow(Display* display, ::Window window) {
    char* title = nullptr;
    if (XFetchName(display, window, &title) == 0 || title == nullptr) return false;
    const bool named = std::strcmp(title, "Window") == 0;
    XFree(title);
    XClassHint hint{};
    if (!named || XGetClassHint(display, window, &hint) == 0) return false;
    const bool editor = hint.res_class != nullptr && std::strncmp(hint.res_class, "Plugin", 6) == 0;
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    XWindowAttributes attributes{};
    return editor && XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

// Depth first from the root; the first shown editor window, or 0.
::Window findEditor(Display* display, ::Window from) {
    if (isEditorWindow(display, from)) return from;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    ::Window found = 0;
    if (XQueryTree(display, from, &root, &parent, &children, &count) == 0) return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) found = findEditor(display, children[i]);
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: %s OUT.png [GOLDEN.png [CHANNEL PIXELS]]\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    const ::Window editor = findEditor(display, DefaultRootWindow(display));
    XWindowAttributes attributes{};
    if (editor == 0 || XGetWindowAttributes(display, editor, &attributes) == 0) {
        std::fprintf(stderr, "no editor window is shown\n");
        XCloseDisplay(display);
        return 1;
    }
    const flanger::platform::Surface shown =
        flanger::testing::grabWindow(display, editor, attributes.width, attributes.height);
    XCloseDisplay(display);
    if (shown.empty() || !flanger::tools::writePng(argv[1], shown)) {
        std::fprintf(stderr, "cannot read the editor's window or write %s\n", argv[1]);
        return 1;
    }
    std::printf("editor window %lu, %dx%d, written to %s\n", static_cast<unsigned long>(editor),
                shown.width(), shown.height(), argv[1]);
    if (argc == 2) return 0;

    const auto golden = flanger::tools::readPng(argv[2]);
    if (!golden) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    const int channel = argc == 5 ? std::atoi(argv[3]) : 8;
    const int allowed = argc == 5 ? std::atoi(argv[4]) : 60;
    if (golden->width() != shown.width() || golden->height() != shown.height()) {
        std::printf("differs: the golden is %dx%d\n", golden->width(), golden->height());
        return 3;
    }
    const flanger::testing::ImageDifference difference =
        flanger::testing::differenceOf(shown, *golden, channel);
    std::printf("%s: %d pixels differ by more than %d (worst %d), %d allowed\n",
                difference.over <= allowed ? "matches" : "differs", difference.over, channel,
                difference.worst, allowed);
    return difference.over <= allowed ? 0 : 3;
}
