// The OLE drop target: which data it takes, the effect it shows, reading dropped text and file
// lists within the bounds of their memory blocks, and shortcuts resolved through the shell.
#include "platform/win32/Win32DropTarget.h"

// windows.h before the headers that build on it.
#include <windows.h>

#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace flanger::platform::win32 {
namespace {

std::atomic<int> dropTargets{0};

// Longest the shell may search for a moved shortcut target while the user waits on the drop.
constexpr DWORD kResolveTimeoutMs = 500;

enum class Offer { Nothing, Files, Text };

FORMATETC globalMemory(CLIPFORMAT format) noexcept {
    return {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

bool offers(IDataObject* data, CLIPFORMAT format) noexcept {
    FORMATETC wanted = globalMemory(format);
    return data->QueryGetData(&wanted) == S_OK;
}

Offer offerOf(IDataObject* data) noexcept {
    if (data == nullptr) return Offer::Nothing;
    if (offers(data, CF_UNICODETEXT) || offers(data, CF_TEXT)) return Offer::Text;
    if (offers(data, CF_HDROP)) return Offer::Files;
    return Offer::Nothing;
}

// One format's global memory block from the source, locked for reading while this lives. Empty
// when the source has none or hands it over in another medium.
class SourceBlock {
public:
    SourceBlock(IDataObject* data, CLIPFORMAT format) noexcept {
        FORMATETC wanted = globalMemory(format);
        if (FAILED(data->GetData(&wanted, &medium))) return;
        obtained = true;
        if (medium.tymed != TYMED_HGLOBAL || medium.hGlobal == nullptr) return;
        bytes = static_cast<const unsigned char*>(GlobalLock(medium.hGlobal));
        if (bytes != nullptr) size = GlobalSize(medium.hGlobal);
    }
    ~SourceBlock() {
        if (bytes != nullptr) GlobalUnlock(medium.hGlobal);
        if (obtained) ReleaseStgMedium(&medium);
    }
    SourceBlock(const SourceBlock&) = delete;
    SourceBlock& operator=(const SourceBlock&) = delete;

    STGMEDIUM medium{};
    bool obtained = false;
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;  // GlobalSize: may run past the data, never short of it
};

// Unpaired surrogates fail rather than turn into a name that opens nothing.
bool toUtf8(const std::wstring& text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    // Up to three bytes for each UTF-16 unit: the result's length must fit an int.
    if (text.size() > static_cast<std::size_t>(INT_MAX / 3)) return false;
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    out.resize(static_cast<std::size_t>(length));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                               out.data(), length, nullptr, nullptr) == length;
}

// Text need not end inside its block: it ends at the first terminator or the block's end.
bool readText(IDataObject* data, std::string& out) {
    {
        const SourceBlock block(data, CF_UNICODETEXT);
        if (block.bytes != nullptr) {
            std::wstring text(block.size / sizeof(WCHAR), L'\0');
            std::memcpy(text.data(), block.bytes, text.size() * sizeof(WCHAR));
            text.resize(std::min(text.size(), text.find(L'\0')));
            if (toUtf8(text, out)) return true;
        }
    }
    const SourceBlock block(data, CF_TEXT);
    if (block.bytes == nullptr) return false;
    const char* ansi = reinterpret_cast<const char*>(block.bytes);
    const std::size_t length = strnlen(ansi, block.size);
    out.clear();
    if (length == 0) return true;
    if (length > INT_MAX) return false;
    const int wide = MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length), nullptr, 0);
    if (wide <= 0) return false;
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length), text.data(), wide) != wide)
        return false;
    return toUtf8(text, out);
}

// DragQueryFileW walks the list trusting its layout: the names must lie inside the block and the
// list end there with its empty name. The number of names, or −1 when the list breaks that.
int namesInFileList(const unsigned char* bytes, std::size_t size) noexcept {
    DROPFILES header;
    if (bytes == nullptr || size < sizeof header) return -1;
    std::memcpy(&header, bytes, sizeof header);
    if (header.pFiles < sizeof header || header.pFiles > size) return -1;
    const std::size_t unit = header.fWide ? sizeof(WCHAR) : 1;
    int names = 0;
    bool atNameStart = true;
    for (std::size_t at = header.pFiles; at + unit <= size; at += unit) {
        const bool terminator = bytes[at] == 0 && (unit == 1 || bytes[at + 1] == 0);
        if (!terminator) {
            atNameStart = false;
        } else if (atNameStart) {
            return names;
        } else {
            ++names;
            atNameStart = true;
        }
    }
    return -1;
}

// After the last dot, as the shell decides a file is a shortcut; "a.lnk.txt" is not one.
bool isShortcut(const std::wstring& name) noexcept {
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || name.size() - dot != 4) return false;
    const wchar_t* expected = L"lnk";
    for (std::size_t i = 0; i < 3; ++i) {
        wchar_t c = name[dot + 1 + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != expected[i]) return false;
    }
    return true;
}

// The shortcut's target in its short form, searched for without any dialog; false when the
// shortcut cannot be read or names no file.
bool resolveShortcut(HWND window, const std::wstring& shortcut, std::wstring& target) noexcept {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        link == nullptr)
        return false;
    bool resolved = false;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        file != nullptr) {
        if (SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ))) {
            // A target that moved and was not found keeps the path the shortcut recorded.
            link->Resolve(window, SLR_NO_UI | (kResolveTimeoutMs << 16));
            WCHAR path[kMaxDroppedName] = {};
            const std::size_t room = sizeof path / sizeof path[0];
            if (link->GetPath(path, static_cast<int>(room), nullptr, SLGP_SHORTPATH) == S_OK) {
                const std::size_t length = wcsnlen(path, room);
                // A full buffer may hold a cut path.
                if (length > 0 && length < room - 1) {
                    try {
                        target.assign(path, length);
                        resolved = true;
                    } catch (...) {
                        resolved = false;
                    }
                }
            }
        }
        file->Release();
    }
    link->Release();
    return resolved;
}

// The names in order, each in UTF-8 within kMaxDroppedName bytes with its terminator; a shortcut
// becomes its target, or stays itself when that cannot be found. Unusable names are left out.
std::vector<std::string> readFileNames(HWND window, IDataObject* data) {
    std::vector<std::string> names;
    const SourceBlock block(data, CF_HDROP);
    const int listed = namesInFileList(block.bytes, block.size);
    if (listed <= 0) return names;
    HDROP drop = reinterpret_cast<HDROP>(block.medium.hGlobal);
    const UINT counted = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    const UINT count = counted < static_cast<UINT>(listed) ? counted : static_cast<UINT>(listed);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0 || length > block.size) continue;
        std::vector<WCHAR> buffer(length + 1, L'\0');
        if (DragQueryFileW(drop, i, buffer.data(), length + 1) != length) continue;
        std::wstring name(buffer.data(), length);
        std::wstring target;
        if (isShortcut(name) && resolveShortcut(window, name, target)) name = target;
        std::string utf8;
        if (!toUtf8(name, utf8) || utf8.size() >= kMaxDroppedName || utf8.find('\0') != std::string::npos)
            continue;
        names.push_back(std::move(utf8));
    }
    return names;
}

}  // namespace

// Lives as long as anyone holds a reference: OLE, a drag source in progress, the registration.
// The registration detaches the receiver first, so late calls reach no one. COM interfaces have
// no destructor by design: the object deletes itself in Release, never through the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class DropTarget final : public IDropTarget {
public:
    DropTarget(HWND target, DropEvents* events) noexcept : window(target), receiver(events) {
        dropTargets.fetch_add(1, std::memory_order_relaxed);
    }

    void detach() noexcept {
        receiver = nullptr;
        offer = Offer::Nothing;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override {
        return references.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL /*point*/,
                                        DWORD* effect) noexcept override {
        offer = receiver != nullptr ? offerOf(data) : Offer::Nothing;
        return DragOver(keys, {}, effect);
    }

    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL /*point*/, DWORD* effect) noexcept override {
        if (effect == nullptr) return E_INVALIDARG;
        if (offer == Offer::Nothing || receiver == nullptr)
            *effect = DROPEFFECT_NONE;
        else
            *effect = (keys & MK_CONTROL) != 0 ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DragLeave() noexcept override {
        offer = Offer::Nothing;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD /*keys*/, POINTL point,
                                   DWORD* effect) noexcept override {
        offer = Offer::Nothing;
        if (effect == nullptr) return E_INVALIDARG;
        *effect = DROPEFFECT_NONE;
        if (data == nullptr || receiver == nullptr) return S_OK;
        bool taken = false;
        try {
            taken = deliver(data, {static_cast<int>(point.x), static_cast<int>(point.y)});
        } catch (...) {
            taken = false;
        }
        // Only the names and text were read: a move would tell the source to delete its original.
        *effect = taken ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }

private:
    ~DropTarget() { dropTargets.fetch_sub(1, std::memory_order_relaxed); }

    bool deliver(IDataObject* data, ScreenPoint where) {
        std::string text;
        if (readText(data, text)) {
            if (text.empty() || text.size() > INT_MAX) return false;
            const char* item = text.c_str();
            return receiver->onDrop(&item, static_cast<int>(text.size()), 1, where);
        }
        const std::vector<std::string> names = readFileNames(window, data);
        if (names.empty()) return false;
        std::vector<const char*> items;
        for (const std::string& name : names) items.push_back(name.c_str());
        return receiver->onDrop(items.data(), static_cast<int>(items.size()), 0, where);
    }

    HWND window;
    DropEvents* receiver;
    Offer offer = Offer::Nothing;
    std::atomic<ULONG> references{1};  // COM's count; OLE calls on the window's thread only
};
#pragma GCC diagnostic pop

std::unique_ptr<DropRegistration> DropRegistration::attach(void* window, DropEvents* receiver) noexcept {
    HWND handle = static_cast<HWND>(window);
    if (handle == nullptr || receiver == nullptr || IsWindow(handle) == FALSE) return nullptr;
    // S_FALSE (already initialised on this thread) is paired like S_OK; RPC_E_CHANGED_MODE, a
    // thread the host made multithreaded, must not be.
    if (FAILED(OleInitialize(nullptr))) return nullptr;
    DropTarget* target = new (std::nothrow) DropTarget(handle, receiver);
    if (target == nullptr) {
        OleUninitialize();
        return nullptr;
    }
    if (FAILED(RegisterDragDrop(handle, target))) {
        target->Release();
        OleUninitialize();
        return nullptr;
    }
    std::unique_ptr<DropRegistration> registration(new (std::nothrow) DropRegistration(handle, target));
    if (registration == nullptr) {
        RevokeDragDrop(handle);
        target->Release();
        OleUninitialize();
    }
    return registration;
}

DropRegistration::DropRegistration(void* target, DropTarget* dropTarget) noexcept
    : window(target), registered(dropTarget) {}

DropRegistration::~DropRegistration() {
    registered->detach();
    RevokeDragDrop(static_cast<HWND>(window));
    registered->Release();
    OleUninitialize();
}

IDropTarget* DropRegistration::target() const noexcept {
    return registered;
}

int liveDropTargets() noexcept {
    return dropTargets.load(std::memory_order_relaxed);
}

}  // namespace flanger::platform::win32
