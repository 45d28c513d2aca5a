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

    void* parent() const { return parentWindow; }

protected:
    ExtendedEffect* effect;
    void* parentWindow = nullptr;
    // Writer: requestRedraw, from whatever thread sets parameters; reader and clearer: idle on
    // the host's GUI thread.
    std::atomic<int32_t> redrawRequested{0};
};

// Creates the effect's editor; the editor attaches itself to the effect. module/ hands the
// factory to the effect it creates, so the effect never depends on the editor code.
using EditorFactory = EditorBase* (*)(ExtendedEffect* effect) noexcept;

}  // namespace flanger::host
