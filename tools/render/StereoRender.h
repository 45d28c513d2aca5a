// How the tools feed a loaded plug-in offline: the start for rendering, the silent preroll and
// stereo audio cut into host-sized blocks. Needs no sound-file library, so the Windows test host
// renders with the very same code as flanger-render.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/common/TestHost.h"

namespace flanger::tools {

// The range of sample rates the tools accept. The bounds are the tools' own: the flanger sizes its
// delay lines from the rate it is given, so 6 ms fit at any rate.
constexpr int kMinimumSampleRate = 8000;
constexpr int kMaximumSampleRate = 192000;
// The maximum block size announced to the plug-in: a fixed value, so the host block size a user
// picks changes only how the audio is cut into calls, not how the plug-in is built.
constexpr int32_t kAnnouncedBlockSize = 4096;

// Switches a freshly loaded plug-in on for rendering: effOpen, rate and announced block size.
// Presets and parameters are applied after this and before resume().
void prepareForRender(PluginInstance& plugin, float sampleRate, int32_t hostBlock);

// Silence fed to a plug-in after resume and before the first real frame, in calls of a fixed
// size, as hosts run plug-ins before an export. Effects that start with a silent first call and
// a fade-in (the flanger does) then give the same output whatever host block size follows.
constexpr int64_t kPrerollFrames = 2048;
constexpr int32_t kPrerollBlock = 512;
void preroll(PluginInstance& plugin);

// Feeds stereo audio through the plug-in in calls of at most hostBlock frames. Plug-ins with
// other channel counts get the two channels in turn on their inputs; a mono output is copied to
// both sides. Uses processReplacing when the plug-in offers it, else the adding entry into
// cleared outputs.
class StereoRenderer {
public:
    StereoRenderer(PluginInstance& plugin, int32_t hostBlock);

    // in and out may be the same buffers.
    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int64_t frames);
    // For inputs the caller is done with: a plug-in with at most two inputs reads them where they
    // are (one copy less per sample; what it writes into them is lost). out must not overlap them.
    void processConsuming(float* inLeft, float* inRight, float* outLeft, float* outRight, int64_t frames);

private:
    void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int64_t frames,
             bool consuming);

    PluginInstance& plugin;
    int32_t hostBlock;
    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<float>> outputs;
    std::vector<float*> inputPointers;
    std::vector<float*> outputPointers;
};

}  // namespace flanger::tools
