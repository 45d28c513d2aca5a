// Base behaviour of views: inclusive hit and touch tests, the dirty flag, reference counting.
#include "gui/View.h"

#include "gui/FrameView.h"

namespace flanger::gui {

View::View(const Rect& bounds) noexcept : size(bounds), hitArea(bounds) {}

void View::draw(Canvas& /*canvas*/) {
    markDirty(false);
}
void View::drawArea(Canvas& canvas, const Rect& /*area*/) {
    draw(canvas);
}

bool View::touchesArea(const Rect& area) const {
    return area.right >= size.left && area.left <= size.right && area.bottom >= size.top &&
           area.top <= size.bottom;
}

void View::onMouseDown(Canvas& /*canvas*/, Point /*where*/) {}

void View::redrawIfDirty(Canvas& canvas) {
    if (!needsRedraw()) return;
    draw(canvas);
    markDirty(false);
}

int View::receiveNote(View* /*sender*/, const char* /*message*/) {
    return 0;
}
std::int32_t View::onKeyPress(const KeyCode& /*key*/) {
    return -1;
}
std::int32_t View::onKeyRelease(const KeyCode& /*key*/) {
    return -1;
}
bool View::onFilesDropped(const char* const* /*items*/, std::int32_t /*count*/, std::int32_t /*type*/,
                          Point /*where*/) {
    return false;
}
bool View::onWheelTurn(Canvas* /*canvas*/, Point /*where*/, float /*distance*/) {
    return false;
}
void View::focusLost(Canvas* /*canvas*/) {}
void View::focusGained(Canvas* /*canvas*/) {}
bool View::needsRedraw() const {
    return dirty;
}
void View::markDirty(bool flag) {
    dirty = flag;
}

void View::setBounds(const Rect& rect) {
    size = rect;
    markDirty(true);
}

ViewEditor* View::ownerEditor() const {
    return frame != nullptr ? frame->ownerEditor() : nullptr;
}

bool View::onDetached(View* /*parentView*/) {
    return true;
}
bool View::onAttached(View* /*parentView*/) {
    return true;
}

void View::release() {
    // A count already at 0 or below means someone released too often: never destroy twice.
    if (references <= 0) return;
    if (--references == 0) delete this;
}

void View::paintNow() {
    if (frame != nullptr) frame->paintView(this);
}

}  // namespace flanger::gui
