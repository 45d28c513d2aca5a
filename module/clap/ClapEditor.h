// The flanger's editor as a CLAP GUI: the same editor the VST 2.x module opens, embedded in the
// host's window. On Linux the host runs it (a timer idles it, its X connection's descriptor
// delivers events); on Windows a timer of the host's GUI thread does.
#pragma once

#include <cstdint>

#include "module/clap/ClapInterface.h"
#if defined(_WIN32)
#include "platform/win32/Win32IdleTimer.h"
#endif

namespace flanger::host {
class EditorBase;
}

namespace flanger::clap {

class FlangerClap;

// The gui, timer-support and posix-fd-support tables, or null for any other id.
const void* editorExtension(const char* id) noexcept;

class ClapEditor {
public:
    static constexpr uint32_t kIdlePeriodMs = 20;

    explicit ClapEditor(FlangerClap& owner) noexcept;
    ~ClapEditor();
    ClapEditor(const ClapEditor&) = delete;
    ClapEditor& operator=(const ClapEditor&) = delete;

    // Opens the editor in the host's window and has the host run it; false, with nothing open,
    // where the window is not of our system or the host cannot run it.
    bool attach(const clap_window& window) noexcept;
    // The editor asks for another size: the host decides.
    bool resizeTo(int32_t width, int32_t height) noexcept;
    void onTimer(clap_id id) noexcept;
    void onFd(int fd) noexcept;

private:
    void idle() noexcept;
    void detach() noexcept;
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr) noexcept;
    static bool resizeHook(void* self, int32_t width, int32_t height) noexcept;

    FlangerClap& plugin;
    bool open = false;
#if defined(_WIN32)
    platform::win32::IdleTimer timer;
#else
    clap_id timerId = kInvalidId;
    int connectionFd = -1;
#endif
};

}  // namespace flanger::clap
