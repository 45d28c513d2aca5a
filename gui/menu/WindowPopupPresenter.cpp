// The window-system popup: opening with a grab or falling back into the frame, the input
// filter (which buttons pick, the opening click), the bounded loop and what is put back after.
#include "gui/menu/WindowPopupPresenter.h"

#include <algorithm>
#include <cstdlib>

#include "gui/FrameView.h"

namespace flanger::gui::menu {
namespace {

// Motion floods in while the pointer moves: at most this many inputs per pass, then one redraw.
constexpr int kInputsPerPass = 64;
// The pass rate without an editor to idle (its refresh rests 4 ms itself).
constexpr int kPassWithoutEditorMs = 10;

platform::PixelBox toBox(const Rect& r) noexcept {
    return {r.left, r.top, r.right, r.bottom};
}

Rect unionOfMenus(const PopupSession& session) noexcept {
    Rect all = session.menuRect(0);
    for (std::size_t l = 1; l < session.openCount(); ++l) {
        const Rect r = session.menuRect(l);
        all = {std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
               std::max(all.bottom, r.bottom)};
    }
    return all;
}

std::uint32_t pickingButtons(bool secondaryOpened, bool swapped) noexcept {
    // Opened with the secondary button, both buttons pick (as native menus tracking it do);
    // otherwise only the primary one.
    if (secondaryOpened) return platform::kLeftButton | platform::kRightButton;
    return swapped ? platform::kRightButton : platform::kLeftButton;
}

// What both ways of showing share: when to stop, and the host's idle between passes.
struct Pacing {
    const PopupContext& context;
    FrameView& frame;
    platform::Window& window;

    bool stopping() const noexcept {
        return (context.wanted != nullptr && !*context.wanted) || !frame.isOpen() || !window.isOpen();
    }
    // Returns whether an editor idled (and rested): without one the caller waits itself.
    bool idle() const {
        ViewEditor* editor = frame.ownerEditor();
        if (editor == nullptr) return false;
        editor->dragRefresh();
        return true;
    }
};

void showLevels(const PopupSession& session, platform::Popup& popup) {
    // Closed submenus go first, so the levels drawn after them cover whatever they left.
    popup.keepLevels(session.openCount());
    for (std::size_t l = 0; l < session.openCount(); ++l) {
        const Rect box = session.menuRect(l);
        platform::Surface pixels(box.width(), box.height());
        session.draw(pixels, {box.left, box.top});
        popup.show(l, toBox(box), pixels);
    }
}

std::int32_t runGrabbed(PopupSession& session, platform::Popup& popup, PopupInputFilter& filter,
                        const Pacing& pacing) {
    const int wait = pacing.frame.ownerEditor() != nullptr ? 0 : kPassWithoutEditorMs;
    while (!session.finished() && !pacing.stopping() && popup.isOpen()) {
        bool changed = false;
        platform::PopupInput input;
        for (int n = 0; n < kInputsPerPass && !session.finished(); ++n) {
            if (!popup.nextInput(input, n == 0 ? wait : 0)) break;
            PopupEvent event;
            if (filter.translate(input, event)) {
                session.feed(event);
                changed = true;
            }
        }
        if (session.finished()) break;
        if (changed) showLevels(session, popup);
        pacing.idle();
    }
    return session.finished() && !pacing.stopping() ? session.choice() : -1;
}

// Drawn into the frame's own pixels; only the polled pointer reaches it (keys and events go to
// whoever holds the grab), and what it covered is put back afterwards.
std::int32_t runInFrame(PopupSession& session, PopupInputFilter& filter, const Pacing& pacing,
                        platform::Platform& windowSystem) {
    platform::Window& window = pacing.window;
    platform::Surface& backing = window.backing();
    const platform::Surface saved = backing;
    const platform::ScreenPoint origin = window.screenOrigin();
    platform::PixelBox covered;
    const auto restore = [&] {
        if (covered.empty()) return;
        platform::copyBlock(saved, covered.left, covered.top, backing, covered.left, covered.top,
                            covered.right - covered.left, covered.bottom - covered.top);
        backing.addDamage(covered);
    };
    const auto draw = [&] {
        restore();
        covered = toBox(unionOfMenus(session).movedBy(-origin.x, -origin.y));
        session.draw(backing, {origin.x, origin.y});
        backing.addDamage(covered);
        window.present();
    };
    draw();
    platform::PointerState last = windowSystem.readPointer();
    while (!session.finished() && !pacing.stopping()) {
        // Each pass takes the next queued pointer event: a quick click is a press and a release.
        const platform::PointerState now = windowSystem.trackPointer();
        bool changed = false;
        const auto offer = [&](const platform::PopupInput& input) {
            PopupEvent event;
            if (session.finished() || !filter.translate(input, event)) return;
            session.feed(event);
            changed = true;
        };
        if (now.position.x != last.position.x || now.position.y != last.position.y) {
            offer({platform::PopupInput::kMotion, now.position, 0});
        }
        for (const std::uint32_t bit :
             {platform::kLeftButton, platform::kMiddleButton, platform::kRightButton}) {
            if (((now.buttons ^ last.buttons) & bit) == 0) continue;
            const int kind =
                (now.buttons & bit) != 0 ? platform::PopupInput::kPress : platform::PopupInput::kRelease;
            offer({kind, now.position, bit});
        }
        last = now;
        if (session.finished()) break;
        if (changed) draw();
        if (!pacing.idle()) windowSystem.sleepMs(kPassWithoutEditorMs);
    }
    restore();
    window.present();
    // Views repainted during the popup may have been covered or put back stale: repaint them all.
    if (pacing.frame.isOpen()) pacing.frame.paintView(nullptr);
    return session.finished() && !pacing.stopping() ? session.choice() : -1;
}

thread_local int popupUsers = 0;

}  // namespace

PopupEvent::Key popupKeyOf(platform::Key key) noexcept {
    switch (key) {
        case platform::Key::Up:
            return PopupEvent::Key::Up;
        case platform::Key::Down:
            return PopupEvent::Key::Down;
        case platform::Key::Left:
            return PopupEvent::Key::Left;
        case platform::Key::Right:
            return PopupEvent::Key::Right;
        case platform::Key::Return:
        case platform::Key::KeypadEnter:
            return PopupEvent::Key::Return;
        case platform::Key::Escape:
            return PopupEvent::Key::Escape;
        default:
            return PopupEvent::Key::None;
    }
}

bool PopupInputFilter::translate(const platform::PopupInput& input, PopupEvent& out) noexcept {
    out.at = {input.at.x, input.at.y};
    switch (input.kind) {
        case platform::PopupInput::kMotion:
            if (std::abs(input.at.x - start.h) > kArmDistance ||
                std::abs(input.at.y - start.v) > kArmDistance)
                isArmed = true;
            out.kind = PopupEvent::Kind::Motion;
            return true;
        case platform::PopupInput::kPress:
            if (input.button == 0) return false;  // wheel steps neither pick nor close
            isArmed = true;
            out.kind = PopupEvent::Kind::Press;
            return true;
        case platform::PopupInput::kRelease:
            if ((input.button & picking) == 0) return false;
            if (!isArmed) {
                // The release of the click that opened the popup: it stays open for a second click.
                isArmed = true;
                return false;
            }
            out.kind = PopupEvent::Kind::Release;
            return true;
        case platform::PopupInput::kKey:
            out.kind = PopupEvent::Kind::Key;
            out.key = popupKeyOf(input.key);
            return out.key != PopupEvent::Key::None;
        default:
            return false;
    }
}

std::int32_t WindowPopupPresenter::runFor(const PopupContext& context, const PopupTree& tree, Point screenAt,
                                          bool secondaryButton) {
    shown.store(Shown::Nothing, std::memory_order_relaxed);
    FrameView* frame = context.frame;
    if (frame == nullptr || !frame->isOpen() || frame->nativeWindow() == nullptr) return -1;
    platform::Window& window = *frame->nativeWindow();
    platform::Platform& windowSystem = frame->windowPlatform();
    if (!windowSystem.offersPopups() || !window.isOpen()) return -1;
    const Pacing pacing{context, *frame, window};
    const platform::ScreenPoint pointer = windowSystem.readPointer().position;
    PopupInputFilter filter({pointer.x, pointer.y},
                            pickingButtons(secondaryButton, windowSystem.buttonsSwapped()));

    const platform::PixelBox area = windowSystem.screenArea();
    PopupSession session(tree, screenAt, {area.left, area.top, area.right, area.bottom});
    if (session.finished()) return -1;  // an empty menu opens nothing
    const Rect first = session.menuRect(0);
    platform::Surface pixels(first.width(), first.height());
    session.draw(pixels, {first.left, first.top});
    if (std::unique_ptr<platform::Popup> popup = windowSystem.openPopup(window, toBox(first), pixels)) {
        shown.store(Shown::Grabbed, std::memory_order_relaxed);
        return runGrabbed(session, *popup, filter, pacing);
    }

    // The grab was refused (another client holds the pointer or keyboard): drawn inside the
    // frame when the whole menu fits there, else no popup at all.
    const platform::Surface& backing = window.backing();
    const Rect natural = PopupSession(tree, screenAt).menuRect(0);
    if (natural.width() > backing.width() || natural.height() > backing.height()) return -1;
    const platform::ScreenPoint origin = window.screenOrigin();
    PopupSession inFrame(tree, screenAt,
                         {origin.x, origin.y, origin.x + backing.width(), origin.y + backing.height()});
    shown.store(Shown::InFrame, std::memory_order_relaxed);
    return runInFrame(inFrame, filter, pacing, windowSystem);
}

WindowPopupPresenter& windowPopupPresenter() noexcept {
    // Not thread_local: a thread-local object with a destructor would keep the module from
    // unloading while the host's GUI thread lives.
    static WindowPopupPresenter presenter;
    return presenter;
}

void acquireWindowPopups() noexcept {
    if (popupUsers++ == 0) setDefaultPopupPresenter(&windowPopupPresenter());
}

void releaseWindowPopups() noexcept {
    // Hosts may close an editor on another thread than the one that opened it: never below 0.
    if (popupUsers == 0) return;
    if (--popupUsers == 0 && defaultPopupPresenter() == &windowPopupPresenter())
        setDefaultPopupPresenter(nullptr);
}

}  // namespace flanger::gui::menu
