// libFuzzer target: any bytes as a program or bank chunk, current or legacy size or not. The
// effect must refuse or sanitise them: every parameter stays finite and within 0 … 1.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "effect/FlangerEffect.h"
#include "params/FlangerParameters.h"

namespace {

intptr_t host(flanger::vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == flanger::vst::audioMasterVersion ? 2400 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static flanger::effect::FlangerEffect* effect = [] {
        auto* e = new flanger::effect::FlangerEffect(&host);
        e->initialise();
        e->resume();
        return e;
    }();
    if (size < 1) return 0;
    const bool preset = (data[0] & 1) != 0;
    // Steer half of the inputs onto the sizes the loader accepts, so the sanitising is reached.
    static const int32_t sizes[] = {112, 896, 104, 832};
    std::vector<uint8_t> body(data + 1, data + size);
    int32_t length = static_cast<int32_t>(body.size());
    if ((data[0] & 2) != 0) {
        length = sizes[(data[0] >> 2) & 3];
        body.resize(static_cast<size_t>(length), 0);
    }
    effect->loadChunk(body.data(), length, preset);
    for (int32_t i = 0; i < flanger::params::FlangerParameters::kHostParameterCount; ++i) {
        const float v = effect->parameterValue(i);
        if (!(v >= 0.0f && v <= 1.0f)) std::abort();
        char text[256];
        effect->parameterText(i, text);
    }
    const float beats = effect->parameterValue(flanger::params::FlangerParameters::kBeatsPerCycle);
    if (!(std::isfinite(beats) && beats > 0.0f)) std::abort();
    float left[64] = {}, right[64] = {};
    left[0] = 1.0f;
    float* channels[2] = {left, right};
    effect->processReplacing(channels, channels, 64);
    for (float s : left)
        if (!std::isfinite(s)) std::abort();
    return 0;
}
