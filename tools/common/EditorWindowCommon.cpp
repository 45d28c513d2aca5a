// What the tool's editor windows share on both systems.
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

}  // namespace flanger::tools
