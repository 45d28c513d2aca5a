// The Win32 backend's child window: its class (one per module), its creation in the host's parent,
// presentation from the backing surface through a DIB section, its title and cursor.
#include "platform/win32/Win32Window.h"

#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/win32/GdiText.h"
#include "platform/win32/LiveObjects.h"
#include "platform/win32/Win32Module.h"

namespace flanger::platform {
namespace {

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
}  // namespace

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
HBITMAP Win32Window::makeSection(HDC memory, int width, int height, std::uint32_t*& pixels) noexcept {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top row first, as the surface keeps them
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* made = nullptr;
    HBITMAP created = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &made, nullptr, 0);
    if (created == nullptr) return nullptr;
    win32::noteGdiObjectCreated();
    if (made == nullptr) {
        DeleteObject(created);
        win32::noteGdiObjectDeleted();
        return nullptr;
    }
    pixels = static_cast<std::uint32_t*>(made);
    return created;
}

bool Win32Window::create(HWND parent) noexcept {
    windowClass = acquireClass();
    if (windowClass == nullptr) return false;
    memory = CreateCompatibleDC(nullptr);
    if (memory == nullptr) return false;
    win32::noteGdiObjectCreated();
    section = makeSection(memory, surface.width(), surface.height(), bits);
    if (section == nullptr) return false;
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

bool Win32Window::resize(int width, int height) noexcept {
    if (width <= 0 || height <= 0 || !open || window == nullptr || memory == nullptr) return false;
    // Everything that can fail is made first, so a refusal leaves the window as it was.
    Surface resized;
    try {
        resized = Surface(width, height);
    } catch (...) {
        return false;
    }
    std::uint32_t* resizedBits = nullptr;
    HBITMAP resizedSection = makeSection(memory, width, height, resizedBits);
    if (resizedSection == nullptr) return false;
    if (SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) ==
        FALSE) {
        DeleteObject(resizedSection);
        win32::noteGdiObjectDeleted();
        return false;
    }
    SelectObject(memory, resizedSection);  // the old section comes out, and can go
    DeleteObject(section);
    win32::noteGdiObjectDeleted();
    section = resizedSection;
    bits = resizedBits;
    // The same object, so references to the backing stay good.
    surface = std::move(resized);
    surface.addDamage({0, 0, width, height});
    // The class does not repaint all on resizing; the whole window is asked for, as on X11.
    InvalidateRect(window, nullptr, FALSE);
    return true;
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
}  // namespace flanger::platform
