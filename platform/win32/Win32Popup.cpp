// Win32 popup windows: the window class per module, one non-activating top-level window per
// menu level painted from a DIB section, the mouse captured on the first level, the thread's
// queued input taken in order, and an end when the capture, the activation or the owner goes.
#include "platform/win32/Win32Popup.h"

#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/win32/LiveObjects.h"
#include "platform/win32/Win32Keys.h"
#include "platform/win32/Win32Module.h"

namespace flanger::platform::win32 {
namespace {

// A window whose paint handler never validates would make WM_PAINT come back at once: a pass
// dispatches at most this many.
constexpr int kPaintsPerPass = 32;

HINSTANCE owningModule() noexcept {
    // A test program is no DLL: its windows belong to the program itself.
    if (auto* module = static_cast<HINSTANCE>(moduleInstance())) return module;
    return GetModuleHandleW(nullptr);
}

// Popups may open on more than one host thread; the class lives while any popup does.
std::mutex classLock;
int classUsers = 0;  // guarded by classLock

class Win32Popup;

struct Level {
    Win32Popup* popup = nullptr;
    HWND window = nullptr;  // null once destroyed, by us or with the owner
    HBITMAP dib = nullptr;
    void* bits = nullptr;
    int width = 0;
    int height = 0;
    PixelBox box;
};

bool sameBox(const PixelBox& a, const PixelBox& b) noexcept {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class Win32Popup final : public Popup {
public:
    explicit Win32Popup(HWND ownerWindow) noexcept : owner(ownerWindow) {}
    ~Win32Popup() override;

    bool start(const PixelBox& box, const Surface& pixels) noexcept;
    void show(std::size_t level, const PixelBox& box, const Surface& pixels) noexcept override;
    void keepLevels(std::size_t count) noexcept override;
    bool nextInput(PopupInput& out, int waitMs) noexcept override;
    bool isOpen() const noexcept override { return !lost && IsWindow(owner) != FALSE; }

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    bool makeWindow(Level& level, const PixelBox& box) noexcept;
    bool putPixels(Level& level, const Surface& pixels) noexcept;
    void destroyLevel(Level& level) noexcept;
    void paint(Level& level) noexcept;
    bool ours(HWND window) const noexcept;
    void checkActivation() noexcept;
    void dispatchPaints() noexcept;
    bool takeInput(PopupInput& out) noexcept;
    bool translate(const MSG& message, PopupInput& out) const noexcept;

    HWND owner;
    HWND activeAtOpen = nullptr;
    std::vector<std::unique_ptr<Level>> levels;  // stable addresses: each window points at its own
    bool swapped = false;
    bool classHeld = false;
    bool closing = false;
    bool lost = false;  // capture or activation went elsewhere, or the first level was destroyed
};

bool acquireClass() noexcept {
    const std::lock_guard<std::mutex> lock(classLock);
    if (classUsers == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Win32Popup::windowProcedure;
        windowClass.hInstance = owningModule();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.lpszClassName = win32PopupClassName();
        if (RegisterClassExW(&windowClass) == 0) return false;
    }
    ++classUsers;
    return true;
}

void releaseClass() noexcept {
    const std::lock_guard<std::mutex> lock(classLock);
    if (classUsers > 0 && --classUsers == 0) UnregisterClassW(win32PopupClassName(), owningModule());
}

LRESULT CALLBACK Win32Popup::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* level = static_cast<Level*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        const LRESULT created = DefWindowProcW(window, message, wParam, lParam);
        if (created != FALSE && level != nullptr) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(level));
            level->window = window;
            noteWindowCreated();
        }
        return created;
    }
    auto* level = reinterpret_cast<Level*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (level == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    Win32Popup& popup = *level->popup;
    switch (message) {
        case WM_PAINT:
            popup.paint(*level);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the DIB covers the whole window
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_CAPTURECHANGED:
            if (!popup.closing && reinterpret_cast<HWND>(lParam) != window) popup.lost = true;
            return 0;
        case WM_ACTIVATEAPP:
            if (wParam == FALSE) popup.lost = true;
            break;
        case WM_CANCELMODE:
            // A dialog or the system is taking the input: as a native menu, close.
            popup.lost = true;
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            level->window = nullptr;
            noteWindowDestroyed();
            // The owner's end takes its owned windows with it; the first level held the capture.
            if (!popup.closing && !popup.levels.empty() && popup.levels[0].get() == level) popup.lost = true;
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool Win32Popup::start(const PixelBox& box, const Surface& pixels) noexcept {
    classHeld = acquireClass();
    if (!classHeld) return false;
    // Messages carry logical buttons; inputs carry physical ones, like the frame's presses.
    swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    activeAtOpen = GetActiveWindow();
    show(0, box, pixels);
    if (levels.empty() || levels[0]->window == nullptr) return false;
    // Presses anywhere on this thread's windows come to the popup, so one outside closes it.
    SetCapture(levels[0]->window);
    return GetCapture() == levels[0]->window;
}

Win32Popup::~Win32Popup() {
    closing = true;
    if (!levels.empty() && levels[0]->window != nullptr && GetCapture() == levels[0]->window)
        ReleaseCapture();
    while (!levels.empty()) {
        destroyLevel(*levels.back());
        levels.pop_back();
    }
    if (classHeld) releaseClass();
}

bool Win32Popup::makeWindow(Level& level, const PixelBox& box) noexcept {
    // Non-activating: the host's window keeps its active look and the focus, as under a native
    // menu; the keys are taken from the thread's queue instead (takeInput).
    CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, win32PopupClassName(), L"", WS_POPUP,
                    box.left, box.top, box.right - box.left, box.bottom - box.top,
                    GetAncestor(owner, GA_ROOT), nullptr, owningModule(), &level);
    return level.window != nullptr;
}

bool Win32Popup::putPixels(Level& level, const Surface& pixels) noexcept {
    const int width = level.box.right - level.box.left, height = level.box.bottom - level.box.top;
    if (level.dib == nullptr || level.width != width || level.height != height) {
        if (level.dib != nullptr) {
            DeleteObject(level.dib);
            noteGdiObjectDeleted();
            level.dib = nullptr;
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // rows top to bottom, as the surface keeps them
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        level.dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &level.bits, nullptr, 0);
        if (level.dib == nullptr) return false;
        noteGdiObjectCreated();
        level.width = width;
        level.height = height;
    }
    GdiFlush();  // no drawing of GDI's may still be pending on the bits
    // 0x00RRGGBB in memory is the DIB's blue, green, red, unused byte order.
    const int copyWidth = std::min(width, pixels.width()), copyHeight = std::min(height, pixels.height());
    auto* bits = static_cast<std::uint32_t*>(level.bits);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        const int copied = y < copyHeight ? copyWidth : 0;
        if (copied > 0) std::memcpy(row, pixels.row(y), static_cast<std::size_t>(copied) * sizeof *row);
        std::fill(row + copied, row + width, 0u);
    }
    return true;
}

void Win32Popup::paint(Level& level) noexcept {
    PAINTSTRUCT paintInfo;
    HDC target = BeginPaint(level.window, &paintInfo);
    if (target != nullptr && level.dib != nullptr) {
        HDC source = CreateCompatibleDC(target);
        if (source != nullptr) {
            noteGdiObjectCreated();
            HGDIOBJ previous = SelectObject(source, level.dib);
            const RECT& area = paintInfo.rcPaint;
            BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, source,
                   area.left, area.top, SRCCOPY);
            SelectObject(source, previous);
            DeleteDC(source);
            noteGdiObjectDeleted();
        }
    }
    EndPaint(level.window, &paintInfo);
}

void Win32Popup::destroyLevel(Level& level) noexcept {
    if (level.window != nullptr) DestroyWindow(level.window);  // WM_NCDESTROY clears it
    if (level.dib != nullptr) {
        DeleteObject(level.dib);
        noteGdiObjectDeleted();
        level.dib = nullptr;
    }
}

void Win32Popup::show(std::size_t level, const PixelBox& box, const Surface& pixels) noexcept {
    if (!isOpen() || box.empty()) return;
    try {
        while (levels.size() <= level) {
            levels.push_back(std::make_unique<Level>());
            levels.back()->popup = this;
        }
    } catch (...) {
        return;  // out of memory: the level is not shown; the session goes on
    }
    Level& shown = *levels[level];
    const bool fresh = shown.window == nullptr;
    if (fresh) {
        if (!makeWindow(shown, box)) return;
    } else if (!sameBox(box, shown.box)) {
        SetWindowPos(shown.window, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    shown.box = box;
    if (!putPixels(shown, pixels)) return;
    // Only a new level is raised: raising them all on every redraw would uncover and repaint.
    if (fresh) {
        SetWindowPos(shown.window, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    InvalidateRect(shown.window, nullptr, FALSE);
    UpdateWindow(shown.window);
}

void Win32Popup::keepLevels(std::size_t count) noexcept {
    // The first level holds the capture: it stays until the popup ends.
    count = std::max<std::size_t>(count, 1);
    while (levels.size() > count) {
        destroyLevel(*levels.back());
        levels.pop_back();
    }
}

bool Win32Popup::ours(HWND window) const noexcept {
    return std::any_of(levels.begin(), levels.end(),
                       [window](const std::unique_ptr<Level>& level) { return level->window == window; });
}

void Win32Popup::checkActivation() noexcept {
    // Another window of this thread activated (a host dialog, a click through the task bar):
    // the menu closes, as when another program's window takes over (WM_ACTIVATEAPP).
    HWND active = GetActiveWindow();
    if (active != nullptr && active != activeAtOpen && !ours(active)) lost = true;
}

void Win32Popup::dispatchPaints() noexcept {
    // Paints of every window of the thread: the host's windows repaint what a closed level
    // uncovered. Other posted messages wait until the popup ends, as they would for a host
    // whose idle does not come.
    MSG message;
    for (int n = 0; n < kPaintsPerPass && PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++n)
        DispatchMessageW(&message);
}

bool Win32Popup::translate(const MSG& message, PopupInput& out) const noexcept {
    POINT at{GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
    switch (message.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            out = {PopupInput::kKey,
                   {},
                   0,
                   keyOfVirtualKey(static_cast<unsigned>(message.wParam), ((message.lParam >> 24) & 1) != 0)};
            return true;
        case WM_MOUSEWHEEL:
            // Already on the screen; a wheel step neither picks nor closes.
            out = {PopupInput::kPress, {at.x, at.y}, 0};
            return true;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            break;
        default:
            return false;  // key releases, characters, extra buttons
    }
    // Under capture, positions are relative to the first level even far outside it.
    ClientToScreen(message.hwnd, &at);
    out.at = {at.x, at.y};
    out.key = Key::Other;
    out.button = physicalButtonOfMessage(message.message, swapped);
    if (message.message == WM_MOUSEMOVE) {
        out.kind = PopupInput::kMotion;
    } else {
        const bool press = message.message == WM_LBUTTONDOWN || message.message == WM_RBUTTONDOWN ||
                           message.message == WM_MBUTTONDOWN;
        out.kind = press ? PopupInput::kPress : PopupInput::kRelease;
    }
    return true;
}

bool Win32Popup::takeInput(PopupInput& out) noexcept {
    // Keys go to the focus window and wheel steps to it too, both still the host's: taken from
    // any window of the thread, as a native menu's loop does, so they never reach the host while
    // the menu is open. The mouse goes to the levels under capture. Of the queues' heads the
    // oldest goes first, so input keeps its order.
    struct Source {
        HWND window;
        UINT first;
        UINT last;
    };
    for (;;) {
        Source chosen{};
        MSG head{};
        bool found = false;
        const auto consider = [&](const Source& source) {
            MSG candidate;
            if (!PeekMessageW(&candidate, source.window, source.first, source.last, PM_NOREMOVE | PM_NOYIELD))
                return;
            if (found && static_cast<LONG>(candidate.time - head.time) >= 0) return;
            chosen = source;
            head = candidate;
            found = true;
        };
        consider({nullptr, WM_KEYFIRST, WM_KEYLAST});
        consider({nullptr, WM_MOUSEWHEEL, WM_MOUSEWHEEL});
        for (const std::unique_ptr<Level>& level : levels) {
            if (level->window != nullptr) consider({level->window, WM_MOUSEFIRST, WM_MOUSELAST});
        }
        if (!found) return false;
        MSG taken;
        if (!PeekMessageW(&taken, chosen.window, chosen.first, chosen.last, PM_REMOVE | PM_NOYIELD))
            return false;
        if (translate(taken, out)) return true;
    }
}

bool Win32Popup::nextInput(PopupInput& out, int waitMs) noexcept {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!isOpen()) return false;
        dispatchPaints();
        if (takeInput(out)) return true;
        checkActivation();
        if (!isOpen() || attempt == 1 || waitMs <= 0) return false;
        // Wakes on messages that arrived since the queue was last looked at, not on those left
        // waiting in it.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(waitMs), QS_ALLINPUT);
    }
    return false;
}

}  // namespace

const wchar_t* win32PopupClassName() noexcept {
    static const std::array<wchar_t, 40> name = [] {
        std::array<wchar_t, 40> text{};
        std::swprintf(text.data(), text.size(), L"PluginPopup%08llx",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(owningModule())));
        return text;
    }();
    return name.data();
}

std::unique_ptr<Popup> openWin32Popup(void* ownerHwnd, const PixelBox& box, const Surface& pixels) noexcept {
    auto* owner = static_cast<HWND>(ownerHwnd);
    // Capture and the thread's input queue are the calling thread's: the owner must be one of its windows.
    if (owner == nullptr || IsWindow(owner) == FALSE || box.empty() ||
        GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId())
        return nullptr;
    try {
        auto popup = std::make_unique<Win32Popup>(owner);
        if (!popup->start(box, pixels)) return nullptr;
        return popup;
    } catch (...) {
        return nullptr;
    }
}

PixelBox win32ScreenArea(void* hwndNear) noexcept {
    auto* window = static_cast<HWND>(hwndNear);
    HMONITOR monitor = window != nullptr ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                                         : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || GetMonitorInfoW(monitor, &info) == FALSE) return {};
    return {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

}  // namespace flanger::platform::win32
