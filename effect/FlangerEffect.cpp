// Placeholder flanger effect: record fields only.
#include "effect/FlangerEffect.h"

namespace flanger::effect {

FlangerEffect::FlangerEffect(vst::HostCallback host) : ExtendedEffect(host, 8, 11) {
    setInputCount(2);
    setOutputCount(2);
    setUniqueId(vst::fourCharacters('K', 'Z', 'T', 'M'));
    setCanMono(true);
    setCanReplace(true);
    setProgramsAreChunks(true);
}

void FlangerEffect::processAdding(float**, float**, int32_t) {}

}  // namespace flanger::effect
