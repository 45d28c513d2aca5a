// Drawn popup menu: layout in columns, keyboard and pointer navigation, drawing into a surface.
#include "gui/menu/PopupSession.h"

#include <algorithm>

#include "gui/Fonts.h"
#include "gui/PixelScale.h"
#include "platform/Surface.h"

namespace flanger::gui::menu {
namespace {

void fill(platform::Surface& target, const Rect& r, std::uint32_t rgb) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) target.setPixel(x, y, rgb);
}

// A block given in unscaled pixels from the line's top-left (from its top-right when fromRight),
// drawn at the look's scale.
void fillScaled(platform::Surface& target, const Rect& line, const PixelScale& scale, const Rect& block,
                std::uint32_t rgb, bool fromRight = false) {
    const std::int32_t h = fromRight ? line.right : line.left;
    fill(target,
         {h + scale.edge(block.left), line.top + scale.edge(block.top), h + scale.edge(block.right),
          line.top + scale.edge(block.bottom)},
         rgb);
}

// A tick two pixels thick in the line's left margin, for the checked entry.
void checkMark(platform::Surface& target, const Rect& line, const PixelScale& scale, std::uint32_t rgb) {
    static constexpr int kTick[][2] = {{2, 8}, {3, 9}, {4, 10}, {5, 9}, {6, 8}, {7, 7}, {8, 6}, {9, 5}};
    for (const auto& [dx, dy] : kTick) fillScaled(target, line, scale, {dx, dy, dx + 1, dy + 2}, rgb);
}

// A small right-pointing triangle at the line's right end, for a submenu.
void submenuArrow(platform::Surface& target, const Rect& line, const PixelScale& scale, std::uint32_t rgb) {
    for (int i = 0; i < 4; ++i) fillScaled(target, line, scale, {-10 + i, 5 + i, -9 + i, 12 - i}, rgb, true);
}

}  // namespace

PopupSession::PopupSession(const PopupTree& popupTree, Point origin, Rect screen)
    : tree(popupTree), screenArea(screen) {
    if (tree.menus.empty() || tree.menus[0].empty()) {
        done = true;  // an empty menu opens nothing
        return;
    }
    openAt(0, origin);
}

void PopupSession::openAt(std::size_t menu, Point topLeft) {
    OpenMenu shown;
    shown.menu = menu;
    const PixelScale scale{tree.look.scalePercent > 0 ? tree.look.scalePercent : 100};
    const std::int32_t columnWidth = scale.edge(kColumnWidth);
    Point pen = topLeft;
    std::int32_t columns = 1;
    std::int32_t bottom = topLeft.v;
    for (const PopupItem& item : tree.menus[menu]) {
        if (item.columnBreak) {
            pen = {pen.h + columnWidth, topLeft.v};
            ++columns;
        }
        const std::int32_t height =
            scale.edge(item.kind == PopupItem::Kind::Separator ? kSeparatorHeight : kLineHeight);
        shown.lines.push_back({pen.h, pen.v, pen.h + columnWidth, pen.v + height});
        pen.v += height;
        if (pen.v > bottom) bottom = pen.v;
    }
    shown.box = {topLeft.h, topLeft.v, topLeft.h + columns * columnWidth, bottom};
    if (screenArea.width() > 0 && screenArea.height() > 0) {
        // Kept on screen: moved left and up as far as needed, then cut to the screen's height
        // (the lines scroll inside it).
        const std::int32_t dh =
            std::max(std::min(0, screenArea.right - shown.box.right), screenArea.left - shown.box.left);
        std::int32_t dv = std::min(0, screenArea.bottom - shown.box.bottom);
        dv = std::max(dv, screenArea.top - shown.box.top);
        shown.box = shown.box.movedBy(dh, dv);
        for (Rect& line : shown.lines) line = line.movedBy(dh, dv);
        shown.box.bottom = std::min(shown.box.bottom, screenArea.bottom);
    }
    open.push_back(std::move(shown));
}

bool PopupSession::selectable(std::size_t level, std::int32_t line) const {
    const PopupItem::Kind kind = tree.menus[open[level].menu][static_cast<std::size_t>(line)].kind;
    return kind == PopupItem::Kind::Item || kind == PopupItem::Kind::Submenu;
}

void PopupSession::moveHighlight(std::int32_t direction) {
    OpenMenu& menu = open.back();
    const auto count = static_cast<std::int32_t>(menu.lines.size());
    std::int32_t line = menu.highlight;
    for (std::int32_t tries = 0; tries < count; ++tries) {
        line = line < 0 ? (direction > 0 ? 0 : count - 1) : (line + direction + count) % count;
        if (selectable(open.size() - 1, line)) {
            menu.highlight = line;
            scrollToHighlight(menu);
            return;
        }
    }
}

void PopupSession::scrollToHighlight(OpenMenu& menu) {
    const Rect& line = menu.lines[static_cast<std::size_t>(menu.highlight)];
    std::int32_t shift = 0;
    if (line.bottom > menu.box.bottom) shift = line.bottom - menu.box.bottom;
    if (line.top < menu.box.top) shift = line.top - menu.box.top;
    if (shift == 0) return;
    menu.scroll += shift;
    for (Rect& r : menu.lines) r = r.movedBy(0, -shift);
}

void PopupSession::openSubmenuOf(std::size_t level, bool highlightFirst) {
    const OpenMenu& parent = open[level];
    const PopupItem& item = tree.menus[parent.menu][static_cast<std::size_t>(parent.highlight)];
    if (item.kind != PopupItem::Kind::Submenu || item.submenu < 0) return;
    open.resize(level + 1);
    const Rect& line = open[level].lines[static_cast<std::size_t>(open[level].highlight)];
    openAt(static_cast<std::size_t>(item.submenu), {line.right, line.top});
    if (highlightFirst) moveHighlight(1);
}

bool PopupSession::hit(Point at, std::size_t& level, std::int32_t& line) const {
    // Deepest first: a submenu lies over its parent.
    for (std::size_t l = open.size(); l-- > 0;) {
        for (std::size_t i = 0; i < open[l].lines.size(); ++i) {
            const Rect& r = open[l].lines[i];
            const Rect& box = open[l].box;
            if (at.v < box.top || at.v >= box.bottom) continue;  // scrolled out of view
            if (at.h >= r.left && at.h < r.right && at.v >= r.top && at.v < r.bottom) {
                level = l;
                line = static_cast<std::int32_t>(i);
                return true;
            }
        }
    }
    return false;
}

void PopupSession::activate(std::size_t level, std::int32_t line, bool fromKey) {
    if (!selectable(level, line)) return;
    open[level].highlight = line;
    const PopupItem& item = tree.menus[open[level].menu][static_cast<std::size_t>(line)];
    if (item.kind == PopupItem::Kind::Submenu) {
        openSubmenuOf(level, fromKey);
        return;
    }
    chosen = item.id;
    done = true;
}

bool PopupSession::feed(const PopupEvent& event) {
    if (done) return true;
    std::size_t level = 0;
    std::int32_t line = -1;
    switch (event.kind) {
        case PopupEvent::Kind::Key:
            switch (event.key) {
                case PopupEvent::Key::Up:
                    moveHighlight(-1);
                    break;
                case PopupEvent::Key::Down:
                    moveHighlight(1);
                    break;
                case PopupEvent::Key::Right:
                    if (open.back().highlight >= 0) openSubmenuOf(open.size() - 1, true);
                    break;
                case PopupEvent::Key::Left:
                    if (open.size() > 1) open.pop_back();
                    break;
                case PopupEvent::Key::Return:
                    if (open.back().highlight >= 0) activate(open.size() - 1, open.back().highlight, true);
                    break;
                case PopupEvent::Key::Escape:
                    done = true;
                    break;
                case PopupEvent::Key::None:
                    break;
            }
            break;
        case PopupEvent::Kind::Motion:
        case PopupEvent::Kind::Press:
            if (hit(event.at, level, line)) {
                open.resize(level + 1);
                if (selectable(level, line)) {
                    open[level].highlight = line;
                    openSubmenuOf(level, false);
                }
            } else if (event.kind == PopupEvent::Kind::Press) {
                done = true;  // a press outside every open menu closes it with no choice
            }
            break;
        case PopupEvent::Kind::Release:
            // The release of the opening press lands on the control: the popup stays for a click.
            if (hit(event.at, level, line)) {
                const PopupItem& item = tree.menus[open[level].menu][static_cast<std::size_t>(line)];
                if (item.kind == PopupItem::Kind::Item) activate(level, line, false);
            }
            break;
    }
    return done;
}

void PopupSession::draw(platform::Surface& target, Point surfaceOrigin) const {
    const PopupLook& look = tree.look;
    const PixelScale scale{look.scalePercent > 0 ? look.scalePercent : 100};
    FontRequest font = makeFontRequest(look.fontId, 0, 0);
    font.pixelSize = scale.lengthToPhysical(font.pixelSize);
    const std::int32_t one = scale.lengthToPhysical(1), margin = scale.edge(12), descent = scale.edge(4);
    for (std::size_t l = 0; l < open.size(); ++l) {
        const OpenMenu& menu = open[l];
        const Rect box = menu.box.movedBy(-surfaceOrigin.h, -surfaceOrigin.v);
        fill(target, box, look.edge);
        fill(target, {box.left + one, box.top + one, box.right - one, box.bottom - one}, look.paper);
        for (std::size_t i = 0; i < menu.lines.size(); ++i) {
            const PopupItem& item = tree.menus[menu.menu][i];
            const Rect r = menu.lines[i].movedBy(-surfaceOrigin.h, -surfaceOrigin.v);
            if (r.top < box.top || r.bottom > box.bottom) continue;  // scrolled out of view
            if (item.kind == PopupItem::Kind::Separator) {
                fill(target,
                     {r.left + descent, r.top + r.height() / 2, r.right - descent,
                      r.top + r.height() / 2 + one},
                     look.greyInk);
                continue;
            }
            const bool lit = static_cast<std::int32_t>(i) == menu.highlight;
            if (lit) fill(target, {r.left + one, r.top, r.right - one, r.bottom}, look.highlight);
            const bool grey = item.kind == PopupItem::Kind::Greyed || item.kind == PopupItem::Kind::Title;
            const std::uint32_t ink = lit ? look.highlightInk : grey ? look.greyInk : look.ink;
            const std::uint32_t mark = lit ? look.highlightInk : look.mark;
            if (item.checked) checkMark(target, r, scale, mark);
            if (item.kind == PopupItem::Kind::Submenu) submenuArrow(target, r, scale, mark);
            const platform::PixelBox clip{r.left, r.top, r.right - margin, r.bottom};
            gui::drawText(target, font, item.label.c_str(), r.left + margin, r.bottom - descent, ink, clip);
        }
    }
}

std::int32_t QueuedPopupPresenter::run(const PopupTree& tree, Point screenAt, bool secondaryButton) {
    usedSecondary = secondaryButton;
    PopupSession session(tree, screenAt, screen);
    auto redraw = [&] {
        Rect all = session.openCount() > 0 ? session.menuRect(0) : Rect{};
        for (std::size_t l = 1; l < session.openCount(); ++l) {
            const Rect r = session.menuRect(l);
            all = {std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
                   std::max(all.bottom, r.bottom)};
        }
        frameOrigin = {all.left, all.top};
        lastFrame = platform::Surface(all.width(), all.height());
        session.draw(lastFrame, frameOrigin);
    };
    while (!session.finished() && !events.empty()) {
        redraw();
        if (onEachEvent) onEachEvent(session);
        const PopupEvent event = events.front();
        events.pop_front();
        session.feed(event);
        if (idle) idle();
    }
    if (!session.finished()) return -1;
    return session.choice();
}

}  // namespace flanger::gui::menu
