// The tool's editor window on Windows: a top-level window whose client area is sized from the
// editor, the editor opened into it, idled about every 20 ms (or as asked) from the message loop,
// and closed before the window goes, as Windows hosts do.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/EditorWindow.h"

namespace flanger::tools {
namespace {

// Set by the console's Ctrl+C handler (another thread), read by the loop.
volatile LONG stopRequested = 0;

BOOL WINAPI consoleStop(DWORD kind) {
    if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT && kind != CTRL_CLOSE_EVENT) return FALSE;
    InterlockedExchange(&stopRequested, 1);
    return TRUE;
}

LRESULT CALLBACK hostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        // The loop closes the editor first, then destroys the window.
        PostMessageW(window, WM_APP, 0, 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The editor's pixels as they are on the screen now, as a binary PPM: read back from the host
// window's client area, which the editor covers.
bool writeSnapshot(HWND window, int width, int height, const std::string& path) {
    HDC screen = GetDC(window);
    if (screen == nullptr) return false;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool written = false;
    if (memory != nullptr && copy != nullptr && bits != nullptr) {
        HGDIOBJ before = SelectObject(memory, copy);
        // The child's pixels are part of the parent's client area on the screen.
        BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        GdiFlush();
        SelectObject(memory, before);
        const auto* pixels = static_cast<const std::uint32_t*>(bits);
        std::vector<unsigned char> rgb;
        rgb.reserve(static_cast<std::size_t>(width) * height * 3);
        for (int i = 0; i < width * height; ++i) {
            rgb.push_back(static_cast<unsigned char>(pixels[i] >> 16));
            rgb.push_back(static_cast<unsigned char>(pixels[i] >> 8));
            rgb.push_back(static_cast<unsigned char>(pixels[i]));
        }
        if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
            std::fprintf(out, "P6\n%d %d\n255\n", width, height);
            written = std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
            written = std::fclose(out) == 0 && written;
        }
    }
    if (copy != nullptr) DeleteObject(copy);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(window, screen);
    return written;
}

}  // namespace

EditorRunEnd runEditorWindow(EditorClient& editor, const EditorRunOptions& options) {
    if (options.openEditor && !editor.hasEditor()) {
        std::fprintf(stderr, "flanger-host: %s has no editor\n", editor.path().c_str());
        return EditorRunEnd::NotShown;
    }
    stopRequested = 0;
    SetConsoleCtrlHandler(consoleStop, TRUE);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = hostProcedure;
    description.hInstance = instance;
    description.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    description.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    description.lpszClassName = L"FlangerHost";
    RegisterClassExW(&description);

    int width = 0, height = 0;
    editor.size(width, height);
    // A fixed-size window with a caption at the screen's top-left, its client area the editor's
    // size; where that area lands on the screen is printed for scripts.
    const std::string name = editor.name();
    const std::string title = "flanger-host: " + (name.empty() ? editor.path() : name);
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const auto outerSize = [](int clientWidth, int clientHeight) {
        RECT outer{0, 0, clientWidth, clientHeight};
        AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
        return outer;
    };
    RECT outer = outerSize(width, height);
    HWND window = CreateWindowExA(0, "FlangerHost", title.c_str(), kStyle, 0, 0, outer.right - outer.left,
                                  outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "flanger-host: cannot make a window (is there a display?)\n");
        SetConsoleCtrlHandler(consoleStop, FALSE);
        return EditorRunEnd::NotShown;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    if (options.openEditor) {
        if (!editor.open(nullptr, window))
            std::fprintf(stderr, "flanger-host: the editor's open failed; showing whatever it made\n");
        int afterWidth = width, afterHeight = height;
        editor.size(afterWidth, afterHeight);  // hosts ask again after open
        if (afterWidth != width || afterHeight != height) {
            width = afterWidth;
            height = afterHeight;
            outer = outerSize(width, height);
            SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                         SWP_NOMOVE | SWP_NOZORDER);
        }
    }
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::printf("flanger-host: editor window %dx%d at %ld,%ld\n", width, height, origin.x, origin.y);
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    long step = 0;
    bool running = true;
    auto nextIdle = std::chrono::steady_clock::now();
    while (running && stopRequested == 0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            if (message.message == WM_QUIT || (message.hwnd == window && message.message == WM_APP))
                running = false;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (!running || stopRequested != 0) break;
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextIdle) {
            if (options.animateParameter >= 0)
                editor.setParameter(options.animateParameter, animatedValue(step++));
            if (options.openEditor) editor.idle();
            nextIdle = now + std::chrono::milliseconds(options.idleMs);
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (options.seconds > 0.0 && elapsed.count() >= options.seconds) break;
        // Sleep until the next idle, waking early for the window's messages.
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextIdle - now).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait > 0 ? wait : 0), QS_ALLINPUT);
    }

    if (!options.snapshotPath.empty() && !writeSnapshot(window, width, height, options.snapshotPath))
        std::fprintf(stderr, "flanger-host: cannot write %s\n", options.snapshotPath.c_str());
    if (options.openEditor) editor.close();
    DestroyWindow(window);
    UnregisterClassW(L"FlangerHost", instance);
    SetConsoleCtrlHandler(consoleStop, FALSE);
    return stopRequested != 0 ? EditorRunEnd::Interrupted : EditorRunEnd::Closed;
}

}  // namespace flanger::tools
