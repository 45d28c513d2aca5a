// The engine's usual case in one pass over a chunk: stereo in and out, every gain at rest and
// heard, the second voice panned. Per span of frames the input is cleaned and both cores' lines
// run into small buffers on the stack; then the main core's mix, width and output gain, the
// second voice's gains and the panner take the span in one loop, where the separate stages
// copied the input and made five passes over the chunk.
#pragma once

namespace flanger::dsp {

class FlangerCore;
class PanOscillator;

class FusedStereoPass {
public:
    // Runs count frames of in (two channels) through the main core into out (two channels;
    // added when accumulate) and the second core and panner on top, exactly as the stages one
    // after another would, and answers true. Answers false having changed nothing when the case
    // is another: a ramp moving, a voice silent, a delay under 4 samples, circles kept more than
    // twice, sweeps set apart, missing or partly overlapping channels, count beyond the block.
    static bool run(FlangerCore& main, FlangerCore& second, PanOscillator& panner, float* const* in,
                    float* const* out, int count, bool accumulate) noexcept;
};

}  // namespace flanger::dsp
