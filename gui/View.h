// The base of everything drawn in the editor window: a rectangle that draws itself, takes
// mouse, wheel, key and drop events and is marked dirty for the frame's idle repaint.
// Views are reference counted; the frame owns the reference a view was created with.
#pragma once

#include <cstdint>

#include "gui/Canvas.h"
#include "gui/Geometry.h"

namespace flanger::gui {

class FrameView;

// The host's key code, passed to key handlers unchanged.
struct KeyCode {
    std::int32_t character = 0;
    std::uint8_t virt = 0;      // host virtual-key number
    std::uint8_t modifier = 0;  // 1 = Shift
};

inline constexpr std::uint8_t kVirtualLeft = 11;
inline constexpr std::uint8_t kVirtualUp = 12;
inline constexpr std::uint8_t kVirtualRight = 13;
inline constexpr std::uint8_t kVirtualDown = 14;
inline constexpr std::uint8_t kShiftModifier = 1;

// Primary + Control and nothing else: every value control's reset-to-default click.
inline constexpr std::uint32_t kResetClick = kPrimaryButton | kControlKey;

// Drop payload types handed to onFilesDropped.
inline constexpr std::int32_t kDropFiles = 0;  // items are file names, count is their number
inline constexpr std::int32_t kDropText = 1;   // one item, the text; count is its size in bytes

// What the frame and its controls need of the editor that owns them: the host's begin/end-edit
// requests by parameter index and the throttled refresh a drag loop runs.
class ViewEditor {
public:
    virtual ~ViewEditor() = default;
    virtual void beginEdit(std::int32_t parameterIndex) = 0;
    virtual void endEdit(std::int32_t parameterIndex) = 0;
    virtual void dragRefresh() = 0;
    // A secondary-button press on the panel or on a view offering it (offersEditorMenu): the
    // editor's own menu; false when the editor has none.
    virtual bool openEditorMenu(Canvas& /*canvas*/, Point /*where*/) { return false; }
};

class View {
public:
    explicit View(const Rect& size) noexcept;
    // Only release() should destroy a view that anything else may still hold.
    virtual ~View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    virtual void draw(Canvas& canvas);
    virtual void drawArea(Canvas& canvas, const Rect& area);
    virtual bool touchesArea(const Rect& area) const;
    virtual void onMouseDown(Canvas& canvas, Point where);
    virtual void redrawIfDirty(Canvas& canvas);
    virtual int receiveNote(View* sender, const char* message);
    virtual std::int32_t onKeyPress(const KeyCode& key);
    virtual std::int32_t onKeyRelease(const KeyCode& key);
    virtual bool onFilesDropped(const char* const* items, std::int32_t count, std::int32_t type, Point where);
    virtual bool onWheelTurn(Canvas* canvas, Point where, float distance);
    virtual void focusLost(Canvas* canvas);
    virtual void focusGained(Canvas* canvas);
    // Whether arrow keys step the view once it has the focus (the window then keeps the keys).
    virtual bool stepsWithArrows() const { return false; }
    // A secondary-button press on this view opens the editor's menu (the title does).
    virtual bool offersEditorMenu() const { return false; }
    virtual bool needsRedraw() const;
    virtual void markDirty(bool flag);
    virtual void enableMouse(bool on) { mouseEnabled = on; }
    virtual bool acceptsMouse() const { return mouseEnabled; }
    virtual void setHitArea(const Rect& rect) { hitArea = rect; }
    virtual void getHitArea(Rect& out) const { out = hitArea; }
    virtual bool containsPoint(Point where) const { return size.contains(where); }
    virtual void setTransparent(bool on) { transparent = on; }
    virtual bool isTransparent() const { return transparent; }
    virtual void setBounds(const Rect& rect);
    virtual void getBounds(Rect& out) const { out = size; }
    virtual void setOwnerFrame(FrameView* owner) { frame = owner; }
    virtual void setParentView(View* view) { parent = view; }
    virtual ViewEditor* ownerEditor() const;
    virtual bool onDetached(View* parentView);
    virtual bool onAttached(View* parentView);
    virtual void release();
    virtual void retain() { ++references; }
    virtual int referenceCount() const { return references; }

    // Draws the view at once through its frame (nothing without one).
    void paintNow();

    const Rect& bounds() const noexcept { return size; }
    FrameView* ownerFrame() const noexcept { return frame; }
    View* parentView() const noexcept { return parent; }

protected:
    int references = 1;
    Rect size;
    Rect hitArea;  // kept for callers; hit testing uses size
    FrameView* frame = nullptr;
    View* parent = nullptr;
    bool dirty = false;
    bool mouseEnabled = true;
    bool transparent = false;
};

}  // namespace flanger::gui
