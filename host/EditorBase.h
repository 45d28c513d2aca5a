// The plain editor contract the effect and the dispatcher talk to: rectangle, open, idle,
// keys, knob mode, wheel and parameter echoes, each with its default answer.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/VstInterface.h"

namespace flanger::host {

class ExtendedEffect;

class EditorBase {
public:
    explicit EditorBase(ExtendedEffect* owner) : effect(owner) {}
    virtual ~EditorBase() = default;
    EditorBase(const EditorBase&) = delete;
    EditorBase& operator=(const EditorBase&) = delete;

    // Writes a pointer to the editor's rectangle into *rect (or null); answers 1 with a rectangle.
    virtual int32_t editorRect(vst::ERect** rect) {
        if (rect != nullptr) *rect = nullptr;
        return 0;
    }
    virtual int32_t open(void* parent) {
        parentWindow = parent;
        return 0;
    }
    virtual void close() {}
    virtual void idle() {
        if (redrawRequested.exchange(0, std::memory_order_acq_rel) != 0) applyRedraw();
    }
    virtual void applyRedraw() {}
    virtual void requestRedraw() { redrawRequested.store(1, std::memory_order_release); }
    // 1 for a key the editor used, 0 for one the host should keep.
    virtual int32_t keyDown(const vst::VstKeyCode& /*key*/) { return 0; }
    virtual int32_t keyUp(const vst::VstKeyCode& /*key*/) { return 0; }
    virtual int32_t selectKnobMode(intptr_t /*mode*/) { return 0; }
    virtual bool wheel(float /*distance*/) { return false; }
    virtual void parameterChanged(int32_t /*index*/, float /*normalised*/) {}
    virtual void redraw() {}
    virtual void dragRefresh() {}
    virtual int32_t reserved() { return 0; }
    virtual void dataParameterChanged(int32_t /*index*/, const void* /*block*/, int32_t /*size*/,
                                      int32_t /*offset*/) {}
    virtual void sampleRateChanged(float /*rate*/) {}
    // The scale the host's window system asks of the editor, in percent (see hostScalePercent);
    // 0 when the host says none, so the user's choice or the desktop decides. Before or while open.
    virtual void setHostScale(int32_t /*percent*/) {}

    // How a format wrapper resizes the host's window when the editor's size changes while it is
    // open: answers whether the host took the new size. Without one, the VST 2.x host is asked.
    using ResizeHook = bool (*)(void* context, int32_t width, int32_t height) noexcept;
    void setResizeHook(ResizeHook hook, void* context) noexcept {
        resizeHook = hook;
        resizeContext = context;
    }

    void* parent() const { return parentWindow; }

protected:
    ExtendedEffect* effect;
    void* parentWindow = nullptr;
    // Writer: requestRedraw, from whatever thread sets parameters; reader and clearer: idle on
    // the host's GUI thread.
    std::atomic<int32_t> redrawRequested{0};
    ResizeHook resizeHook = nullptr;
    void* resizeContext = nullptr;
};

// A host's scale factor as percent: 1 – 4 is a factor (1.5 is 150 %), 100 – 400 was sent as
// percent already (some hosts send 100 for 100 %); anything else, NaN included, is not trusted
// and answers 0.
constexpr int32_t hostScalePercent(double factor) noexcept {
    if (factor >= 1.0 && factor <= 4.0) return static_cast<int32_t>(factor * 100.0 + 0.5);
    if (factor >= 100.0 && factor <= 400.0) return static_cast<int32_t>(factor + 0.5);
    return 0;
}

// Creates the effect's editor; the editor attaches itself to the effect. module/ hands the
// factory to the effect it creates, so the effect never depends on the editor code.
using EditorFactory = EditorBase* (*)(ExtendedEffect* effect) noexcept;

}  // namespace flanger::host
