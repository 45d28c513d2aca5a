// flanger-host --editor: shows a plug-in's editor in a top-level X11 window of the tool's own
// and idles it the way hosts do, until the user closes the window.
#pragma once

#include "tools/common/TestHost.h"

namespace flanger::tools {

struct EditorRunOptions {
    double seconds = 0.0;    // > 0: close by itself after this long (for scripted runs)
    int idleMs = 20;         // the idle period of the quickest hosts
    bool openEditor = true;  // false: the same window and loop with no editor, to measure the host alone
    int32_t animateParameter = -1;  // >= 0: this parameter is moved before every idle, as automation would
    bool reportCpu = false;         // print the process's CPU time per wall second, after the first second
};

// Answers the process exit code: 0 after a clean close, 1 when the editor cannot be shown.
int runEditorWindow(PluginInstance& plugin, const EditorRunOptions& options);

}  // namespace flanger::tools
