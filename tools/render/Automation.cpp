// The render's timeline of parameter writes and program changes.
#include "tools/render/Automation.h"

#include <algorithm>

namespace flanger::tools {

void Timeline::addLane(int32_t parameter, bool stepped, std::vector<Point> points) {
    if (points.empty()) return;
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.frame < b.frame; });
    lanes.push_back({parameter, stepped, std::move(points)});
}

void Timeline::addProgramChange(int64_t frame, int32_t program) {
    programs.push_back({frame, program});
    std::stable_sort(programs.begin(), programs.end(),
                     [](const ProgramChange& a, const ProgramChange& b) { return a.frame < b.frame; });
}

float Timeline::valueAt(const std::vector<Point>& points, bool stepped, int64_t frame) noexcept {
    if (frame <= points.front().frame) return points.front().normalised;
    // The last point at or before frame.
    const auto after = std::upper_bound(points.begin(), points.end(), frame,
                                        [](int64_t f, const Point& p) { return f < p.frame; });
    const Point& from = *(after - 1);
    if (after == points.end() || stepped) return from.normalised;
    const Point& to = *after;
    const double t = static_cast<double>(frame - from.frame) / static_cast<double>(to.frame - from.frame);
    return static_cast<float>(from.normalised + (to.normalised - from.normalised) * t);
}

int64_t Timeline::nextAfter(int64_t frame) const noexcept {
    int64_t next = kNever;
    if (nextProgram < programs.size()) next = programs[nextProgram].frame;
    for (const Lane& lane : lanes) {
        const auto after = std::upper_bound(lane.points.begin(), lane.points.end(), frame,
                                            [](int64_t f, const Point& p) { return f < p.frame; });
        if (after == lane.points.end()) continue;
        next = std::min(next, after->frame);
        // Inside a ramp: the next step as well.
        if (!lane.stepped && after != lane.points.begin())
            next = std::min(next, (frame / kRampStep + 1) * kRampStep);
    }
    return std::max(next, frame + 1);
}

void Timeline::apply(PluginInstance& plugin, int64_t frame) {
    bool programChanged = false;
    while (nextProgram < programs.size() && programs[nextProgram].frame <= frame) {
        plugin.setProgram(programs[nextProgram].program);
        ++nextProgram;
        programChanged = true;
    }
    for (const Lane& lane : lanes) {
        const bool atPoint = std::any_of(lane.points.begin(), lane.points.end(),
                                         [frame](const Point& p) { return p.frame == frame; });
        const bool inRamp = !lane.stepped && frame > lane.points.front().frame &&
                            frame < lane.points.back().frame && frame % kRampStep == 0;
        // A new program brings its own values: the lane's value is written over it at once.
        if (frame == 0 || atPoint || inRamp || programChanged)
            plugin.setParameter(lane.parameter, valueAt(lane.points, lane.stepped, frame));
    }
    nextDue = nextAfter(frame);
}

}  // namespace flanger::tools
