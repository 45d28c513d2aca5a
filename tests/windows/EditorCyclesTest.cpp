// The Windows editor opened and closed as a host does it, over and over, in a parent window of
// the test's own: nothing is left behind (the backend's own counts, since Wine answers 0 to
// GetGuiResources; the child windows under the parent; the window class), and a host that
// destroys its window before closing the editor breaks nothing. The program carries the DLL's
// version resource, so the about texts are read as the module reads its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"
#include "module/EditorChoice.h"
#include "platform/win32/LiveObjects.h"
#include "platform/win32/Win32DropTarget.h"
#include "platform/win32/Win32Platform.h"
#include "resources/VersionInfo.h"

namespace flanger {
namespace {

intptr_t host(vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

void pumpFor(int milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(1);
    } while (GetTickCount() - start < static_cast<DWORD>(milliseconds));
}

int childWindows(HWND parent) {
    int count = 0;
    EnumChildWindows(
        parent, [](HWND, LPARAM counter) -> BOOL { return ++*reinterpret_cast<int*>(counter), TRUE; },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

bool classRegistered() {
    const std::string name = platform::frameWindowClassName();
    WNDCLASSEXA description{};
    description.cbSize = sizeof description;
    return GetClassInfoExA(GetModuleHandleW(nullptr), name.c_str(), &description) != FALSE;
}

class WindowsEditor : public ::testing::Test {
protected:
    void SetUp() override {
        parent = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 370, 216, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        effect = std::make_unique<effect::FlangerEffect>(&host, module::editorFactory());
        ASSERT_TRUE(effect->initialise());
        record = effect->effectRecord();
    }
    void TearDown() override {
        effect.reset();
        if (IsWindow(parent) != FALSE) DestroyWindow(parent);
    }
    intptr_t dispatch(int32_t opcode, void* ptr = nullptr) {
        return record->dispatcher(record, opcode, 0, 0, ptr, 0.0f);
    }

    HWND parent = nullptr;
    std::unique_ptr<effect::FlangerEffect> effect;
    vst::EffectRecord* record = nullptr;
};

TEST_F(WindowsEditor, TwoHundredOpenCloseCyclesLeaveNothingBehind) {
    const int gdiBefore = platform::win32::liveGdiObjects();
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_EQ(dispatch(vst::effEditOpen, parent), 1) << "cycle " << cycle;
        if (cycle == 0) {
            // One child window covering the editor's area, in the module's class.
            ASSERT_EQ(childWindows(parent), 1);
            HWND child = GetWindow(parent, GW_CHILD);
            RECT area{};
            GetClientRect(child, &area);
            EXPECT_EQ(area.right - area.left, 370);
            EXPECT_EQ(area.bottom - area.top, 216);
            EXPECT_TRUE(classRegistered());
            EXPECT_EQ(platform::win32::liveDropTargets(), 1) << "the window takes drops";
        }
        pumpFor(cycle % 50 == 0 ? 40 : 2);  // paints, and now and then a few idles' worth
        dispatch(vst::effEditIdle);
        dispatch(vst::effEditClose);
    }
    EXPECT_EQ(platform::win32::liveWindows(), 0);
    EXPECT_EQ(platform::win32::liveGdiObjects(), gdiBefore);
    EXPECT_EQ(platform::win32::liveDropTargets(), 0);
    EXPECT_EQ(childWindows(parent), 0);
    EXPECT_FALSE(classRegistered()) << "the class goes with the last window";
}

TEST_F(WindowsEditor, AHostThatDestroysItsWindowFirstBreaksNothing) {
    ASSERT_EQ(dispatch(vst::effEditOpen, parent), 1);
    pumpFor(40);
    DestroyWindow(parent);  // the editor's window goes with it
    pumpFor(10);
    dispatch(vst::effEditIdle);
    dispatch(vst::effEditClose);
    EXPECT_EQ(platform::win32::liveWindows(), 0);
    EXPECT_EQ(platform::win32::liveDropTargets(), 0);
    EXPECT_FALSE(classRegistered());
    // And the next parent gets a working editor again.
    parent = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 370, 216, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ASSERT_EQ(dispatch(vst::effEditOpen, parent), 1);
    EXPECT_EQ(childWindows(parent), 1);
    dispatch(vst::effEditClose);
}

TEST_F(WindowsEditor, TheBackendsWindowTakesANewSizeAndPresentsAllOfIt) {
    // Room for the larger size, so what is presented there can be read back.
    SetWindowPos(parent, nullptr, 0, 0, 740, 432, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int gdiBefore = platform::win32::liveGdiObjects();
    {
        const auto windows = platform::Win32Platform::open();
        ASSERT_NE(windows, nullptr);
        auto window = windows->createChildWindow(reinterpret_cast<platform::NativeParent>(parent), 370, 216);
        ASSERT_NE(window, nullptr);
        const int gdiOpen = platform::win32::liveGdiObjects();
        ASSERT_TRUE(window->resize(740, 432));
        auto* child = static_cast<HWND>(platform::nativeWindowHandle(*window));
        EXPECT_EQ(GetWindow(parent, GW_CHILD), child) << "hosts hold the window's handle";
        RECT area{};
        GetClientRect(child, &area);
        EXPECT_EQ(area.right - area.left, 740);
        EXPECT_EQ(area.bottom - area.top, 432);
        EXPECT_EQ(window->backing().width(), 740);
        EXPECT_EQ(window->backing().height(), 432);
        EXPECT_EQ(platform::win32::liveGdiObjects(), gdiOpen) << "the old section went";
        window->backing().fill({700, 400, 720, 420}, 0x3366CC);
        window->present();
        pumpFor(40);
        HDC shown = GetDC(child);
        EXPECT_EQ(GetPixel(shown, 710, 410), RGB(0x33, 0x66, 0xCC));
        EXPECT_EQ(GetPixel(shown, 10, 10), RGB(0, 0, 0));
        ReleaseDC(child, shown);
        EXPECT_FALSE(window->resize(-1, 432));
        EXPECT_EQ(window->backing().width(), 740);
    }
    EXPECT_EQ(platform::win32::liveGdiObjects(), gdiBefore);
}

TEST_F(WindowsEditor, PastedTextIsTheClipboardsUnicodeTextAsUtf8) {
    // What another program copies: UTF-16, a character beyond the basic plane among it.
    const wchar_t copied[] = {L'2', L'.', L'5', 0x00A0, L'H', L'z', 0xD834, 0xDD1E, 0};
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof copied);
    ASSERT_NE(block, nullptr);
    std::memcpy(GlobalLock(block), copied, sizeof copied);
    GlobalUnlock(block);
    ASSERT_TRUE(OpenClipboard(parent));
    EmptyClipboard();
    ASSERT_NE(SetClipboardData(CF_UNICODETEXT, block), nullptr);
    CloseClipboard();
    const auto windows = platform::Win32Platform::open();
    std::string pasted;
    ASSERT_TRUE(windows->readClipboardText(pasted));
    EXPECT_EQ(pasted, "2.5\xC2\xA0Hz\xF0\x9D\x84\x9E");
}

TEST_F(WindowsEditor, TheAboutTextsComeFromTheFilesVersionResource) {
    const resources::VersionInfo info;  // the module's editor factory installed the system's reader
    char version[32] = {}, legal[128] = {};
    info.fileVersion(version, sizeof version);
    info.legalText(legal, sizeof legal);
    EXPECT_STREQ(version, FLANGER_VERSION);
    EXPECT_STREQ(legal, FLANGER_COPYRIGHT);
}

}  // namespace
}  // namespace flanger
