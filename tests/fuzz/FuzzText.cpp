// libFuzzer target: any text typed into any parameter. Values must stay inside each range.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

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
        return e;
    }();
    if (size < 1) return 0;
    const int32_t index = static_cast<int32_t>(data[0] % 13) - 1;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text.push_back(0);
    effect->textToParameter(index, text.data());
    auto* table = effect->flangerParameters();
    for (int32_t i = 0; i < flanger::params::FlangerParameters::kParameterCount; ++i) {
        const float v = table->peekPlain(i);
        if (!(v >= table->minimum(i) && v <= table->maximum(i))) std::abort();
    }
    return 0;
}
