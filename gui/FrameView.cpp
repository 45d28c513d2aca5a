// The frame view: child array and edit table bookkeeping, event routing in the window
// procedure's order, the first-paint rule of the idle repaint, and the module's window class.
#include "gui/FrameView.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <new>

#include "gui/SkinBitmap.h"

#if defined(_WIN32)
// The linker's symbol at the module's first byte: on Windows its address is the module handle.
extern "C" const char __ImageBase;
#endif

namespace flanger::gui {

namespace {

// Written and read by frames being created and destroyed; hosts may do that on more than one
// thread, hence atomic.
std::atomic<int> classUsers{0};

const char* moduleClassName() noexcept {
    // The module handle is the address the loader mapped the module at.
    static const std::array<char, 40> name = [] {
        std::array<char, 40> text{};
        std::uintptr_t base = 0;
#if defined(_WIN32)
        base = reinterpret_cast<std::uintptr_t>(&__ImageBase);
#else
        Dl_info info{};
        if (dladdr(reinterpret_cast<const void*>(&moduleClassName), &info) != 0) {
            base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
        }
#endif
        std::snprintf(text.data(), text.size(), "Plugin%08" PRIxPTR, base);
        return text;
    }();
    return name.data();
}

}  // namespace

const char* acquireWindowClass() noexcept {
    classUsers.fetch_add(1, std::memory_order_relaxed);
    return moduleClassName();
}

void releaseWindowClass() noexcept {
    int users = classUsers.load(std::memory_order_relaxed);
    while (users > 0 && !classUsers.compare_exchange_weak(users, users - 1, std::memory_order_relaxed)) {
    }
}

int windowClassUsers() noexcept {
    return classUsers.load(std::memory_order_relaxed);
}

FrameView::FrameView(const Rect& bounds, platform::Platform* windowPlatform,
                     platform::NativeParent hostWindow, ViewEditor* owner, int scalePercent)
    : View(bounds),
      editor(owner),
      scaling{scalePercent >= 25 && scalePercent <= 400 ? scalePercent : 100},
      platform(windowPlatform != nullptr ? *windowPlatform : platform::currentPlatform()),
      parentHandle(hostWindow) {
    if (hostWindow == 0) return;
    const char* className = acquireWindowClass();
    window =
        platform.createChildWindow(hostWindow, scaling.edge(bounds.width()), scaling.edge(bounds.height()));
    if (window == nullptr) {
        releaseWindowClass();
        return;
    }
    window->setIdentity("Window", className);
    window->setEventHandler(this);
    window->setDropHandler(this);
    dropRegistered = true;
}

FrameView::FrameView(const Rect& bounds, platform::Platform* windowPlatform,
                     platform::NativeParent hostWindow, ViewEditor* owner, int scalePercent,
                     std::unique_ptr<platform::Window> adopted)
    : View(bounds),
      editor(owner),
      scaling{scalePercent >= 25 && scalePercent <= 400 ? scalePercent : 100},
      platform(windowPlatform != nullptr ? *windowPlatform : platform::currentPlatform()),
      parentHandle(hostWindow),
      window(std::move(adopted)) {
    if (window == nullptr) return;
    window->setEventHandler(this);
    window->setDropHandler(this);
    dropRegistered = true;
}

std::unique_ptr<platform::Window> FrameView::releaseWindow() noexcept {
    if (window == nullptr) return nullptr;
    if (cursorChanged) setCursor(platform::kCursorDefault);
    cursorChanged = false;
    window->setDropHandler(nullptr);
    window->setEventHandler(nullptr);
    window->releaseKeyFocus();
    dropRegistered = false;
    return std::move(window);
}

FrameView::~FrameView() {
    if (cursorChanged) setCursor(platform::kCursorDefault);
    if (window != nullptr) {
        window->setDropHandler(nullptr);
        dropRegistered = false;
    }
    removeAllChildren(true);
    setBackground(nullptr);
    if (window != nullptr) {
        window->setEventHandler(nullptr);
        window.reset();
        releaseWindowClass();
    }
}

void FrameView::draw(Canvas& canvas) {
    firstPaint = false;
    if (background != nullptr) {
        background->draw(canvas, {0, 0, background->getWidth(), background->getHeight()}, {0, 0});
    }
    for (std::size_t i = 0; i < children.size(); ++i) children[i]->draw(canvas);
    if (modal != nullptr) modal->draw(canvas);
}

void FrameView::drawArea(Canvas& canvas, const Rect& area) {
    firstPaint = false;
    if (background != nullptr) background->draw(canvas, area, {area.left, area.top});
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (children[i]->touchesArea(area)) children[i]->drawArea(canvas, area);
    }
    if (modal != nullptr && modal->touchesArea(area)) modal->draw(canvas);
}

void FrameView::onMouseDown(Canvas& canvas, Point where) {
    if (focus != nullptr) {
        View* previous = focus;
        focus = nullptr;
        previous->focusLost(nullptr);
    }
    if (modal != nullptr) {
        if (modal->containsPoint(where)) modal->onMouseDown(canvas, where);
        return;
    }
    if (editor != nullptr) {
        View* under = nullptr;
        for (std::size_t i = children.size(); i-- > 0 && under == nullptr;) {
            if (children[i]->acceptsMouse() && children[i]->containsPoint(where)) under = children[i];
        }
        // The secondary button on the bare panel or the title: the editor's menu.
        if ((under == nullptr || under->offersEditorMenu()) &&
            (canvas.readButtons() & (kPrimaryButton | kSecondaryButton)) == kSecondaryButton &&
            editor->openEditorMenu(canvas, where))
            return;
    }
    for (std::size_t i = children.size(); i-- > 0;) {
        View* child = children[i];
        if (!child->acceptsMouse() || !child->containsPoint(where)) continue;
        // The drag loop may change the tree (a view removing itself): keep it alive meanwhile.
        child->retain();
        child->onMouseDown(canvas, where);
        child->release();
        return;
    }
}

void FrameView::redrawIfDirty(Canvas& canvas) {
    if (!open) return;
    if (modal != nullptr) {
        modal->redrawIfDirty(canvas);
    } else if (View::needsRedraw()) {
        draw(canvas);
        markDirty(false);
    } else {
        for (std::size_t i = 0; i < children.size(); ++i) children[i]->redrawIfDirty(canvas);
    }
}

std::int32_t FrameView::onKeyPress(const KeyCode& key) {
    return routeKey([&key](View* view) { return view->onKeyPress(key); });
}

std::int32_t FrameView::onKeyRelease(const KeyCode& key) {
    return routeKey([&key](View* view) { return view->onKeyRelease(key); });
}

template <typename Deliver>
std::int32_t FrameView::routeKey(Deliver&& deliver) {
    // Only the focus, the modal view and the control under the pointer hear a key: offering it
    // to every child would let a control the user never pointed at step (and the host lose it).
    if (focus != nullptr) {
        if (const std::int32_t result = deliver(focus); result != -1) return result;
    }
    if (modal != nullptr) return deliver(modal);
    if (View* target = childUnderPointer()) return deliver(target);
    return -1;
}

View* FrameView::childUnderPointer() {
    Point where;
    getCurrentMouseLocation(where);
    for (std::size_t i = children.size(); i-- > 0;) {
        View* child = children[i];
        if (child->acceptsMouse() && child->containsPoint(where)) return child;
    }
    return nullptr;
}

bool FrameView::onFilesDropped(const char* const* items, std::int32_t count, std::int32_t type, Point where) {
    if (modal != nullptr || focus != nullptr) return false;
    for (std::size_t i = children.size(); i-- > 0;) {
        if (i >= children.size()) continue;
        View* child = children[i];
        if (!child->acceptsMouse() || !child->containsPoint(where)) continue;
        if (child->onFilesDropped(items, count, type, where)) return true;
    }
    return false;
}

bool FrameView::onWheelTurn(Canvas* canvas, Point /*where*/, float distance) {
    Point live;
    getCurrentMouseLocation(live);
    Canvas own = windowCanvas();
    Canvas* use = canvas != nullptr ? canvas : &own;
    // Like the arrow keys: the focused control first, else the one under the pointer.
    if (modal == nullptr && focus != nullptr && focus->onWheelTurn(use, live, distance)) return true;
    View* target = viewUnderCursor();
    return target != nullptr && target != focus && target->onWheelTurn(use, live, distance);
}

bool FrameView::addChild(View* view) {
    if (view == nullptr) return false;
    try {
        if (children.size() == children.capacity()) children.reserve(children.size() + kGrowth);
        children.push_back(view);
    } catch (const std::bad_alloc&) {
        return false;
    }
    view->setOwnerFrame(this);
    view->onAttached(this);
    return true;
}

bool FrameView::removeChild(View* view, bool release) {
    const auto found = std::find(children.begin(), children.end(), view);
    if (found == children.end()) return true;
    children.erase(found);
    // A released focus view would be left dangling.
    if (focus == view) focus = nullptr;
    view->onDetached(this);
    if (release) view->release();
    return true;
}

bool FrameView::addChild(View* view, std::int32_t tag, std::int32_t count, const std::int32_t* indices) {
    if (!addChild(view)) return false;
    setEditList(tag, count, indices);
    return true;
}

bool FrameView::setEditList(std::int32_t tag, std::int32_t count, const std::int32_t* indices) {
    if (tag < 0 || tag > kMaxTag) return false;
    if (tag > editCapacity) {
        try {
            editTable.resize(static_cast<std::size_t>(tag) + kGrowth + 1);
        } catch (const std::bad_alloc&) {
            editTable.clear();
            hasEditTable = false;
            editCapacity = 0;
            return false;
        }
        editCapacity = tag + kGrowth;
        hasEditTable = true;
    }
    if (indices == nullptr || count < 0) count = 0;
    count = std::min(count, kMaxEditIndices);
    EditRow& row = editTable[static_cast<std::size_t>(tag)];
    row.count = count;
    std::copy(indices, indices + count, row.indices.begin());
    return true;
}

bool FrameView::removeAllChildren(bool release) {
    if (focus != nullptr) {
        View* previous = focus;
        focus = nullptr;
        previous->focusLost(nullptr);
    }
    std::vector<View*> leaving;
    leaving.swap(children);
    for (View* child : leaving) {
        child->onDetached(this);
        if (release) child->release();
    }
    editTable = {};
    hasEditTable = false;
    editCapacity = -1;
    return true;
}

bool FrameView::isChild(const View* view) const {
    return std::find(children.begin(), children.end(), view) != children.end();
}

int FrameView::childCount() const {
    return static_cast<int>(children.size());
}

View* FrameView::childAt(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    return children[static_cast<std::size_t>(index)];
}

bool FrameView::idle() {
    if (!open) return false;
    if (firstPaint) return false;  // the platform paints the window first
    if (!isSomethingDirty()) return false;
    Canvas canvas = windowCanvas();
    redrawIfDirty(canvas);
    return true;
}

void FrameView::paintView(View* view) {
    if (!open) return;
    Canvas canvas = windowCanvas();
    if (view != nullptr && isChild(view)) {
        view->draw(canvas);
    } else {
        draw(canvas);
    }
}

bool FrameView::setModalView(View* view) {
    if (modal != nullptr && view != nullptr) return false;
    if (modal != nullptr) modal->onDetached(this);
    modal = view;
    if (view != nullptr) {
        view->setOwnerFrame(this);
        view->onAttached(this);
    }
    return true;
}

void FrameView::setFocusView(View* view) {
    View* previous = focus;
    focus = view;
    if (previous != nullptr) previous->focusLost(nullptr);
}

void FrameView::setCursor(int type) {
    if (type < platform::kCursorDefault || type > platform::kCursorSizeNorthWestSouthEast) return;
    cursorChanged = true;
    if (window != nullptr) window->setCursorShape(type);
}

void FrameView::getCurrentMouseLocation(Point& out) {
    const platform::PointerState state = platform.readPointer();
    platform::ScreenPoint origin;
    if (window != nullptr) origin = window->screenOrigin();
    out = scaling.toLogical(Point{state.position.x - origin.x, state.position.y - origin.y});
}

Canvas FrameView::windowCanvas() noexcept {
    return Canvas(this, window != nullptr ? &window->backing() : nullptr, window.get(), scaling);
}

View* FrameView::viewUnderCursor() {
    if (modal != nullptr) return modal;
    Point where;
    getCurrentMouseLocation(where);
    for (std::size_t i = children.size(); i-- > 0;) {
        if (children[i]->containsPoint(where)) return children[i];
    }
    return nullptr;
}

void FrameView::setBackground(SkinBitmap* bitmap) {
    if (bitmap != nullptr) bitmap->retain();
    if (background != nullptr) background->release();
    background = bitmap;
}

template <typename Report>
void FrameView::reportEdits(std::int32_t tag, Report&& report) {
    if (!hasEditTable) {
        report(tag);
        return;
    }
    // A tag beyond the table has no row: nothing to report.
    if (tag < 0 || tag > editCapacity || static_cast<std::size_t>(tag) >= editTable.size()) return;
    const EditRow& row = editTable[static_cast<std::size_t>(tag)];
    for (std::int32_t i = 0; i < row.count; ++i) report(row.indices[static_cast<std::size_t>(i)]);
}

void FrameView::notifyEditStart(std::int32_t tag) {
    if (editor == nullptr) return;
    reportEdits(tag, [this](std::int32_t index) { editor->beginEdit(index); });
}

void FrameView::notifyEditEnd(std::int32_t tag) {
    if (editor == nullptr) return;
    reportEdits(tag, [this](std::int32_t index) { editor->endEdit(index); });
}

bool FrameView::isSomethingDirty() const {
    if (modal != nullptr || View::needsRedraw()) return true;
    return std::any_of(children.begin(), children.end(),
                       [](const View* child) { return child->needsRedraw(); });
}

void FrameView::onExpose(const platform::PixelBox& area) {
    // Only a non-empty update region is painted.
    if (!open || window == nullptr || area.empty()) return;
    Canvas canvas = windowCanvas();
    drawArea(canvas, scaling.coveringLogical(area));
}

void FrameView::onButtonPress(int x, int y, std::uint32_t /*button*/) {
    if (!open || window == nullptr) return;
    Canvas canvas = windowCanvas();
    // The position as the window message carries it: two unsigned 16-bit halves.
    onMouseDown(canvas, scaling.toLogical(Point{x & 0xFFFF, y & 0xFFFF}));
    keepKeysForFocus();
}

void FrameView::noteForwardedKey() {
    hostForwardsKeys = true;
    if (window != nullptr) window->releaseKeyFocus();
}

void FrameView::keepKeysForFocus() {
    if (!open || window == nullptr) return;
    if (!hostForwardsKeys && focus != nullptr && focus->stepsWithArrows()) {
        window->holdKeyFocus();
    } else {
        window->releaseKeyFocus();
    }
}

bool FrameView::onKey(const platform::TextKey& key) {
    if (!open) return false;
    // The window's own keys take the same way as keys the host forwards.
    KeyCode code;
    code.character = static_cast<std::int32_t>(key.character);
    code.modifier = key.shift ? kShiftModifier : 0;
    switch (key.key) {
        case platform::Key::Left:
            code.virt = kVirtualLeft;
            break;
        case platform::Key::Up:
            code.virt = kVirtualUp;
            break;
        case platform::Key::Right:
            code.virt = kVirtualRight;
            break;
        case platform::Key::Down:
            code.virt = kVirtualDown;
            break;
        default:
            break;
    }
    return onKeyPress(code) > 0;
}

void FrameView::onWheel(int /*x*/, int /*y*/, float steps) {
    // Linux hosts send no wheel opcode: the wheel reaches the frame through its own window.
    if (!open) return;
    onWheelTurn(nullptr, {0, 0}, steps);
}

void FrameView::onDestroyed() {
    open = false;
    parentHandle = 0;
}

bool FrameView::onDrop(const char* const* items, int count, int type, platform::ScreenPoint where) {
    platform::ScreenPoint origin;
    if (window != nullptr) origin = window->screenOrigin();
    return onFilesDropped(items, count, type,
                          scaling.toLogical(Point{where.x - origin.x, where.y - origin.y}));
}

}  // namespace flanger::gui
