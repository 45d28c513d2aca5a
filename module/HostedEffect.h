// The effect as the newer formats' wrappers hold it: made, opened and set to factory program 0
// through its VST 2.x interface, beside a second copy that is never processed and turns values
// into texts and texts into values without touching the sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "host/EditorBase.h"
#include "host/VstInterface.h"

namespace flanger::effect {
class FlangerEffect;
}

namespace flanger::module {

class HostedEffect {
public:
    HostedEffect() = default;
    ~HostedEffect();
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    // Makes both effects; the record's user field is user, the effect asks answer for its host.
    // False, with nothing usable, when either cannot be made.
    bool open(vst::HostCallback answer, void* user, host::EditorFactory editor, double sampleRate,
              int32_t maxBlock) noexcept;

    effect::FlangerEffect& effect() noexcept { return *sounding; }
    const effect::FlangerEffect& effect() const noexcept { return *sounding; }
    vst::EffectRecord* record() noexcept { return soundingRecord; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) noexcept;
    int32_t programCount() const noexcept;
    void selectProgram(int32_t program) noexcept;
    // A parameter's text at a normalised value, cut to capacity; any host thread, one at a time.
    bool displayOf(int32_t index, float normalised, char* text, std::size_t capacity) noexcept;
    // The effect's one grammar reads text; false, with normalised untouched, where it does not.
    bool readText(int32_t index, const char* text, float& normalised) noexcept;

private:
    effect::FlangerEffect* sounding = nullptr;  // owned through its record: effClose deletes it
    vst::EffectRecord* soundingRecord = nullptr;
    effect::FlangerEffect* textModel = nullptr;
    vst::EffectRecord* textRecord = nullptr;
    std::mutex textLock;
};

}  // namespace flanger::module
