// A small, correct VST 2.x effect with one fault switched on by FAULTY_PLUGIN_FAULT, so the
// tests can show that each check of flanger-validate catches the fault it is for (and that a
// correct plug-in passes). Faults named "editor..." give it an X11 editor ("editor" alone: a
// correct one).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "host/VstInterface.h"

// Last: Xlib's macros (Status, Bool, None ...) must not meet the names above.
#include <X11/Xlib.h>

namespace {

using namespace flanger::vst;

constexpr int kParams = 3;
constexpr int kPrograms = 2;
constexpr size_t kNameSize = 24;
constexpr size_t kRecordSize = sizeof(float) * kParams + kNameSize;  // values, then the name

struct Program {
    // Written by the host's threads, read by processing.
    std::atomic<float> values[kParams] = {0.5f, 0.25f, 1.0f};
    char name[kNameSize] = "Init";
};

// The editor: a child window of the host's parent on a connection of its own, pumped at idle.
struct Editor {
    Display* display = nullptr;
    Window window = 0;
};

struct Faulty {
    EffectRecord record{};
    HostCallback host = nullptr;
    std::string fault;
    Program programs[kPrograms];
    std::atomic<int> current{0};  // writer: effSetProgram; reader: every entry
    float state[2] = {0.0f, 0.0f};
    float racyShadow = 0.0f;  // the "race" fault: written by setParameter, read by processing, unguarded
    float racyShown =
        0.0f;  // the "editor-race" fault: written by setParameter, read at editor idle, unguarded
    float rate = 44100.0f;
    unsigned char chunkData[kRecordSize * kPrograms] = {};
    ERect rect{0, 0, 120, 200};
    Editor editor;

    bool is(const char* name) const { return fault == name; }
    bool hasEditor() const { return fault.rfind("editor", 0) == 0; }
    std::atomic<float>* values() { return programs[current.load()].values; }
};

Faulty* self(EffectRecord* e) {
    return static_cast<Faulty*>(e->object);
}

float sanitised(float v) {
    if (std::isnan(v)) return 0.5f;
    return std::fmin(std::fmax(v, 0.0f), 1.0f);
}

void copyText(void* ptr, const char* text, size_t limit) {
    if (ptr == nullptr) return;
    const size_t n = strnlen(text, limit - 1);
    std::memcpy(ptr, text, n);
    static_cast<char*>(ptr)[n] = '\0';
}

void setParameter(EffectRecord* e, int32_t index, float value) {
    Faulty* f = self(e);
    if (index < 0 || index >= kParams) return;
    f->values()[index] = f->is("nan-param") ? value : sanitised(value);
    if (f->is("race")) f->racyShadow = value;
    if (f->is("editor-race")) f->racyShown = value;
}

float getParameter(EffectRecord* e, int32_t index) {
    Faulty* f = self(e);
    if (index < 0 || index >= kParams) return 0.0f;
    return f->values()[index];
}

// A one-pole feedback smoother per channel, mixed with the input.
void processReplacing(EffectRecord* e, float** in, float** out, int32_t frames) {
    Faulty* f = self(e);
    const int32_t count = f->is("overrun") ? frames + 1 : frames;
    const float feedback = 0.9f * (f->is("race") ? sanitised(f->racyShadow) : f->values()[0].load());
    for (int c = 0; c < 2; ++c) {
        float s = f->state[c];
        for (int32_t i = 0; i < count; ++i) {
            s = in[c][i < frames ? i : 0] * (1.0f - feedback) + s * feedback;
            if (f->is("subnormal")) {
                s *= 0.5f;  // decays into the subnormal range in silence
            } else {
                if (!std::isfinite(s) && !f->is("nan-stuck")) s = 0.0f;
                if (std::fabs(s) < 1e-30f) s = 0.0f;
            }
            out[c][i] = f->is("subnormal") ? s : 0.5f * (in[c][i < frames ? i : 0] + s);
        }
        f->state[c] = s;
    }
    // The "crosstalk" fault reads the left input after the left output was written, which
    // differs only when the host processes in place.
    if (f->is("crosstalk"))
        for (int32_t i = 0; i < frames; ++i) out[1][i] += 0.125f * in[0][i];
}

// The adding entry through the replacing one, in pieces that fit a local buffer.
void process(EffectRecord* e, float** in, float** out, int32_t frames) {
    if (self(e)->is("adding-overwrites")) {
        processReplacing(e, in, out, frames);
        return;
    }
    float left[4096], right[4096];
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(frames - done, 4096);
        float* ins[2] = {in[0] + done, in[1] + done};
        float* mixed[2] = {left, right};
        processReplacing(e, ins, mixed, n);
        for (int32_t i = 0; i < n; ++i) {
            out[0][done + i] += left[i];
            out[1][done + i] += right[i];
        }
        done += n;
    }
}

int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// Xlib calls on the editor's connection with their errors kept from the host's handler, which
// is given back afterwards. The "editor-x-error" fault lets them through.
template <typename Calls>
void trapped(Faulty* f, Calls calls) {
    if (f->is("editor-x-error")) {
        calls();
        XSync(f->editor.display, False);
        return;
    }
    XErrorHandler previous = XSetErrorHandler(ignoreXError);
    calls();
    XSync(f->editor.display, False);
    // The "editor-keeps-handler" fault leaves its handler installed: unloaded, it crashes the host.
    if (!f->is("editor-keeps-handler")) XSetErrorHandler(previous);
}

// The "editor-leaks-window" fault keeps one connection for good and forgets its windows at close.
Display* leakyDisplay() {
    static Display* kept = XOpenDisplay(nullptr);
    return kept;
}

void closeEditor(Faulty* f) {
    Editor& ed = f->editor;
    if (ed.display == nullptr) return;
    if (f->is("editor-leaks-window")) {
        ed = Editor{};
        return;
    }
    trapped(f, [&] {
        if (ed.window != 0) XDestroyWindow(ed.display, ed.window);
    });
    // The "editor-leaks-connection" fault forgets its connection: a socket per open stays behind.
    if (!f->is("editor-leaks-connection")) XCloseDisplay(ed.display);
    ed = Editor{};
}

// The "editor-leaks-memory" fault: a buffer per open, never freed.
char* editorScratch = nullptr;

intptr_t openEditor(Faulty* f, Window parent) {
    closeEditor(f);
    if (f->is("editor-leaks-memory")) editorScratch = new char[4096]();
    if (parent == 0 && !f->is("editor-null-parent")) return 0;
    Editor& ed = f->editor;
    ed.display = f->is("editor-leaks-window") ? leakyDisplay() : XOpenDisplay(nullptr);
    if (ed.display == nullptr) return 0;
    bool parentExists = false;
    trapped(f, [&] {
        XWindowAttributes attributes{};
        parentExists = XGetWindowAttributes(ed.display, parent, &attributes) != 0;
        // The "editor-null-parent" fault reads the parent's screen without looking at the answer.
        if (f->is("editor-null-parent")) parentExists = DefaultDepthOfScreen(attributes.screen) > 0;
    });
    if (!parentExists) {
        if (!f->is("editor-leaks-window")) XCloseDisplay(ed.display);
        ed = Editor{};
        return 0;
    }
    trapped(f, [&] {
        ed.window = XCreateSimpleWindow(ed.display, parent, 0, 0, 200, 120, 0, 0, 0x336699);
        XSelectInput(ed.display, ed.window, ExposureMask);
        XMapWindow(ed.display, ed.window);
    });
    return 1;
}

void idleEditor(Faulty* f) {
    Editor& ed = f->editor;
    if (ed.display == nullptr) return;
    if (f->is("editor-race")) {
        volatile float shown = f->racyShown;
        static_cast<void>(shown);
    }
    trapped(f, [&] {
        while (XPending(ed.display) > 0) {
            XEvent event;
            XNextEvent(ed.display, &event);
        }
    });
}

intptr_t dispatcher(EffectRecord* e, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    Faulty* f = self(e);
    char text[64];
    switch (opcode) {
        case effClose:
            closeEditor(f);
            delete f;
            return 1;
        case effEditGetRect:
            if (!f->hasEditor() || ptr == nullptr) return 0;
            if (f->is("editor-bad-rect")) f->rect.bottom = -20;  // the fault: a size no window can have
            *static_cast<ERect**>(ptr) = &f->rect;
            return 1;
        case effEditOpen:
            return f->hasEditor() ? openEditor(f, static_cast<Window>(reinterpret_cast<uintptr_t>(ptr))) : 0;
        case effEditIdle:
            idleEditor(f);
            return 0;
        case effEditClose:
            closeEditor(f);
            return 0;
        case effSetProgram:
            if (value < 0 || value >= kPrograms) return 0;
            f->current = static_cast<int>(value);
            return 1;
        case effGetProgram:
            return f->current;
        case effSetProgramName:
            if (ptr != nullptr) copyText(f->programs[f->current].name, static_cast<const char*>(ptr), 24);
            return 0;
        case effGetProgramName:
            copyText(ptr, f->programs[f->current].name, 24);
            return 0;
        case effGetProgramNameIndexed:
            if (index < 0 || index >= kPrograms || ptr == nullptr) return 0;
            copyText(ptr, f->programs[index].name, 24);
            return 1;
        case effGetParamName:
            if (index < 0 || index >= kParams) return 0;
            std::snprintf(text, sizeof text, "Param%d", index);
            copyText(ptr, text, 9);
            return 0;
        case effGetParamLabel:
            copyText(ptr, "%", 9);
            return 0;
        case effGetParamDisplay:
            if (ptr == nullptr) return 0;
            if (f->is("unterminated-display")) {
                std::memset(ptr, 'x', 64);
                return 0;
            }
            if (index < 0 || index >= kParams) return 0;
            std::snprintf(text, sizeof text, "%.1f", static_cast<double>(100.0f * f->values()[index]));
            copyText(ptr, text, 9);
            return 0;
        case effSetSampleRate:
            if (f->is("hang") && opt == 0.0f) {
                for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
            }
            if (opt > 0.0f && std::isfinite(opt)) f->rate = opt;
            return 0;
        case effMainsChanged:
            f->state[0] = f->state[1] = 0.0f;
            return 0;
        case effGetChunk: {
            if (!f->is("no-null-check") && ptr == nullptr) return 0;
            const int count = index != 0 ? 1 : kPrograms;
            const Program* first = index != 0 ? &f->programs[f->current] : f->programs;
            for (int p = 0; p < count; ++p) {
                unsigned char* record = f->chunkData + p * kRecordSize;
                for (int k = 0; k < kParams; ++k) {
                    const float v = first[p].values[k];
                    std::memcpy(record + k * sizeof(float), &v, sizeof v);
                }
                std::memcpy(record + sizeof(float) * kParams, first[p].name, kNameSize);
            }
            *static_cast<void**>(ptr) = f->chunkData;
            return static_cast<intptr_t>(kRecordSize * static_cast<size_t>(count));
        }
        case effSetChunk: {
            const int count = index != 0 ? 1 : kPrograms;
            if (ptr == nullptr || value <= 0) return 0;
            const auto* data = static_cast<const unsigned char*>(ptr);
            if (value != static_cast<intptr_t>(kRecordSize * static_cast<size_t>(count))) {
                // The fault: a wrong-sized chunk is half loaded, yet refused.
                if (f->is("half-load") && value >= static_cast<intptr_t>(sizeof(float))) {
                    float v = 0.0f;
                    std::memcpy(&v, data + value - static_cast<intptr_t>(sizeof(float)), sizeof v);
                    f->values()[0] = v;
                }
                return 0;
            }
            Program* first = index != 0 ? &f->programs[f->current] : f->programs;
            for (int p = 0; p < count; ++p) {
                const unsigned char* record = data + p * kRecordSize;
                for (int k = 0; k < kParams; ++k) {
                    float v = 0.0f;
                    std::memcpy(&v, record + k * sizeof(float), sizeof v);
                    first[p].values[k] = sanitised(v);
                }
                std::memcpy(first[p].name, record + sizeof(float) * kParams, kNameSize);
                first[p].name[kNameSize - 1] = '\0';
            }
            return 1;
        }
        case effString2Parameter: {
            if (index < 0 || index >= kParams || ptr == nullptr) return 0;
            const float v = static_cast<float>(std::atof(static_cast<const char*>(ptr)) / 100.0);
            f->values()[index] = sanitised(v);
            return 1;
        }
        case effCanBeAutomated:
            return index >= 0 && index < kParams ? 1 : 0;
        case effGetPlugCategory:
            return kPlugCategEffect;
        case effGetVstVersion:
            return 2400;
        case effGetVendorString:
            copyText(ptr, "Validator tests", 64);
            return ptr != nullptr;
        default:
            return 0;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) EffectRecord* VSTPluginMain(HostCallback host) {
    if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* f = new Faulty;
    const char* fault = std::getenv("FAULTY_PLUGIN_FAULT");
    f->fault = fault != nullptr ? fault : "";
    f->host = host;
    f->programs[1].values[0] = 0.9f;
    std::strcpy(f->programs[1].name, "Feedback");
    EffectRecord& r = f->record;
    r.magic = kEffectMagic;
    r.dispatcher = dispatcher;
    r.process = process;
    r.setParameter = setParameter;
    r.getParameter = getParameter;
    r.processReplacing = processReplacing;
    r.numPrograms = kPrograms;
    r.numParams = kParams;
    r.numInputs = 2;
    r.numOutputs = 2;
    r.flags = effFlagsCanReplacing | effFlagsProgramChunks | (f->hasEditor() ? effFlagsHasEditor : 0);
    r.ioRatio = 1.0f;
    r.object = f;
    r.uniqueID = fourCharacters('F', 'l', 't', 'y');
    r.version = 1;
    return &r;
}
