// One control-cycle pass that takes a new data point (AddDataUpdates with both
// relative-change computations, then Statusbar), with a short and with a month-long grid.
// The pass must not grow with the experiment: the month-long run reports the ratio of the
// two medians. With journaling on, the pass also hands its row to the journal, and the
// month-long pass reports its ratio to the same pass without; the cost of one data point's
// journaling, flush to disk included, is timed apart.
#include "app/experiment/experiment_saver.h"
#include "app/experiment/journal_keeper.h"
#include "app/main_window.h"
#include "app/window/data_grid.h"
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
    QTemporaryDir folder; // on the disk the data files would go to
    TfrmOxtiva window{nullptr, folder.path()};
    double duration = 0;
    bool journaling = false;

    Experiment()
    {
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
        if (journaling) window.Journal().Sync();
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

double Median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Median of the timed passes, in microseconds.
double TimePasses(benchmark::State& state, Experiment& e)
{
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
    return Median(std::move(micros));
}

void BM_PassWithNewDataPoint(benchmark::State& state)
{
    Experiment& e = Shared();
    e.GrowTo(static_cast<int>(state.range(0)));
    const double median = TimePasses(state, e);
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

// The same month-long pass with its row going to the journal. The journal's first write,
// the whole grid, is made and flushed before the timing starts.
void BM_PassWithNewDataPointJournaled(benchmark::State& state)
{
    Experiment& e = Shared();
    e.GrowTo(static_cast<int>(state.range(0)));
    e.journaling = true;
    e.Pass();
    if (!e.window.Journal().WaitUntilWritten(60000)) state.SkipWithError("journal not written");
    const double median = TimePasses(state, e);
    e.journaling = false;
    state.counters["median_us"] = median;
    if (Medians.count(state.range(0)))
        state.counters["ratio_to_unjournaled"] = median / Medians[state.range(0)];
}
BENCHMARK(BM_PassWithNewDataPointJournaled)
    ->Arg(200000)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);

// One data point from the grid to the disk: its journal record made, written and flushed.
void BM_JournalOneDataPoint(benchmark::State& state)
{
    Experiment e;
    e.GrowTo(1000);
    e.journaling = true;
    e.Pass();
    e.journaling = false;
    if (!e.window.Journal().WaitUntilWritten(60000)) state.SkipWithError("journal not written");
    std::vector<double> micros;
    for (auto _ : state) {
        e.Pass(); // the row enters the grid, untimed
        QElapsedTimer timer;
        timer.start();
        e.window.Journal().Sync();
        const bool written = e.window.Journal().WaitUntilWritten(60000);
        micros.push_back(timer.nsecsElapsed() / 1000.0);
        if (!written) state.SkipWithError("journal not written");
    }
    state.counters["median_us"] = Median(std::move(micros));
}
BENCHMARK(BM_JournalOneDataPoint)->Iterations(300)->Unit(benchmark::kMicrosecond);

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
