// The soak run: long processing with random automation, program switches, tempo changes and
// restarts, counting bad samples and measuring how uneven the block times are.
#pragma once

#include <cstdint>
#include <string>

#include "tools/validate/Isolation.h"

namespace flanger::tools {

struct SoakOptions {
    double audioSeconds = 600.0;
    float sampleRate = 44100.0f;
    int32_t blockSize = 512;
    uint32_t seed = 1;
};

struct SoakResult {
    int64_t frames = 0;
    int64_t samples = 0;
    int64_t nonFinite = 0;
    int64_t subnormal = 0;
    double wallSeconds = 0.0;
    double medianBlockMicros = 0.0;
    double slowestBlockMicros = 0.0;
    double p999BlockMicros = 0.0;  // the 99.9th percentile: the slowest block is often a preemption
    int64_t programSwitches = 0;
    int64_t tempoChanges = 0;
    int64_t restarts = 0;
};

// Runs the soak in this process; false (with the reason in error) if the module does not start.
bool runSoak(const std::string& modulePath, const SoakOptions& options, SoakResult& result,
             std::string& error);

// The soak as a group of checks (for a forked run): the figures go into notes, bad samples fail.
void soakChecks(const std::string& modulePath, const SoakOptions& options, Findings& findings);

}  // namespace flanger::tools
