// The render start, the preroll and the block-wise stereo renderer.
#include "tools/render/StereoRender.h"

#include <algorithm>
#include <cstddef>

namespace flanger::tools {

void prepareForRender(PluginInstance& plugin, float sampleRate, int32_t hostBlock) {
    plugin.dispatch(vst::effOpen);
    plugin.setSampleRate(sampleRate);
    plugin.setBlockSize(std::max(hostBlock, kAnnouncedBlockSize));
}

void preroll(PluginInstance& plugin) {
    std::vector<float> left(kPrerollFrames, 0.0f);
    std::vector<float> right(kPrerollFrames, 0.0f);
    StereoRenderer renderer(plugin, kPrerollBlock);
    renderer.process(left.data(), right.data(), left.data(), right.data(), kPrerollFrames);
}

StereoRenderer::StereoRenderer(PluginInstance& p, int32_t block)
    : plugin(p), hostBlock(std::max<int32_t>(block, 1)) {
    const size_t ins = static_cast<size_t>(std::max(plugin.inputCount(), 0));
    const size_t outs = static_cast<size_t>(std::max(plugin.outputCount(), 0));
    inputs.assign(std::max<size_t>(ins, 1), std::vector<float>(static_cast<size_t>(hostBlock)));
    outputs.assign(std::max<size_t>(outs, 2), std::vector<float>(static_cast<size_t>(hostBlock)));
    for (auto& b : inputs) inputPointers.push_back(b.data());
    for (auto& b : outputs) outputPointers.push_back(b.data());
}

void StereoRenderer::process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                             int64_t frames) {
    run(inLeft, inRight, outLeft, outRight, frames, false);
}

void StereoRenderer::processConsuming(float* inLeft, float* inRight, float* outLeft, float* outRight,
                                      int64_t frames) {
    run(inLeft, inRight, outLeft, outRight, frames, true);
}

void StereoRenderer::run(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                         int64_t frames, bool consuming) {
    const bool replacing = plugin.hasFlag(vst::effFlagsCanReplacing) && plugin.record()->processReplacing;
    const bool monoOut = plugin.outputCount() == 1;
    // A stereo effect writes straight into the caller's buffers: one copy less per sample.
    const bool direct = plugin.outputCount() == 2;
    // More than two inputs take the two channels in turn: in place they would share arrays.
    const bool inPlace = consuming && inputs.size() <= 2;
    for (int64_t done = 0; done < frames;) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(hostBlock, frames - done));
        const auto count = static_cast<std::ptrdiff_t>(n);
        for (size_t c = 0; c < inputs.size(); ++c) {
            const float* source = (c % 2 == 0 ? inLeft : inRight) + done;
            if (inPlace) {
                // The caller handed these over as its own scratch (processConsuming).
                inputPointers[c] = const_cast<float*>(source);
            } else {
                // Copies otherwise: the caller's output may be its input, and some plug-ins
                // scribble on their inputs.
                std::copy(source, source + count, inputs[c].begin());
                inputPointers[c] = inputs[c].data();
            }
        }
        if (direct) {
            outputPointers[0] = outLeft + done;
            outputPointers[1] = outRight + done;
        }
        if (!replacing) {
            for (size_t c = 0; c < outputPointers.size(); ++c)
                std::fill(outputPointers[c], outputPointers[c] + count, 0.0f);
        }
        plugin.process(replacing ? ProcessMode::Replacing : ProcessMode::Adding, inputPointers.data(),
                       outputPointers.data(), n);
        if (!direct) {
            std::copy(outputs[0].begin(), outputs[0].begin() + count, outLeft + done);
            const auto& right = monoOut ? outputs[0] : outputs[1];
            std::copy(right.begin(), right.begin() + count, outRight + done);
        }
        done += n;
    }
}

}  // namespace flanger::tools
