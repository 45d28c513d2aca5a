// A VST 2.x module that only copies its input to its output: rendering through it measures what
// flanger-render itself costs (start, reading, conversion, writing) with the processing skipped.
#include <algorithm>

#include "host/VstInterface.h"

namespace {

namespace vst = flanger::vst;

intptr_t dispatch(vst::EffectRecord* effect, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == vst::effClose) delete effect;
    if (opcode == vst::effGetVstVersion) return 2400;
    return 0;
}

void copy(vst::EffectRecord*, float** inputs, float** outputs, int32_t frames) {
    if (!inputs || !outputs || frames <= 0) return;
    for (int c = 0; c < 2; ++c)
        if (inputs[c] && outputs[c] && inputs[c] != outputs[c]) std::copy_n(inputs[c], frames, outputs[c]);
}

float noValue(vst::EffectRecord*, int32_t) {
    return 0.0f;
}

void ignoreValue(vst::EffectRecord*, int32_t, float) {}

}  // namespace

extern "C" __attribute__((visibility("default"))) vst::EffectRecord* VSTPluginMain(vst::HostCallback) {
    auto* r = new vst::EffectRecord{};
    r->magic = vst::kEffectMagic;
    r->dispatcher = dispatch;
    r->process = copy;
    r->setParameter = ignoreValue;
    r->getParameter = noValue;
    r->numPrograms = 1;
    r->numInputs = 2;
    r->numOutputs = 2;
    r->flags = vst::effFlagsCanReplacing;
    r->ioRatio = 1.0f;
    r->uniqueID = vst::fourCharacters('P', 'a', 's', 's');
    r->version = 1;
    r->processReplacing = copy;
    return r;
}
