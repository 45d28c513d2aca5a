// Parameter moves and program changes at set times of a render, applied through the plug-in's
// own calls as a host's automation would: ramps every kRampStep frames, steps at their points.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "tools/common/TestHost.h"

namespace flanger::tools {

class Timeline {
public:
    // Ramps are written at every multiple of this many frames between their points.
    static constexpr int64_t kRampStep = 32;
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

    struct Point {
        int64_t frame = 0;
        float normalised = 0.0f;
    };

    // Points in time order. A stepped parameter jumps at each point; any other moves linearly
    // (in its normalised value) from point to point. Before the first point it holds the first
    // value, after the last the last.
    void addLane(int32_t parameter, bool stepped, std::vector<Point> points);
    void addProgramChange(int64_t frame, int32_t program);
    bool empty() const noexcept { return lanes.empty() && programs.empty(); }

    // The frame of the next write; the render calls apply() when it gets there. Starts at 0.
    int64_t due() const noexcept { return nextDue; }
    // Writes what is due at frame (== due()) and moves due() on.
    void apply(PluginInstance& plugin, int64_t frame);

    // A lane's value at a frame, as apply() writes it.
    static float valueAt(const std::vector<Point>& points, bool stepped, int64_t frame) noexcept;

private:
    struct Lane {
        int32_t parameter;
        bool stepped;
        std::vector<Point> points;
    };
    struct ProgramChange {
        int64_t frame;
        int32_t program;
    };
    int64_t nextAfter(int64_t frame) const noexcept;

    std::vector<Lane> lanes;
    std::vector<ProgramChange> programs;
    size_t nextProgram = 0;
    int64_t nextDue = 0;
};

}  // namespace flanger::tools
