// Editor: the editor opened into windows of a real X server the way Linux hosts do it. Its
// rectangle before and after open, a thousand open/close cycles that must leave no window, file
// descriptor or X error behind, null, stale and destroyed parents, and the editor idling while
// other threads process and automate (meaningful under ThreadSanitizer). Nothing here knows the
// editor's controls: any module with the editor flag is checked the same way.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "tools/validate/Categories.h"
#include "tools/validate/HostDisplay.h"

namespace flanger::tools {

namespace {

constexpr int kMaxEditorSide = 8192;
constexpr int kFallbackWidth = 400;  // a host's guess when the plug-in gives no size
constexpr int kFallbackHeight = 300;
constexpr int kDefaultCycles = 1000;
constexpr int kQuickCycles = 200;
constexpr long kResidentLimitKiB = 512 * 1024;  // growth at which the cycles stop
constexpr long kResidentNoiseKiB = 4 * 1024;    // below this, growth is the allocators' caching
constexpr long kLeakPerCycleKiB = 32;

struct EditorSize {
    intptr_t result = 0;
    bool present = false;  // the plug-in wrote a rectangle pointer
    int left = 0, top = 0, width = 0, height = 0;

    bool sane() const noexcept {
        return present && width >= 1 && width <= kMaxEditorSide && height >= 1 && height <= kMaxEditorSide;
    }
    bool sameSize(const EditorSize& other) const noexcept {
        return width == other.width && height == other.height;
    }
    std::string describe() const {
        if (!present) return "no rectangle (answer " + std::to_string(result) + ")";
        char text[96];
        std::snprintf(text, sizeof text, "%d x %d at (%d, %d)", width, height, left, top);
        return text;
    }
};

// The host's editor calls. ptr is the parent's XID; value is the host's Display* (Ardour,
// Carla) or 0 (Qtractor), so a plug-in must not depend on it.
class EditorHost {
public:
    EditorHost(PluginInstance& instance, HostDisplay& hostDisplay) : plugin(instance), x(hostDisplay) {}

    EditorSize size(const char* when) {
        EditorSize answer;
        vst::ERect* rect = nullptr;
        noteEditorCall("effEditGetRect (%s)", when);
        answer.result = plugin.dispatch(vst::effEditGetRect, 0, 0, &rect);
        if (rect == nullptr) return answer;
        noteEditorCall("reading the rectangle effEditGetRect (%s) pointed to at %p", when,
                       static_cast<void*>(rect));
        vst::ERect copy{};
        std::memcpy(&copy, rect, sizeof copy);  // byte-wise: the plug-in's pointer may be misaligned
        answer.present = true;
        answer.left = copy.left;
        answer.top = copy.top;
        answer.width = copy.right - copy.left;
        answer.height = copy.bottom - copy.top;
        return answer;
    }

    intptr_t open(XWindow parent, bool passDisplay, const char* what) {
        noteEditorCall("effEditOpen(parent 0x%lx%s, value %s)", static_cast<unsigned long>(parent), what,
                       passDisplay ? "the host's Display*" : "0");
        const intptr_t value = passDisplay ? reinterpret_cast<intptr_t>(x.connection()) : 0;
        return plugin.dispatch(vst::effEditOpen, 0, value,
                               reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
    }

    void idle(int times, int periodMs) {
        for (int i = 0; i < times; ++i) {
            noteEditorCall("effEditIdle");
            plugin.dispatch(vst::effEditIdle);
            if (periodMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
        }
    }

    void close() {
        noteEditorCall("effEditClose");
        plugin.dispatch(vst::effEditClose);
    }

private:
    PluginInstance& plugin;
    HostDisplay& x;
};

// Memory checkers hold freed blocks back (the sanitizers' quarantine, valgrind's free list), so
// resident memory grows whatever the plug-in does: its growth is then no verdict.
bool memoryHeldBack() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr &&
           (std::strstr(preload, "vgpreload") != nullptr || std::strstr(preload, "libasan") != nullptr ||
            std::strstr(preload, "libtsan") != nullptr);
}

// The size a host gives the parent: the plug-in's, or a guess when it has none.
void parentSize(const EditorSize& size, int& width, int& height) {
    width = size.sane() ? size.width : kFallbackWidth;
    height = size.sane() ? size.height : kFallbackHeight;
}

// Every X error that reached the host's handler is a host that Xlib's default handler would
// have ended; handlers left installed crash the host once the module is unloaded.
void reportXProblems(HostDisplay& x, Findings& findings, const char* part) {
    x.sync();
    for (const auto& error : x.takeErrors())
        findings.fail(
            "%s: an X error reached the host's error handler (Xlib's default one ends the host): %s", part,
            error.c_str());
    const std::string handlers = x.handlerProblem();
    if (!handlers.empty()) findings.fail("%s, with the editor closed: %s", part, handlers.c_str());
}

// Windows under the parent after effEditClose: checked once more after a pause, for plug-ins
// that tear their window down on a thread of their own.
size_t windowsLeft(HostDisplay& x, XWindow parent) {
    x.sync();
    if (x.children(parent).empty()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    x.sync();
    return x.children(parent).size();
}

// Fails when windows stay under the parent after effEditClose; true when none do.
bool expectNoWindowsLeft(HostDisplay& x, XWindow parent, Findings& findings, const std::string& after) {
    const size_t left = windowsLeft(x, parent);
    if (left == 0) return true;
    findings.fail("%zu window%s left under the parent after %s", left, left == 1 ? "" : "s", after.c_str());
    return false;
}

void checkRectangle(const CheckContext& context, HostDisplay& x, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    EditorHost editor(rig.plugin(), x);
    const EditorSize before = editor.size("before effEditOpen");
    if (!before.present)
        findings.note(
            "effEditGetRect before effEditOpen gives %s: hosts must guess the size of the window they "
            "open the editor in",
            before.describe().c_str());
    else if (!before.sane())
        findings.fail("effEditGetRect before effEditOpen: %s is no editor size", before.describe().c_str());
    int width = 0, height = 0;
    parentSize(before, width, height);
    const XWindow parent = x.createParent(width, height);
    if (parent == 0) {
        findings.fail("the host's parent window was never mapped");
        return;
    }

    const intptr_t opened = editor.open(parent, true, "");
    editor.idle(5, 20);
    const EditorSize after = editor.size("after effEditOpen");
    if (!after.sane())
        findings.fail("effEditGetRect after effEditOpen: %s", after.describe().c_str());
    else if (before.sane() && !before.sameSize(after))
        findings.note(
            "the editor's size changed when it opened, from %s to %s: hosts that size the window before "
            "open cut it or leave a margin",
            before.describe().c_str(), after.describe().c_str());
    if (after.sane()) x.resize(parent, after.width, after.height);
    x.sync();

    const std::vector<XWindow> shown = x.children(parent);
    if (shown.empty()) {
        findings.fail(
            "effEditOpen answered %lld, yet after it and 5 effEditIdle calls there is no window under the "
            "parent",
            static_cast<long long>(opened));
    } else {
        if (opened == 0) findings.note("effEditOpen answered 0 but put a window under the parent");
        bool anyViewable = false;
        for (XWindow w : shown) {
            int shownWidth = 0, shownHeight = 0;
            bool viewable = false;
            if (!x.geometry(w, shownWidth, shownHeight, viewable)) continue;
            anyViewable = anyViewable || viewable;
            if (after.sane() && (shownWidth != after.width || shownHeight != after.height))
                findings.note("the editor's window 0x%lx is %d x %d, its rectangle %s",
                              static_cast<unsigned long>(w), shownWidth, shownHeight,
                              after.describe().c_str());
        }
        if (!anyViewable)
            findings.fail("after effEditOpen and 5 effEditIdle calls no window under the parent is viewable");
    }

    editor.close();
    expectNoWindowsLeft(x, parent, findings, "effEditClose");
    const EditorSize closed = editor.size("after effEditClose");
    if (after.sane() && closed.present && !closed.sane())
        findings.fail("effEditGetRect after effEditClose: %s", closed.describe().c_str());
    reportXProblems(x, findings, "rectangle");
    x.destroy(parent);
    rig.close();
}

// What the editor answered in the warm-up: every cycle must answer the same.
struct UsualOpen {
    intptr_t answer = 0;
    EditorSize size;
};

// Warm-up: what a library sets up once per process (connections' caches, fonts) is not a leak.
UsualOpen warmUpEditor(EditorHost& editor, HostDisplay& x, XWindow warmUp) {
    UsualOpen usual;
    for (int i = 0; i < 2; ++i) {
        usual.answer = editor.open(warmUp, i == 0, " (warm-up)");
        editor.idle(1, 0);
        usual.size = editor.size("after effEditOpen (warm-up)");
        editor.close();
    }
    x.destroy(warmUp);
    x.sync();
    return usual;
}

// What the process holds before the cycles, to compare with after them.
struct CycleBaseline {
    std::vector<std::string> descriptors;
    size_t topLevels = 0;
    long residentKiB = 0;
};

CycleBaseline takeBaseline(HostDisplay& x) {
    CycleBaseline before;
    before.descriptors = openDescriptors();
    before.topLevels = x.topLevelCount();
    before.residentKiB = residentKiB();
    return before;
}

// Each fault is reported at the first cycle that shows it: a thousand copies say no more.
struct CycleReports {
    bool answer = false, size = false, left = false, handler = false;
};

void openAndCloseOnce(EditorHost& editor, HostDisplay& x, Findings& findings, XWindow into, int cycle,
                      int cycles, const UsualOpen& usual, CycleReports& reported) {
    char what[48];
    std::snprintf(what, sizeof what, " (cycle %d of %d)", cycle, cycles);
    const intptr_t answer = editor.open(into, cycle % 2 == 0, what);
    if (answer != usual.answer && !reported.answer) {
        findings.fail("effEditOpen%s answered %lld, %lld before", what, static_cast<long long>(answer),
                      static_cast<long long>(usual.answer));
        reported.answer = true;
    }
    const EditorSize now = editor.size("after effEditOpen");
    if (!reported.size && usual.size.present && (!now.present || !now.sameSize(usual.size))) {
        findings.fail("effEditGetRect after effEditOpen%s: %s, %s before", what, now.describe().c_str(),
                      usual.size.describe().c_str());
        reported.size = true;
    }
    editor.idle(1, 0);
    editor.close();
    if (!reported.left) {
        reported.left = !expectNoWindowsLeft(x, into, findings, std::string("effEditClose") + what);
    }
    if (!reported.handler) {
        if (const std::string handlers = x.handlerProblem(); !handlers.empty()) {
            findings.fail("after effEditClose%s: %s", what, handlers.c_str());
            reported.handler = true;
        }
    }
}

// The open/close cycles into parent; answers how many ran (fewer when memory ran away).
int runCycles(EditorHost& editor, HostDisplay& x, Findings& findings, XWindow parent, int width, int height,
              int cycles, const UsualOpen& usual, long residentBefore) {
    CycleReports reported;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // Every tenth cycle in a window of its own, destroyed right after effEditClose as Ardour does.
        const bool fresh = cycle % 10 == 0;
        const XWindow into = fresh ? x.createParent(width, height) : parent;
        if (into == 0) {
            findings.fail("cycle %d: the host's parent window was never mapped", cycle);
            break;
        }
        openAndCloseOnce(editor, x, findings, into, cycle, cycles, usual, reported);
        if (fresh) x.destroy(into);
        // A module that leaks megabytes per open must not take the machine down with it.
        if (cycle % 10 == 0 && residentKiB() - residentBefore > kResidentLimitKiB) {
            findings.fail(
                "resident memory grew by %ld MiB in %d open/close cycles; the cycles were stopped there",
                (residentKiB() - residentBefore) / 1024, cycle);
            return cycle;
        }
    }
    return cycles;
}

void reportWindowsAfterCycles(HostDisplay& x, Findings& findings, XWindow parent, int cycles,
                              size_t topLevels) {
    if (const size_t left = x.children(parent).size(); left > 0)
        findings.fail("%zu window%s left under the parent after %d open/close cycles", left,
                      left == 1 ? "" : "s", cycles);
    if (const size_t now = x.topLevelCount(); now > topLevels)
        findings.fail("%zu more top-level windows after %d open/close cycles than before them",
                      now - topLevels, cycles);
}

void reportMemoryAfterCycles(Findings& findings, int cycles, double seconds, long residentBefore) {
    const long grownKiB = residentKiB() - residentBefore;
    findings.note("%d editor open/close cycles in %.1f s (%.2f ms each); resident memory %+ld KiB over them",
                  cycles, seconds, 1000.0 * seconds / cycles, grownKiB);
    // Allocators keep some memory; steady growth of tens of KiB per open is a leak.
    if (!memoryHeldBack() && grownKiB > kResidentNoiseKiB && grownKiB > kLeakPerCycleKiB * cycles)
        findings.fail("resident memory grew by %ld KiB over %d open/close cycles (about %ld KiB per cycle)",
                      grownKiB, cycles, grownKiB / cycles);
}

// After the effect is closed, so descriptors it releases only then are told apart.
void reportDescriptorsAfterCycles(Findings& findings, int cycles, const std::vector<std::string>& descriptors,
                                  const std::vector<std::string>& after) {
    if (after.size() <= descriptors.size()) return;
    std::string added;
    int shown = 0;
    for (const auto& d : after) {
        if (std::find(descriptors.begin(), descriptors.end(), d) != descriptors.end()) continue;
        if (++shown > 5) break;
        added += (added.empty() ? "" : ", ") + d;
    }
    // Said either way: kept until effClose is still one per open for a host that keeps the effect.
    const bool releasedAtClose = openDescriptors().size() <= descriptors.size();
    findings.fail(
        "%zu more open file descriptors after %d open/close cycles (%zu before, %zu after; new: %s)%s",
        after.size() - descriptors.size(), cycles, descriptors.size(), after.size(), added.c_str(),
        releasedAtClose ? "; released only at effClose" : "");
}

void checkCycles(const CheckContext& context, HostDisplay& x, Findings& findings, int cycles,
                 std::string& report) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    EditorHost editor(rig.plugin(), x);
    int width = 0, height = 0;
    parentSize(editor.size("before effEditOpen"), width, height);
    // The warm-up in a window of its own, so the cycles' parent starts empty whatever it leaves.
    const XWindow warmUp = x.createParent(width, height);
    const XWindow parent = x.createParent(width, height);
    if (warmUp == 0 || parent == 0) {
        findings.fail("the host's parent window was never mapped");
        return;
    }
    const UsualOpen usual = warmUpEditor(editor, x, warmUp);
    if (usual.answer == 0)
        findings.note("effEditOpen answered 0 in the warm-up; the cycles count what it leaves all the same");
    const CycleBaseline before = takeBaseline(x);

    const auto started = std::chrono::steady_clock::now();
    cycles = runCycles(editor, x, findings, parent, width, height, cycles, usual, before.residentKiB);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    x.sync();

    reportWindowsAfterCycles(x, findings, parent, cycles, before.topLevels);
    const std::vector<std::string> after = openDescriptors();
    reportMemoryAfterCycles(findings, cycles, seconds, before.residentKiB);
    reportXProblems(x, findings, "open/close cycles");
    x.destroy(parent);
    rig.close();
    reportDescriptorsAfterCycles(findings, cycles, before.descriptors, after);
    char text[96];
    std::snprintf(text, sizeof text, "%d open/close cycles", cycles);
    report = text;
}

// Refused parents: no window to open into. Answering 0 is right; a window of its own must go at close.
void openIntoRefusedParents(EditorHost& editor, HostDisplay& x, Findings& findings) {
    x.sync();
    const size_t topLevels = x.topLevelCount();
    const XWindow stale = x.staleWindow();
    const struct {
        XWindow parent;
        const char* what;
    } refused[] = {{0, " = null"}, {stale, ", a window id that names no window"}};
    for (const auto& bad : refused) {
        const intptr_t answer = editor.open(bad.parent, true, bad.what);
        editor.idle(3, 10);
        editor.close();
        x.sync();
        if (answer != 0)
            findings.note("effEditOpen with parent 0x%lx%s answered %lld",
                          static_cast<unsigned long>(bad.parent), bad.what, static_cast<long long>(answer));
        if (const size_t now = x.topLevelCount(); now > topLevels)
            findings.fail("effEditOpen with parent 0x%lx%s, then effEditClose, left %zu top-level window%s",
                          static_cast<unsigned long>(bad.parent), bad.what, now - topLevels,
                          now - topLevels == 1 ? "" : "s");
    }
}

// The editor still opens properly after the refused parents; false when no parent could be made.
bool opensAfterRefusedParents(EditorHost& editor, HostDisplay& x, Findings& findings, int width, int height) {
    const XWindow good = x.createParent(width, height);
    if (good == 0) {
        findings.fail("the host's parent window was never mapped");
        return false;
    }
    if (editor.open(good, false, " after the refused parents") == 0)
        findings.fail("effEditOpen into a valid parent answered 0 after the null and stale parents");
    editor.idle(3, 10);
    editor.close();
    expectNoWindowsLeft(x, good, findings, "the refused parents and a good open");
    x.destroy(good);
    return true;
}

void openIntoParentsThatGo(EditorHost& editor, HostDisplay& x, int width, int height) {
    // Ardour destroys the parent right after effEditClose; a closed editor may still be idled.
    const XWindow closedThenGone = x.createParent(width, height);
    editor.open(closedThenGone, true, ", destroyed right after effEditClose");
    editor.idle(3, 10);
    editor.close();
    x.destroy(closedThenGone);
    x.sync();
    editor.idle(2, 10);

    // The host's window goes while the editor is open (a host tearing its window down first).
    const XWindow goneWhileOpen = x.createParent(width, height);
    editor.open(goneWhileOpen, false, ", destroyed while the editor is open");
    editor.idle(2, 10);
    x.destroy(goneWhileOpen);
    x.sync();
    noteEditorCall("effEditIdle after the parent was destroyed under the open editor");
    editor.idle(3, 10);
    editor.close();
    x.sync();
}

void opensAfterDestroyedParents(EditorHost& editor, HostDisplay& x, Findings& findings, int width,
                                int height) {
    const XWindow again = x.createParent(width, height);
    if (editor.open(again, true, " after the destroyed parents") == 0)
        findings.fail("effEditOpen into a valid parent answered 0 after parents were destroyed");
    editor.idle(2, 10);
    editor.close();
    expectNoWindowsLeft(x, again, findings, "the destroyed parents and a good open");
    x.destroy(again);
}

void checkParents(const CheckContext& context, HostDisplay& x, Findings& findings) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    EditorHost editor(rig.plugin(), x);
    // Hosts idle and close editors they never opened (a failed open, a restored session).
    editor.idle(2, 0);
    editor.close();
    int width = 0, height = 0;
    parentSize(editor.size("before effEditOpen"), width, height);

    openIntoRefusedParents(editor, x, findings);
    if (!opensAfterRefusedParents(editor, x, findings, width, height)) return;
    openIntoParentsThatGo(editor, x, width, height);
    opensAfterDestroyedParents(editor, x, findings, width, height);
    reportXProblems(x, findings, "null, stale and destroyed parents");
    rig.close();
}

// What the audio and automation threads share with the GUI thread.
struct ThreadedRun {
    std::atomic<bool> stop{false};                 // writer: the GUI thread; reader: the others
    std::atomic<int64_t> blocks{0}, automated{0};  // writer: the threads; reader: the report
    SampleScan audioScan;                          // the audio thread's, read after its join
};

void processWithAutomation(const CheckContext& context, Rig& rig, int32_t count, ThreadedRun& run) {
    CallTrace::bindThread(1, "audio thread");
    std::minstd_rand random(context.seed + 11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    TestSignal signal(SignalKind::Noise, 44100.0f, context.seed);
    while (!run.stop.load(std::memory_order_relaxed)) {
        // Hosts send automation from the audio thread too: the editor hears of it there.
        if (count > 0)
            rig.setParameter(static_cast<int32_t>(random() % static_cast<uint32_t>(count)), unit(random));
        run.audioScan.add(rig.process(rig.preferredMode(), 256, signal));
        run.blocks.fetch_add(1, std::memory_order_relaxed);
    }
}

void automateParameters(const CheckContext& context, PluginInstance& plugin, int32_t count,
                        ThreadedRun& run) {
    CallTrace::bindThread(2, "automation thread");
    std::minstd_rand random(context.seed + 12);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    while (!run.stop.load(std::memory_order_relaxed) && count > 0) {
        const auto index = static_cast<int32_t>(random() % static_cast<uint32_t>(count));
        CallTrace::note("setParameter(%d) / getParameter", index);
        plugin.setParameter(index, unit(random));
        plugin.parameter(index);
        run.automated.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Opens and closes while the others run, then one long open stretch idled like a host; answers
// the number of idle calls in that stretch.
int exerciseEditor(EditorHost& editor, XWindow parent, int cycles, bool quick) {
    for (int cycle = 0; cycle < cycles; ++cycle) {
        editor.open(parent, cycle % 2 == 0, " (while processing and automating)");
        editor.idle(5, 5);
        editor.close();
    }
    editor.open(parent, true, " (idled while processing and automating)");
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(quick ? 1000 : 2000);
    int idles = 0;
    for (; std::chrono::steady_clock::now() < until; ++idles) editor.idle(1, 10);
    editor.close();
    return idles;
}

void checkEditorThreads(const CheckContext& context, HostDisplay& x, Findings& findings,
                        std::string& report) {
    Rig rig;
    if (!rig.start(context.modulePath, RigOptions{}, findings)) return;
    PluginInstance& plugin = rig.plugin();
    EditorHost editor(plugin, x);
    const int32_t count = plugin.parameterCount();
    int width = 0, height = 0;
    parentSize(editor.size("before effEditOpen"), width, height);
    const XWindow parent = x.createParent(width, height);
    if (parent == 0) {
        findings.fail("the host's parent window was never mapped");
        return;
    }

    ThreadedRun run;
    CallTrace::bindThread(0, "GUI thread");
    std::thread audioThread([&] { processWithAutomation(context, rig, count, run); });
    std::thread automationThread([&] { automateParameters(context, plugin, count, run); });
    const int cycles = context.quick ? 10 : 30;
    const int idles = exerciseEditor(editor, parent, cycles, context.quick);
    run.stop.store(true, std::memory_order_relaxed);
    audioThread.join();
    automationThread.join();
    CallTrace::clearSlot(1);
    CallTrace::clearSlot(2);
    CallTrace::bindThread(0, "main thread");

    if (!run.audioScan.clean())
        findings.fail("processing while the editor opens, idles and closes: %s",
                      run.audioScan.describe().c_str());
    expectNoWindowsLeft(x, parent, findings, "the threaded run");
    rig.readParameters(findings, "the threaded editor run");
    reportXProblems(x, findings, "editor with audio and automation threads");
    x.destroy(parent);
    rig.close();
    char text[200];
    std::snprintf(
        text, sizeof text,
        "%d open/close cycles and %d idle calls against %lld blocks with automation from the audio thread "
        "and %lld parameter writes from another",
        cycles, idles, static_cast<long long>(run.blocks.load()),
        static_cast<long long>(run.automated.load()));
    report = text;
}

}  // namespace

void checkEditor(const CheckContext& context, Findings& findings) {
    // The module stays loaded for the rest of the run, as in hosts: after an editor closed, Xlib
    // may still hold the module's hooks and caches, and a leak check then tells a process-lifetime
    // allocation (the C++ runtime's exception pool) from a lost one.
    dlopen(context.modulePath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    {
        Rig probe;
        if (!probe.start(context.modulePath, RigOptions{}, findings)) return;
        if (!probe.plugin().hasFlag(vst::effFlagsHasEditor)) {
            findings.skip("no editor: the effect's flags lack effFlagsHasEditor");
            return;
        }
    }
    HostDisplay x;
    std::string where;
    switch (x.start(context.privateDisplay, where)) {
        case HostDisplay::Start::NoDisplay:
            findings.skip("%s", where.c_str());
            return;
        case HostDisplay::Start::Failed:
            findings.fail("%s", where.c_str());
            return;
        case HostDisplay::Start::Ready:
            break;
    }
    const int cycles = context.editorCycles > 0 ? context.editorCycles
                       : context.quick          ? kQuickCycles
                                                : kDefaultCycles;
    std::vector<std::string> ran;
    if (context.wants("rect")) {
        checkRectangle(context, x, findings);
        ran.emplace_back("rectangle before and after open");
        findings.checkpoint();
    }
    if (context.wants("cycles")) {
        std::string report;
        checkCycles(context, x, findings, cycles, report);
        if (!report.empty()) ran.push_back(report);
        findings.checkpoint();
    }
    if (context.wants("threads")) {
        std::string report;
        checkEditorThreads(context, x, findings, report);
        if (!report.empty()) ran.push_back(report);
        findings.checkpoint();
    }
    // Last: the refused parents are what crashes plug-ins most, and a crash ends the category.
    if (context.wants("parents")) {
        checkParents(context, x, findings);
        ran.emplace_back("null, stale and destroyed parents");
    }
    std::string summary;
    for (const auto& part : ran) summary += (summary.empty() ? "" : "; ") + part;
    findings.summary("on %s: %s", where.c_str(), summary.c_str());
}

}  // namespace flanger::tools
