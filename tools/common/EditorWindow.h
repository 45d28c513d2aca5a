// flanger-host --editor: shows a plug-in's editor in a top-level window of the tool's own (X11 or Win32)
// and idles it the way hosts do, until the user closes the window or interrupts the tool.
#pragma once

#include <string>
#include <vector>

#include "tools/common/TestHost.h"

namespace flanger::tools {

struct EditorRunOptions {
    double seconds = 0.0;    // > 0: close by itself after this long (for scripted runs)
    int idleMs = 20;         // the idle period of the quickest hosts
    bool openEditor = true;  // false: the same window and loop with no editor, to measure the host alone
    int32_t animateParameter = -1;  // >= 0: this parameter is moved before every idle, as automation would
    bool reportCpu = false;         // print the process's CPU time per wall second, after the first second
    std::string snapshotPath;       // Windows: the editor's pixels written here (binary PPM) before it closes
};

// How the run ended. Every end but NotShown closed the editor through the plug-in first.
enum class EditorRunEnd {
    Closed,       // the window was closed (by the window manager or another client) or the time ran out
    Interrupted,  // SIGINT
    Terminated,   // SIGTERM
    NotShown,     // no editor, or no display
};

// What the window needs of a plug-in's editor, whatever the plug-in's format.
class EditorClient {
public:
    virtual ~EditorClient() = default;
    virtual bool hasEditor() = 0;
    virtual std::string path() = 0;  // for messages
    virtual std::string name() = 0;  // for the window's title; empty: the path
    // The editor's size; 400 × 300 when it gives none.
    virtual void size(int& width, int& height) = 0;
    // Opens the editor into parent: on X11 the window's XID, display the tool's own connection
    // (which some plug-ins take); on Windows the HWND, display null. False: it said it failed.
    virtual bool open(void* display, void* parent) = 0;
    virtual void idle() = 0;
    virtual void close() = 0;
    virtual void setParameter(int32_t index, float normalised) = 0;  // --animate
    // X11: descriptors of the editor's own the window's wait also wakes for, and the longest that
    // wait may be before the editor needs its idle (at most idleMs).
    virtual std::vector<int> wakeDescriptors() { return {}; }
    virtual int waitMs(int idleMs) { return idleMs; }
};

EditorRunEnd runEditorWindow(EditorClient& editor, const EditorRunOptions& options);
// A VST 2.x plug-in's editor: effEditOpen, effEditIdle every idle period, effEditClose.
EditorRunEnd runEditorWindow(PluginInstance& plugin, const EditorRunOptions& options);

// What the X11 and Win32 windows share (EditorWindowCommon.cpp).
// The editor's size as effEditGetRect gives it; 400 × 300 when it gives none.
void editorSize(PluginInstance& plugin, int& width, int& height);
// A triangle over 100 idle periods, so every idle sees a new value and the sweep looks like automation.
float animatedValue(long step);

}  // namespace flanger::tools
