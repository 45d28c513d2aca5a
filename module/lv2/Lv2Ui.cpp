// The flanger's LV2 UI (ui:X11UI): the same editor as the VST module's, opened in the host's
// parent window over a model effect of its own. The editor's edits reach the host through the
// UI's write function (bracketed by ui:touch where the host offers it, so a drag is one
// gesture); the host's port events move the editor's controls; the host's idle calls run it.
// The host's scale factor (ui:scaleFactor) arrives as an option, at instantiate or later.
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "editor/FlangerEditor.h"
#include "effect/FlangerEffect.h"
#include "gui/FrameView.h"
#include "gui/editor/FrameEditor.h"
#include "host/VstInterface.h"
#include "module/lv2/Lv2Ports.h"
#include "platform/x11/X11Platform.h"

namespace {

using namespace flanger;

struct UiInstance {
    effect::FlangerEffect* effect = nullptr;  // owned through its record: effClose deletes it
    vst::EffectRecord* record = nullptr;
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    // Mapped from the host's urid:map at instantiate; 0 (never a URID) without one.
    LV2_URID scaleFactorKey = 0;
    LV2_URID floatType = 0;
};

std::unique_ptr<platform::Platform> openX11() noexcept {
    return platform::X11Platform::open(nullptr);
}

host::EditorBase* createEditor(host::ExtendedEffect* effect) noexcept {
    return editor::createFlangerEditor(effect, &openX11);
}

// What the model effect asks of its host: its edits become port writes and touch gestures.
intptr_t answerEffect(vst::EffectRecord* record, int32_t opcode, int32_t index, intptr_t value, void*,
                      float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    auto* self = record != nullptr ? static_cast<UiInstance*>(record->user) : nullptr;
    if (self == nullptr || index < 0 ||
        (opcode != vst::audioMasterSizeWindow && index >= int32_t{lv2::kControlCount}))
        return 0;
    switch (opcode) {
        case vst::audioMasterAutomate: {
            const float plain = self->effect->parameterTable()->denormalize(index, opt);
            self->write(self->controller, static_cast<uint32_t>(index), sizeof plain, 0, &plain);
            return 1;
        }
        case vst::audioMasterBeginEdit:
        case vst::audioMasterEndEdit:
            if (self->touch != nullptr)
                self->touch->touch(self->touch->handle, static_cast<uint32_t>(index),
                                   opcode == vst::audioMasterBeginEdit);
            return 1;
        case vst::audioMasterSizeWindow:
            if (self->resize == nullptr) return 0;
            return self->resize->ui_resize(self->resize->handle, index, static_cast<int>(value)) == 0 ? 1 : 0;
        default:
            return 0;
    }
}

// The editor's size changed while open: the host's ui:resize took it when it answered 0.
bool resizeHost(void* context, int32_t width, int32_t height) noexcept {
    const LV2UI_Resize* resize = static_cast<UiInstance*>(context)->resize;
    return resize != nullptr && resize->ui_resize(resize->handle, width, height) == 0;
}

// Takes ui:scaleFactor from the host's options and answers their LV2_Options_Status bits. A
// factor that is not trusted changes nothing.
uint32_t takeOptions(UiInstance& self, const LV2_Options_Option* options) noexcept {
    uint32_t status = LV2_OPTIONS_SUCCESS;
    host::EditorBase* editor = self.effect->editor();
    // The list ends with a zeroed option.
    for (; options != nullptr && (options->key != 0 || options->value != nullptr); ++options) {
        if (options->context != LV2_OPTIONS_INSTANCE) {
            status |= LV2_OPTIONS_ERR_BAD_SUBJECT;
            continue;
        }
        if (self.scaleFactorKey == 0 || options->key != self.scaleFactorKey || editor == nullptr) {
            status |= LV2_OPTIONS_ERR_BAD_KEY;
            continue;
        }
        float factor = 0.0f;
        if (options->type != self.floatType || options->size != sizeof factor || options->value == nullptr) {
            status |= LV2_OPTIONS_ERR_BAD_VALUE;
            continue;
        }
        std::memcpy(&factor, options->value, sizeof factor);
        const int32_t percent = host::hostScalePercent(factor);
        if (percent == 0) {
            status |= LV2_OPTIONS_ERR_BAD_VALUE;
            continue;
        }
        editor->setHostScale(percent);
    }
    return status;
}

intptr_t dispatch(UiInstance& self, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr) {
    return self.record->dispatcher(self.record, opcode, index, value, ptr, 0.0f);
}

void close(UiInstance* self) {
    if (self->record != nullptr) {
        dispatch(*self, vst::effEditClose);
        dispatch(*self, vst::effClose);  // deletes the effect and its editor
    } else {
        delete self->effect;
    }
    delete self;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    if (pluginUri == nullptr || std::strcmp(pluginUri, lv2::kPluginUri) != 0 || write == nullptr ||
        widget == nullptr)
        return nullptr;
    void* parent = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (; features != nullptr && *features != nullptr; ++features) {
        const LV2_Feature& f = **features;
        if (f.URI == nullptr) continue;
        if (std::strcmp(f.URI, LV2_UI__parent) == 0) parent = f.data;
        if (std::strcmp(f.URI, LV2_UI__touch) == 0) touch = static_cast<const LV2UI_Touch*>(f.data);
        if (std::strcmp(f.URI, LV2_UI__resize) == 0) resize = static_cast<const LV2UI_Resize*>(f.data);
        if (std::strcmp(f.URI, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>(f.data);
        if (std::strcmp(f.URI, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>(f.data);
    }
    if (parent == nullptr) return nullptr;
    try {
        auto* self = new (std::nothrow) UiInstance{nullptr, nullptr, write, controller, touch, resize};
        if (self == nullptr) return nullptr;
        self->effect = new (std::nothrow) effect::FlangerEffect(&answerEffect, &createEditor);
        if (self->effect == nullptr || !self->effect->initialise()) {
            close(self);
            return nullptr;
        }
        self->record = self->effect->effectRecord();
        self->record->user = self;
        dispatch(*self, vst::effOpen);
        auto* frameEditor = dynamic_cast<gui::editor::FrameEditor*>(self->effect->editor());
        if (frameEditor != nullptr) {
            if (map != nullptr && map->map != nullptr) {
                self->scaleFactorKey = map->map(map->handle, LV2_UI__scaleFactor);
                self->floatType = map->map(map->handle, LV2_ATOM__Float);
            }
            // Before the window opens, so it opens at the host's scale.
            takeOptions(*self, options);
            if (resize != nullptr) frameEditor->setResizeHook(&resizeHost, self);
        }
        if (frameEditor == nullptr || dispatch(*self, vst::effEditOpen, 0, 0, parent) == 0 ||
            frameEditor->frameView() == nullptr || frameEditor->frameView()->nativeWindow() == nullptr) {
            close(self);
            return nullptr;
        }
        *widget = reinterpret_cast<LV2UI_Widget>(frameEditor->frameView()->nativeWindow()->systemId());
        vst::ERect* rect = nullptr;
        if (resize != nullptr && dispatch(*self, vst::effEditGetRect, 0, 0, &rect) != 0 && rect != nullptr)
            resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
        return self;
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) {
    close(static_cast<UiInstance*>(handle));
}

// The host's value of a control port: moved onto the editor as a VST host's write would be.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    auto& self = *static_cast<UiInstance*>(handle);
    if (format != 0 || size != sizeof(float) || buffer == nullptr || port >= lv2::kControlCount) return;
    float value = 0.0f;
    std::memcpy(&value, buffer, sizeof value);
    if (!std::isfinite(value)) return;
    const float normalised = self.effect->parameterTable()->normalize(static_cast<int>(port), value);
    self.record->setParameter(self.record, static_cast<int32_t>(port),
                              normalised < 0.0f   ? 0.0f
                              : normalised > 1.0f ? 1.0f
                                                  : normalised);
}

int idle(LV2UI_Handle handle) {
    dispatch(*static_cast<UiInstance*>(handle), vst::effEditIdle);
    return 0;
}

const LV2UI_Idle_Interface kIdle = {idle};

// The UI holds no option a host could read back.
uint32_t getOptions(LV2_Handle, LV2_Options_Option* options) {
    uint32_t status = LV2_OPTIONS_SUCCESS;
    for (; options != nullptr && (options->key != 0 || options->value != nullptr); ++options)
        status |= LV2_OPTIONS_ERR_BAD_KEY;
    return status;
}

uint32_t setOptions(LV2_Handle handle, const LV2_Options_Option* options) {
    if (handle == nullptr) return LV2_OPTIONS_ERR_UNKNOWN;
    return takeOptions(*static_cast<UiInstance*>(handle), options);
}

const LV2_Options_Interface kOptions = {getOptions, setOptions};

const void* extensionData(const char* uri) {
    if (uri == nullptr) return nullptr;
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
    if (std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &kOptions;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {lv2::kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
