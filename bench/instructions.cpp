// Processes ten seconds of stereo noise through a FlangerEngine (44.1 kHz, default parameters,
// 512-frame blocks), or does all the same work except the processing with --no-process.
// bench/instructions.sh runs both under callgrind; the difference is the engine's cost.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dsp/FlangerEngine.h"
#include "params/FlangerParameters.h"
#include "tools/common/CommandLine.h"

namespace {

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: flanger_instructions [--no-process] [--sync]\n"
                 "Processes ten seconds of stereo noise through the engine and prints a checksum; run\n"
                 "under callgrind by bench/instructions.sh.\n"
                 "  --no-process   all the same work except the processing (default: process)\n"
                 "  --sync         the sweep synced to 120 BPM (default: free)\n"
                 "  -h, --help     this text\n"
                 "examples:\n"
                 "  flanger_instructions\n"
                 "  valgrind --tool=callgrind flanger_instructions --no-process\n");
}

}  // namespace

int main(int argc, char** argv) {
    const flanger::tools::CommandLine commandLine("flanger_instructions", usage);
    bool processing = true;
    bool sync = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--no-process")
            processing = false;
        else if (argument == "--sync")
            sync = true;
        else if (flanger::tools::isHelpOption(argument))
            return commandLine.help();
        else if (flanger::tools::looksLikeOption(argument))
            return commandLine.unknownOption(argument);
        else
            return commandLine.refuse("unexpected argument " + argument);
    }
    constexpr int kRate = 44100;
    constexpr int kBlock = 512;
    constexpr int kFrames = kRate * 10;

    std::vector<float> left(kFrames), right(kFrames), outLeft(kBlock), outRight(kBlock);
    uint32_t seed = 12345;
    for (int i = 0; i < kFrames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        left[i] = static_cast<float>(static_cast<int32_t>(seed)) * 0x1p-31f;
        seed = seed * 1664525u + 1013904223u;
        right[i] = static_cast<float>(static_cast<int32_t>(seed)) * 0x1p-31f;
    }

    flanger::params::FlangerParameters parameters;
    if (sync) parameters.setPlain(flanger::params::FlangerParameters::kSwitch, 1.0f);
    flanger::dsp::FlangerEngine engine(2, kRate, 2, kBlock);
    engine.resume();
    engine.applyParameters(&parameters);
    engine.setTempo(120.0);

    double checksum = 0.0;
    if (processing) {
        for (int start = 0; start + kBlock <= kFrames; start += kBlock) {
            float* in[2] = {left.data() + start, right.data() + start};
            float* out[2] = {outLeft.data(), outRight.data()};
            engine.processHost(in, out, kBlock, 0);
            checksum += outLeft[kBlock - 1] + outRight[kBlock - 1];
        }
    }
    std::printf("frames %d checksum %.6f\n", processing ? kFrames / kBlock * kBlock : 0, checksum);
    return 0;
}
