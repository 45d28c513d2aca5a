// A drawn popup menu's state: where its lines lie, which one is highlighted, which submenus are
// open, and how keys and button events move it to one choice or none. Backends feed it events.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "gui/Geometry.h"
#include "gui/menu/ChoiceMenu.h"
#include "platform/Surface.h"

namespace flanger::gui::menu {

struct PopupEvent {
    enum class Kind { Key, Press, Release, Motion };
    enum class Key { None, Up, Down, Left, Right, Return, Escape };
    Kind kind = Kind::Motion;
    Key key = Key::None;
    Point at;  // screen pixels, for the pointer kinds
};

// The layout, fixed so that a line can be clicked by its position (tests drive popups through
// the window system this way): the root menu's top-left is where the menu asked (below the
// control, or over it with style 0x200), moved only to stay on the screen; lines stack from
// there, kLineHeight each and kSeparatorHeight for a separator, in columns kColumnWidth wide;
// a submenu opens at its line's top-right. lineRects() answers the same positions. All of them
// grow with the look's scale.
inline constexpr std::int32_t kLineHeight = 16;
inline constexpr std::int32_t kSeparatorHeight = 8;
inline constexpr std::int32_t kColumnWidth = 120;

class PopupSession {
public:
    // screen: where menus must stay; an empty one places them as asked.
    PopupSession(const PopupTree& tree, Point origin, Rect screen = {});

    // Handles one event; true once the session is over.
    bool feed(const PopupEvent& event);
    bool finished() const noexcept { return done; }
    std::int32_t choice() const noexcept { return chosen; }  // -1: no choice

    // Open menus, root first, and where each of its lines lies on screen.
    std::size_t openCount() const noexcept { return open.size(); }
    const std::vector<Rect>& lineRects(std::size_t level) const { return open[level].lines; }
    Rect menuRect(std::size_t level) const { return open[level].box; }
    std::int32_t highlighted(std::size_t level) const { return open[level].highlight; }

    // Draws every open menu into a surface whose top-left is screen point surfaceOrigin.
    void draw(platform::Surface& target, Point surfaceOrigin) const;

private:
    struct OpenMenu {
        std::size_t menu = 0;
        Rect box;
        std::vector<Rect> lines;
        std::int32_t highlight = -1;
        std::int32_t scroll = 0;  // pixels the lines are moved up when taller than the screen
    };
    void openAt(std::size_t menu, Point topLeft);
    void scrollToHighlight(OpenMenu& menu);
    bool selectable(std::size_t level, std::int32_t line) const;
    void moveHighlight(std::int32_t direction);
    void openSubmenuOf(std::size_t level, bool highlightFirst);
    bool hit(Point at, std::size_t& level, std::int32_t& line) const;
    void activate(std::size_t level, std::int32_t line, bool fromKey);

    const PopupTree& tree;
    Rect screenArea;
    std::vector<OpenMenu> open;
    bool done = false;
    std::int32_t chosen = -1;
};

// The headless popup: runs a session on a scripted event queue, calling idle between events so
// the host keeps idling; the last drawn frame and the session's line rectangles stay readable.
// An exhausted queue ends the popup with no choice.
class QueuedPopupPresenter : public PopupPresenter {
public:
    std::int32_t run(const PopupTree& tree, Point screenAt, bool secondaryButton) override;

    std::deque<PopupEvent> events;
    std::function<void(const PopupSession&)> onEachEvent;  // sees the session before each event
    std::function<void()> idle;
    platform::Surface lastFrame{0, 0};
    Point frameOrigin;  // screen point of lastFrame's top-left
    Rect screen;        // where the popup must stay; empty: anywhere
    bool usedSecondary = false;
};

}  // namespace flanger::gui::menu
