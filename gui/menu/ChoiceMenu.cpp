// Choice menu: the entry list and its operations, the popup tree built from it, and what a pick does.
#include "gui/menu/ChoiceMenu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"

namespace flanger::gui::menu {
namespace {

// Menus with this many entries get no column breaks: the popup scrolls instead.
constexpr std::int32_t kNoColumnsFrom = 160;

std::string storedText(const char* text) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, kEntryBytes));
}

bool hasPrefix(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}
bool isSeparator(const std::string& text) {
    return text == "-";
}
bool isTitle(const std::string& text) {
    return hasPrefix(text, "-T");
}
bool isCounted(const std::string& text) {
    return !isSeparator(text) && !isTitle(text);
}

thread_local PopupPresenter* threadPresenter = nullptr;

}  // namespace

void setDefaultPopupPresenter(PopupPresenter* presenter) noexcept {
    threadPresenter = presenter;
}
PopupPresenter* defaultPopupPresenter() noexcept {
    return threadPresenter;
}

std::int32_t PopupTree::columnCount(std::size_t menuIndex) const {
    if (menuIndex >= menus.size()) return 0;
    std::int32_t columns = menus[menuIndex].empty() ? 0 : 1;
    for (const PopupItem& item : menus[menuIndex]) columns += item.columnBreak ? 1 : 0;
    return columns;
}

ChoiceMenu::ChoiceMenu(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                       SkinBitmap* bitmap, SkinBitmap* pressed, std::int32_t styleBits)
    : ValueDisplay(bounds, valueListener, controlTag, bitmap, styleBits), pressedBackground(pressed) {
    if (pressedBackground != nullptr) pressedBackground->retain();
}

ChoiceMenu::~ChoiceMenu() {
    for (ChoiceMenu* sub : submenus) sub->release();
    if (pressedBackground != nullptr) pressedBackground->release();
}

void ChoiceMenu::draw(Canvas& canvas) {
    if (current >= 0 && current < itemCount()) {
        drawText(canvas, entries[static_cast<std::size_t>(current)].c_str(), nullptr);
    } else {
        markDirty(false);
    }
}

void ChoiceMenu::onMouseDown(Canvas& canvas, Point) {
    if (!acceptsMouse() || frame == nullptr) return;
    pressButtons = canvas.readButtons();
    // A press read with no button down (a platform that keeps no pointer state from its events)
    // was a click all the same: open as for the primary button (the popup then waits for a
    // second click).
    if ((pressButtons & (kPrimaryButton | kSecondaryButton | kMiddleButton)) == 0)
        pressButtons |= kPrimaryButton;
    if ((pressButtons & (kPrimaryButton | kSecondaryButton)) == 0) return;
    notifyEditStart();
    if (pressedBackground != nullptr && current >= 0 && current < itemCount()) {
        drawText(canvas, entries[static_cast<std::size_t>(current)].c_str(), pressedBackground);
    }
    frame->setFocusView(this);
    focusGained(&canvas);
    notifyEditEnd();
}

void ChoiceMenu::focusGained(Canvas* canvas) {
    lastMenu = nullptr;
    PopupTree tree = buildTree();
    // The popup is as large as the editor it opens from.
    if (canvas != nullptr) {
        tree.look.scalePercent = canvas->pixelScale().percent;
    } else if (frame != nullptr) {
        tree.look.scalePercent = frame->pixelScale().percent;
    }
    std::int32_t chosen = -1;
    // An empty menu opens nothing.
    PopupPresenter* presenter = popup != nullptr ? popup : threadPresenter;
    if (presenter != nullptr && !tree.menus.empty() && !tree.menus[0].empty()) {
        Point origin;
        if (canvas != nullptr) {
            origin = canvas->windowOrigin();
        } else if (frame != nullptr && frame->nativeWindow() != nullptr) {
            const platform::ScreenPoint where = frame->nativeWindow()->screenOrigin();
            origin = {where.x, where.y};
        }
        const PixelScale scale = canvas != nullptr  ? canvas->pixelScale()
                                 : frame != nullptr ? frame->pixelScale()
                                                    : PixelScale{};
        const Point corner =
            scale.toPhysical(Point{size.left, (style & kOpenOverControl) != 0 ? size.top : size.bottom});
        const Point at{origin.h + corner.h, origin.v + corner.v};
        // The pressed look shows while the popup is open.
        if (canvas != nullptr && canvas->window() != nullptr) canvas->window()->present();
        popupWanted = true;
        chosen = presenter->runFor({frame, &popupWanted}, tree, at, (pressButtons & kSecondaryButton) != 0);
        popupWanted = false;
        // The click that closed the popup must not reach the frame as a new press.
        if (frame != nullptr && frame->nativeWindow() != nullptr)
            frame->nativeWindow()->discardPendingButtons(2);
    }
    if (frame != nullptr && frame->focusView() == this) frame->setFocusView(nullptr);
    if (chosen < 0 && pressedBackground == nullptr) return;
    markDirty(true);
    if (chosen >= 0) {
        ChoiceMenu* owner = nullptr;
        std::int32_t index = -1;
        if (resolveId(chosen, owner, index)) {
            owner->setValue(static_cast<float>(index));
            lastMenu = owner;
            if (listener != nullptr) listener->onValueChanged(canvas, owner);
        }
    }
    refreshDuringDrag();
    // Redrawn before the dirty state is cleared, so no stale entry or pressed look stays on screen.
    if (canvas != nullptr) draw(*canvas);
    markDirty(false);
}

// Losing the focus while the popup runs (the frame ending the focus, the editor closing) closes
// the popup with no choice.
void ChoiceMenu::focusLost(Canvas*) {
    popupWanted = false;
}

void ChoiceMenu::setValue(float newValue) {
    if (!std::isfinite(newValue)) return;
    const double truncated = std::trunc(static_cast<double>(newValue));
    if (truncated < 0.0 || truncated >= static_cast<double>(itemCount())) return;
    const auto index = static_cast<std::int32_t>(truncated);
    current = index;
    if ((style & kMultipleChecks) != 0) checks[static_cast<std::size_t>(index)] ^= 1;
    value = newValue;
    markDirty(true);
}

bool ChoiceMenu::addItem(const char* text, std::int32_t index) {
    if (itemCount() >= kMaxEntries) return false;
    if (index < 0 || index >= itemCount()) {
        entries.push_back(storedText(text));
        checks.push_back(0);
    } else {
        entries.insert(entries.begin() + index, storedText(text));
        checks.insert(checks.begin() + index, 0);
        if (current >= index) ++current;
    }
    if (current < 0) current = 0;
    return true;
}

bool ChoiceMenu::addSubmenuItem(ChoiceMenu* menu, const char* text) {
    if (itemCount() >= kMaxEntries || menu == nullptr || text == nullptr) return false;
    entries.push_back(storedText((std::string("-M") + text).c_str()));
    checks.push_back(0);
    if (current < 0) current = 0;
    menu->retain();
    submenus.push_back(menu);
    return true;
}

std::int32_t ChoiceMenu::currentItem(std::string* text, bool raw) const {
    if (current < 0 || current >= itemCount()) return -1;
    if (text != nullptr) *text = entries[static_cast<std::size_t>(current)];
    if (raw) return current;
    std::int32_t counted = 0;
    for (std::int32_t i = 0; i < current; ++i)
        counted += isCounted(entries[static_cast<std::size_t>(i)]) ? 1 : 0;
    return counted;
}

bool ChoiceMenu::selectItem(std::int32_t index, bool raw) {
    if (index < 0 || index >= itemCount()) return false;
    if (raw) {
        if (!isCounted(entries[static_cast<std::size_t>(index)])) return false;
        current = index;
    } else {
        std::int32_t found = -1;
        for (std::int32_t i = 0, counted = 0; i < itemCount(); ++i) {
            if (!isCounted(entries[static_cast<std::size_t>(i)])) continue;
            if (counted++ == index) {
                found = i;
                break;
            }
        }
        // Fewer counted entries than the index asks for: nothing to select.
        if (found < 0) return false;
        current = found;
    }
    markDirty(true);
    return true;
}

bool ChoiceMenu::itemText(std::int32_t index, std::string& out) const {
    if (index < 0 || index >= itemCount()) return false;
    out = entries[static_cast<std::size_t>(index)];
    return true;
}

bool ChoiceMenu::setItemText(std::int32_t index, const char* text) {
    if (index < 0 || index >= itemCount()) return false;
    entries[static_cast<std::size_t>(index)] = storedText(text);
    markDirty(true);
    return true;
}

bool ChoiceMenu::removeItem(std::int32_t index) {
    if (index < 0 || index >= itemCount()) return false;
    entries.erase(entries.begin() + index);
    checks.erase(checks.begin() + index);
    if (entries.empty())
        current = -1;
    else if (current >= index && current > 0)
        --current;
    markDirty(true);
    return true;
}

void ChoiceMenu::clearItems() {
    entries.clear();
    checks.clear();
    for (ChoiceMenu* sub : submenus) sub->release();
    submenus.clear();
    current = -1;
}

std::int32_t ChoiceMenu::findItem(const char* text) const {
    if (text == nullptr) return -1;
    const auto it = std::find(entries.begin(), entries.end(), std::string(text));
    return it == entries.end() ? -1 : static_cast<std::int32_t>(it - entries.begin());
}

bool ChoiceMenu::setItemChecked(std::int32_t index, bool on) {
    if (index < 0 || index >= itemCount()) return false;
    checks[static_cast<std::size_t>(index)] = on ? 1 : 0;
    return true;
}

bool ChoiceMenu::checkOnlyItem(std::int32_t index) {
    if (index < 0 || index >= itemCount()) return false;
    std::fill(checks.begin(), checks.end(), 0);
    checks[static_cast<std::size_t>(index)] = 1;
    return true;
}

bool ChoiceMenu::isItemChecked(std::int32_t index) const {
    return index >= 0 && index < itemCount() && checks[static_cast<std::size_t>(index)] != 0;
}

PopupTree ChoiceMenu::buildTree() const {
    PopupTree tree;
    tree.look = popupLook;
    tree.menus.emplace_back();
    std::vector<const ChoiceMenu*> path;
    buildInto(tree, 0, 0, path);
    return tree;
}

std::int32_t ChoiceMenu::buildInto(PopupTree& tree, std::size_t menuIndex, std::int32_t base,
                                   std::vector<const ChoiceMenu*>& path) const {
    // A menu that contains itself would recurse forever; that branch is not built.
    path.push_back(this);
    std::int32_t next = base + itemCount();
    std::size_t nextSubmenu = 0;
    const bool columns = itemCount() < kNoColumnsFrom && itemsPerColumn > 0;
    for (std::int32_t i = 0; i < itemCount(); ++i) {
        const std::string& text = entries[static_cast<std::size_t>(i)];
        PopupItem item;
        if (isSeparator(text)) {
            item.kind = PopupItem::Kind::Separator;
            tree.menus[menuIndex].push_back(item);
            continue;
        }
        // Breaks go by the entry's list index, so skipped entries do not shift them.
        item.columnBreak = columns && i > 0 && i % itemsPerColumn == 0;
        item.id = base + i;
        if (hasPrefix(text, "-M")) {
            ChoiceMenu* sub = nextSubmenu < submenus.size() ? submenus[nextSubmenu++] : nullptr;
            if (sub == nullptr || std::find(path.begin(), path.end(), sub) != path.end()) continue;
            item.kind = PopupItem::Kind::Submenu;
            item.label = text.substr(2);
            item.id = -1;
            item.submenu = static_cast<std::int32_t>(tree.menus.size());
            tree.menus.emplace_back();
            next = sub->buildInto(tree, static_cast<std::size_t>(item.submenu), next, path);
        } else if (hasPrefix(text, "-G")) {
            item.kind = PopupItem::Kind::Greyed;
            item.label = text.substr(2);
        } else if (hasPrefix(text, "-T")) {
            item.kind = PopupItem::Kind::Title;
            item.label = text.substr(2);
        } else {
            item.label = text;
            item.checked = ((style & kMultipleChecks) != 0 && checks[static_cast<std::size_t>(i)] != 0) ||
                           ((style & kCheckCurrent) != 0 && i == current);
        }
        tree.menus[menuIndex].push_back(std::move(item));
    }
    path.pop_back();
    return next;
}

bool ChoiceMenu::resolveId(std::int32_t id, ChoiceMenu*& menu, std::int32_t& index) {
    std::int32_t base = 0;
    std::vector<const ChoiceMenu*> path;
    return resolveFrom(base, id, menu, index, path);
}

bool ChoiceMenu::resolveFrom(std::int32_t& base, std::int32_t id, ChoiceMenu*& menu, std::int32_t& index,
                             std::vector<const ChoiceMenu*>& path) {
    // Walks in the same order as buildInto, so each menu owns the same block of ids.
    path.push_back(this);
    const std::int32_t own = base;
    base += itemCount();
    if (id >= own && id < own + itemCount()) {
        menu = this;
        index = id - own;
        path.pop_back();
        return true;
    }
    std::size_t nextSubmenu = 0;
    for (const std::string& text : entries) {
        if (isSeparator(text) || !hasPrefix(text, "-M")) continue;
        ChoiceMenu* sub = nextSubmenu < submenus.size() ? submenus[nextSubmenu++] : nullptr;
        if (sub == nullptr || std::find(path.begin(), path.end(), sub) != path.end()) continue;
        if (sub->resolveFrom(base, id, menu, index, path)) {
            path.pop_back();
            return true;
        }
    }
    path.pop_back();
    return false;
}

}  // namespace flanger::gui::menu
