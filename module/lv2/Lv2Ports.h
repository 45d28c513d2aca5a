// The LV2 face of the flanger, shared by its plug-in, its UI and the generator of its
// description: URIs and the port layout (one control port per host parameter, in the host
// parameters' order, then the audio ports and the time input).
#pragma once

#include <cstdint>

namespace flanger::lv2 {

inline constexpr const char* kPluginUri = "urn:brackwater:flanger";
inline constexpr const char* kUiUri = "urn:brackwater:flanger#ui";
inline constexpr const char* kPresetUriPrefix = "urn:brackwater:flanger#program";
inline constexpr const char* kDspBinary = "BrackwaterFlanger_dsp.so";
inline constexpr const char* kUiBinary = "BrackwaterFlanger_ui.so";

inline constexpr uint32_t kControlCount = 11;
inline constexpr const char* kControlSymbols[kControlCount] = {"feedback",  "delay",  "depth",    "stereo",
                                                               "switch",    "rate",   "syncbeat", "tmpsync",
                                                               "shapesync", "output", "mix"};
inline constexpr uint32_t kInputLeft = kControlCount;
inline constexpr uint32_t kInputRight = kControlCount + 1;
inline constexpr uint32_t kOutputLeft = kControlCount + 2;
inline constexpr uint32_t kOutputRight = kControlCount + 3;
inline constexpr uint32_t kTimePort = kControlCount + 4;
inline constexpr uint32_t kPortCount = kControlCount + 5;

// The most frames announced to the effect as its block size; runs of any length are cut by
// the effect's engine as a VST host's blocks are.
inline constexpr int32_t kAnnouncedBlock = 4096;

// Sample rates taken: what the effect can build its delay lines for.
inline constexpr double kLowestRate = 1.0;
inline constexpr double kHighestRate = 768000.0;

}  // namespace flanger::lv2
