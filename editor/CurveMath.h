// The two curves of the modulation display, computed from parameter values: one sweep shape per
// cycle (as many cycles as the rate or note value calls for, as high as "Depth") and that sweep
// under a squared sine whose density follows "Delay", in a colour that follows "Feedback".
#pragma once

#include <cstdint>
#include <span>

#include "gui/Color.h"

namespace flanger::params {
class ParameterTable;
}

namespace flanger::editor {

class ModulationDisplay;

// The plain values that shape the curves. Anything a table can hold is accepted: each value is
// taken into its parameter's range (NaN as the minimum) before it reaches the arithmetic.
struct CurveParameters {
    float feedback = 50.0f;    // "Feedback" %
    float delay = 50.0f;       // "Delay" ms
    float depth = 50.0f;       // "Depth" %
    float switchValue = 0.0f;  // "Switch": 1 is tempo sync
    float rate = 1.0f;         // "Rate" Hz
    float syncBeat = 0.0f;     // "SyncBeat" note index
    float shapeSync = 0.0f;    // "ShapeSync" 0 … 16
};

// Reads the plain values from the flanger's parameter table.
CurveParameters curveParametersFrom(const params::ParameterTable& table) noexcept;

// Cycles shown: in sync mode the note's position among the 18 note lengths sorted from longest
// to shortest (1 … 18), else trunc("Rate") + 1.
int sweepCycles(const CurveParameters& p) noexcept;
// Columns per cycle: trunc(width ÷ n − 0.5), one fewer when n ≤ 2. Never negative.
int sweepCycleColumns(int width, int cycles) noexcept;

// The sweep curve at a column, as a fraction of the display height: each cycle starts at 0, rises
// for trunc(w × "ShapeSync" ÷ 16) columns to "Depth" ÷ 100 and falls back to 0 at its end.
// 0 for a display without width or height and for columns past the last cycle.
float sweepCurveAt(const CurveParameters& p, int width, int height, int column) noexcept;
// sin((110 − "Delay") × column ÷ 150)², in double precision.
float combFactorAt(float delay, int column) noexcept;
// The comb curve's colour: (65, 137, 138) at 0 % feedback to (145, 227, 238) at 100 %.
gui::Color combCurveColor(float feedback) noexcept;

// Fills sweep and comb for a display of width × height: columns 0 … width − 2 from the formulas,
// column width − 1 with 0. Only the entries both spans hold are written.
void computeCurves(const CurveParameters& p, int width, int height, std::span<float> sweep,
                   std::span<float> comb) noexcept;

// The editor's curve update: the comb colour as the display's second colour, both curves computed
// into the editor's buffers and loaded into the display (sweep first, comb second).
void loadModulationCurves(ModulationDisplay& display, const CurveParameters& p, int width, int height,
                          std::span<float> sweep, std::span<float> comb) noexcept;

}  // namespace flanger::editor
