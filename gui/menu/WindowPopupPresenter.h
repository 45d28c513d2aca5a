// The popup of frames whose platform has popup windows: a PopupSession shown in the platform's
// grabbed popup windows, or drawn inside the frame when the grab is refused; fed from the popup's
// input or the polled pointer, with the host kept idling as a drag keeps it.
#pragma once

#include <atomic>
#include <cstdint>

#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/PopupSession.h"
#include "platform/Platform.h"

namespace flanger::gui::menu {

// The popup key a platform key stands for (arrows, Return and keypad Enter, Escape), else None.
PopupEvent::Key popupKeyOf(platform::Key key) noexcept;

// Pointer inputs before the popup opening press is released, or moves this far from where it
// opened, do not pick: the release of a click that only opened the popup leaves it open.
inline constexpr int kArmDistance = 4;

// Turns platform inputs into session events: which buttons pick, and when a release may pick.
class PopupInputFilter {
public:
    // pickButtons: the physical buttons whose release picks a line.
    PopupInputFilter(Point opened, std::uint32_t pickButtons) noexcept
        : start(opened), picking(pickButtons) {}
    // False when the input means nothing to the popup.
    bool translate(const platform::PopupInput& input, PopupEvent& out) noexcept;
    bool armed() const noexcept { return isArmed; }

private:
    Point start;
    std::uint32_t picking;
    bool isArmed = false;
};

class WindowPopupPresenter : public PopupPresenter {
public:
    enum class Shown { Nothing, Grabbed, InFrame };

    // Without a frame there is nothing to open the popup over.
    std::int32_t run(const PopupTree&, Point, bool) override { return -1; }
    std::int32_t runFor(const PopupContext& context, const PopupTree& tree, Point screenAt,
                        bool secondaryButton) override;

    // How the last popup was shown (for tests and diagnostics).
    Shown lastShown() const noexcept { return shown.load(std::memory_order_relaxed); }

private:
    // Written by whichever GUI thread runs a popup, read by tests: editors of one process may
    // run on several threads and share the presenter.
    std::atomic<Shown> shown{Shown::Nothing};
};

// The process's presenter (it keeps no state of a popup between runs). Editors on a platform
// with popups acquire it when they open and release it when they close: while any on a thread
// holds it, it is that thread's default presenter.
WindowPopupPresenter& windowPopupPresenter() noexcept;
void acquireWindowPopups() noexcept;
void releaseWindowPopups() noexcept;

}  // namespace flanger::gui::menu
