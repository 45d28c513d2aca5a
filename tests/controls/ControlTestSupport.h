// Headless scaffolding for whole-control tests: a frame with a window on a scripted platform,
// an editor whose in-drag refresh walks the pointer along a path, and a recording listener.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "gui/Control.h"
#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"
#include "platform/headless/HeadlessPlatform.h"

namespace flanger::testing {

// The toolkit's fixtures name its classes as the toolkit does.
using namespace flanger::gui;

// One pass of a scripted drag: where the pointer is and what is held.
struct Step {
    Point at;
    bool shift = false;
    bool alt = false;
    bool control = false;
};

struct RecordingListener : ValueListener {
    std::vector<float> values;
    std::vector<Canvas*> canvases;
    void onValueChanged(Canvas* canvas, Control* control) override {
        values.push_back(control->getValue());
        canvases.push_back(canvas);
    }
};

// Each drag pass ends in dragRefresh: the frame repaints what changed, as the editor's refresh
// does, then the next step is applied, and the button is released after the last one.
struct PathEditor : ViewEditor {
    platform::HeadlessPlatform* platform = nullptr;
    FrameView* frame = nullptr;
    std::vector<Step> path;
    std::size_t next = 0;
    int refreshes = 0;
    bool releaseAfterPath = true;  // off when the queued events carry the release
    Control* watched = nullptr;
    std::vector<float> seen;                  // the watched control's value at each pass
    std::vector<std::pair<char, int>> edits;  // 'b' begin / 'e' end, parameter index

    void beginEdit(int index) override { edits.push_back({'b', index}); }
    void endEdit(int index) override { edits.push_back({'e', index}); }
    void dragRefresh() override {
        ++refreshes;
        if (watched != nullptr) seen.push_back(watched->getValue());
        if (frame != nullptr) frame->idle();
        if (next < path.size() && refreshes < 100000) {
            const Step& step = path[next++];
            platform->setPointer(step.at.h, step.at.v);
            platform->setModifiers(step.shift, step.control, step.alt);
        } else if (releaseAfterPath) {
            platform->setButtons(0);
        }
    }
};

class ControlFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setCurrentPlatform(&headless);
        editor.platform = &headless;
        frame = new FrameView({0, 0, 240, 240}, &headless, 0x5150, &editor);
        ASSERT_TRUE(frame->hasWindow());
        window = static_cast<platform::HeadlessWindow*>(frame->nativeWindow());
        editor.frame = frame;
        // The platform's first paint: from then on the frame's idle repaints dirty views.
        window->postExpose({0, 0, 240, 240});
        headless.processEvents();
    }
    void TearDown() override {
        frame->release();
        platform::setCurrentPlatform(nullptr);
    }

    // Presses the primary button at `at` with the given modifiers and runs the drag along path.
    void press(Point at, std::vector<Step> path = {}, Step held = {}) {
        editor.path = std::move(path);
        editor.next = 0;
        editor.seen.clear();
        headless.setPointer(at.h, at.v);
        headless.setModifiers(held.shift, held.control, held.alt);
        headless.setButtons(platform::kLeftButton);
        window->postButtonPress(at.h, at.v, platform::kLeftButton);
        headless.processEvents();
        headless.setButtons(0);
        headless.setModifiers(false, false, false);
    }

    // A press, 1-pixel motions and the release all queued before one pump, as a host's idle
    // finds a quick click, a tap or a short drag: the button is already up when the press is handled.
    void queuedClick(Point at, const std::vector<Point>& moves = {}) {
        editor.releaseAfterPath = false;
        window->postPointerPress(at.h, at.v, platform::kLeftButton);
        Point last = at;
        for (const Point move : moves) {
            window->postPointerMotion(move.h, move.v);
            last = move;
        }
        window->postPointerRelease(last.h, last.v, platform::kLeftButton);
        headless.processEvents();
    }

    // A canvas on the window's backing, as the frame makes one for each event.
    platform::Surface& pixels() { return window->backing(); }

    platform::HeadlessPlatform headless;
    PathEditor editor;
    RecordingListener listener;
    FrameView* frame = nullptr;
    platform::HeadlessWindow* window = nullptr;
};

// A solid-colour bitmap, created with one reference the caller owns.
inline SkinBitmap* solidBitmap(int width, int height, std::uint32_t rgb) {
    return new SkinBitmap(0, platform::Surface(width, height, rgb));
}

}  // namespace flanger::testing
