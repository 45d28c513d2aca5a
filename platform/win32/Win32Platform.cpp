// Win32 implementation of the platform interface. Each frame's window is a child of the host's
// window in a class registered per module; its pixels go from the backing surface into a DIB
// section and from there to the screen with one BitBlt per damaged box.
#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/win32/GdiText.h"
#include "platform/win32/LiveObjects.h"
#include "platform/win32/Win32DropTarget.h"
#include "platform/win32/Win32Keys.h"
#include "platform/win32/Win32Module.h"
#include "platform/win32/Win32Popup.h"

namespace flanger::platform {
namespace {

// Pointer messages the tracking loops take in order: moves and the three buttons' presses and
// releases. Wheel messages lie above this range and stay queued.
constexpr UINT kFirstPointerMessage = WM_MOUSEMOVE;
constexpr UINT kLastPointerMessage = WM_MBUTTONDBLCLK;

HINSTANCE moduleHandle() noexcept {
    // In a test program that links the backend directly there is no DLL: the program's own.
    void* instance = win32::moduleInstance();
    return instance != nullptr ? static_cast<HINSTANCE>(instance) : GetModuleHandleW(nullptr);
}

// The class is shared by every frame of the module, on whatever host thread made it.
std::mutex classMutex;
int classUsers = 0;  // guarded by classMutex
wchar_t className[40] = {};

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

const wchar_t* acquireClass() noexcept {
    std::lock_guard<std::mutex> lock(classMutex);
    if (classUsers == 0) {
        const std::string name = frameWindowClassName();
        for (std::size_t i = 0; i < name.size() && i + 1 < std::size(className); ++i)
            className[i] = static_cast<wchar_t>(name[i]);
        WNDCLASSEXW description{};
        description.cbSize = sizeof description;
        description.style = CS_GLOBALCLASS;
        description.lpfnWndProc = frameProcedure;
        description.hInstance = moduleHandle();
        description.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        description.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        description.lpszClassName = className;
        if (RegisterClassExW(&description) == 0) return nullptr;
    }
    ++classUsers;
    return className;
}

void releaseClass() noexcept {
    std::lock_guard<std::mutex> lock(classMutex);
    if (classUsers <= 0) return;
    if (--classUsers == 0) {
        UnregisterClassW(className, moduleHandle());
        // With the last editor gone, so go the fonts its text was drawn with.
        win32::clearGdiText();
    }
}

// The PhysicalButton bits of the logical buttons a message's key state names: the toolkit
// applies the left-handed swap itself, so it is undone here.
std::uint32_t physicalButtons(WPARAM keys, bool swapped) noexcept {
    std::uint32_t bits = 0;
    if ((keys & MK_LBUTTON) != 0) bits |= swapped ? kRightButton : kLeftButton;
    if ((keys & MK_RBUTTON) != 0) bits |= swapped ? kLeftButton : kRightButton;
    if ((keys & MK_MBUTTON) != 0) bits |= kMiddleButton;
    return bits;
}

bool isPress(UINT message) noexcept {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}

int signedLow(LPARAM value) noexcept {
    return static_cast<short>(LOWORD(static_cast<DWORD_PTR>(value)));
}
int signedHigh(LPARAM value) noexcept {
    return static_cast<short>(HIWORD(static_cast<DWORD_PTR>(value)));
}

bool keyDown(int key) noexcept {
    return (GetKeyState(key) & 0x8000) != 0;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 of at most `units` code units (stopping at a NUL) as UTF-8; lone surrogates are dropped.
std::string utf8OfUtf16(const wchar_t* text, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units && text[i] != 0; ++i) {
        std::uint32_t code = static_cast<std::uint16_t>(text[i]);
        if (code >= 0xD800 && code < 0xDC00) {
            if (i + 1 >= units) break;
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low < 0xDC00 || low >= 0xE000) continue;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (code >= 0xDC00 && code < 0xE000) {
            continue;
        }
        appendUtf8(out, code);
    }
    return out;
}

}  // namespace

class Win32Window;

struct Win32Platform::State {
    bool swapped = false;
    std::vector<Win32Window*> windows;
    // The pointer as the pointer messages handled so far leave it. A press is often handled after
    // its release has happened: controls must see the press's state, then the release and moves in
    // order, not the live state that is already past them.
    PointerState pointer;

    bool ownsWindow(HWND window) const noexcept;
    void takePointerMessage(const MSG& message) noexcept;
    bool pointerMessageQueued() noexcept;
    PointerState pointerAfter(bool takeNext) noexcept;
};

class Win32Window final : public Window {
public:
    Win32Window(Win32Platform& owningPlatform, Win32Platform::State& shared, int width, int height) noexcept
        : platform(owningPlatform), state(shared), surface(width, height) {}
    ~Win32Window() override;

    bool create(HWND parent) noexcept;

    Platform& owner() noexcept override { return platform; }
    Surface& backing() noexcept override { return surface; }
    void present() noexcept override;
    ScreenPoint screenOrigin() noexcept override;
    bool isOpen() const noexcept override { return open; }
    std::uintptr_t systemId() const noexcept override { return reinterpret_cast<std::uintptr_t>(window); }
    void setEventHandler(WindowEvents* receiver) noexcept override { handler = receiver; }
    void setIdentity(const char* title, const char* className) noexcept override;
    void setCursorShape(int shape) noexcept override;
    void setDropHandler(DropEvents* receiver) noexcept override;
    bool beginTextInput(TextInputEvents* receiver, std::uint32_t clickTimeMs) noexcept override;
    void endTextInput() noexcept override;
    void holdKeyFocus() noexcept override;
    void releaseKeyFocus() noexcept override;
    void discardPendingButtons(int count) noexcept override;

    HWND handle() const noexcept { return window; }
    LRESULT receive(HWND self, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

private:
    void blit(HDC target, const PixelBox& box) noexcept;
    void paint() noexcept;
    void pointerMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void keyDownMessage(WPARAM virtualKey, LPARAM flags) noexcept;
    void characterMessage(WPARAM unit) noexcept;
    void destroyed() noexcept;
    bool pointerInside() noexcept;

    Win32Platform& platform;
    Win32Platform::State& state;
    Surface surface;
    HWND window = nullptr;
    const wchar_t* windowClass = nullptr;  // held while this object lives
    HDC memory = nullptr;                  // holds the DIB section selected
    HBITMAP section = nullptr;
    HGDIOBJ sectionBefore = nullptr;
    std::uint32_t* bits = nullptr;                   // the section's pixels, top row first, 0x00RRGGBB
    HCURSOR cursor = nullptr;                        // the shape shown now; null = the class's arrow
    std::unique_ptr<win32::DropRegistration> drops;  // OLE and the drop target, while drops are taken
    bool open = false;
    WindowEvents* handler = nullptr;
    // Text input: the window takes the keyboard only while an edit box is open, or a pointer
    // resting over the editor would take the host's keys.
    TextInputEvents* textReceiver = nullptr;
    HWND focusBefore = nullptr;
    wchar_t highSurrogate = 0;
    // Keys for a clicked control: held only while the pointer rests over the window.
    bool keyFocusHeld = false;
    HWND keyFocusBefore = nullptr;
};

namespace {

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* frame = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (frame == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return frame->receive(window, message, wParam, lParam);
}

}  // namespace

std::string frameWindowClassName() noexcept {
    char name[40];
    std::snprintf(name, sizeof name, "Plugin%08" PRIxPTR, reinterpret_cast<std::uintptr_t>(moduleHandle()));
    return name;
}

void* nativeWindowHandle(Window& window) noexcept {
    auto* own = dynamic_cast<Win32Window*>(&window);
    return own != nullptr ? own->handle() : nullptr;
}

Win32Platform::Win32Platform(std::unique_ptr<State> opened) noexcept : state(std::move(opened)) {}

Win32Platform::~Win32Platform() = default;

std::unique_ptr<Win32Platform> Win32Platform::open() noexcept {
    try {
        auto state = std::make_unique<State>();
        // The left-handed setting, read once as the toolkit expects.
        state->swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
        return std::unique_ptr<Win32Platform>(new Win32Platform(std::move(state)));
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<Window> Win32Platform::createChildWindow(NativeParent parent, int width,
                                                         int height) noexcept {
    const HWND parentWindow = reinterpret_cast<HWND>(parent);
    if (parent == 0 || width <= 0 || height <= 0 || IsWindow(parentWindow) == FALSE) return nullptr;
    try {
        state->windows.reserve(state->windows.size() + 1);
        auto window = std::make_unique<Win32Window>(*this, *state, width, height);
        if (!window->create(parentWindow)) return nullptr;
        state->windows.push_back(window.get());
        return window;
    } catch (...) {
        return nullptr;
    }
}

bool Win32Platform::State::ownsWindow(HWND handle) const noexcept {
    if (handle == nullptr) return false;
    return std::any_of(windows.begin(), windows.end(),
                       [handle](const Win32Window* window) { return window->handle() == handle; });
}

void Win32Platform::State::takePointerMessage(const MSG& message) noexcept {
    POINT at{signedLow(message.lParam), signedHigh(message.lParam)};
    ClientToScreen(message.hwnd, &at);
    pointer.position = {at.x, at.y};
    // The key state a message carries is the one after it: a press includes its button.
    pointer.buttons = physicalButtons(message.wParam, swapped);
    pointer.shift = (message.wParam & MK_SHIFT) != 0;
    pointer.control = (message.wParam & MK_CONTROL) != 0;
    pointer.alt = keyDown(VK_MENU);
    // The last button up ends the drag: the capture taken at its press goes.
    if (pointer.buttons == 0 && message.message != WM_MOUSEMOVE && ownsWindow(GetCapture())) ReleaseCapture();
}

bool Win32Platform::State::pointerMessageQueued() noexcept {
    MSG message;
    for (const Win32Window* window : windows) {
        if (window->handle() != nullptr &&
            PeekMessageW(&message, window->handle(), kFirstPointerMessage, kLastPointerMessage,
                         PM_NOREMOVE | PM_NOYIELD) != FALSE)
            return true;
    }
    return false;
}

PointerState Win32Platform::State::pointerAfter(bool takeNext) noexcept {
    MSG message;
    if (takeNext) {
        for (const Win32Window* window : windows) {
            if (window->handle() != nullptr &&
                PeekMessageW(&message, window->handle(), kFirstPointerMessage, kLastPointerMessage,
                             PM_REMOVE | PM_NOYIELD) != FALSE) {
                takePointerMessage(message);
                return pointer;
            }
        }
    } else if (pointerMessageQueued()) {
        return pointer;
    }
    // Nothing queued contradicts the live state. The asynchronous key state reads the physical
    // buttons, as the toolkit wants them.
    POINT at{};
    if (GetCursorPos(&at) != FALSE) pointer.position = {at.x, at.y};
    pointer.buttons = 0;
    if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0) pointer.buttons |= kLeftButton;
    if ((GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0) pointer.buttons |= kRightButton;
    if ((GetAsyncKeyState(VK_MBUTTON) & 0x8000) != 0) pointer.buttons |= kMiddleButton;
    pointer.shift = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
    pointer.control = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
    pointer.alt = (GetAsyncKeyState(VK_MENU) & 0x8000) != 0;
    return pointer;
}

PointerState Win32Platform::readPointer() noexcept {
    return state->pointerAfter(false);
}

PointerState Win32Platform::trackPointer() noexcept {
    return state->pointerAfter(true);
}

bool Win32Platform::buttonsSwapped() noexcept {
    return state->swapped;
}

std::uint32_t Win32Platform::tickCountMs() noexcept {
    return GetTickCount();
}

void Win32Platform::sleepMs(int milliseconds) noexcept {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

void Win32Platform::processEvents() noexcept {
    // Only this platform's windows: the host's own messages stay for the host's loop.
    const std::vector<Win32Window*> windows = state->windows;
    for (const Win32Window* window : windows) {
        const HWND handle = window->handle();
        MSG message;
        for (int handled = 0; handle != nullptr && handled < 256 &&
                              PeekMessageW(&message, handle, 0, 0, PM_REMOVE | PM_NOYIELD) != FALSE;
             ++handled) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            // The window may have gone with the message (its parent destroyed).
            if (!state->ownsWindow(handle)) break;
        }
    }
}

bool Win32Platform::processOneExpose() noexcept {
    for (const Win32Window* window : state->windows) {
        MSG message;
        if (window->handle() != nullptr &&
            PeekMessageW(&message, window->handle(), WM_PAINT, WM_PAINT, PM_REMOVE | PM_NOYIELD) != FALSE) {
            DispatchMessageW(&message);
            return true;
        }
    }
    return false;
}

bool Win32Platform::readClipboardText(std::string& out) noexcept {
    HWND owner = state->windows.empty() ? nullptr : state->windows.front()->handle();
    // Another program may hold the clipboard open for a moment.
    bool opened = false;
    for (int attempt = 0; attempt < 25 && !opened; ++attempt) {
        opened = OpenClipboard(owner) != FALSE;
        if (!opened) Sleep(10);
    }
    if (!opened) return false;
    bool found = false;
    try {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
            if (text != nullptr) {
                // The block's size bounds the read: its text need not end in a NUL.
                out = utf8OfUtf16(text, GlobalSize(data) / sizeof(wchar_t));
                GlobalUnlock(data);
                found = true;
            }
        }
    } catch (...) {
        found = false;
    }
    CloseClipboard();
    return found;
}

bool Win32Platform::offersPopups() const noexcept {
    return true;
}

PixelBox Win32Platform::screenArea() noexcept {
    // The work area of the monitor the editor is on.
    return win32::win32ScreenArea(state->windows.empty() ? nullptr : state->windows.front()->handle());
}

std::unique_ptr<Popup> Win32Platform::openPopup(Window& owner, const PixelBox& box,
                                                const Surface& pixels) noexcept {
    if (&owner.owner() != this || !owner.isOpen()) return nullptr;
    return win32::openWin32Popup(nativeWindowHandle(owner), box, pixels);
}

bool Win32Window::create(HWND parent) noexcept {
    windowClass = acquireClass();
    if (windowClass == nullptr) return false;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = surface.width();
    format.bmiHeader.biHeight = -surface.height();  // top row first, as the surface keeps them
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    memory = CreateCompatibleDC(nullptr);
    if (memory != nullptr) win32::noteGdiObjectCreated();
    section = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (section != nullptr) win32::noteGdiObjectCreated();
    if (memory == nullptr || section == nullptr || pixels == nullptr) return false;
    bits = static_cast<std::uint32_t*>(pixels);
    sectionBefore = SelectObject(memory, section);
    window = CreateWindowExW(0, windowClass, L"Window", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                             surface.width(), surface.height(), parent, nullptr, moduleHandle(), this);
    if (window == nullptr) return false;
    win32::noteWindowCreated();
    open = true;
    return true;
}

Win32Window::~Win32Window() {
    releaseKeyFocus();
    endTextInput();
    auto& list = state.windows;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    // Revoked while the window still exists, or OLE would keep the target alive.
    drops.reset();
    if (window != nullptr) {
        // The messages it receives while going find no frame any more.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (GetCapture() == window) ReleaseCapture();
        if (DestroyWindow(window) != FALSE) win32::noteWindowDestroyed();
        window = nullptr;
    }
    if (memory != nullptr) {
        if (sectionBefore != nullptr) SelectObject(memory, sectionBefore);
        DeleteDC(memory);
        win32::noteGdiObjectDeleted();
    }
    if (section != nullptr) {
        DeleteObject(section);
        win32::noteGdiObjectDeleted();
    }
    if (windowClass != nullptr) releaseClass();
}

void Win32Window::destroyed() noexcept {
    // Destroyed with the host's parent: the frame draws nothing from now on.
    if (window == nullptr) return;
    drops.reset();
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    window = nullptr;
    open = false;
    keyFocusHeld = false;
    textReceiver = nullptr;
    win32::noteWindowDestroyed();
    if (handler != nullptr) handler->onDestroyed();
}

void Win32Window::blit(HDC target, const PixelBox& area) noexcept {
    const PixelBox box = area.intersect({0, 0, surface.width(), surface.height()});
    if (box.empty() || bits == nullptr || target == nullptr) return;
    const auto width = static_cast<std::size_t>(box.right - box.left);
    for (int y = box.top; y < box.bottom; ++y) {
        std::memcpy(bits + static_cast<std::size_t>(y) * surface.width() + box.left,
                    surface.row(y) + box.left, width * sizeof(std::uint32_t));
    }
    GdiFlush();  // the section's pixels were written directly: GDI must see them all
    BitBlt(target, box.left, box.top, box.right - box.left, box.bottom - box.top, memory, box.left, box.top,
           SRCCOPY);
}

void Win32Window::present() noexcept {
    PixelBox boxes[Surface::kDamageBoxes];
    const int count = surface.takeDamageBoxes(boxes);
    if (count == 0 || !open || window == nullptr) return;
    HDC target = GetDC(window);
    if (target == nullptr) return;
    for (int i = 0; i < count; ++i) blit(target, boxes[i]);
    ReleaseDC(window, target);
}

void Win32Window::paint() noexcept {
    PAINTSTRUCT painting{};
    HDC target = BeginPaint(window, &painting);
    if (target == nullptr) return;
    const PixelBox area{painting.rcPaint.left, painting.rcPaint.top, painting.rcPaint.right,
                        painting.rcPaint.bottom};
    if (!area.empty()) {
        if (handler != nullptr) handler->onExpose(area);
        // The handler drew into the backing; show the whole area asked for, not just what changed.
        surface.takeDamage();
        blit(target, area);
    }
    EndPaint(window, &painting);
}

ScreenPoint Win32Window::screenOrigin() noexcept {
    POINT origin{0, 0};
    if (window == nullptr || ClientToScreen(window, &origin) == FALSE) return {};
    return {origin.x, origin.y};
}

void Win32Window::setIdentity(const char* title, const char* /*className*/) noexcept {
    // The class is this backend's own, named before the window could exist.
    if (window != nullptr && title != nullptr) SetWindowTextA(window, title);
}

void Win32Window::setCursorShape(int shape) noexcept {
    if (shape < kCursorDefault || shape > kCursorSizeNorthWestSouthEast || window == nullptr) return;
    // The system's shared cursors: loaded by id, never destroyed.
    static constexpr int kIds[] = {0,
                                   32514 /*IDC_WAIT*/,
                                   32644 /*IDC_SIZEWE*/,
                                   32645 /*IDC_SIZENS*/,
                                   32646 /*IDC_SIZEALL*/,
                                   32643 /*IDC_SIZENESW*/,
                                   32642 /*IDC_SIZENWSE*/};
    cursor = shape == kCursorDefault ? nullptr : LoadCursorW(nullptr, MAKEINTRESOURCEW(kIds[shape]));
    if (pointerInside())
        SetCursor(cursor != nullptr ? cursor : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

void Win32Window::setDropHandler(DropEvents* receiver) noexcept {
    drops.reset();
    if (receiver != nullptr && window != nullptr) drops = win32::DropRegistration::attach(window, receiver);
}

bool Win32Window::pointerInside() noexcept {
    POINT at{};
    if (window == nullptr || GetCursorPos(&at) == FALSE || ScreenToClient(window, &at) == FALSE) return false;
    return at.x >= 0 && at.y >= 0 && at.x < surface.width() && at.y < surface.height();
}

bool Win32Window::beginTextInput(TextInputEvents* receiver, std::uint32_t /*clickTimeMs*/) noexcept {
    if (receiver == nullptr || window == nullptr) return false;
    focusBefore = GetFocus();
    if (keyFocusHeld) {
        // Held for a control already: the edit gives the focus back to whoever had it before.
        keyFocusHeld = false;
        focusBefore = keyFocusBefore;
    }
    textReceiver = receiver;
    highSurrogate = 0;
    if (GetFocus() != window) SetFocus(window);
    return true;
}

void Win32Window::endTextInput() noexcept {
    if (textReceiver == nullptr) return;
    textReceiver = nullptr;
    // Given back only while still ours: whoever took it since keeps it.
    if (window != nullptr && GetFocus() == window && focusBefore != window && IsWindow(focusBefore) != FALSE)
        SetFocus(focusBefore);
}

void Win32Window::holdKeyFocus() noexcept {
    if (keyFocusHeld || textReceiver != nullptr || window == nullptr) return;
    // A drag that ended outside the window leaves the keys where they were.
    if (!pointerInside()) return;
    keyFocusBefore = GetFocus();
    if (keyFocusBefore == window) return;
    SetFocus(window);
    TRACKMOUSEEVENT leave{};
    leave.cbSize = sizeof leave;
    leave.dwFlags = TME_LEAVE;
    leave.hwndTrack = window;
    TrackMouseEvent(&leave);
    keyFocusHeld = true;
}

void Win32Window::releaseKeyFocus() noexcept {
    if (!keyFocusHeld) return;
    keyFocusHeld = false;
    if (window != nullptr && GetFocus() == window && IsWindow(keyFocusBefore) != FALSE)
        SetFocus(keyFocusBefore);
}

void Win32Window::discardPendingButtons(int count) noexcept {
    if (window == nullptr) return;
    // Counted by presses: the releases in between go with them. Moves and wheel steps stay.
    MSG message;
    for (int dropped = 0; dropped < count;) {
        if (PeekMessageW(&message, window, WM_LBUTTONDOWN, WM_MBUTTONDBLCLK, PM_REMOVE | PM_NOYIELD) == FALSE)
            break;
        if (isPress(message.message)) ++dropped;
    }
    if (GetCapture() == window) ReleaseCapture();
}

void Win32Window::pointerMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    MSG taken{};
    taken.hwnd = window;
    taken.message = message;
    taken.wParam = wParam;
    taken.lParam = lParam;
    state.takePointerMessage(taken);
    if (!isPress(message)) return;
    // The release must reach this window wherever the pointer goes during the drag.
    SetCapture(window);
    if (handler != nullptr)
        handler->onButtonPress(signedLow(lParam), signedHigh(lParam),
                               win32::physicalButtonOfMessage(message, state.swapped));
}

void Win32Window::keyDownMessage(WPARAM virtualKey, LPARAM flags) noexcept {
    TextKey key;
    key.key = win32::keyOfVirtualKey(static_cast<unsigned>(virtualKey), (flags & (1 << 24)) != 0);
    key.shift = keyDown(VK_SHIFT);
    key.control = keyDown(VK_CONTROL);
    if (textReceiver != nullptr) {
        // Characters come as WM_CHAR; here only the editing keys and the Control shortcuts.
        const bool letter = key.key == Key::LetterA || key.key == Key::LetterV;
        if (key.key == Key::Other || (letter && !key.control)) return;
        textReceiver->onTextKey(key);
        return;
    }
    if (!keyFocusHeld) return;
    // Shift on its own comes before Shift+Up: it keeps the keyboard.
    if (virtualKey == VK_SHIFT || virtualKey == VK_CONTROL || virtualKey == VK_MENU) return;
    const UINT typed = MapVirtualKeyW(static_cast<UINT>(virtualKey), 2 /*MAPVK_VK_TO_CHAR*/) & 0x7FFFu;
    key.character = (typed >= 'A' && typed <= 'Z' && !key.shift) ? typed + ('a' - 'A') : typed;
    // Escape, or a key no control uses (the host's shortcut), hands the keyboard back.
    if (key.key == Key::Escape || handler == nullptr || !handler->onKey(key)) releaseKeyFocus();
}

void Win32Window::characterMessage(WPARAM unit) noexcept {
    if (textReceiver == nullptr) return;
    std::uint32_t code = static_cast<std::uint16_t>(unit);
    if (code >= 0xD800 && code < 0xDC00) {
        highSurrogate = static_cast<wchar_t>(code);
        return;
    }
    if (code >= 0xDC00 && code < 0xE000) {
        if (highSurrogate == 0) return;
        code = 0x10000 + ((static_cast<std::uint32_t>(highSurrogate) - 0xD800) << 10) + (code - 0xDC00);
    }
    highSurrogate = 0;
    // Control characters come from keys already delivered by WM_KEYDOWN (Backspace, Return, ^V).
    if (code < 0x20 || code == 0x7F) return;
    TextKey key;
    key.character = code;
    key.shift = keyDown(VK_SHIFT);
    textReceiver->onTextKey(key);
}

LRESULT Win32Window::receive(HWND self, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    // Messages sent while CreateWindowEx runs come before it has answered the handle.
    if (window == nullptr && open == false && message != WM_DESTROY) window = self;
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the backing paints every pixel
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            pointerMessage(message, wParam, lParam);
            return 0;
        case WM_MOUSEWHEEL: {
            POINT at{signedLow(lParam), signedHigh(lParam)};  // on the screen
            ScreenToClient(window, &at);
            const float steps = static_cast<float>(static_cast<short>(HIWORD(wParam))) / WHEEL_DELTA;
            if (handler != nullptr && steps != 0.0f) handler->onWheel(at.x, at.y, steps);
            return 0;
        }
        case WM_SETCURSOR:
            if (cursor != nullptr && LOWORD(lParam) == HTCLIENT) {
                SetCursor(cursor);
                return TRUE;
            }
            break;
        case WM_KEYDOWN:
            if (textReceiver != nullptr || keyFocusHeld) {
                keyDownMessage(wParam, lParam);
                return 0;
            }
            break;
        case WM_CHAR:
            if (textReceiver != nullptr) {
                characterMessage(wParam);
                return 0;
            }
            break;
        case WM_KILLFOCUS:
            if (textReceiver != nullptr) textReceiver->onTextFocusLost();
            keyFocusHeld = false;  // someone else took the keys: nothing to give back later
            break;
        case WM_MOUSELEAVE:
            releaseKeyFocus();
            return 0;
        case WM_DESTROY:
            destroyed();
            return DefWindowProcW(self, message, wParam, lParam);
        default:
            break;
    }
    return DefWindowProcW(self, message, wParam, lParam);
}

}  // namespace flanger::platform
