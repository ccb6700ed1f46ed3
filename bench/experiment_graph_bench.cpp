// The graph at 1,000 points and at four weeks of one point a second (2,400,000): one
// control-cycle replot after a new point, the same replot zoomed to a few minutes, and
// the picture a save stores. Each must cost about the same at both lengths: the ratio of
// the two is what to read.
#include "app/window/experiment_graph.h"

#include <benchmark/benchmark.h>

#include <random>

namespace
{

// A noisy pump voltage and current, the readings that make a line cross itself at
// every point, beside a slowly drifting temperature and pO2.
void FillRun(oxtiva::TExperimentGraph& aGraph, int aPoints)
{
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 1);
    for (int i = 0; i < aPoints; ++i) {
        const double t = i;
        aGraph.AppendPoint(t, 0.1 + 1e-3 * noise(random), 1e-4 + 1e-7 * noise(random),
                           845 + 1e-5 * i, 1e-5 * (1 + 1e-7 * i));
        aGraph.AppendPumppO2(t, 2e-5 * (1 + 1e-3 * noise(random)));
    }
}

struct TRunGraph {
    oxtiva::TExperimentGraph Graph;
    int Points;

    explicit TRunGraph(int aPoints) : Points(aPoints)
    {
        Graph.resize(1200, 700);
        Graph.show();
        FillRun(Graph, aPoints);
        Graph.Replot();
        Graph.replot(); // fonts and caches of the first drawing are no replot's cost
    }
    void AppendOne()
    {
        Graph.AppendPoint(Points, 0.1, 1e-4, 845, 1e-5);
        Graph.AppendPumppO2(Points, 2e-5);
        ++Points;
    }
};

void BM_GraphReplotAfterANewPoint(benchmark::State& state)
{
    TRunGraph run(int(state.range(0)));
    for (auto _ : state) {
        run.AppendOne();
        run.Graph.ReplotNewPoints();
        run.Graph.replot(QCustomPlot::rpImmediateRefresh); // the queued replot, drawn now
    }
    state.counters["series_points"] = run.Graph.RtLineSeriesPumpVoltage->dataCount();
}
BENCHMARK(BM_GraphReplotAfterANewPoint)
    ->Arg(1000)
    ->Arg(2400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The two parts of the replot above apart: choosing the series' points after a new point
// (rescale and the columns' extremes), and drawing points already chosen. At 24,000 points
// every column already holds a stretch of noise: beyond it the drawing is bounded by the
// screen, a band a column wide at each column, and only the noise's spread still grows.
void BM_GraphChoosePointsAfterANewPoint(benchmark::State& state)
{
    TRunGraph run(int(state.range(0)));
    for (auto _ : state) {
        run.AppendOne();
        run.Graph.Replot(); // its repaint is queued, and no event loop runs here
    }
}
BENCHMARK(BM_GraphChoosePointsAfterANewPoint)
    ->Arg(1000)
    ->Arg(2400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_GraphDrawChosenPoints(benchmark::State& state)
{
    TRunGraph run(int(state.range(0)));
    for (auto _ : state)
        run.Graph.replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_GraphDrawChosenPoints)
    ->Arg(1000)
    ->Arg(24000)
    ->Arg(2400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_GraphReplotZoomedToMinutes(benchmark::State& state)
{
    TRunGraph run(int(state.range(0)));
    const double end = run.Points;
    run.Graph.ZoomTo(QRect(run.Graph.axisRect()->left() + 1, run.Graph.axisRect()->top() + 1,
                           run.Graph.axisRect()->width() - 2, run.Graph.axisRect()->height() - 2));
    bool left = false;
    for (auto _ : state) {
        // A pan back and forth: each view asks for the points of another span.
        run.Graph.XAxisTime->setRange(end - 600 - (left ? 300 : 0), end - (left ? 300 : 0));
        left = !left;
        run.Graph.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_GraphReplotZoomedToMinutes)
    ->Arg(1000)
    ->Arg(2400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_GraphPicture(benchmark::State& state)
{
    TRunGraph run(int(state.range(0)));
    for (auto _ : state) {
        run.AppendOne(); // the point of a step advance, drawn in the picture
        benchmark::DoNotOptimize(run.Graph.Picture());
    }
}
BENCHMARK(BM_GraphPicture)->Arg(1000)->Arg(2400000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
