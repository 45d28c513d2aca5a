// Test doubles for the view layer: a control that follows the shared interaction contract the
// way concrete controls do, a recording listener and a recording editor.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "gui/Control.h"
#include "gui/FrameView.h"

namespace flanger::testing {

// The toolkit's fixtures name its classes as the toolkit does.
using namespace flanger::gui;

struct RecordingListener : ValueListener {
    struct Change {
        Canvas* canvas;
        int tag;
        float value;
    };
    std::vector<Change> changes;
    void onValueChanged(Canvas* canvas, Control* control) override {
        changes.push_back({canvas, control->getTag(), control->getValue()});
    }
};

struct RecordingEditor : ViewEditor {
    std::vector<std::pair<char, int>> edits;  // 'b' begin / 'e' end, parameter index
    int refreshes = 0;
    void beginEdit(int index) override { edits.push_back({'b', index}); }
    void endEdit(int index) override { edits.push_back({'e', index}); }
    void dragRefresh() override { ++refreshes; }
};

// A control whose drag maps the pointer's vertical position to value = v / 100.
class TestControl : public Control {
public:
    TestControl(const Rect& bounds, ValueListener* receiver, int controlTag, bool* destroyed = nullptr)
        : Control(bounds, receiver, controlTag, nullptr), destroyedFlag(destroyed) {}
    ~TestControl() override {
        if (destroyedFlag != nullptr) *destroyedFlag = true;
    }

    void draw(Canvas& /*canvas*/) override {
        ++draws;
        markDirty(false);
    }
    void drawArea(Canvas& canvas, const Rect& area) override {
        lastArea = area;
        ++areaDraws;
        draw(canvas);
    }
    void onMouseDown(Canvas& canvas, Point where) override {
        ++presses;
        lastPress = where;
        const std::uint32_t buttons = canvas.readButtons();
        if (!takesPress(buttons)) return;
        if (buttons == kResetClick) {
            applyResetClick(&canvas);
            return;
        }
        trackDrag(canvas, [this](Point at, std::uint32_t) { value = static_cast<float>(at.v) / 100.0f; });
    }
    bool onWheelTurn(Canvas* canvas, Point where, float distance) override {
        lastWheel = where;
        return wheelStep(canvas, distance);
    }
    std::int32_t onKeyPress(const KeyCode& key) override {
        keys.push_back(getTag());
        if (keyAnswer != -2) return keyAnswer;
        return arrowKeyStep(key);
    }
    bool onFilesDropped(const char* const* items, std::int32_t count, std::int32_t type, Point) override {
        dropped.clear();
        for (std::int32_t i = 0; type == kDropFiles && i < count; ++i) dropped.emplace_back(items[i]);
        if (type == kDropText && count > 0) dropped.emplace_back(items[0], static_cast<std::size_t>(count));
        dropType = type;
        return acceptDrops;
    }
    void focusLost(Canvas*) override { ++focusLosses; }
    void setReferences(int count) { references = count; }

    int draws = 0;
    int areaDraws = 0;
    int presses = 0;
    int focusLosses = 0;
    int keyAnswer = -2;  // -2: arrow-key rule; else answered as is
    bool acceptDrops = true;
    int dropType = -1;
    Point lastPress{-1, -1};
    Point lastWheel{-1, -1};
    Rect lastArea;
    std::vector<std::string> dropped;
    static inline std::vector<int> keys;  // tags in the order keys reached them

private:
    bool* destroyedFlag;
};

}  // namespace flanger::testing
