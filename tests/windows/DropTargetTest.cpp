// Drops onto a window, driven in-process as OLE drives a drop target: file lists with a real
// shortcut, text, data of no use, and registrations that leave nothing behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <ole2.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/Win32DropTarget.h"

namespace flanger::platform::win32 {
namespace {

struct RecordingReceiver final : DropEvents {
    bool onDrop(const char* const* items, int count, int type, ScreenPoint where) override {
        ++calls;
        lastCount = count;
        lastType = type;
        lastWhere = where;
        received.clear();
        const int itemCount = type == 0 ? count : 1;
        for (int i = 0; i < itemCount; ++i) received.emplace_back(items[i]);
        return true;
    }
    int calls = 0;
    int lastCount = 0;
    int lastType = -1;
    ScreenPoint lastWhere;
    std::vector<std::string> received;
};

HGLOBAL blockOf(const void* bytes, std::size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    return block;
}

// A file list as Explorer makes it: the header, then wide names each ended, then an empty one.
HGLOBAL fileList(const std::vector<std::wstring>& names) {
    std::vector<unsigned char> bytes(sizeof(DROPFILES));
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::memcpy(bytes.data(), &header, sizeof header);
    for (const std::wstring& name : names) {
        const auto* raw = reinterpret_cast<const unsigned char*>(name.c_str());
        bytes.insert(bytes.end(), raw, raw + (name.size() + 1) * sizeof(WCHAR));
    }
    bytes.insert(bytes.end(), sizeof(WCHAR), 0);
    return blockOf(bytes.data(), bytes.size());
}

// The least a source offers: each format once, in global memory, copied out on every request.
// Destroyed as itself, never through the interface (which has no destructor by design).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class DataObject final : public IDataObject {
public:
    ~DataObject() {
        for (auto& [format, block] : blocks) GlobalFree(block);
    }
    void add(CLIPFORMAT format, HGLOBAL block) { blocks.emplace_back(format, block); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDataObject)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    // Lives on the test's stack.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* wanted, STGMEDIUM* medium) override {
        const HGLOBAL block = find(wanted);
        if (block == nullptr) return DV_E_FORMATETC;
        const SIZE_T size = GlobalSize(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = blockOf(GlobalLock(block), size);
        medium->pUnkForRelease = nullptr;
        GlobalUnlock(block);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* wanted) override {
        return find(wanted) != nullptr ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    HGLOBAL find(const FORMATETC* wanted) const {
        if (wanted == nullptr || (wanted->tymed & TYMED_HGLOBAL) == 0) return nullptr;
        for (const auto& [format, block] : blocks)
            if (format == wanted->cfFormat) return block;
        return nullptr;
    }
    std::vector<std::pair<CLIPFORMAT, HGLOBAL>> blocks;
};
#pragma GCC diagnostic pop

std::wstring longPath(const std::wstring& path) {
    WCHAR buffer[MAX_PATH] = {};
    return GetLongPathNameW(path.c_str(), buffer, MAX_PATH) > 0 ? buffer : path;
}

std::wstring fromUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return wide;
}

class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW type{};
        type.lpfnWndProc = DefWindowProcW;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"FlangerDropTest";
        RegisterClassW(&type);
        window = CreateWindowExW(0, L"FlangerDropTest", L"drops", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                 nullptr, nullptr, type.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window);
        EXPECT_EQ(liveDropTargets(), 0);
    }

    // Enter with the given keys, a move over without them, then the drop; the effects of all three.
    std::vector<DWORD> dragAndDrop(IDropTarget* target, IDataObject* data, DWORD enterKeys, POINTL at) {
        std::vector<DWORD> effects(3, DROPEFFECT_COPY | DROPEFFECT_MOVE);
        target->DragEnter(data, enterKeys, at, &effects[0]);
        target->DragOver(0, at, &effects[1]);
        target->Drop(data, 0, at, &effects[2]);
        return effects;
    }

    HWND window = nullptr;
    RecordingReceiver receiver;
};

TEST_F(DropTargetTest, FilesArriveInOrderAsUtf8WithTheShortcutResolved) {
    const auto drops = DropRegistration::attach(window, &receiver);
    ASSERT_NE(drops, nullptr);

    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = longPath(temp) + L"flanger-drop-test\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring targetFile = folder + L"preset.fxp";
    const std::wstring shortcut = folder + L"preset.LnK";
    CloseHandle(CreateFileW(targetFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    IShellLinkW* link = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&link)),
              S_OK);
    link->SetPath(targetFile.c_str());
    IPersistFile* file = nullptr;
    ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
    ASSERT_EQ(file->Save(shortcut.c_str(), TRUE), S_OK);
    file->Release();
    link->Release();

    // "Grüße.LNK.txt": not a shortcut (the extension is after the last dot), and not ASCII.
    const std::wstring notShortcut = folder + L"Gr\u00fc\u00dfe.LNK.txt";
    DataObject data;
    data.add(CF_HDROP, fileList({shortcut, notShortcut}));
    const std::vector<DWORD> effects = dragAndDrop(drops->target(), &data, MK_CONTROL, {140, 75});

    EXPECT_EQ(effects, (std::vector<DWORD>{DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_COPY}));
    ASSERT_EQ(receiver.calls, 1);
    EXPECT_EQ(receiver.lastType, 0);
    EXPECT_EQ(receiver.lastCount, 2);
    EXPECT_EQ(receiver.lastWhere.x, 140);
    EXPECT_EQ(receiver.lastWhere.y, 75);
    ASSERT_EQ(receiver.received.size(), 2u);
    EXPECT_EQ(longPath(fromUtf8(receiver.received[0])), targetFile);
    EXPECT_TRUE(
        receiver.received[1].ends_with("\\Gr\xc3\xbc\xc3\x9f"
                                       "e.LNK.txt"))
        << receiver.received[1];
    EXPECT_EQ(fromUtf8(receiver.received[1]), notShortcut);

    DeleteFileW(shortcut.c_str());
    DeleteFileW(targetFile.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(DropTargetTest, TextIsPreferredAndArrivesAsUtf8WithItsByteCount) {
    const auto drops = DropRegistration::attach(window, &receiver);
    ASSERT_NE(drops, nullptr);

    // No terminator inside the block: its size bounds the text.
    const std::wstring wide = L"Gr\u00fc\u00dfe";
    DataObject unicode;
    unicode.add(CF_UNICODETEXT, blockOf(wide.data(), wide.size() * sizeof(WCHAR)));
    unicode.add(CF_HDROP, fileList({L"C:\\ignored.fxp"}));
    EXPECT_EQ(dragAndDrop(drops->target(), &unicode, 0, {5, 6}),
              (std::vector<DWORD>{DROPEFFECT_MOVE, DROPEFFECT_MOVE, DROPEFFECT_COPY}));
    ASSERT_EQ(receiver.calls, 1);
    EXPECT_EQ(receiver.lastType, 1);
    EXPECT_EQ(receiver.lastCount, 7);
    EXPECT_EQ(receiver.received, std::vector<std::string>{"Gr\xc3\xbc\xc3\x9f"
                                                          "e"});

    DataObject ansi;
    ansi.add(CF_TEXT, blockOf("fast\0junk", 9));
    dragAndDrop(drops->target(), &ansi, 0, {5, 6});
    ASSERT_EQ(receiver.calls, 2);
    EXPECT_EQ(receiver.lastCount, 4);
    EXPECT_EQ(receiver.received, std::vector<std::string>{"fast"});
}

TEST_F(DropTargetTest, DataOfNoUseIsRefusedWithoutACall) {
    const auto drops = DropRegistration::attach(window, &receiver);
    ASSERT_NE(drops, nullptr);
    const std::vector<DWORD> none(3, DROPEFFECT_NONE);

    DataObject picture;
    picture.add(CF_DIB, blockOf("BM", 2));
    EXPECT_EQ(dragAndDrop(drops->target(), &picture, MK_CONTROL, {1, 1}), none);

    // A list whose names run past the end of its block, and one that points outside it.
    DataObject unended;
    HGLOBAL cut = fileList({L"C:\\a.fxp"});
    unended.add(CF_HDROP, blockOf(GlobalLock(cut), sizeof(DROPFILES) + 4));
    GlobalUnlock(cut);
    GlobalFree(cut);
    dragAndDrop(drops->target(), &unended, 0, {1, 1});
    DROPFILES outside{};
    outside.pFiles = 4096;
    DataObject pointsOutside;
    pointsOutside.add(CF_HDROP, blockOf(&outside, sizeof outside));
    dragAndDrop(drops->target(), &pointsOutside, 0, {1, 1});

    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(drops->target()->DragEnter(nullptr, 0, {1, 1}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(drops->target()->DragOver(0, {1, 1}, nullptr), E_INVALIDARG);
    EXPECT_EQ(receiver.calls, 0);
}

TEST_F(DropTargetTest, RegistrationsLeaveNothingBehind) {
    for (int cycle = 0; cycle < 200; ++cycle) {
        const auto drops = DropRegistration::attach(window, &receiver);
        ASSERT_NE(drops, nullptr) << cycle;
        ASSERT_EQ(liveDropTargets(), 1);
    }
    EXPECT_EQ(liveDropTargets(), 0);
    EXPECT_EQ(RevokeDragDrop(window), DRAGDROP_E_NOTREGISTERED);

    // A target someone still holds outlives its registration but reaches no receiver.
    IDropTarget* held = nullptr;
    {
        const auto drops = DropRegistration::attach(window, &receiver);
        ASSERT_NE(drops, nullptr);
        held = drops->target();
        held->AddRef();
    }
    EXPECT_EQ(liveDropTargets(), 1);
    DataObject text;
    text.add(CF_TEXT, blockOf("late", 5));
    EXPECT_EQ(dragAndDrop(held, &text, 0, {1, 1}), std::vector<DWORD>(3, DROPEFFECT_NONE));
    EXPECT_EQ(receiver.calls, 0);
    held->Release();
    EXPECT_EQ(liveDropTargets(), 0);

    // Every OLE initialisation was paired: the thread is free to join another apartment.
    const HRESULT freed = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(freed, S_OK);
    if (SUCCEEDED(freed)) CoUninitialize();
}

TEST_F(DropTargetTest, AMultithreadedHostThreadWorksWithoutDrops) {
    std::thread host([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(DropRegistration::attach(window, &receiver), nullptr);
        // Still the host's multithreaded apartment, not undone by the refused registration.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
    host.join();
    EXPECT_EQ(liveDropTargets(), 0);
}

}  // namespace
}  // namespace flanger::platform::win32
