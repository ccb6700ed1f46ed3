// One control-cycle pass that takes a new data point (AddDataUpdates with both
// relative-change computations, then Statusbar), with a short and with a month-long grid.
// The pass must not grow with the experiment: the month-long run reports the ratio of the
// two medians.
#include "app/data_grid.h"
#include "app/experiment_saver.h"
#include "app/main_window.h"
#include "records/date_time.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace
{

using oxtiva::TfrmOxtiva;

struct Experiment {
    QTemporaryDir folder;
    TfrmOxtiva window;
    double duration = 0;

    Experiment()
    {
        window.Saver().SetProgramFolder(folder.path());
        auto& s = window.State();
        s.ProgramState = oxtiva::TProgramState::SetVoltage; // no step advance, no saves
        s.StartTime = oxtiva::NowDays();
        s.RCDuration = 100;
        s.RCThreshold = 0.5;
    }
    // A point every 10 s of one long run whose pO2 and current drift slowly.
    void Pass()
    {
        auto& p = window.State().DataPoint;
        const double drift = 1 + 1e-3 * std::sin(duration / 5000);
        p = oxtiva::TDataPointRec{0.1, 1e-4 * drift, 13, true, 1e-5 * drift, 845.3, duration, true};
        duration += 10;
        window.AddDataUpdates();
        window.Statusbar();
    }
    void GrowTo(int rows)
    {
        while (window.StringGridData->RowCount() < rows)
            Pass();
    }
};

Experiment& Shared()
{
    static Experiment experiment;
    return experiment;
}

std::map<int, double> Medians;

void BM_PassWithNewDataPoint(benchmark::State& state)
{
    Experiment& e = Shared();
    e.GrowTo(static_cast<int>(state.range(0)));
    // The first passes of a fresh window pay for lazy set-up (fonts, caches); untimed.
    for (int i = 0; i < 50; ++i)
        e.Pass();
    std::vector<double> micros;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        e.Pass();
        micros.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
    const double median = micros[micros.size() / 2];
    Medians[static_cast<int>(state.range(0))] = median;
    state.counters["median_us"] = median;
    if (state.range(0) == 200000 && Medians.count(1000))
        state.counters["ratio_to_1000_rows"] = median / Medians[1000];
}
BENCHMARK(BM_PassWithNewDataPoint)
    ->Arg(1000)
    ->Arg(200000)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);

// Heap bytes added per data point (grid row, graph vectors and plot data) over a month.
void BM_MemoryPerDataPoint(benchmark::State& state)
{
    for (auto _ : state) {
        Experiment e;
        e.GrowTo(1000);
        const auto before = mallinfo2().uordblks;
        e.GrowTo(200000);
        const auto after = mallinfo2().uordblks;
        state.counters["bytes_per_point"] = double(after - before) / (200000 - 1000);
    }
}
BENCHMARK(BM_MemoryPerDataPoint)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
