// The VST3 view: opens, idles and closes the effect's editor through the effect's editor calls.
#include "module/vst3/Vst3View.h"

#include <cstring>
#include <new>

#include "host/EditorBase.h"
#include "host/EffectBase.h"
#include "host/VstInterface.h"
#include "module/EditorChoice.h"
#include "module/vst3/Vst3Plugin.h"

namespace flanger::vst3 {

namespace {

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

// The effect's vendor message that carries a wheel turn to its editor.
constexpr int32_t kWheelIndex = vst::fourCharacters('s', 't', 'C', 'A');
constexpr intptr_t kWheelValue = vst::fourCharacters('W', 'h', 'e', 'e');

}  // namespace

FlangerView::FlangerView(FlangerVst3* owner) noexcept : plugin(owner) {
    plugin->addRef();
    // The plug-in makes one view at a time, so the editor's size changes go to this one's frame.
    if (host::EditorBase* shown = editor(); shown != nullptr) shown->setResizeHook(&resizeHook, this);
}

FlangerView::~FlangerView() {
    detach();
    if (host::EditorBase* shown = editor(); shown != nullptr) shown->setResizeHook(nullptr, nullptr);
    plugin->viewClosed(this);
    plugin->release();
}

FlangerView* FlangerView::create(FlangerVst3* owner) noexcept {
    if (owner == nullptr) return nullptr;
    return new (std::nothrow) FlangerView(owner);
}

host::EditorBase* FlangerView::editor() noexcept {
    host::EffectBase* effect = host::EffectBase::fromRecord(plugin->record());
    return effect != nullptr ? effect->editorPointer() : nullptr;
}

intptr_t FlangerView::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) noexcept {
    vst::EffectRecord* record = plugin->record();
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

tresult FlangerView::queryInterface(const TUID iid, void** object) {
    if (object == nullptr) return kInvalidArgument;
    *object = nullptr;
    if (sameUid(iid, kFUnknownIid) || sameUid(iid, kPlugViewIid))
        *object = static_cast<IPlugView*>(this);
    else if (sameUid(iid, kContentScaleIid))
        *object = static_cast<IPlugViewContentScaleSupport*>(this);
#if !defined(_WIN32)
    else if (sameUid(iid, kTimerHandlerIid))
        *object = static_cast<ITimerHandler*>(this);
    else if (sameUid(iid, kEventHandlerIid))
        *object = static_cast<IEventHandler*>(this);
#endif
    else
        return kNoInterface;
    addRef();
    return kResultOk;
}

uint32_t FlangerView::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t FlangerView::release() {
    const uint32_t left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

tresult FlangerView::isPlatformTypeSupported(FIDString type) {
    return type != nullptr && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
}

tresult FlangerView::attached(void* parent, FIDString type) {
    if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue) return kInvalidArgument;
    if (open) return kResultFalse;
    if (dispatch(vst::effEditOpen, 0, 0, parent) == 0) return kResultFalse;
    open = true;
#if defined(_WIN32)
    // An editor nothing idles would never paint: without its timer it does not open.
    if (!timer.start(
            static_cast<int>(kIdlePeriodMs),
            [](void* self) noexcept { static_cast<FlangerView*>(self)->idle(); }, this)) {
        dispatch(vst::effEditClose);
        open = false;
        return kResultFalse;
    }
#else
    // The host's run loop is the only thing that runs the editor: no thread of its own.
    void* loop = nullptr;
    if (frame != nullptr && frame->queryInterface(kRunLoopIid.bytes, &loop) == kResultOk && loop != nullptr) {
        runLoop = static_cast<IRunLoop*>(loop);
        runLoop->registerTimer(static_cast<ITimerHandler*>(this), kIdlePeriodMs);
        connectionFd = module::editorConnectionFd(plugin->record());
        if (connectionFd >= 0) runLoop->registerEventHandler(static_cast<IEventHandler*>(this), connectionFd);
    }
#endif
    return kResultOk;
}

void FlangerView::detach() noexcept {
    if (!open) return;
#if defined(_WIN32)
    timer.stop();
#else
    if (runLoop != nullptr) {
        runLoop->unregisterTimer(static_cast<ITimerHandler*>(this));
        if (connectionFd >= 0) runLoop->unregisterEventHandler(static_cast<IEventHandler*>(this));
        runLoop->release();
        runLoop = nullptr;
    }
    connectionFd = -1;
#endif
    dispatch(vst::effEditClose);
    open = false;
}

tresult FlangerView::removed() {
    detach();
    return kResultOk;
}

void FlangerView::idle() noexcept {
    if (!open) return;
    dispatch(vst::effEditIdle);
    plugin->flushDisplayUpdates();
}

#if !defined(_WIN32)
void FlangerView::onTimer() {
    idle();
}

void FlangerView::onFDIsSet(int) {
    idle();
}
#endif

tresult FlangerView::onWheel(float distance) {
    if (!open) return kResultFalse;
    return dispatch(vst::effVendorSpecific, kWheelIndex, kWheelValue, nullptr, distance) != 0 ? kResultTrue
                                                                                              : kResultFalse;
}

// The two formats number their keys and modifiers alike, so keys pass through unchanged.
tresult FlangerView::onKeyDown(char16 key, int16_t keyCode, int16_t modifiers) {
    if (!open) return kResultFalse;
    return dispatch(vst::effEditKeyDown, key, keyCode, nullptr, modifiers) != 0 ? kResultTrue : kResultFalse;
}

tresult FlangerView::onKeyUp(char16 key, int16_t keyCode, int16_t modifiers) {
    if (!open) return kResultFalse;
    return dispatch(vst::effEditKeyUp, key, keyCode, nullptr, modifiers) != 0 ? kResultTrue : kResultFalse;
}

tresult FlangerView::getSize(ViewRect* size) {
    if (size == nullptr) return kInvalidArgument;
    vst::ERect* rect = nullptr;
    if (dispatch(vst::effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr) return kResultFalse;
    *size = ViewRect{0, 0, rect->right - rect->left, rect->bottom - rect->top};
    return kResultOk;
}

tresult FlangerView::onSize(ViewRect* newSize) {
    return newSize != nullptr ? kResultOk : kInvalidArgument;
}

tresult FlangerView::onFocus(TBool) {
    return kResultOk;
}

tresult FlangerView::setFrame(IPlugFrame* newFrame) {
    frame = newFrame;
    return kResultOk;
}

tresult FlangerView::canResize() {
    return kResultFalse;
}

tresult FlangerView::checkSizeConstraint(ViewRect* rect) {
    if (rect == nullptr) return kInvalidArgument;
    ViewRect fixed{};
    if (getSize(&fixed) != kResultOk) return kResultFalse;
    *rect = ViewRect{rect->left, rect->top, rect->left + fixed.right, rect->top + fixed.bottom};
    return kResultTrue;
}

// Before or while attached; the editor's rectangle (getSize) follows, and an open editor asks the
// frame for its new size itself.
tresult FlangerView::setContentScaleFactor(float factor) {
    const int32_t percent = host::hostScalePercent(factor);
    host::EditorBase* shown = editor();
    if (percent == 0 || shown == nullptr) return kResultFalse;
    shown->setHostScale(percent);
    return kResultTrue;
}

bool FlangerView::resizeTo(int32_t width, int32_t height) noexcept {
    if (frame == nullptr || width <= 0 || height <= 0) return false;
    ViewRect rect{0, 0, width, height};
    return frame->resizeView(this, &rect) == kResultTrue;
}

bool FlangerView::resizeHook(void* self, int32_t width, int32_t height) noexcept {
    return static_cast<FlangerView*>(self)->resizeTo(width, height);
}

}  // namespace flanger::vst3
