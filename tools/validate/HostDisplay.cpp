// The host's X connection for the editor checks, its error trap and the private server.
#include "tools/validate/HostDisplay.h"
#include "tools/validate/Isolation.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

namespace flanger::tools {

namespace {

constexpr size_t kCallLength = 200;
constexpr size_t kMaxErrors = 50;

// The call each thread is making, for the error handler, which runs on the thread whose Xlib
// call met the error.
thread_local char currentCall[kCallLength];

// Written by the handler (any thread that makes Xlib calls), read by takeErrors. The same error
// from the same call is kept once, with a count: plug-ins tend to repeat theirs.
struct TrappedError {
    std::string key;   // everything but the resource
    std::string line;  // as first seen
    int count = 0;
};
std::mutex errorMutex;
std::vector<TrappedError> trappedErrors;
Display* hostConnection = nullptr;  // set before any plug-in call, read by the handler

// A real host's default handler would end the process here; this one writes the error down.
int trapHostError(Display* display, XErrorEvent* error) {
    char text[96] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    // Core requests by name, as Xlib's own report has them; extensions' by number.
    char major[8], request[64] = {};
    std::snprintf(major, sizeof major, "%d", static_cast<int>(error->request_code));
    if (error->request_code < 128)
        XGetErrorDatabaseText(display, "XRequest", major, "", request, sizeof request);
    if (request[0] == '\0')
        std::snprintf(request, sizeof request, "request %d.%d", static_cast<int>(error->request_code),
                      static_cast<int>(error->minor_code));
    char key[400];
    std::snprintf(key, sizeof key, "%s (%s) on %s, during %s", text, request,
                  display == hostConnection ? "the host's connection" : "the plug-in's own connection",
                  currentCall[0] != '\0' ? currentCall : "the host's own requests");
    char line[480];
    std::snprintf(line, sizeof line, "%s (%s, resource 0x%lx) on %s, during %s", text, request,
                  static_cast<unsigned long>(error->resourceid),
                  display == hostConnection ? "the host's connection" : "the plug-in's own connection",
                  currentCall[0] != '\0' ? currentCall : "the host's own requests");
    const std::lock_guard<std::mutex> lock(errorMutex);
    for (auto& seen : trappedErrors) {
        if (seen.key == key) {
            ++seen.count;
            return 0;
        }
    }
    if (trappedErrors.size() < kMaxErrors)
        trappedErrors.push_back({key, line, 1});
    else
        ++trappedErrors.back().count;
    return 0;
}

// Where a handler function lives, for the report: the module's file, or its address.
std::string describeFunction(const void* function) {
    Dl_info info{};
    char text[64];
    std::snprintf(text, sizeof text, "the function at %p", function);
    if (dladdr(function, &info) != 0 && info.dli_fname != nullptr)
        return std::string(text) + " in " + info.dli_fname;
    return text;
}

bool waitForMap(Display* display, XWindow window) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    XEvent event;
    while (std::chrono::steady_clock::now() < deadline) {
        if (XCheckTypedWindowEvent(display, window, MapNotify, &event)) return true;
        pollfd wake{ConnectionNumber(display), POLLIN, 0};
        poll(&wake, 1, 20);
    }
    return false;
}

}  // namespace

void noteEditorCall(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(currentCall, sizeof currentCall, format, args);
    va_end(args);
    CallTrace::note("%s", currentCall);
}

HostDisplay::~HostDisplay() {
    if (display != nullptr) {
        XSetErrorHandler(nullptr);
        XCloseDisplay(display);
        hostConnection = nullptr;
    }
    if (server) server->stop();
}

HostDisplay::Start HostDisplay::start(bool forcePrivate, std::string& why) {
    const char* own = std::getenv("DISPLAY");
    std::string unusable;  // why the given display is not used, when there is one
    if (forcePrivate) {
        unusable = "a private display was asked for";
    } else if (own == nullptr || own[0] == '\0') {
        unusable = "DISPLAY is unset";
    } else if ((display = XOpenDisplay(own)) == nullptr) {
        unusable = std::string("the display ") + own + " cannot be opened";
    } else {
        why = std::string("display ") + own;
    }
    if (display == nullptr) {
        if (!testing::PrivateXServer::installed()) {
            why =
                "no display: " + unusable + " and " + testing::PrivateXServer::kProgram + " is not installed";
            return Start::NoDisplay;
        }
        server = std::make_unique<testing::PrivateXServer>();
        // The server's start-up chatter is not the plug-in's output: keep it out of the capture.
        std::fflush(nullptr);
        const int savedOut = dup(STDOUT_FILENO), savedErr = dup(STDERR_FILENO);
        const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            close(quiet);
        }
        const bool started = server->start(true);  // no reset when a plug-in's last connection goes
        for (const auto& [saved, target] :
             {std::pair{savedOut, STDOUT_FILENO}, std::pair{savedErr, STDERR_FILENO}}) {
            if (saved < 0) continue;
            dup2(saved, target);
            close(saved);
        }
        if (!started) {
            why = std::string(testing::PrivateXServer::kProgram) + " did not start";
            return Start::Failed;
        }
        setenv("DISPLAY", server->displayName().c_str(), 1);  // where the plug-in's own connections go
        display = XOpenDisplay(server->displayName().c_str());
        if (display == nullptr) {
            why = "cannot open the private display " + server->displayName();
            return Start::Failed;
        }
        why = "private Xvfb " + server->displayName();
        if (!forcePrivate && own != nullptr && own[0] != '\0') why += " (" + unusable + ")";
    }
    hostConnection = display;
    XSetErrorHandler(trapHostError);
    hostIoHandler = XSetIOErrorHandler(nullptr);
    XSetIOErrorHandler(hostIoHandler);
    return Start::Ready;
}

XWindow HostDisplay::createParent(int width, int height) {
    const ::Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, 0, 0x404040);
    XStoreName(display, window, "flanger-validate editor parent");
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XFlush(display);
    if (!waitForMap(display, window)) {
        XDestroyWindow(display, window);
        XSync(display, True);
        return 0;
    }
    return window;
}

void HostDisplay::resize(XWindow window, int width, int height) {
    XResizeWindow(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(display);
}

void HostDisplay::destroy(XWindow window) {
    if (window == 0) return;
    XDestroyWindow(display, window);
    XFlush(display);
}

XWindow HostDisplay::staleWindow() {
    const ::Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(display, window);
    XSync(display, True);
    return window;
}

std::vector<XWindow> HostDisplay::children(XWindow window) {
    ::Window root = 0, parent = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<XWindow> result;
    if (XQueryTree(display, window, &root, &parent, &list, &count) != 0 && list != nullptr)
        result.assign(list, list + count);
    if (list != nullptr) XFree(list);
    return result;
}

size_t HostDisplay::topLevelCount() {
    return children(DefaultRootWindow(display)).size();
}

bool HostDisplay::geometry(XWindow window, int& width, int& height, bool& viewable) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
    width = attributes.width;
    height = attributes.height;
    viewable = attributes.map_state == IsViewable;
    return true;
}

void HostDisplay::sync() {
    // What arrives now answers the host's own requests (or the plug-in's on the host's connection).
    currentCall[0] = '\0';
    CallTrace::note("the host's XSync on its own connection");
    XSync(display, True);
}

std::vector<std::string> HostDisplay::takeErrors() {
    const std::lock_guard<std::mutex> lock(errorMutex);
    std::vector<std::string> taken;
    for (const auto& error : trappedErrors)
        taken.push_back(error.count == 1 ? error.line
                                         : error.line + " (" + std::to_string(error.count) + " times)");
    trappedErrors.clear();
    return taken;
}

std::string HostDisplay::handlerProblem() {
    std::string problem;
    const XErrorHandler error = XSetErrorHandler(trapHostError);
    if (error != trapHostError) {
        problem = "the process's X error handler is " +
                  describeFunction(reinterpret_cast<const void*>(error)) + ", not the host's";
    }
    const XIOErrorHandler io = XSetIOErrorHandler(hostIoHandler);
    if (io != hostIoHandler) {
        if (!problem.empty()) problem += "; ";
        problem += "the process's X I/O error handler is " +
                   describeFunction(reinterpret_cast<const void*>(io)) + ", not the host's";
    }
    return problem;
}

std::vector<std::string> openDescriptors() {
    std::vector<std::string> found;
    std::error_code failure;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", failure);
         !failure && it != std::filesystem::directory_iterator(); it.increment(failure)) {
        const std::string target = std::filesystem::read_symlink(it->path(), failure).string();
        // The listing's own descriptor is not the plug-in's.
        if (target.starts_with("/proc/") && target.ends_with("/fd")) continue;
        found.push_back(it->path().filename().string() + " -> " + (failure ? "?" : target));
        failure.clear();
    }
    return found;
}

long residentKiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atol(line + 6);
    }
    std::fclose(status);
    return kib;
}

}  // namespace flanger::tools
