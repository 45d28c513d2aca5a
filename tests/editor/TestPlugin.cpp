// A small plug-in module built from the toolkit for the acceptance tests: three parameters and
// an editor with a rotary knob, a note-value choice menu and a number field, each wired to one
// parameter as a real editor wires them. Exports only the two entry points, like the product.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <new>

#include "gui/SkinBitmap.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/editor/BitmapEditor.h"
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/WindowPopupPresenter.h"
#include "gui/text/NumberField.h"
#include "host/ExtendedEffect.h"
#include "host/VstInterface.h"
#include "platform/x11/X11Platform.h"
#include "text/TextCopy.h"

namespace {

using namespace flanger;

constexpr int32_t kParameterCount = 3;
constexpr int32_t kDepth = 0;  // the knob, 0 … 1
constexpr int32_t kBeat = 1;   // the menu's raw entry index, normalised over its entries
constexpr int32_t kLevel = 2;  // the number field, 0 … 100 in plain units
constexpr const char* kBeatEntries[] = {"1/1", "1/2", "1/4", "-", "1/2 T", "1/4 T", "1/8 T"};
constexpr int32_t kBeatCount = static_cast<int32_t>(sizeof kBeatEntries / sizeof kBeatEntries[0]);

// Control tags: parameter index + 1 (tag 0 would be the frame's "no control").
constexpr int32_t tagOf(int32_t parameter) {
    return parameter + 1;
}

class TestEffect final : public host::ExtendedEffect {
public:
    explicit TestEffect(vst::HostCallback host) : ExtendedEffect(host, 1, kParameterCount) {
        setUniqueId(0x42574154);  // 'BWAT'
        setInputCount(2);
        setOutputCount(2);
        setCanReplace(true);
        values[kDepth].store(0.5f, std::memory_order_relaxed);
        values[kBeat].store(0.0f, std::memory_order_relaxed);
        values[kLevel].store(0.25f, std::memory_order_relaxed);
    }

    void setParameterValue(int32_t index, float value) override {
        if (index < 0 || index >= kParameterCount || std::isnan(value)) return;
        values[static_cast<std::size_t>(index)].store(std::fmin(1.0f, std::fmax(0.0f, value)),
                                                      std::memory_order_relaxed);
        if (attachedEditor != nullptr) attachedEditor->parameterChanged(index, value);
    }
    float parameterValue(int32_t index) override {
        if (index < 0 || index >= kParameterCount) return 0.0f;
        return values[static_cast<std::size_t>(index)].load(std::memory_order_relaxed);
    }
    void parameterName(int32_t index, char* text) override {
        static constexpr const char* kNames[] = {"Depth", "Beat", "Level"};
        if (text != nullptr && index >= 0 && index < kParameterCount) text::copyText(text, kNames[index], 8);
    }
    void parameterText(int32_t index, char* text) override {
        if (text == nullptr || index < 0 || index >= kParameterCount) return;
        const float value = parameterValue(index);
        if (index == kBeat) {
            text::copyText(text, kBeatEntries[beatIndex(value)], 8);
        } else {
            std::snprintf(text, 9, "%.1f", index == kLevel ? value * 100.0f : value);
        }
    }
    void processAdding(float** inputs, float** outputs, int32_t frames) noexcept override {
        for (int32_t c = 0; c < 2; ++c) {
            for (int32_t i = 0; i < frames; ++i) outputs[c][i] += inputs[c][i];
        }
    }
    void processReplacing(float** inputs, float** outputs, int32_t frames) noexcept override {
        for (int32_t c = 0; c < 2; ++c) {
            for (int32_t i = 0; i < frames; ++i) outputs[c][i] = inputs[c][i];
        }
    }

    static int32_t beatIndex(float normalised) {
        const auto index = static_cast<int32_t>(std::lround(normalised * static_cast<float>(kBeatCount - 1)));
        return index < 0 ? 0 : index >= kBeatCount ? kBeatCount - 1 : index;
    }

private:
    // Writer: any host thread and the editor; reader: the host and the editor's idle.
    std::atomic<float> values[kParameterCount];
};

void formatLevel(float value, char* text) {
    std::snprintf(text, 16, "%.1f", value);
}

std::unique_ptr<platform::Platform> openX11() noexcept {
    return platform::X11Platform::open(nullptr);
}

class TestEditor final : public gui::editor::BitmapEditor {
public:
    static constexpr int kWidth = 240;
    static constexpr int kHeight = 120;

    explicit TestEditor(TestEffect* owner) : BitmapEditor(owner, nullptr, &openX11), effect(owner) {
        rect = {0, 0, kHeight, kWidth};
    }
    ~TestEditor() override {
        if (holdsPopups) gui::menu::releaseWindowPopups();
    }

    int32_t open(void* parent) override {
        if (parent == nullptr) return 0;
        FrameEditor::open(parent);
        if (!createFrame({0, 0, kWidth, kHeight})) return 0;
        gui::SkinBitmap* background = new gui::SkinBitmap(0, platform::Surface(kWidth, kHeight, 0x303840));
        frame->setBackground(background);
        background->release();

        gui::SkinBitmap* dial = new gui::SkinBitmap(0, platform::Surface(60, 60, 0x5A6470));
        knob = new gui::controls::RotaryKnob({20, 20, 80, 80}, this, tagOf(kDepth), dial, nullptr, {0, 0});
        dial->release();
        const int32_t depth[] = {kDepth};
        frame->addChild(knob, tagOf(kDepth), 1, depth);

        menu = new gui::menu::ChoiceMenu({110, 20, 200, 40}, this, tagOf(kBeat), nullptr, nullptr,
                                         gui::menu::kCheckCurrent);
        for (const char* entry : kBeatEntries) menu->addItem(entry);
        const int32_t beat[] = {kBeat};
        frame->addChild(menu, tagOf(kBeat), 1, beat);

        level = new gui::text::NumberField({110, 60, 200, 80}, this, tagOf(kLevel), nullptr, nullptr, 0);
        level->setMin(0.0f);
        level->setMax(100.0f);
        level->setValueFormatter(&formatLevel);
        const int32_t levelList[] = {kLevel};
        frame->addChild(level, tagOf(kLevel), 1, levelList);

        // The menu's popups open in the window system's popup windows while this editor is open.
        if (!holdsPopups) gui::menu::acquireWindowPopups();
        holdsPopups = true;
        built = true;
        applyRedraw();
        return 1;
    }
    void close() override {
        if (holdsPopups) gui::menu::releaseWindowPopups();
        holdsPopups = false;
        knob = nullptr;
        menu = nullptr;
        level = nullptr;
        BitmapEditor::close();
    }
    void parameterChanged(int32_t, float) override { requestRedraw(); }
    // On the editor's thread at idle: the controls follow the parameters (set from any thread).
    void applyRedraw() override {
        if (frame == nullptr || knob == nullptr) return;
        knob->setValue(effect->parameterValue(kDepth));
        menu->setValue(static_cast<float>(TestEffect::beatIndex(effect->parameterValue(kBeat))));
        if (!level->isEditing()) level->setValue(effect->parameterValue(kLevel));
    }
    void onValueChanged(gui::Canvas*, gui::Control* control) override {
        if (control == nullptr) return;
        const int32_t parameter = control->getTag() - 1;
        float value = control->getValue();
        if (parameter == kBeat) value = value / static_cast<float>(kBeatCount - 1);
        if (parameter >= 0 && parameter < kParameterCount) effect->setParameterFromEditor(parameter, value);
    }

private:
    TestEffect* effect;
    gui::controls::RotaryKnob* knob = nullptr;
    gui::menu::ChoiceMenu* menu = nullptr;
    gui::text::NumberField* level = nullptr;
    bool holdsPopups = false;
};

vst::EffectRecord* createEffect(vst::HostCallback host) noexcept {
    if (host == nullptr) return nullptr;
    try {
        if (host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        auto* effect = new (std::nothrow) TestEffect(host);
        if (effect == nullptr) return nullptr;
        // Attaches itself to the effect, which owns it from then on.
        if (new (std::nothrow) TestEditor(effect) == nullptr) {
            delete effect;
            return nullptr;
        }
        return effect->effectRecord();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) vst::EffectRecord* VSTPluginMain(vst::HostCallback host) {
    return createEffect(host);
}
__attribute__((visibility("default"))) vst::EffectRecord* legacyMain(vst::HostCallback host) asm("main");
vst::EffectRecord* legacyMain(vst::HostCallback host) {
    return createEffect(host);
}
}
