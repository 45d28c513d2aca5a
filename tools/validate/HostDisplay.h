// The host's side of the editor checks: a display (the user's or a private Xvfb), the host's own
// connection with an error handler that records every X error instead of ending the process, the
// parent windows the editor opens into, and counts of what a plug-in leaves behind.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/common/PrivateXServer.h"

// Xlib's own names, declared without its header: its macros (Status, None, Bool ...) would
// collide with the validator's names.
typedef struct _XDisplay Display;

namespace flanger::tools {

using XWindow = unsigned long;  // Xlib's Window, an XID

// Names the plug-in call about to be made on this thread, both for the crash report (CallTrace)
// and for any X error that reaches the host's handler while it runs.
void noteEditorCall(const char* format, ...) __attribute__((format(printf, 1, 2)));

class HostDisplay {
public:
    HostDisplay() = default;
    ~HostDisplay();
    HostDisplay(const HostDisplay&) = delete;
    HostDisplay& operator=(const HostDisplay&) = delete;

    enum class Start { Ready, NoDisplay, Failed };
    // Opens the host's connection: to $DISPLAY unless forcePrivate or it is unset (or cannot be
    // opened), else to a private Xvfb whose name goes into DISPLAY for the plug-in's own
    // connections. `why` says what happened (no display at all, the server would not start, or
    // which display is used).
    Start start(bool forcePrivate, std::string& why);

    Display* connection() const noexcept { return display; }

    // A top-level window of this size, mapped (waits for the server to say so); 0 on failure.
    XWindow createParent(int width, int height);
    void resize(XWindow window, int width, int height);
    void destroy(XWindow window);
    // A window id that names no window: one of ours, created and destroyed.
    XWindow staleWindow();

    // Direct children of the window (empty when it has none or is gone); a round trip.
    std::vector<XWindow> children(XWindow window);
    size_t topLevelCount();  // children of the root
    bool geometry(XWindow window, int& width, int& height, bool& viewable);

    // Waits for the server to answer everything sent so far and drops the host's queued events.
    void sync();

    // X errors that reached the host's handler since the last take, one line each with the call
    // that was running.
    std::vector<std::string> takeErrors();
    // Which handlers the process has now, compared with the host's: empty when they are the
    // host's, else what replaced them (naming the module when the handler lies in it). Puts the
    // host's handlers back.
    std::string handlerProblem();

private:
    std::unique_ptr<testing::PrivateXServer> server;
    Display* display = nullptr;
    int (*hostIoHandler)(Display*) = nullptr;
};

// Open file descriptors of this process, each as "number -> what it is".
std::vector<std::string> openDescriptors();

// Resident memory of this process in KiB (0 when unknown).
long residentKiB();

}  // namespace flanger::tools
