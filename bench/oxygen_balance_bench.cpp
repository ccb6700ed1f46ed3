// One update of the live oxygen balance, early in a run (1,000 points) and a month into
// it (200,000 points at 10 s each). An update must cost the same whatever the length of
// the run: each benchmark reports the ratio of the two medians.
//
// BM_BalanceUpdate is the computation and its record of the point (TOxygenHistory::Add),
// timed in batches of 20 since one update takes tens of nanoseconds, with a change of alpha
// every 1,000 points before (1 or 200 of them). BM_WindowBalanceUpdate
// is the whole update a data point makes in the window: the balance, the point on the
// page's plot and the page's values (the page hidden, as it mostly is).
// BM_LeakRegression is one estimate of the leak over a day of steady points (8,640 at
// 10 s) at the end of a run of 1,000 or 200,000 points before it. BM_OxygenPageReplot
// draws the shown page at 1,000 points and at four weeks of 1 s points (2,400,000).
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/oxygen_content_page.h"
#include "records/date_time.h"
#include "science/oxygen_history.h"
#include "science/oxygen_leak_fit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace
{

using namespace oxtiva;

constexpr int Batch = 20;

// A point every 10 s of a run whose pO2 and current wander slowly.
TOxygenPointInput Point(int i)
{
    const double start = 10.05 * i;
    const double wave = std::sin(i / 500.0);
    return {start, start + 10, 1e-3 * (1 + 0.5 * wave), 1073.15, 1e-3 * (1 + 0.1 * wave)};
}

TOxygenBalanceConstants Constants()
{
    TOxygenBalanceConstants c;
    c.HotVolumeL = 0.0118615;
    c.GradientVolumeL = 0.012;
    c.LeakAlpha = 1e-9;
    c.b0 = 1.98;
    c.n0 = 5.82e-3;
    c.bs = 2;
    return c;
}

// The records of a long run grow into fresh memory. This virtual machine charges some
// microseconds for the first touch of a page the process has not used (one page holds
// some 40 points), and glibc hands freed heap back to the system at once, so a benchmark
// that builds a run of 200,000 points and then times its growth would bill the machine's
// page faults to the update. The heap is kept instead and warmed by a longer run built
// and dropped once, so that both run lengths grow into memory the process already has:
// the figures then compare the update itself.
void WarmHeap()
{
    static bool warmed = false;
    if (warmed) return;
    warmed = true;
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    TOxygenHistory warm;
    for (int i = 0; i < 300000; ++i)
        warm.Add(Point(i));
}

double Median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

void Report(benchmark::State& state, std::map<long, double>& medians, double median,
            const char* unit)
{
    medians[state.range(0)] = median;
    state.counters[unit] = median;
    if (state.range(0) != 1000 && medians.count(1000))
        state.counters["ratio_to_1000_points"] = median / medians[1000];
}

void BM_BalanceUpdate(benchmark::State& state)
{
    static std::map<long, double> medians;
    WarmHeap();
    TOxygenHistory history;
    history.SetConstants(Constants());
    int next = 0;
    while (next < state.range(0)) {
        history.Add(Point(next++));
        // alpha re-estimated every few hours at one of three temperatures: an update looks
        // up the constants in force among all the changes of the run so far.
        if (next % 1000 == 0) {
            TOxygenBalanceConstants c = Constants();
            c.LeakAlpha *= 1 + 1e-3 * (next / 1000);
            history.ChangeConstants(c, Point(next - 1).EndS, 1073.15 + 10 * (next / 1000 % 3),
                                    false);
        }
    }
    std::vector<double> perUpdate;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Batch; ++i)
            benchmark::DoNotOptimize(history.Add(Point(next++)));
        perUpdate.push_back(double(timer.nsecsElapsed()) / Batch);
    }
    Report(state, medians, Median(perUpdate), "median_ns");
}
BENCHMARK(BM_BalanceUpdate)->Arg(1000)->Arg(200000)->Iterations(50)->Repetitions(5);

struct TWindowRun {
    TfrmOxtiva window;
    int next = 0;

    TWindowRun() { window.State().StartTime = NowDays(); }
    void Update()
    {
        const TOxygenPointInput p = Point(next++);
        TDataPointRec& point = window.State().DataPoint;
        point.CellpO2Valid = true;
        point.CellpO2 = p.pO2;
        point.Temp = p.CellK - 273.15;
        point.Charge = p.ChargeC;
        point.MeanCharge = p.ChargeC / 2;
        point.StartTime = window.State().StartTime + p.StartS / SecondsPerDay;
        point.EndTime = window.State().StartTime + p.EndS / SecondsPerDay;
        window.OxygenContent().AddDataPoint();
    }
};

void BM_WindowBalanceUpdate(benchmark::State& state)
{
    static std::map<long, double> medians;
    WarmHeap();
    static TWindowRun run;
    while (run.next < state.range(0))
        run.Update();
    // The first updates of a fresh window pay for lazy set-up (fonts, caches); untimed.
    for (int i = 0; i < 50; ++i)
        run.Update();
    std::vector<double> micros;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        run.Update();
        micros.push_back(timer.nsecsElapsed() / 1000.0);
    }
    Report(state, medians, Median(micros), "median_us");
}
BENCHMARK(BM_WindowBalanceUpdate)->Arg(1000)->Arg(200000)->Iterations(300)->Repetitions(3);

void BM_LeakRegression(benchmark::State& state)
{
    static std::map<long, double> medians;
    WarmHeap();
    constexpr int DayOfPoints = 8640;
    TOxygenHistory history;
    history.SetConstants(Constants());
    int next = 0;
    while (next < state.range(0))
        history.Add(Point(next++));
    // A day held at one pO2 and current with a little noise, in holds of 360 points.
    for (int i = 0; i < DayOfPoints; ++i, ++next) {
        TOxygenPointInput p = Point(next);
        p.pO2 = 1e-3;
        p.ChargeC = 1e-3 * (1 + 1e-3 * std::sin(i * 1.7));
        history.Add(p, i % 360 != 0);
    }
    std::vector<double> micros;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const TLeakFit fit =
            FitLeak(SteadyHoldPoints(history), TLeakLaw::Electrolyte, Constants().FlushpO2);
        benchmark::DoNotOptimize(fit);
        micros.push_back(timer.nsecsElapsed() / 1000.0);
        if (fit.Status != TLeakFitStatus::Ok) state.SkipWithError("the fit was refused");
    }
    Report(state, medians, Median(micros), "median_us");
}
BENCHMARK(BM_LeakRegression)->Arg(1000)->Arg(200000)->Iterations(30)->Repetitions(3);

// The page as the operator sees it, with a run of 1 s points behind it.
void BM_OxygenPageReplot(benchmark::State& state)
{
    static std::map<long, double> medians;
    TOxygenContentPage page;
    page.resize(1200, 800);
    page.show();
    TOxygenRecord record;
    for (long i = 0; i < state.range(0); ++i) {
        record.Input.StartS = i;
        record.Input.EndS = i + 1;
        record.Result.TimeS = i + 0.5;
        // Four swings over any length of run, so that the pixels drawn are alike and the
        // figures compare the number of points.
        record.Result.b = 1.98 - 1e-3 * std::sin(8 * M_PI * i / double(state.range(0)));
        page.AppendPoint(record);
    }
    QCoreApplication::processEvents();
    std::vector<double> millis;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        page.Replot();
        page.RtGraphOxygenContent->replot(QCustomPlot::rpImmediateRefresh);
        millis.push_back(timer.nsecsElapsed() / 1e6);
    }
    Report(state, medians, Median(millis), "median_ms");
}
BENCHMARK(BM_OxygenPageReplot)->Arg(1000)->Arg(2400000)->Iterations(10)->Repetitions(3);

} // namespace
