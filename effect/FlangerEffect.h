// The flanger's effect class (placeholder until the signal path lands): fills the record the
// way the finished effect does and processes nothing.
#pragma once

#include "host/ExtendedEffect.h"

namespace flanger::effect {

class FlangerEffect : public host::ExtendedEffect {
public:
    explicit FlangerEffect(vst::HostCallback host);
    bool initialise() { return true; }
    void processAdding(float** inputs, float** outputs, int32_t frames) override;
};

}  // namespace flanger::effect
