// A control that shows the current entry of a list and opens a popup to pick another: entry
// prefixes, submenus, ids in depth-first build order, column breaks, raw and counted indices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/Control.h"
#include "gui/text/ValueDisplay.h"

namespace flanger::gui {
class FrameView;
}

namespace flanger::gui::menu {

inline constexpr std::int32_t kMaxEntries = 1024;
inline constexpr std::size_t kEntryBytes = 255;  // stored text, without the terminator

// Style bits a choice menu reads.
inline constexpr std::int32_t kMultipleChecks = 1;
inline constexpr std::int32_t kOpenOverControl = 0x200;
inline constexpr std::int32_t kCheckCurrent = 0x400;
inline constexpr std::int32_t kNoText = 0x800;
inline constexpr std::int32_t kNoDrawing = 0x1000;

// One line of a built popup; the prefix is already stripped from label.
struct PopupItem {
    enum class Kind { Item, Separator, Submenu, Greyed, Title };
    Kind kind = Kind::Item;
    std::string label;
    std::int32_t id = -1;       // the id a pick of this line reports (-1: none)
    std::int32_t submenu = -1;  // index into PopupTree::menus for Kind::Submenu
    bool checked = false;
    bool columnBreak = false;  // this line starts a new column
};

// How a drawn popup looks: colours as 0xRRGGBB and the toolkit font its lines use. The defaults
// are a plain light menu; an editor sets its skin's colours and type.
struct PopupLook {
    std::uint32_t paper = 0xE0E0E0u;
    std::uint32_t ink = 0x000000u;
    std::uint32_t greyInk = 0x808080u;  // greyed entries, titles and separators
    std::uint32_t highlight = 0x3060C0u;
    std::uint32_t highlightInk = 0xFFFFFFu;
    std::uint32_t edge = 0x404040u;
    std::uint32_t mark = 0x000000u;  // the check mark and the submenu arrow on unlit lines
    std::int32_t fontId = 3;
    // The size of the editor it opens from: lines, marks and text grow with it.
    std::int32_t scalePercent = 100;
};

// menus[0] is the root; every menu's lines in order.
struct PopupTree {
    std::vector<std::vector<PopupItem>> menus;
    PopupLook look;
    std::int32_t columnCount(std::size_t menuIndex) const;
};

// What a popup may know of the menu that opened it.
struct PopupContext {
    FrameView* frame = nullptr;    // the menu's frame: its window, platform and editor
    const bool* wanted = nullptr;  // turns false when the menu loses the focus: close, no choice
};

// Runs one popup and answers the chosen id, or -1 for no choice. Platforms supply one.
class PopupPresenter {
public:
    virtual ~PopupPresenter() = default;
    virtual std::int32_t run(const PopupTree& tree, Point screenAt, bool secondaryButton) = 0;
    // What the menu calls; presenters that need the frame override this one.
    virtual std::int32_t runFor(const PopupContext& /*context*/, const PopupTree& tree, Point screenAt,
                                bool secondaryButton) {
        return run(tree, screenAt, secondaryButton);
    }
};

// The presenter menus without their own use, installed once per thread by the platform glue
// (the GUI runs on one thread per editor); null: popups open nothing.
void setDefaultPopupPresenter(PopupPresenter* presenter) noexcept;
PopupPresenter* defaultPopupPresenter() noexcept;

class ChoiceMenu : public text::ValueDisplay {
public:
    // Takes a reference on pressed (may be null): drawn while the popup is open.
    ChoiceMenu(const Rect& size, ValueListener* listener, std::int32_t tag, SkinBitmap* background,
               SkinBitmap* pressed, std::int32_t style);
    ~ChoiceMenu() override;

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;
    void focusGained(Canvas* canvas) override;
    void focusLost(Canvas* canvas) override;
    void setValue(float newValue) override;

    bool addItem(const char* text, std::int32_t index = -1);
    bool addSubmenuItem(ChoiceMenu* menu, const char* text);
    std::int32_t currentItem(std::string* text, bool raw) const;
    bool selectItem(std::int32_t index, bool raw);
    bool itemText(std::int32_t index, std::string& out) const;
    bool setItemText(std::int32_t index, const char* text);
    bool removeItem(std::int32_t index);
    void clearItems();
    std::int32_t itemCount() const noexcept { return static_cast<std::int32_t>(entries.size()); }
    std::int32_t findItem(const char* text) const;
    bool setItemChecked(std::int32_t index, bool on);
    bool checkOnlyItem(std::int32_t index);
    bool isItemChecked(std::int32_t index) const;
    void setColumnLength(std::int32_t perColumn) noexcept { itemsPerColumn = perColumn; }
    std::int32_t getColumnLength() const noexcept { return itemsPerColumn; }

    // The tree the popup shows, ids from 0; public so platforms and tests can read it.
    PopupTree buildTree() const;
    // Resolves an id of buildTree() to the menu and the index in it; false when none owns it.
    bool resolveId(std::int32_t id, ChoiceMenu*& menu, std::int32_t& index);

    void setPopupPresenter(PopupPresenter* presenter) noexcept { popup = presenter; }
    void setPopupLook(const PopupLook& look) noexcept { popupLook = look; }
    ChoiceMenu* lastChosenMenu() const noexcept { return lastMenu; }
    bool popupOpen() const noexcept { return popupWanted; }

private:
    // Appends this menu and its submenus; ids take base … base + count − 1, then submenus.
    std::int32_t buildInto(PopupTree& tree, std::size_t menuIndex, std::int32_t base,
                           std::vector<const ChoiceMenu*>& path) const;
    bool resolveFrom(std::int32_t& base, std::int32_t id, ChoiceMenu*& menu, std::int32_t& index,
                     std::vector<const ChoiceMenu*>& path);

    std::vector<std::string> entries;
    std::vector<ChoiceMenu*> submenus;
    std::vector<std::uint8_t> checks;
    std::int32_t current = -1;
    SkinBitmap* pressedBackground = nullptr;
    std::uint32_t pressButtons = kSecondaryButton;
    std::int32_t itemsPerColumn = -1;
    ChoiceMenu* lastMenu = nullptr;
    PopupPresenter* popup = nullptr;
    PopupLook popupLook;
    bool popupWanted = false;  // true while the popup runs; focusLost clears it to close the popup
};

}  // namespace flanger::gui::menu
