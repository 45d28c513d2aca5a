// The root of the editor's view tree: owns the child window inside the host's window, the
// top-level views, a modal and a focus view and the edit table, routes the window's paint,
// mouse, wheel, key and drop events, and repaints dirty views when the editor idles.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "gui/PixelScale.h"
#include "gui/View.h"
#include "platform/Platform.h"

namespace flanger::gui {

class SkinBitmap;

class FrameView : public View, private platform::WindowEvents, private platform::DropEvents {
public:
    static constexpr int kMaxEditIndices = 20;
    static constexpr int kGrowth = 20;
    // Tags are small numbers; a larger one would only make the table huge.
    static constexpr std::int32_t kMaxTag = 65535;

    // Creates the child window when parent is non-zero; windowPlatform null means the current
    // platform. Without a parent, or when the platform refuses it, the frame has no window. size
    // is logical; the window is that size at scalePercent.
    FrameView(const Rect& size, platform::Platform* windowPlatform, platform::NativeParent parent,
              ViewEditor* editor, int scalePercent = 100);
    // A frame in the window an earlier frame let go (releaseWindow), e.g. for the same editor
    // at another scale: hosts hold the window's id, so it stays. The window class use it holds
    // passes to this frame.
    FrameView(const Rect& size, platform::Platform* windowPlatform, platform::NativeParent parent,
              ViewEditor* editor, int scalePercent, std::unique_ptr<platform::Window> adopted);
    ~FrameView() override;
    // Lets the window go, with its use of the window class (see acquireWindowClass), to a frame
    // that adopts it; this frame has no window from now on.
    std::unique_ptr<platform::Window> releaseWindow() noexcept;

    void draw(Canvas& canvas) override;
    void drawArea(Canvas& canvas, const Rect& area) override;
    void onMouseDown(Canvas& canvas, Point where) override;
    void redrawIfDirty(Canvas& canvas) override;
    std::int32_t onKeyPress(const KeyCode& key) override;
    std::int32_t onKeyRelease(const KeyCode& key) override;
    bool onFilesDropped(const char* const* items, std::int32_t count, std::int32_t type,
                        Point where) override;
    bool onWheelTurn(Canvas* canvas, Point where, float distance) override;
    ViewEditor* ownerEditor() const override { return editor; }

    // Adding hands the view's creation reference to the frame; false (view not added) when
    // the array cannot grow.
    virtual bool addChild(View* view);
    virtual bool removeChild(View* view, bool release);
    virtual bool addChild(View* view, std::int32_t tag, std::int32_t count, const std::int32_t* indices);
    virtual bool setEditList(std::int32_t tag, std::int32_t count, const std::int32_t* indices);
    virtual bool removeAllChildren(bool release);
    virtual bool isChild(const View* view) const;
    virtual int childCount() const;
    virtual View* childAt(int index) const;

    // Repaints the dirty views; false when nothing was drawn.
    bool idle();
    // Draws view at once when it is a child, else the whole frame.
    void paintView(View* view);
    bool setModalView(View* view);
    View* modalView() const noexcept { return modal; }
    void setFocusView(View* view);
    View* focusView() const noexcept { return focus; }
    void setCursor(int type);
    void getCurrentMouseLocation(Point& out);
    View* viewUnderCursor();
    void setBackground(SkinBitmap* bitmap);
    SkinBitmap* getBackground() const noexcept { return background; }
    void notifyEditStart(std::int32_t tag);
    void notifyEditEnd(std::int32_t tag);
    bool isSomethingDirty() const;
    // The host forwards its keys (effEditKeyDown): the window then never takes the keyboard.
    void noteForwardedKey();

    bool isOpen() const noexcept { return open; }
    const PixelScale& pixelScale() const noexcept { return scaling; }
    // A canvas over the window's backing at the frame's scale (no surface without a window).
    Canvas windowCanvas() noexcept;
    bool firstPaintPending() const noexcept { return firstPaint; }
    bool hasWindow() const noexcept { return window != nullptr; }
    platform::Window* nativeWindow() const noexcept { return window.get(); }
    platform::Platform& windowPlatform() const noexcept { return platform; }
    platform::NativeParent parentWindow() const noexcept { return parentHandle; }
    std::int32_t editTableCapacity() const noexcept { return editCapacity; }
    bool dropTargetRegistered() const noexcept { return dropRegistered; }

private:
    struct EditRow {
        std::int32_t count = 0;
        std::array<std::int32_t, kMaxEditIndices> indices{};
    };

    // Window events (the window procedure).
    void onExpose(const platform::PixelBox& area) override;
    void onButtonPress(int x, int y, std::uint32_t button) override;
    void onWheel(int x, int y, float steps) override;
    void onDestroyed() override;
    bool onKey(const platform::TextKey& key) override;
    // Drops onto the window.
    bool onDrop(const char* const* items, int count, int type, platform::ScreenPoint where) override;

    // A key for the focus view, else the modal view, else the child under the pointer; −1 when
    // none of them uses it.
    template <typename Deliver>
    std::int32_t routeKey(Deliver&& deliver);
    // After a press: the window keeps the keyboard while a control stepping with arrows has the
    // focus, and gives it back otherwise.
    void keepKeysForFocus();
    // The topmost child taking the mouse under the pointer, or null.
    View* childUnderPointer();
    // Calls report(index) for each parameter index of the tag's edit row.
    template <typename Report>
    void reportEdits(std::int32_t tag, Report&& report);

    ViewEditor* editor;
    PixelScale scaling;
    platform::Platform& platform;
    platform::NativeParent parentHandle;
    SkinBitmap* background = nullptr;
    std::vector<View*> children;  // insertion order; later children lie on top
    View* modal = nullptr;
    View* focus = nullptr;
    std::vector<EditRow> editTable;
    bool hasEditTable = false;
    std::int32_t editCapacity = -1;  // highest tag with a row
    bool firstPaint = true;
    bool open = true;
    bool dropRegistered = false;
    bool cursorChanged = false;
    bool hostForwardsKeys = false;
    std::unique_ptr<platform::Window> window;
};

// The module's one window class name, "Plugin" and the module's load address in hex, counted
// by frames: the first frame's acquire forms it, the last frame's release drops it.
const char* acquireWindowClass() noexcept;
void releaseWindowClass() noexcept;
int windowClassUsers() noexcept;

}  // namespace flanger::gui
