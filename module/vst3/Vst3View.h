// The flanger's editor as a VST3 view: the same editor the VST 2.x module opens, in the host's
// window. On Linux the host's run loop idles it (a timer) and delivers its X connection's events
// (a file descriptor handler); on Windows a timer of its own thread does.
#pragma once

#include <atomic>
#include <cstdint>

#include "module/vst3/Vst3Interface.h"
#if defined(_WIN32)
#include "platform/win32/Win32IdleTimer.h"
#endif

namespace flanger::host {
class EditorBase;
}

namespace flanger::vst3 {

class FlangerVst3;

class FlangerView final : public IPlugView,
                          public IPlugViewContentScaleSupport
#if !defined(_WIN32)
    ,
                          public ITimerHandler,
                          public IEventHandler
#endif
{
public:
    static constexpr uint64_t kIdlePeriodMs = 20;

    static FlangerView* create(FlangerVst3* owner) noexcept;

    // The editor asks for another size: the host's frame decides.
    bool resizeTo(int32_t width, int32_t height) noexcept;
    static bool resizeHook(void* self, int32_t width, int32_t height) noexcept;

    tresult VST3_CALL queryInterface(const TUID iid, void** object) override;
    uint32_t VST3_CALL addRef() override;
    uint32_t VST3_CALL release() override;

    tresult VST3_CALL isPlatformTypeSupported(FIDString type) override;
    tresult VST3_CALL attached(void* parent, FIDString type) override;
    tresult VST3_CALL removed() override;
    tresult VST3_CALL onWheel(float distance) override;
    tresult VST3_CALL onKeyDown(char16 key, int16_t keyCode, int16_t modifiers) override;
    tresult VST3_CALL onKeyUp(char16 key, int16_t keyCode, int16_t modifiers) override;
    tresult VST3_CALL getSize(ViewRect* size) override;
    tresult VST3_CALL onSize(ViewRect* newSize) override;
    tresult VST3_CALL onFocus(TBool state) override;
    tresult VST3_CALL setFrame(IPlugFrame* frame) override;
    tresult VST3_CALL canResize() override;
    tresult VST3_CALL checkSizeConstraint(ViewRect* rect) override;

    tresult VST3_CALL setContentScaleFactor(float factor) override;

#if !defined(_WIN32)
    void VST3_CALL onTimer() override;
    void VST3_CALL onFDIsSet(int fd) override;
#endif

private:
    explicit FlangerView(FlangerVst3* owner) noexcept;
    ~FlangerView();
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) noexcept;
    void idle() noexcept;
    void detach() noexcept;
    host::EditorBase* editor() noexcept;  // the effect's, or null

    std::atomic<uint32_t> references{1};  // any thread the host holds the view on
    FlangerVst3* plugin;                  // held for the view's life
    IPlugFrame* frame = nullptr;          // the host's, not held: it outlives the attachment
    bool open = false;
#if defined(_WIN32)
    platform::win32::IdleTimer timer;
#else
    IRunLoop* runLoop = nullptr;
    int connectionFd = -1;
#endif
};

}  // namespace flanger::vst3
