// What guarded and plain blocks share, and the channel buffers laid out on them.
#include "tools/validate/GuardedMemory.h"

#include <algorithm>
#include <cstring>

namespace flanger::tools {

GuardedBlock::GuardedBlock(GuardedBlock&& other) noexcept
    : mapping(other.mapping), mappingSize(other.mappingSize), start(other.start), length(other.length) {
    other.mapping = nullptr;
    other.mappingSize = 0;
    other.start = nullptr;
    other.length = 0;
}

void GuardedBlock::fill(unsigned char value) noexcept {
    if (length > 0) std::memset(start, value, length);
}

GuardedChannels::GuardedChannels(int32_t channelCount, int32_t frames)
    : count(std::max(channelCount, 0)),
      capacityFrames(std::max(frames, 0)),
      table(sizeof(float*) * static_cast<size_t>(std::max(channelCount, 0))) {
    samples.reserve(static_cast<size_t>(count));
    for (int32_t c = 0; c < count; ++c)
        samples.emplace_back(sizeof(float) * static_cast<size_t>(capacityFrames));
}

float* GuardedChannels::channel(int32_t c, int32_t frames) noexcept {
    frames = std::clamp(frames, 0, capacityFrames);
    auto* base = reinterpret_cast<float*>(samples[static_cast<size_t>(c)].data());
    return base + (capacityFrames - frames);
}

float** GuardedChannels::pointers(int32_t frames) noexcept {
    auto** array = reinterpret_cast<float**>(table.data());
    for (int32_t c = 0; c < count; ++c) array[c] = channel(c, frames);
    return array;
}

void GuardedChannels::fill(int32_t frames, float value) noexcept {
    for (int32_t c = 0; c < count; ++c)
        std::fill_n(channel(c, frames), std::clamp(frames, 0, capacityFrames), value);
}

}  // namespace flanger::tools
