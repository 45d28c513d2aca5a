// The CLAP GUI: opens, idles and closes the effect's editor through the effect's editor calls,
// and answers the gui, timer and descriptor calls hosts make in any order.
#include "module/clap/ClapEditor.h"

#include <cstring>
#include <new>

#include "host/EditorBase.h"
#include "host/EffectBase.h"
#include "host/VstInterface.h"
#include "module/EditorChoice.h"
#include "module/clap/ClapPlugin.h"

namespace flanger::clap {

namespace {

#if defined(_WIN32)
constexpr const char* kOwnApi = kWindowApiWin32;
#else
constexpr const char* kOwnApi = kWindowApiX11;
#endif

host::EditorBase* effectEditor(FlangerClap& plugin) noexcept {
    host::EffectBase* effect = host::EffectBase::fromRecord(plugin.record());
    return effect != nullptr ? effect->editorPointer() : nullptr;
}

// The editor's rectangle at its scale, as the effect reports it before and after opening.
bool editorSize(FlangerClap& plugin, uint32_t& width, uint32_t& height) noexcept {
    vst::EffectRecord* record = plugin.record();
    vst::ERect* rect = nullptr;
    if (record->dispatcher(record, vst::effEditGetRect, 0, 0, &rect, 0.0f) == 0 || rect == nullptr)
        return false;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return false;
    width = static_cast<uint32_t>(rect->right - rect->left);
    height = static_cast<uint32_t>(rect->bottom - rect->top);
    return true;
}

bool CLAP_CALL guiIsApiSupported(const clap_plugin* plugin, const char* api, bool isFloating) {
    return FlangerClap::from(plugin) != nullptr && api != nullptr && std::strcmp(api, kOwnApi) == 0 &&
           !isFloating;
}

bool CLAP_CALL guiPreferredApi(const clap_plugin* plugin, const char** api, bool* isFloating) {
    if (FlangerClap::from(plugin) == nullptr || api == nullptr || isFloating == nullptr) return false;
    *api = kOwnApi;
    *isFloating = false;
    return true;
}

bool CLAP_CALL guiCreate(const clap_plugin* plugin, const char* api, bool isFloating) {
    FlangerClap* self = FlangerClap::from(plugin);
    if (self == nullptr || !guiIsApiSupported(plugin, api, isFloating) || self->editor != nullptr)
        return false;
    if (effectEditor(*self) == nullptr) return false;
#if !defined(_WIN32)
    // Only the host's timer and descriptor watch run the editor: without either it would never paint.
    const auto* timers = static_cast<const clap_host_timer_support*>(self->hostExtension(kExtTimerSupport));
    const auto* fds = static_cast<const clap_host_posix_fd_support*>(self->hostExtension(kExtPosixFdSupport));
    if (timers == nullptr || timers->registerTimer == nullptr || timers->unregisterTimer == nullptr ||
        fds == nullptr || fds->registerFd == nullptr || fds->unregisterFd == nullptr)
        return false;
#endif
    self->editor = new (std::nothrow) ClapEditor(*self);
    return self->editor != nullptr;
}

void CLAP_CALL guiDestroy(const clap_plugin* plugin) {
    FlangerClap* self = FlangerClap::from(plugin);
    if (self == nullptr) return;
    delete self->editor;
    self->editor = nullptr;
}

// Before or after create; the size follows, and an open editor asks the host for its new size.
bool CLAP_CALL guiSetScale(const clap_plugin* plugin, double scale) {
    FlangerClap* self = FlangerClap::from(plugin);
    host::EditorBase* shown = self != nullptr ? effectEditor(*self) : nullptr;
    const int32_t percent = host::hostScalePercent(scale);
    if (shown == nullptr || percent == 0) return false;
    shown->setHostScale(percent);
    return true;
}

bool CLAP_CALL guiGetSize(const clap_plugin* plugin, uint32_t* width, uint32_t* height) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && width != nullptr && height != nullptr && editorSize(*self, *width, *height);
}

bool CLAP_CALL guiCanResize(const clap_plugin*) {
    return false;  // the size follows the scale only
}

bool CLAP_CALL guiResizeHints(const clap_plugin* plugin, clap_gui_resize_hints* hints) {
    if (FlangerClap::from(plugin) == nullptr || hints == nullptr) return false;
    *hints = clap_gui_resize_hints{false, false, true, 0, 0};
    uint32_t width = 0, height = 0;
    if (editorSize(*FlangerClap::from(plugin), width, height)) {
        hints->aspectRatioWidth = width;
        hints->aspectRatioHeight = height;
    }
    return true;
}

// Any size asked for becomes the one the editor has.
bool CLAP_CALL guiAdjustSize(const clap_plugin* plugin, uint32_t* width, uint32_t* height) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && width != nullptr && height != nullptr && editorSize(*self, *width, *height);
}

bool CLAP_CALL guiSetSize(const clap_plugin* plugin, uint32_t width, uint32_t height) {
    FlangerClap* self = FlangerClap::from(plugin);
    uint32_t own = 0, ownHeight = 0;
    return self != nullptr && editorSize(*self, own, ownHeight) && own == width && ownHeight == height;
}

bool CLAP_CALL guiSetParent(const clap_plugin* plugin, const clap_window* window) {
    FlangerClap* self = FlangerClap::from(plugin);
    if (self == nullptr || self->editor == nullptr || window == nullptr || window->api == nullptr ||
        std::strcmp(window->api, kOwnApi) != 0)
        return false;
    return self->editor->attach(*window);
}

bool CLAP_CALL guiSetTransient(const clap_plugin*, const clap_window*) {
    return false;  // embedded only
}

void CLAP_CALL guiSuggestTitle(const clap_plugin*, const char*) {}

bool CLAP_CALL guiShow(const clap_plugin* plugin) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && self->editor != nullptr;
}

bool CLAP_CALL guiHide(const clap_plugin* plugin) {
    FlangerClap* self = FlangerClap::from(plugin);
    return self != nullptr && self->editor != nullptr;
}

const clap_plugin_gui kGui{guiIsApiSupported, guiPreferredApi, guiCreate,       guiDestroy,    guiSetScale,
                           guiGetSize,        guiCanResize,    guiResizeHints,  guiAdjustSize, guiSetSize,
                           guiSetParent,      guiSetTransient, guiSuggestTitle, guiShow,       guiHide};

void CLAP_CALL timerFired(const clap_plugin* plugin, clap_id id) {
    FlangerClap* self = FlangerClap::from(plugin);
    if (self != nullptr && self->editor != nullptr) self->editor->onTimer(id);
}

const clap_plugin_timer_support kTimers{timerFired};

void CLAP_CALL fdReady(const clap_plugin* plugin, int fd, uint32_t) {
    FlangerClap* self = FlangerClap::from(plugin);
    if (self != nullptr && self->editor != nullptr) self->editor->onFd(fd);
}

const clap_plugin_posix_fd_support kFds{fdReady};

}  // namespace

const void* editorExtension(const char* id) noexcept {
    if (std::strcmp(id, kExtGui) == 0) return &kGui;
#if !defined(_WIN32)
    if (std::strcmp(id, kExtTimerSupport) == 0) return &kTimers;
    if (std::strcmp(id, kExtPosixFdSupport) == 0) return &kFds;
#else
    (void)kTimers;
    (void)kFds;
#endif
    return nullptr;
}

ClapEditor::ClapEditor(FlangerClap& owner) noexcept : plugin(owner) {
    // One editor at a time: the editor's size changes go to this one's host.
    if (host::EditorBase* shown = effectEditor(plugin); shown != nullptr)
        shown->setResizeHook(&resizeHook, this);
}

ClapEditor::~ClapEditor() {
    detach();
    if (host::EditorBase* shown = effectEditor(plugin); shown != nullptr)
        shown->setResizeHook(nullptr, nullptr);
}

intptr_t ClapEditor::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr) noexcept {
    vst::EffectRecord* record = plugin.record();
    return record->dispatcher(record, opcode, index, value, ptr, 0.0f);
}

bool ClapEditor::attach(const clap_window& window) noexcept {
    if (open) return false;
#if defined(_WIN32)
    void* parent = window.win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window.x11));
#endif
    if (parent == nullptr || dispatch(vst::effEditOpen, 0, 0, parent) == 0) return false;
    open = true;
#if defined(_WIN32)
    // An editor nothing idles would never paint: without its timer it does not open.
    if (!timer.start(
            static_cast<int>(kIdlePeriodMs),
            [](void* self) noexcept { static_cast<ClapEditor*>(self)->idle(); }, this)) {
        detach();
        return false;
    }
#else
    const clap_host* host = plugin.host();
    const auto* timers = static_cast<const clap_host_timer_support*>(plugin.hostExtension(kExtTimerSupport));
    const auto* fds =
        static_cast<const clap_host_posix_fd_support*>(plugin.hostExtension(kExtPosixFdSupport));
    clap_id id = kInvalidId;
    if (timers == nullptr || timers->registerTimer == nullptr ||
        !timers->registerTimer(host, kIdlePeriodMs, &id) || id == kInvalidId) {
        detach();
        return false;
    }
    timerId = id;
    const int fd = module::editorConnectionFd(plugin.record());
    if (fd >= 0 && fds != nullptr && fds->registerFd != nullptr &&
        fds->registerFd(host, fd, kFdRead | kFdError))
        connectionFd = fd;
#endif
    return true;
}

void ClapEditor::detach() noexcept {
    if (!open) return;
#if defined(_WIN32)
    timer.stop();
#else
    const clap_host* host = plugin.host();
    if (timerId != kInvalidId) {
        const auto* timers =
            static_cast<const clap_host_timer_support*>(plugin.hostExtension(kExtTimerSupport));
        if (timers != nullptr && timers->unregisterTimer != nullptr) timers->unregisterTimer(host, timerId);
        timerId = kInvalidId;
    }
    if (connectionFd >= 0) {
        const auto* fds =
            static_cast<const clap_host_posix_fd_support*>(plugin.hostExtension(kExtPosixFdSupport));
        if (fds != nullptr && fds->unregisterFd != nullptr) fds->unregisterFd(host, connectionFd);
        connectionFd = -1;
    }
#endif
    dispatch(vst::effEditClose);
    open = false;
}

void ClapEditor::idle() noexcept {
    if (!open) return;
    dispatch(vst::effEditIdle);
    // The main thread is here anyway: values a program or a state changed reach the host now,
    // whether or not it ever answers the plug-in's callback request.
    plugin.onMainThread();
}

void ClapEditor::onTimer(clap_id id) noexcept {
#if !defined(_WIN32)
    if (id != timerId) return;
#else
    (void)id;
#endif
    idle();
}

void ClapEditor::onFd(int fd) noexcept {
#if !defined(_WIN32)
    if (fd != connectionFd) return;
#else
    (void)fd;
#endif
    idle();
}

bool ClapEditor::resizeTo(int32_t width, int32_t height) noexcept {
    const auto* gui = static_cast<const clap_host_gui*>(plugin.hostExtension(kExtGui));
    if (gui == nullptr || gui->requestResize == nullptr || width <= 0 || height <= 0) return false;
    return gui->requestResize(plugin.host(), static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

bool ClapEditor::resizeHook(void* self, int32_t width, int32_t height) noexcept {
    return static_cast<ClapEditor*>(self)->resizeTo(width, height);
}

}  // namespace flanger::clap
