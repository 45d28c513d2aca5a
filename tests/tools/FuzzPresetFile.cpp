// libFuzzer target: the preset file reader takes any bytes; what it accepts writes back and
// reads again to the same preset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/render/PresetFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace flanger::tools;
    const auto parsed = parsePresetFile(std::span<const uint8_t>(data, size));
    const auto* preset = std::get_if<PresetFile>(&parsed);
    if (preset == nullptr) return 0;
    const auto again = parsePresetFile(serializePresetFile(*preset));
    const auto* second = std::get_if<PresetFile>(&again);
    if (second == nullptr || second->kind != preset->kind || second->chunk != preset->chunk ||
        second->pluginId != preset->pluginId || second->programs.size() != preset->programs.size())
        std::abort();
    return 0;
}
