// One update of the live oxygen balance, early in a run (1,000 points) and a month into
// it (200,000 points at 10 s each). An update must cost the same whatever the length of
// the run: each benchmark reports the ratio of the two medians.
//
// BM_BalanceUpdate is the computation and its record of the point (TOxygenHistory::Add),
// timed in batches of 20 since one update takes tens of nanoseconds. BM_WindowBalanceUpdate
// is the whole update a data point makes in the window: the balance, the point on the
// page's plot and the page's values (the page hidden, as it mostly is).
#include "app/main_window.h"
#include "app/oxygen_content.h"
#include "records/date_time.h"
#include "science/oxygen_history.h"

#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <malloc.h>

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
    if (state.range(0) == 200000 && medians.count(1000))
        state.counters["ratio_to_1000_points"] = median / medians[1000];
}

void BM_BalanceUpdate(benchmark::State& state)
{
    static std::map<long, double> medians;
    WarmHeap();
    TOxygenHistory history;
    history.SetConstants(Constants());
    int next = 0;
    while (next < state.range(0))
        history.Add(Point(next++));
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

} // namespace
