// A tiny VST 2.x effect for the test host's own tests: a stereo gain with two parameters, two
// programs and chunks, written from host/VstInterface.h alone. It makes the requests a real
// effect makes (version from the entry, pin queries on resume, time info while processing).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/VstInterface.h"

namespace {

namespace vst = flanger::vst;

constexpr int kPrograms = 2;
constexpr int kParameters = 3;

struct FakeEffect {
    vst::EffectRecord record{};
    vst::HostCallback host = nullptr;
    float values[kPrograms][kParameters] = {{0.5f, 0.0f, 0.25f}, {1.0f, 1.0f, 0.75f}};
    char names[kPrograms][vst::kNameLength + 1] = {"Unity", "Loud"};
    int program = 0;
    float sampleRate = 44100.0f;
    int blockSize = 0;
    double lastTempo = 0.0;
    int resumes = 0;
    int editIdles = 0;
    unsigned char chunk[kPrograms * kParameters * 4] = {};
};

FakeEffect* from(vst::EffectRecord* r) {
    return r ? static_cast<FakeEffect*>(r->object) : nullptr;
}

void copyText(void* ptr, const char* text, size_t capacity) {
    if (!ptr || capacity == 0) return;
    auto* out = static_cast<char*>(ptr);
    size_t n = 0;
    for (; n + 1 < capacity && text[n] != '\0'; ++n) out[n] = text[n];
    out[n] = '\0';
}

void putFloat(unsigned char* out, float v) {
    uint32_t bits = 0;
    std::memcpy(&bits, &v, 4);
    out[0] = static_cast<unsigned char>(bits >> 24);
    out[1] = static_cast<unsigned char>(bits >> 16);
    out[2] = static_cast<unsigned char>(bits >> 8);
    out[3] = static_cast<unsigned char>(bits);
}

float getFloat(const unsigned char* in) {
    const uint32_t bits =
        (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | uint32_t{in[3]};
    float v = 0.0f;
    std::memcpy(&v, &bits, 4);
    return v;
}

float gainOf(const FakeEffect& e) {
    return e.values[e.program][0] * 2.0f * (e.values[e.program][1] >= 0.5f ? -1.0f : 1.0f);
}

void tempoRequest(FakeEffect& e) {
    const auto* info = reinterpret_cast<const vst::VstTimeInfo*>(
        e.host(&e.record, vst::audioMasterGetTime, 0, vst::kVstTempoValid, nullptr, 0.0f));
    if (info && (info->flags & vst::kVstTempoValid)) e.lastTempo = info->tempo;
}

void processReplacing(vst::EffectRecord* r, float** in, float** out, int32_t frames) {
    FakeEffect& e = *from(r);
    tempoRequest(e);
    const float g = gainOf(e);
    for (int c = 0; c < 2; ++c)
        for (int32_t i = 0; i < frames; ++i) out[c][i] = in[c][i] * g;
}

void processAdding(vst::EffectRecord* r, float** in, float** out, int32_t frames) {
    FakeEffect& e = *from(r);
    tempoRequest(e);
    const float g = gainOf(e);
    for (int c = 0; c < 2; ++c)
        for (int32_t i = 0; i < frames; ++i) out[c][i] += in[c][i] * g;
}

void setParameter(vst::EffectRecord* r, int32_t index, float value) {
    FakeEffect& e = *from(r);
    if (index >= 0 && index < kParameters) e.values[e.program][index] = value;
}

float getParameter(vst::EffectRecord* r, int32_t index) {
    FakeEffect& e = *from(r);
    return index >= 0 && index < kParameters ? e.values[e.program][index] : 0.0f;
}

intptr_t dispatcher(vst::EffectRecord* r, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                    float opt) {
    FakeEffect* e = from(r);
    if (!e) return 0;
    switch (opcode) {
        case vst::effClose:
            delete e;
            return 1;
        case vst::effSetProgram:
            if (value >= 0 && value < kPrograms) e->program = static_cast<int>(value);
            return 0;
        case vst::effGetProgram:
            return e->program;
        case vst::effSetProgramName:
            if (ptr) copyText(e->names[e->program], static_cast<const char*>(ptr), sizeof e->names[0]);
            return 0;
        case vst::effGetProgramName:
            copyText(ptr, e->names[e->program], vst::kNameLength + 1);
            return 0;
        case vst::effGetProgramNameIndexed:
            if (index < 0 || index >= kPrograms) return 0;
            copyText(ptr, e->names[index], vst::kNameLength + 1);
            return 1;
        case vst::effGetParamName: {
            // Parameter 2's name is deliberately longer than the customary 8 characters.
            static const char* const names[kParameters] = {"Gain", "Invert", "Overlong Name"};
            if (index >= 0 && index < kParameters) copyText(ptr, names[index], 64);
            return 0;
        }
        case vst::effGetParamLabel:
            if (index == 0)
                copyText(ptr, "dB", 9);
            else if (index >= 0 && index < kParameters)
                copyText(ptr, "", 9);
            return 0;
        case vst::effGetParamDisplay: {
            if (index < 0 || index >= kParameters || !ptr) return 0;
            const float v = e->values[e->program][index];
            char text[32];
            if (index == 1)
                std::snprintf(text, sizeof text, "%s", v >= 0.5f ? "on" : "off");
            else
                std::snprintf(text, sizeof text, "%.2f", static_cast<double>(v));
            copyText(ptr, text, 9);
            return 0;
        }
        case vst::effString2Parameter: {
            if (!ptr || index < 0 || index >= kParameters) return 0;
            const char* text = static_cast<const char*>(ptr);
            if (index == 1) {
                e->values[e->program][1] = std::strcmp(text, "on") == 0 ? 1.0f : 0.0f;
                return 1;
            }
            char* end = nullptr;
            const double v = std::strtod(text, &end);
            if (end == text || !std::isfinite(v)) return 0;
            e->values[e->program][index] = static_cast<float>(v < 0 ? 0 : v > 1 ? 1 : v);
            return 1;
        }
        case vst::effSetSampleRate:
            e->sampleRate = opt;
            return 0;
        case vst::effSetBlockSize:
            e->blockSize = static_cast<int>(value);
            return 0;
        case vst::effMainsChanged:
            if (value != 0) {
                ++e->resumes;
                // Like the flanger: ask which pins are connected at every resume.
                for (int pin = 0; pin < 2; ++pin) {
                    e->host(r, vst::audioMasterPinConnected, pin, 0, nullptr, 0.0f);
                    e->host(r, vst::audioMasterPinConnected, pin, 1, nullptr, 0.0f);
                }
            }
            return 0;
        case vst::effGetChunk: {
            if (!ptr) return 0;
            const int first = index != 0 ? e->program : 0;
            const int count = index != 0 ? 1 : kPrograms;
            for (int p = 0; p < count; ++p)
                for (int i = 0; i < kParameters; ++i)
                    putFloat(e->chunk + 4 * (p * kParameters + i), e->values[first + p][i]);
            *static_cast<void**>(ptr) = e->chunk;
            return count * kParameters * 4;
        }
        case vst::effSetChunk: {
            const int count = index != 0 ? 1 : kPrograms;
            if (!ptr || value != count * kParameters * 4) return 0;
            const auto* in = static_cast<const unsigned char*>(ptr);
            const int first = index != 0 ? e->program : 0;
            for (int p = 0; p < count; ++p)
                for (int i = 0; i < kParameters; ++i)
                    e->values[first + p][i] = getFloat(in + 4 * (p * kParameters + i));
            return 1;
        }
        case vst::effSetSpeakerArrangement: {
            const auto* input = reinterpret_cast<const vst::VstSpeakerArrangement*>(value);
            const auto* output = static_cast<const vst::VstSpeakerArrangement*>(ptr);
            return input && output && input->numChannels == 2 && output->numChannels == 2 ? 1 : 0;
        }
        case vst::effEditIdle:
            ++e->editIdles;
            return 0;
        case vst::effGetVendorString:
            copyText(ptr, "Fake Vendor", vst::kVendorTextLength + 1);
            return 1;
        case vst::effGetEffectName:
            copyText(ptr, "Fake Gain", vst::kNameLength + 1);
            return 1;
        case vst::effGetVstVersion:
            return 2400;
        case vst::effGetPlugCategory:
            return vst::kPlugCategEffect;
        case vst::effCanDo:
            return 0;
        case vst::effVendorSpecific:
            // A test hook: report what the effect saw, so tests can check the host's calls.
            if (index == 1) return e->blockSize;
            if (index == 2) return static_cast<intptr_t>(e->sampleRate);
            if (index == 3) return static_cast<intptr_t>(e->lastTempo * 10.0);
            if (index == 4) return e->resumes;
            // Requests a host may get at any time: idle, and a version query without the effect.
            if (index == 5) return e->host(r, vst::audioMasterIdle, 0, 0, nullptr, 0.0f);
            if (index == 6) return e->editIdles;
            if (index == 7) return e->host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f);
            return 0;
        default:
            return 0;
    }
}

vst::EffectRecord* createEffect(vst::HostCallback host) {
    if (!host || host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* e = new FakeEffect;
    e->host = host;
    vst::EffectRecord& r = e->record;
    r.magic = vst::kEffectMagic;
    r.dispatcher = dispatcher;
    r.process = processAdding;
    r.setParameter = setParameter;
    r.getParameter = getParameter;
    r.numPrograms = kPrograms;
    r.numParams = kParameters;
    r.numInputs = 2;
    r.numOutputs = 2;
#if defined(FAKE_NO_CHUNKS)
    r.flags = vst::effFlagsCanReplacing;  // presets as plain values; the chunk calls stay unused
#else
    r.flags = vst::effFlagsCanReplacing | vst::effFlagsProgramChunks;
#endif
    r.ioRatio = 1.0f;
    r.object = e;
    r.uniqueID = vst::fourCharacters('F', 'a', 'k', 'e');
    r.version = 3;
    r.processReplacing = processReplacing;
    return &r;
}

}  // namespace

// The variants test the host's lookup: the usual entry, only the legacy `main`, or neither.
#if defined(FAKE_ENTRY_MAIN_ONLY)
extern "C" __attribute__((visibility("default"))) vst::EffectRecord* fakeLegacyEntry(
    vst::HostCallback host) __asm__("main");
extern "C" vst::EffectRecord* fakeLegacyEntry(vst::HostCallback host) {
    return createEffect(host);
}
#elif defined(FAKE_NO_ENTRY)
extern "C" __attribute__((visibility("default"))) vst::EffectRecord* notAnEntry(vst::HostCallback host) {
    return createEffect(host);
}
#else
extern "C" __attribute__((visibility("default"))) vst::EffectRecord* VSTPluginMain(vst::HostCallback host) {
    return createEffect(host);
}
#endif
