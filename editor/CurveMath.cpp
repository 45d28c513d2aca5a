// The modulation display's curve arithmetic: cycles and columns from the rate or note value, the
// rising and falling sweep per cycle, the comb factor and colour.
#include "editor/CurveMath.h"

#include <algorithm>
#include <cmath>

#include "editor/ModulationDisplay.h"
#include "params/FlangerParameters.h"
#include "params/NoteTable.h"

namespace flanger::editor {

namespace {

using params::FlangerParameters;

// The table does not clamp plain values set by text or by a program, and NaN or a huge value
// would make the integer conversions below undefined: every input is kept in its parameter's
// range, NaN taken as the minimum.
float inRange(float value, float minimum, float maximum) noexcept {
    if (!(value >= minimum)) return minimum;
    if (value > maximum) return maximum;
    return value;
}

float depthOf(const CurveParameters& p) noexcept {
    return inRange(p.depth, 0.0f, 100.0f);
}
float rateOf(const CurveParameters& p) noexcept {
    return inRange(p.rate, 0.0f, 5.0f);
}
float shapeOf(const CurveParameters& p) noexcept {
    return inRange(p.shapeSync, 0.0f, 16.0f);
}
float delayOf(float delay) noexcept {
    return inRange(delay, 0.001f, 100.0f);
}
bool synced(const CurveParameters& p) noexcept {
    return static_cast<int>(inRange(p.switchValue, 0.0f, 1.0f)) == 1;
}

}  // namespace

CurveParameters curveParametersFrom(const params::ParameterTable& table) noexcept {
    // A value that is no number shows as the parameter's default, as a fresh program would.
    const auto plain = [&table](int index) {
        const float value = table.peekPlain(index);
        return std::isnan(value) ? table.defaultValue(index) : value;
    };
    CurveParameters p;
    p.feedback = plain(FlangerParameters::kFeedback);
    p.delay = plain(FlangerParameters::kDelay);
    p.depth = plain(FlangerParameters::kDepth);
    p.switchValue = plain(FlangerParameters::kSwitch);
    p.rate = plain(FlangerParameters::kRate);
    p.syncBeat = plain(FlangerParameters::kSyncBeat);
    p.shapeSync = plain(FlangerParameters::kShapeSync);
    return p;
}

int sweepCycles(const CurveParameters& p) noexcept {
    if (!synced(p)) return static_cast<int>(rateOf(p)) + 1;
    // The 1-based position among the note lengths sorted from longest to shortest: the lengths
    // are all different, so it is one more than the number of longer ones.
    const float beats = params::noteBeats[params::noteIndex(p.syncBeat)];
    return 1 + static_cast<int>(std::count_if(std::begin(params::noteBeats), std::end(params::noteBeats),
                                              [beats](float other) { return other > beats; }));
}

int sweepCycleColumns(int width, int cycles) noexcept {
    if (cycles < 1) cycles = 1;
    int columns = static_cast<int>(static_cast<float>(width) / static_cast<float>(cycles) - 0.5f);
    if (cycles <= 2) --columns;
    return std::max(columns, 0);
}

float sweepCurveAt(const CurveParameters& p, int width, int height, int column) noexcept {
    if (width <= 0 || height <= 0 || column < 0) return 0.0f;
    const float h = static_cast<float>(height);
    const float peak = depthOf(p) * h * 0.01f;
    const int n = sweepCycles(p);
    const int w = sweepCycleColumns(width, n);
    const int r = static_cast<int>(static_cast<float>(w) * shapeOf(p) * 0.0625f);
    const float up = r != 0 ? peak / static_cast<float>(r) : 0.0f;
    const float down = r != w ? -peak / static_cast<float>(w - r) : 0.0f;

    // The first cycle j whose end j × w the column does not pass.
    int j = 1;
    if (column > 0) {
        if (w == 0) return 0.0f;
        j = column / w + (column % w != 0 ? 1 : 0);  // rounded up without overflowing
    }
    if (j > n) return 0.0f;
    if (column > (j - 1) * w + r && down != 0.0f) return static_cast<float>(column - j * w) * down / h;
    return static_cast<float>(column - (j - 1) * w) * up / h;
}

float combFactorAt(float delay, int column) noexcept {
    const double s = std::sin((110.0 - static_cast<double>(delayOf(delay))) * column / 150.0);
    return static_cast<float>(s * s);
}

gui::Color combCurveColor(float feedback) noexcept {
    const float f = 1.0f - inRange(feedback, 0.0f, 100.0f) * 0.01f;
    return {static_cast<std::uint8_t>(static_cast<int>(145.0f - 80.0f * f)),
            static_cast<std::uint8_t>(static_cast<int>(227.0f - 90.0f * f)),
            static_cast<std::uint8_t>(static_cast<int>(238.0f - 100.0f * f)), 0};
}

void computeCurves(const CurveParameters& p, int width, int height, std::span<float> sweep,
                   std::span<float> comb) noexcept {
    if (width <= 0) return;
    const std::size_t count = std::min({static_cast<std::size_t>(width), sweep.size(), comb.size()});
    for (std::size_t i = 0; i < count; ++i) {
        const int x = static_cast<int>(i);
        if (x == width - 1) {
            sweep[i] = 0.0f;
            comb[i] = 0.0f;
            continue;
        }
        sweep[i] = sweepCurveAt(p, width, height, x);
        comb[i] = combFactorAt(p.delay, x) * sweep[i];
    }
}

void loadModulationCurves(ModulationDisplay& display, const CurveParameters& p, int width, int height,
                          std::span<float> sweep, std::span<float> comb) noexcept {
    display.setCurveColor(2, combCurveColor(p.feedback));
    computeCurves(p, width, height, sweep, comb);
    const int count =
        width <= 0 ? 0
                   : static_cast<int>(std::min({static_cast<std::size_t>(width), sweep.size(), comb.size()}));
    display.loadCurve(0, sweep.data(), count);
    display.loadCurve(1, comb.data(), count);
}

}  // namespace flanger::editor
