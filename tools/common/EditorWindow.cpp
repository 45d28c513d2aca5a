// The tool's editor window: a top-level X11 window sized from the editor, the editor opened into
// it, idled about every 20 ms (or as asked, or as its own timers ask), and closed before the
// window goes, as hosts do, however the run ends: closed, destroyed from outside, SIGINT or SIGTERM.
#include "tools/common/EditorWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace flanger::tools {

namespace {

// The signal that asked the run to end, or 0; the handler writes it, the idle loop reads it.
volatile sig_atomic_t stopSignal = 0;

void askToStop(int signalNumber) {
    stopSignal = signalNumber;
}

// SIGINT and SIGTERM end the run at the next idle, so the editor is closed through the plug-in
// and the caller's output still comes. SA_RESETHAND: a second Ctrl+C kills a close that hangs.
// A signal the caller ignores (a background job's SIGINT) stays ignored.
class StopSignals {
public:
    StopSignals() {
        stopSignal = 0;
        struct sigaction action {};
        action.sa_handler = askToStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        for (int i = 0; i < 2; ++i) {
            sigaction(kSignals[i], nullptr, &previous[i]);
            if (previous[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &action, nullptr);
        }
    }
    ~StopSignals() {
        for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &previous[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    static constexpr int kSignals[2] = {SIGINT, SIGTERM};
    struct sigaction previous[2]{};
};

// The tool is the host here: keep running whatever X errors the plug-in's calls cause.
int reportXError(Display* display, XErrorEvent* error) {
    char text[128] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "flanger-host: X error: %s (request %d)\n", text, error->request_code);
    return 0;
}

// The scheduler's own account, to the nanosecond: the tick-sampled user and system times would
// hide a fraction of a percent in their noise.
double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The process's CPU time over the run after a warm-up (the first paint, fonts, shared memory are
// one-time costs, not idling).
class CpuReport {
public:
    explicit CpuReport(double runSeconds)
        : warmUpSeconds(runSeconds > 0.0 ? std::min(1.0, runSeconds / 2) : 1.0) {}
    void afterIdle(double elapsedSeconds) {
        if (!started && elapsedSeconds >= warmUpSeconds) {
            started = true;
            cpuAtStart = processCpuSeconds();
            wallAtStart = std::chrono::steady_clock::now();
        } else if (started) {
            ++idles;
        }
    }
    void print(int idleMs) const {
        if (!started) {
            std::printf("cpu: not measured (the run ended within the warm-up of %.1f s)\n", warmUpSeconds);
            return;
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallAtStart).count();
        const double cpu = processCpuSeconds() - cpuAtStart;
        std::printf("cpu: %.3f ms per second of wall time (%.3f %% of one core) over %.2f s, ",
                    cpu / wall * 1e3, cpu / wall * 100.0, wall);
        std::printf("%ld idle periods of %d ms\n", idles, idleMs);
        std::fflush(stdout);
    }

private:
    double warmUpSeconds;
    bool started = false;
    double cpuAtStart = 0.0;
    std::chrono::steady_clock::time_point wallAtStart;
    long idles = 0;
};

}  // namespace

EditorRunEnd runEditorWindow(EditorClient& editor, const EditorRunOptions& options) {
    if (options.openEditor && !editor.hasEditor()) {
        std::fprintf(stderr, "flanger-host: %s has no editor\n", editor.path().c_str());
        return EditorRunEnd::NotShown;
    }
    const StopSignals signals;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "flanger-host: cannot open the X display (is DISPLAY set?)\n");
        return EditorRunEnd::NotShown;
    }
    XErrorHandler previous = XSetErrorHandler(reportXError);

    int width = 0, height = 0;
    editor.size(width, height);
    const ::Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, 0, 0);
    const std::string name = editor.name();
    const std::string title = "flanger-host: " + (name.empty() ? editor.path() : name);
    XStoreName(display, window, title.c_str());
    XClassHint classHint{const_cast<char*>("flanger-host"), const_cast<char*>("FlangerHost")};
    XSetClassHint(display, window, &classHint);
    // Fixed size: the editor does not follow a resized window.
    XSizeHints* hints = XAllocSizeHints();
    if (hints != nullptr) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width;
        hints->min_height = hints->max_height = height;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    for (XEvent event; XNextEvent(display, &event), event.type != MapNotify;) {
    }

    if (options.openEditor) {
        // Some plug-ins take the host's Display*, others open their own connection.
        if (!editor.open(display, reinterpret_cast<void*>(static_cast<std::uintptr_t>(window))))
            std::fprintf(stderr, "flanger-host: the editor's open failed; showing whatever it made\n");
        int afterWidth = width, afterHeight = height;
        editor.size(afterWidth, afterHeight);  // hosts ask again after open
        if (afterWidth != width || afterHeight != height) {
            XResizeWindow(display, window, static_cast<unsigned>(afterWidth),
                          static_cast<unsigned>(afterHeight));
        }
    }
    XFlush(display);

    const auto start = std::chrono::steady_clock::now();
    CpuReport cpu(options.seconds);
    long step = 0;
    bool running = true;
    bool destroyedFromOutside = false;  // then the window, and the editor's inside it, are gone
    while (running) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow)
                running = false;
            if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
                running = false;
                destroyedFromOutside = true;
            }
        }
        if (!running || stopSignal != 0) break;
        if (options.animateParameter >= 0)
            editor.setParameter(options.animateParameter, animatedValue(step++));
        if (options.openEditor) editor.idle();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (options.reportCpu) cpu.afterIdle(elapsed.count());
        if (options.seconds > 0.0 && elapsed.count() >= options.seconds) break;
        // Sleep for one idle period, waking early for the window's own events (and the editor's).
        std::vector<pollfd> wake{{ConnectionNumber(display), POLLIN, 0}};
        if (options.openEditor)
            for (int fd : editor.wakeDescriptors()) wake.push_back({fd, POLLIN, 0});
        poll(wake.data(), static_cast<nfds_t>(wake.size()),
             options.openEditor ? editor.waitMs(options.idleMs) : options.idleMs);
    }

    if (options.reportCpu) cpu.print(options.idleMs);
    if (options.openEditor) editor.close();
    // Destroying a window another client destroyed would be a BadWindow of our own making.
    if (!destroyedFromOutside) XDestroyWindow(display, window);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    if (stopSignal == SIGINT) return EditorRunEnd::Interrupted;
    if (stopSignal == SIGTERM) return EditorRunEnd::Terminated;
    return EditorRunEnd::Closed;
}

}  // namespace flanger::tools
