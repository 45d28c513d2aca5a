// What the tool's editor windows share on both systems, and the VST 2.x editor they show.
#include "tools/common/EditorWindow.h"

namespace flanger::tools {

void editorSize(PluginInstance& plugin, int& width, int& height) {
    vst::ERect* rect = nullptr;
    if (plugin.dispatch(vst::effEditGetRect, 0, 0, &rect) != 0 && rect != nullptr) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    if (width <= 0 || height <= 0) {
        width = 400;
        height = 300;
    }
}

float animatedValue(long step) {
    const long phase = step % 100;
    return static_cast<float>(phase < 50 ? phase : 100 - phase) / 50.0f;
}

namespace {

class Vst2Editor final : public EditorClient {
public:
    explicit Vst2Editor(PluginInstance& p) : plugin(p) {}
    bool hasEditor() override { return plugin.hasFlag(vst::effFlagsHasEditor); }
    std::string path() override { return plugin.path(); }
    std::string name() override { return plugin.text(vst::effGetEffectName, 0).text; }
    void size(int& width, int& height) override { editorSize(plugin, width, height); }
    bool open(void* display, void* parent) override {
        return plugin.dispatch(vst::effEditOpen, 0, reinterpret_cast<intptr_t>(display), parent) != 0;
    }
    void idle() override { plugin.dispatch(vst::effEditIdle); }
    void close() override { plugin.dispatch(vst::effEditClose); }
    void setParameter(int32_t index, float normalised) override { plugin.setParameter(index, normalised); }

private:
    PluginInstance& plugin;
};

}  // namespace

EditorRunEnd runEditorWindow(PluginInstance& plugin, const EditorRunOptions& options) {
    Vst2Editor editor(plugin);
    return runEditorWindow(editor, options);
}

}  // namespace flanger::tools
