// Popup menu windows under Wine as a user meets them: the picture on the screen where it was
// put, clicks through the system's input queue (SendInput), a second level, and the ends: the
// owner gone, the capture or activation taken, and nothing left after many openings.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32/LiveObjects.h"
#include "platform/win32/Win32Popup.h"

namespace flanger::platform::win32 {
namespace {

constexpr COLORREF kOwnerPaper = RGB(0x20, 0x40, 0x60);
constexpr PixelBox kMenu{100, 120, 260, 200};
constexpr PixelBox kSubmenu{260, 140, 380, 230};

Surface picture(int width, int height, std::uint32_t seed) {
    Surface pixels(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.setPixel(x, y,
                            packRgb(static_cast<std::uint8_t>(x * 3 + seed), static_cast<std::uint8_t>(y * 5),
                                    static_cast<std::uint8_t>(seed ^ (x + y))));
    return pixels;
}

// What the screen shows in box, as 0x00RRGGBB rows.
Surface screenPixels(const PixelBox& box) {
    const int width = box.right - box.left, height = box.bottom - box.top;
    Surface shown(width, height);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
    GdiFlush();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            shown.setPixel(x, y, static_cast<const std::uint32_t*>(bits)[y * width + x]);
    SelectObject(memory, previous);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shown;
}

bool samePixels(const Surface& a, const Surface& b) {
    return a.width() == b.width() && a.height() == b.height() && a.pixels() == b.pixels();
}

void click(int x, int y) {
    SetCursorPos(x, y);
    INPUT press[2]{};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, press, sizeof(INPUT));
}

void typeKey(WORD virtualKey) {
    INPUT key[2]{};
    key[0].type = key[1].type = INPUT_KEYBOARD;
    key[0].ki.wVk = key[1].ki.wVk = virtualKey;
    key[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, key, sizeof(INPUT));
}

class Win32PopupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        paper = CreateSolidBrush(kOwnerPaper);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = paper;
        windowClass.lpszClassName = L"PopupTestOwner";
        RegisterClassExW(&windowClass);
    }
    static void TearDownTestSuite() {
        UnregisterClassW(L"PopupTestOwner", GetModuleHandleW(nullptr));
        DeleteObject(paper);
    }

    void SetUp() override {
        owner = makeTopLevel(40, 40, 500, 400);
        ASSERT_NE(owner, nullptr);
        SetForegroundWindow(owner);
        SetFocus(owner);
        pump(200);
    }
    void TearDown() override {
        popup.reset();
        if (IsWindow(owner)) DestroyWindow(owner);
        pump(50);
    }

    static HWND makeTopLevel(int x, int y, int width, int height) {
        return CreateWindowExW(0, L"PopupTestOwner", L"owner", WS_POPUP | WS_VISIBLE, x, y, width, height,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }

    static void pump(int ms) {
        const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
        MSG message;
        while (static_cast<LONG>(GetTickCount() - end) < 0) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }

    // Lets the popup paint and the system show it, until box shows expected (at most 3 s).
    bool screenShows(const PixelBox& box, const Surface& expected) {
        for (int pass = 0; pass < 150; ++pass) {
            if (samePixels(screenPixels(box), expected)) return true;
            PopupInput ignored;
            while (popup->nextInput(ignored, 20) && ignored.kind == PopupInput::kMotion) {
            }
        }
        return false;
    }

    // The inputs other than motion that arrive within ms.
    std::vector<PopupInput> inputsWithin(int ms) {
        std::vector<PopupInput> got;
        const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
        PopupInput input;
        while (static_cast<LONG>(GetTickCount() - end) < 0) {
            if (popup->nextInput(input, 20) && input.kind != PopupInput::kMotion) got.push_back(input);
        }
        return got;
    }

    static HBRUSH paper;
    HWND owner = nullptr;
    std::unique_ptr<Popup> popup;
};

HBRUSH Win32PopupTest::paper = nullptr;

TEST_F(Win32PopupTest, ShowsItsLevelsOnTheScreenAndTakesClicksAndKeysInOrder) {
    const Surface menu = picture(160, 80, 7);
    popup = openWin32Popup(owner, kMenu, menu);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(screenShows(kMenu, menu));

    click(150, 160);
    std::vector<PopupInput> got = inputsWithin(500);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, PopupInput::kPress);
    EXPECT_EQ(got[1].kind, PopupInput::kRelease);
    for (const PopupInput& input : got) {
        EXPECT_EQ(input.button, static_cast<std::uint32_t>(kLeftButton));
        EXPECT_EQ(input.at.x, 150);
        EXPECT_EQ(input.at.y, 160);
    }

    // On the owner, outside every level: still the popup's, at its screen point.
    click(70, 300);
    got = inputsWithin(500);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].kind, PopupInput::kPress);
    EXPECT_EQ(got[0].at.x, 70);
    EXPECT_EQ(got[0].at.y, 300);

    // The keys go to the owner's focus, yet the popup takes them, in the order typed.
    typeKey(VK_DOWN);
    typeKey(VK_RETURN);
    typeKey(VK_ESCAPE);
    got = inputsWithin(500);
    ASSERT_EQ(got.size(), 3u) << "the keyboard focus: " << GetFocus() << ", the owner: " << owner
                              << ", the foreground: " << GetForegroundWindow();
    EXPECT_EQ(got[0].key, Key::Down);
    EXPECT_EQ(got[1].key, Key::Return);
    EXPECT_EQ(got[2].key, Key::Escape);

    const Surface submenu = picture(120, 90, 99);
    popup->show(1, kSubmenu, submenu);
    EXPECT_EQ(liveWindows(), 2);
    EXPECT_TRUE(screenShows(kSubmenu, submenu));
    popup->keepLevels(1);
    EXPECT_EQ(liveWindows(), 1);
    // What the second level covered of the owner shows again.
    const PixelBox uncovered{300, 150, 340, 180};
    EXPECT_TRUE(screenShows(uncovered, Surface(40, 30, packRgb(0x20, 0x40, 0x60))));
    EXPECT_TRUE(popup->isOpen());

    const PixelBox area = win32ScreenArea(owner);
    EXPECT_FALSE(area.empty());
    EXPECT_LE(area.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_LE(area.bottom, GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(Win32PopupTest, EndsWhenTheOwnerGoesOrTheCaptureOrActivationIsTaken) {
    popup = openWin32Popup(owner, kMenu, picture(160, 80, 1));
    ASSERT_NE(popup, nullptr);
    SetCapture(owner);
    PopupInput input;
    EXPECT_FALSE(popup->nextInput(input, 0));
    EXPECT_FALSE(popup->isOpen());
    ReleaseCapture();

    popup = openWin32Popup(owner, kMenu, picture(160, 80, 2));
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isOpen());
    HWND other = makeTopLevel(600, 400, 100, 100);
    SetActiveWindow(other);
    EXPECT_FALSE(popup->nextInput(input, 0));
    EXPECT_FALSE(popup->isOpen());
    DestroyWindow(other);
    SetForegroundWindow(owner);
    pump(50);

    // Another program's window comes to the front, as when the user switches to it.
    popup = openWin32Popup(owner, kMenu, picture(160, 80, 2));
    ASSERT_NE(popup, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    wchar_t command[] = L"notepad.exe";
    ASSERT_NE(
        CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program),
        FALSE);
    WaitForInputIdle(program.hProcess, 5000);
    for (int pass = 0; pass < 250 && popup->isOpen(); ++pass) popup->nextInput(input, 20);
    EXPECT_FALSE(popup->isOpen());
    TerminateProcess(program.hProcess, 0);
    WaitForSingleObject(program.hProcess, 5000);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    SetForegroundWindow(owner);
    pump(50);

    popup = openWin32Popup(owner, kMenu, picture(160, 80, 3));
    ASSERT_NE(popup, nullptr);
    popup->show(1, kSubmenu, picture(120, 90, 4));
    EXPECT_TRUE(popup->isOpen());
    DestroyWindow(owner);
    EXPECT_FALSE(popup->isOpen());
    EXPECT_FALSE(popup->nextInput(input, 0));
    EXPECT_EQ(liveWindows(), 0) << "its windows went with the owner";
    popup->show(0, kMenu, picture(160, 80, 5));  // nothing to show on
    EXPECT_EQ(liveWindows(), 0);
    popup.reset();
    EXPECT_EQ(liveGdiObjects(), 0);
    EXPECT_EQ(openWin32Popup(owner, kMenu, picture(160, 80, 6)), nullptr);
}

TEST_F(Win32PopupTest, LeavesNoWindowGdiObjectOrClassAfterManyOpenings) {
    WNDCLASSEXW found{};
    found.cbSize = sizeof found;
    for (int cycle = 0; cycle < 200; ++cycle) {
        popup = openWin32Popup(owner, kMenu, picture(160, 80, static_cast<std::uint32_t>(cycle)));
        ASSERT_NE(popup, nullptr) << cycle;
        popup->show(1, kSubmenu, picture(120, 90, 3));
        PopupInput input;
        popup->nextInput(input, 0);
        if (cycle == 0) {
            EXPECT_NE(GetClassInfoExW(GetModuleHandleW(nullptr), win32PopupClassName(), &found), FALSE);
        }
        popup.reset();
    }
    EXPECT_EQ(liveWindows(), 0);
    EXPECT_EQ(liveGdiObjects(), 0);
    EXPECT_EQ(GetClassInfoExW(GetModuleHandleW(nullptr), win32PopupClassName(), &found), FALSE);
}

}  // namespace
}  // namespace flanger::platform::win32
