// The frame editor: open/close of the frame and its platform, idle with the in-host-idle guard,
// key and wheel routing, and the throttled refresh that runs inside control drags.
#include "gui/editor/FrameEditor.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "gui/KnobMode.h"
#include "gui/PixelScale.h"
#include "gui/menu/WindowPopupPresenter.h"
#include "host/ExtendedEffect.h"
#include "platform/UserSettings.h"

namespace flanger::gui::editor {

namespace {

// Tick comparison that survives the 49-day wrap of the millisecond count.
bool isBefore(uint32_t a, uint32_t b) noexcept {
    return static_cast<int32_t>(a - b) < 0;
}

gui::KeyCode toolkitKey(const vst::VstKeyCode& key) noexcept {
    return {key.character, key.virt, key.modifier};
}

}  // namespace

FrameEditor::FrameEditor(ExtendedEffect* owner, PlatformOpener opener)
    : EditorBase(owner), openPlatform(opener) {
    redrawRequested.store(0, std::memory_order_relaxed);
    if (effect != nullptr) effect->attachEditor(this);
    parentWindow = nullptr;
    nextDue = livePlatform().tickCountMs();
}

FrameEditor::~FrameEditor() {
    // Hosts should close first; an editor destroyed open takes its window down with it, even
    // from inside one of its loops (nothing can wait any longer).
    pumping = false;
    hostIdleRunning = false;
    destroyFrame();
}

platform::Platform& FrameEditor::livePlatform() noexcept {
    if (ownPlatform != nullptr) return *ownPlatform;
    if (frame != nullptr) return frame->windowPlatform();
    return platform::currentPlatform();
}

int32_t FrameEditor::editorRect(vst::ERect** out) {
    const gui::PixelScale scale{editorScale()};
    shownRect = {static_cast<int16_t>(scale.edge(rect.top)), static_cast<int16_t>(scale.edge(rect.left)),
                 static_cast<int16_t>(scale.edge(rect.bottom)), static_cast<int16_t>(scale.edge(rect.right))};
    if (out != nullptr) *out = &shownRect;
    return 1;
}

int32_t FrameEditor::desktopScale() {
    if (desktopPercent >= 0) return desktopPercent;
    const auto parent = reinterpret_cast<platform::NativeParent>(parentWindow);
    if (ownPlatform != nullptr) {
        desktopPercent = ownPlatform->desktopScalePercent(parent);
    } else if (frame != nullptr) {
        desktopPercent = frame->windowPlatform().desktopScalePercent(parent);
    } else if (openPlatform != nullptr) {
        // Asked for the size before the first open: the window system is opened only to read it.
        std::unique_ptr<platform::Platform> probe = openPlatform();
        desktopPercent = probe != nullptr ? probe->desktopScalePercent(parent) : 0;
    } else {
        desktopPercent = platform::currentPlatform().desktopScalePercent(parent);
    }
    if (desktopPercent < 0) desktopPercent = 0;
    return desktopPercent;
}

int32_t FrameEditor::chooseScale() {
    if (const int32_t host = hostPercent.load(std::memory_order_relaxed); host > 0)
        return gui::nearestOfferedScale(host);
    if (const int saved = platform::savedEditorScale(); saved > 0) return gui::nearestOfferedScale(saved);
    return gui::nearestOfferedScale(desktopScale());
}

int32_t FrameEditor::editorScale() {
    return frame != nullptr ? frame->pixelScale().percent : chooseScale();
}

void FrameEditor::setHostScale(int32_t percent) {
    hostPercent.store(percent > 0 ? percent : 0, std::memory_order_relaxed);
    rescalePending.store(true, std::memory_order_release);
    // Not from inside the frame's own event delivery (the frame is rebuilt), nor from a thread
    // that does not run the editor: those wait for the next idle.
    if (frameThread.load(std::memory_order_relaxed) == std::this_thread::get_id() && !pumping &&
        !hostIdleRunning)
        applyScaleChange();
}

void FrameEditor::chooseUserScale(int32_t percent) {
    if (hostScale() > 0) return;  // the host's word wins
    platform::saveEditorScale(gui::nearestOfferedScale(percent));
    // The menu runs inside the frame: at the next idle.
    if (frame != nullptr) rescalePending.store(true, std::memory_order_release);
}

bool FrameEditor::askHostForSize(int32_t width, int32_t height) {
    if (resizeHook != nullptr) return resizeHook(resizeContext, width, height);
    return effect != nullptr && effect->hostCanDo("sizeWindow") && effect->requestWindowSize(width, height);
}

void FrameEditor::applyScaleChange() {
    rescalePending.store(false, std::memory_order_relaxed);
    if (frame == nullptr || frame->nativeWindow() == nullptr || parentWindow == nullptr) return;
    const gui::PixelScale wanted{chooseScale()};
    if (wanted.percent == frame->pixelScale().percent) return;
    const int32_t width = wanted.edge(rect.right - rect.left), height = wanted.edge(rect.bottom - rect.top);
    // The host's window first, ours inside it; either refusing keeps the old size until the
    // next open.
    if (!askHostForSize(width, height)) return;
    if (!frame->nativeWindow()->resize(width, height)) return;
    keptWindow = frame->releaseWindow();
    rebuilding = true;
    void* parent = parentWindow;
    close();
    open(parent);
    rebuilding = false;
    if (keptWindow != nullptr) {
        // The rebuild failed before it took the window over.
        keptWindow.reset();
        gui::releaseWindowClass();
        if (ownPlatform != nullptr) {
            if (&platform::currentPlatform() == ownPlatform.get()) platform::setCurrentPlatform(nullptr);
            ownPlatform.reset();
        }
    }
    if (frame != nullptr) frame->paintView(nullptr);
}

bool FrameEditor::openEditorMenu(gui::Canvas& canvas, gui::Point where) {
    gui::menu::PopupPresenter* presenter = gui::menu::defaultPopupPresenter();
    if (presenter == nullptr || frame == nullptr) return false;
    const int32_t current = frame->pixelScale().percent;
    const bool hostDecides = hostScale() > 0;
    gui::menu::PopupTree tree;
    std::vector<gui::menu::PopupItem> lines;
    lines.push_back({gui::menu::PopupItem::Kind::Title, "Size"});
    for (const int offered : gui::kOfferedScales) {
        gui::menu::PopupItem line;
        line.label = std::to_string(offered) + " %";
        line.id = offered;
        line.checked = offered == current;
        if (hostDecides && !line.checked) line.kind = gui::menu::PopupItem::Kind::Greyed;
        lines.push_back(line);
    }
    if (hostDecides) lines.push_back({gui::menu::PopupItem::Kind::Greyed, "set by the host"});
    tree.menus.push_back(std::move(lines));
    tree.look = popupLook;
    tree.look.scalePercent = current;
    const gui::Point at = canvas.pixelScale().toPhysical(where);
    const gui::Point screen{canvas.windowOrigin().h + at.h, canvas.windowOrigin().v + at.v};
    bool wanted = true;
    const int32_t chosen = presenter->runFor({frame, &wanted}, tree, screen, true);
    if (frame != nullptr && frame->nativeWindow() != nullptr) frame->nativeWindow()->discardPendingButtons(2);
    if (chosen > 0 && chosen != current) chooseUserScale(chosen);
    return true;
}

int32_t FrameEditor::open(void* parent) {
    frameThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    requestRedraw();
    parentWindow = parent;
    return 0;
}

bool FrameEditor::createFrame(const gui::Rect& size) {
    // Opened again from inside a loop of the frame being closed: that frame cannot go yet.
    if (frame != nullptr && (pumping || hostIdleRunning)) return false;
    destroyFrame();  // a second open without a close replaces the first frame
    if (parentWindow == nullptr) return false;
    const auto parent = reinterpret_cast<platform::NativeParent>(parentWindow);
    if (keptWindow != nullptr) {
        // Rebuilt at another scale: the same platform and window, at the size they now have.
        platform::Platform& windowSystem =
            ownPlatform != nullptr ? *ownPlatform : platform::currentPlatform();
        auto* made = new (std::nothrow)
            gui::FrameView(size, &windowSystem, parent, this, chooseScale(), std::move(keptWindow));
        if (made == nullptr) return false;
        frame = made;
        if (windowSystem.offersPopups() && !popupsTaken) {
            gui::menu::acquireWindowPopups();
            popupsTaken = true;
        }
        return true;
    }
    if (openPlatform != nullptr) {
        ownPlatform = openPlatform();
        if (ownPlatform == nullptr) return false;  // no display to open on
    }
    platform::Platform& windowSystem = ownPlatform != nullptr ? *ownPlatform : platform::currentPlatform();
    desktopPercent = -1;  // read afresh from the window system now open
    auto* made = new (std::nothrow) gui::FrameView(size, &windowSystem, parent, this, chooseScale());
    if (made == nullptr || !made->hasWindow()) {
        if (made != nullptr) made->release();
        ownPlatform.reset();
        return false;
    }
    frame = made;
    // Canvases without a window (offscreen ones during drags) read the pointer through it.
    if (ownPlatform != nullptr) platform::setCurrentPlatform(ownPlatform.get());
    // Choice menus of this thread pop up in the window system's own popups while it is open.
    if (windowSystem.offersPopups()) {
        gui::menu::acquireWindowPopups();
        popupsTaken = true;
    }
    return true;
}

void FrameEditor::destroyFrame() noexcept {
    if (frame != nullptr && (pumping || hostIdleRunning)) {
        // Closed from the host idle a drag or popup loop asked for: the loop is still on the
        // stack. Ending the focus closes an open popup; no further events reach the frame; it
        // goes when the event delivery returns (idle) or at the next open or destruction.
        closePending = true;
        frame->setFocusView(nullptr);
        if (frame->nativeWindow() != nullptr) frame->nativeWindow()->setEventHandler(nullptr);
        return;
    }
    closePending = false;
    if (rebuilding) {
        // Keeps the platform, the popups and (taken already) the window for the rebuilt frame.
        if (frame != nullptr) {
            gui::FrameView* leaving = frame;
            frame = nullptr;
            leaving->release();
        }
        return;
    }
    if (popupsTaken) {
        gui::menu::releaseWindowPopups();
        popupsTaken = false;
    }
    if (frame != nullptr) {
        gui::FrameView* leaving = frame;
        frame = nullptr;
        leaving->release();
    }
    if (ownPlatform != nullptr) {
        if (&platform::currentPlatform() == ownPlatform.get()) platform::setCurrentPlatform(nullptr);
        ownPlatform.reset();
    }
}

void FrameEditor::idle() {
    // The host called back into the editor from inside the editor's own idle request.
    if (hostIdleRunning) return;
    if (frame != nullptr && !pumping) {
        // Nothing else pumps the editor's own connection: deliver its window events first.
        pumping = true;
        livePlatform().processEvents();
        pumping = false;
        if (closePending) {
            destroyFrame();
            return;
        }
    }
    if (!pumping && rescalePending.load(std::memory_order_acquire)) applyScaleChange();
    if (redrawRequested.exchange(0, std::memory_order_acq_rel) != 0) applyRedraw();
    if (frame != nullptr) frame->idle();
}

// The views answer −1 for a key none of them used; the host is told 0, so it keeps the key.
int32_t FrameEditor::keyDown(const vst::VstKeyCode& key) {
    if (frame == nullptr) return 0;
    frame->noteForwardedKey();
    return std::max(frame->onKeyPress(toolkitKey(key)), 0);
}

int32_t FrameEditor::keyUp(const vst::VstKeyCode& key) {
    return frame != nullptr ? std::max(frame->onKeyRelease(toolkitKey(key)), 0) : 0;
}

int32_t FrameEditor::selectKnobMode(intptr_t mode) {
    gui::setKnobMode(static_cast<int32_t>(mode));
    return 1;
}

bool FrameEditor::wheel(float distance) {
    return frame != nullptr && frame->onWheelTurn(nullptr, {0, 0}, distance);
}

void FrameEditor::parameterChanged(int32_t /*index*/, float /*normalised*/) {
    requestRedraw();
}

void FrameEditor::redraw() {
    if (frame != nullptr) frame->paintView(nullptr);
}

void FrameEditor::dragRefresh() {
    platform::Platform& clock = livePlatform();
    uint32_t now = clock.tickCountMs();
    if (isBefore(now, nextDue)) {
        // Not due yet: rest instead of spinning the drag loop, and only go on when close enough.
        clock.sleepMs(4);
        now += 4;
        if (isBefore(now, nextDue - 50)) return;
    }
    // Inside a drag only one paint may come through, never more input: no pumping here.
    const bool wasPumping = pumping;
    pumping = true;
    idle();
    pumping = wasPumping;
    livePlatform().processOneExpose();
    nextDue = now + 100;
    hostIdleRunning = true;
    if (effect != nullptr) effect->hostIdle();
    hostIdleRunning = false;
}

void FrameEditor::beginEdit(int32_t parameterIndex) {
    if (effect != nullptr) effect->reportEditStart(parameterIndex);
}

void FrameEditor::endEdit(int32_t parameterIndex) {
    if (effect != nullptr) effect->reportEditEnd(parameterIndex);
}

}  // namespace flanger::gui::editor
