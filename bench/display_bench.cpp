// Google Benchmark timings of the editor's two own displays: one curve update (both curves of
// 195 columns computed and loaded, as each change of a shaping parameter costs) and one redraw of
// the modulation display and of the stereo width bar (offscreen, picture, lines, one block copy).
#include <benchmark/benchmark.h>

#include <vector>

#include "editor/CurveMath.h"
#include "editor/ModulationDisplay.h"
#include "editor/StereoWidthBar.h"
#include "gui/SkinBitmap.h"
#include "platform/Surface.h"

namespace {

using namespace flanger;

constexpr gui::Rect kDisplayRect{11, 41, 207, 115};
constexpr gui::Rect kBarRect{12, 31, 206, 40};

editor::CurveParameters busyCurves() {
    editor::CurveParameters p;
    p.depth = 100.0f;
    p.rate = 4.5f;
    p.shapeSync = 5.0f;
    p.delay = 3.0f;
    return p;
}

void BM_CurveUpdate(benchmark::State& state) {
    editor::ModulationDisplay display(kDisplayRect, nullptr, 21, nullptr, 3);
    std::vector<float> sweep(196), comb(196);
    const editor::CurveParameters p = busyCurves();
    for (auto _ : state) {
        editor::loadModulationCurves(display, p, 196, 74, sweep, comb);
        benchmark::DoNotOptimize(display.curveOffset(1, 100));
    }
}
BENCHMARK(BM_CurveUpdate);

void BM_ModulationDisplayDraw(benchmark::State& state) {
    gui::SkinBitmap* picture = new gui::SkinBitmap(1006);
    editor::ModulationDisplay display(kDisplayRect, nullptr, 21, picture, 3);
    picture->release();
    std::vector<float> sweep(196), comb(196);
    editor::loadModulationCurves(display, busyCurves(), 196, 74, sweep, comb);
    platform::Surface window(370, 216);
    for (auto _ : state) {
        gui::Canvas canvas(nullptr, &window, nullptr);
        display.draw(canvas);
        benchmark::DoNotOptimize(window.pixel(50, 50));
    }
}
BENCHMARK(BM_ModulationDisplayDraw);

void BM_StereoWidthBarDraw(benchmark::State& state) {
    gui::SkinBitmap* picture = new gui::SkinBitmap(1009);
    editor::StereoWidthBar bar(kBarRect, nullptr, 22, picture);
    picture->release();
    bar.setValue(1.0f);
    platform::Surface window(370, 216);
    for (auto _ : state) {
        gui::Canvas canvas(nullptr, &window, nullptr);
        bar.draw(canvas);
        benchmark::DoNotOptimize(window.pixel(50, 35));
    }
}
BENCHMARK(BM_StereoWidthBarDraw);

}  // namespace

BENCHMARK_MAIN();
