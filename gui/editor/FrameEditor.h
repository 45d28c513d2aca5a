// The editor base that owns the root view: reports its rectangle, passes keys, wheel turns and
// idle time to the frame, throttles redrawing during control drags and keeps the host's idle
// running meanwhile. The window platform is opened per open editor and closed with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "gui/FrameView.h"
#include "gui/menu/ChoiceMenu.h"
#include "host/EditorBase.h"
#include "platform/Platform.h"

namespace flanger::gui::editor {

using host::EditorBase;
using host::ExtendedEffect;

// Opens the window platform an editor uses while it is open; module/ hands in its window
// system's. Without one, editors use platform::currentPlatform() (a headless one in tests).
using PlatformOpener = std::unique_ptr<platform::Platform> (*)() noexcept;

class FrameEditor : public EditorBase, public gui::ViewEditor {
public:
    explicit FrameEditor(ExtendedEffect* owner, PlatformOpener opener = nullptr);
    ~FrameEditor() override;

    int32_t editorRect(vst::ERect** rect) override;
    int32_t open(void* parent) override;
    void idle() override;
    int32_t keyDown(const vst::VstKeyCode& key) override;
    int32_t keyUp(const vst::VstKeyCode& key) override;
    int32_t selectKnobMode(intptr_t mode) override;
    bool wheel(float distance) override;
    void parameterChanged(int32_t index, float normalised) override;
    void redraw() override;
    void dragRefresh() override;

    // Edit reports of the frame, to the host's begin/end-edit requests.
    void beginEdit(int32_t parameterIndex) override;
    void endEdit(int32_t parameterIndex) override;

    // The editor's size. The host's word wins (setHostScale), then the user's choice from the
    // size menu (saved for every instance), then the desktop's scale, else 100 %; always one of
    // the offered scales. A change while open applies at the next idle when the host's window
    // takes the new size, else at the next open. From the thread that runs the editor the change
    // applies at once; from any other, at the editor's next idle.
    void setHostScale(int32_t percent) override;
    // The scale the open frame draws at, else the one the editor would open at now.
    int32_t editorScale();
    int32_t hostScale() const noexcept { return hostPercent.load(std::memory_order_relaxed); }
    // The user's pick from the size menu: saved for every instance and applied here.
    void chooseUserScale(int32_t percent);
    // The size menu (a secondary-button press on the title or the bare panel).
    bool openEditorMenu(gui::Canvas& canvas, gui::Point where) override;

    gui::FrameView* frameView() const noexcept { return frame; }
    const vst::ERect& rectangle() const noexcept { return rect; }  // logical
    bool inHostIdle() const noexcept { return hostIdleRunning; }
    uint32_t nextDueTick() const noexcept { return nextDue; }

protected:
    // Opens the platform and builds the frame of this size in the stored parent window; false
    // (nothing left behind) when the parent cannot take a child window.
    bool createFrame(const gui::Rect& size);
    // Destroys the frame and its views, then closes the platform.
    void destroyFrame() noexcept;
    platform::Platform& livePlatform() noexcept;

    vst::ERect rect{0, 0, 0, 0};     // logical: the editor's size at 100 %
    gui::menu::PopupLook popupLook;  // the size menu's look; editors give it their skin's
    gui::FrameView* frame = nullptr;
    uint32_t nextDue = 0;
    bool hostIdleRunning = false;

private:
    int32_t chooseScale();
    int32_t desktopScale();
    // Rebuilds the open editor at the scale now chosen, in the same native window.
    void applyScaleChange();
    bool askHostForSize(int32_t width, int32_t height);

    PlatformOpener openPlatform = nullptr;
    vst::ERect shownRect{0, 0, 0, 0};  // rect at the editor's scale, as hosts are told
    // Written by whichever host thread passes the host's scale, read by the editor's thread.
    std::atomic<int32_t> hostPercent{0};
    int32_t desktopPercent = -1;  // -1: not read yet
    // Raised by the host's scale or the size menu (after the value is stored), taken by the idle.
    std::atomic<bool> rescalePending{false};
    // The thread that last opened the frame: only it touches the frame. Written and read by host threads.
    std::atomic<std::thread::id> frameThread{};
    // While the open editor is rebuilt at another scale, its platform and window are kept.
    bool rebuilding = false;
    std::unique_ptr<platform::Window> keptWindow;
    std::unique_ptr<platform::Platform> ownPlatform;
    bool pumping = false;  // delivering window events: a drag loop inside must not pump again
    // The host closed the editor from inside a drag or popup loop of the frame: the loop is told
    // to end, and the frame goes once the loop has returned.
    bool closePending = false;
    bool popupsTaken = false;  // this editor holds the thread's window-system popup presenter
};

}  // namespace flanger::gui::editor
