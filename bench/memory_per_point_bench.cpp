// The whole program's memory per data point: points go the control cycle's way (the grid
// row and its cells, the graph, the oxygen balance and its page, the journal), and the
// process's resident memory is read at 1,000 points, at each tenfold after and at four
// weeks of 1 s points (2,400,000). What to read is bytes_per_point: the growth of resident memory
// between the last two marks over the points added between them, so that what the window
// costs once is not spread over the points. BM_MemoryPerPart gives what each part that
// grows with the run costs on its own: the grid's rows, the graph's data and the oxygen
// balance's records, as heap bytes in use (resident memory would not grow while the heap
// reuses what an earlier benchmark let go). A vector's capacity is counted though never
// touched, so the graph's heap bytes exceed its resident ones.
#include "app/experiment/experiment_saver.h"
#include "app/experiment/journal_keeper.h"
#include "app/main_window.h"
#include "app/window/data_grid.h"
#include "app/window/experiment_graph.h"
#include "records/date_time.h"
#include "science/oxygen_history.h"
#include "support/typical_row.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <string>

namespace
{

using namespace oxtiva;

// Resident bytes of this process, from /proc/self/statm.
double ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return NAN;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) : NAN;
}

// Bytes the program has allocated and not freed, in every arena and in mapped blocks.
double HeapBytes()
{
    const struct mallinfo2 heap = mallinfo2();
    return double(heap.uordblks + heap.hblkhd);
}

// A 1 s point of a run in PID control whose current and pO2 wander a little, as the pump
// thread's hand-over publishes it.
void Feed(TfrmOxtiva& aWindow, long aIndex)
{
    TSharedState& s = aWindow.State();
    const double t = double(aIndex);
    const double wave = std::sin(t / 900);
    TDataPointRec& p = s.DataPoint;
    p.PumpV = 0.1 + 1e-3 * wave;
    p.PumpI = 1e-4 * (1 + 0.1 * wave);
    p.Mode = 15;
    p.CellpO2Valid = true;
    p.CellpO2 = 1e-5 * (1 + 0.1 * wave);
    p.Temp = 845 + wave;
    p.Duration = t;
    p.Ready = true;
    p.Charge = p.PumpI;
    p.StartTime = s.StartTime + t / SecondsPerDay;
    p.EndTime = s.StartTime + (t + 1) / SecondsPerDay;
    p.MeanCharge = p.Charge / 2;
    aWindow.AddDataUpdates();
    aWindow.Journal().Sync();
}

void BM_MemoryPerDataPoint(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir folder;
        TfrmOxtiva window;
        window.Saver().SetProgramFolder(folder.path());
        window.CheckBoxScroll->setChecked(false);
        window.State().StartTime = NowDays();
        window.State().RCDuration = 100;
        long fed = 0;
        long lastMark = 0;
        double lastResident = ResidentBytes();
        for (const long mark : {1000L, 10000L, 100000L, 1000000L, 2400000L}) {
            if (mark > state.range(0)) break;
            while (fed < mark) {
                Feed(window, fed++);
                // Points come a second apart in a run, and the journal's thread keeps up:
                // its queue is no part of a point's cost.
                if (fed % 1000 == 0) window.Journal().WaitUntilWritten(60000);
            }
            const double resident = ResidentBytes();
            state.counters["MB_at_" + std::to_string(mark)] = resident / 1e6;
            if (lastMark > 0)
                state.counters["bytes_per_point"] =
                    (resident - lastResident) / double(mark - lastMark);
            lastMark = mark;
            lastResident = resident;
        }
        state.counters["grid_rows"] = window.StringGridData->RowCount();
    }
}
BENCHMARK(BM_MemoryPerDataPoint)
    ->Arg(2400000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

enum class TPart { GridRows, GraphData, OxygenRecords };

// Adds aPoints points to one part, then gives the growth of the heap between the first
// million points and the last as bytes per point.
void MeasurePart(benchmark::State& state, long aPoints, const std::function<void(long)>& aAdd)
{
    constexpr long FirstMark = 1000000;
    double heapAtMark = 0;
    for (long i = 0; i < aPoints; ++i) {
        if (i == FirstMark) heapAtMark = HeapBytes();
        aAdd(i);
    }
    state.counters["heap_bytes_per_point"] =
        (HeapBytes() - heapAtMark) / double(aPoints - FirstMark);
}

void BM_MemoryPerPart(benchmark::State& state)
{
    const long points = 2400000;
    for (auto _ : state) {
        switch (TPart(state.range(0))) {
        case TPart::GridRows: {
            state.SetLabel("grid rows");
            TStringGrid grid;
            FormatGrid(grid);
            MeasurePart(state, points,
                        [&grid](long) { bench::FillTypicalRow(grid, grid.AddRow()); });
            break;
        }
        case TPart::GraphData: {
            state.SetLabel("graph data");
            TExperimentGraph graph;
            MeasurePart(state, points, [&graph](long i) {
                const double wave = std::sin(double(i) / 900);
                graph.AppendPoint(double(i), 0.1 + 1e-3 * wave, 1e-4 * (1 + 0.1 * wave), 845 + wave,
                                  1e-5 * (1 + 0.1 * wave));
                // The series' indexes follow the data at a replot, as the control cycle's.
                if (i % 1000 == 0) graph.ReplotNewPoints();
            });
            break;
        }
        case TPart::OxygenRecords: {
            state.SetLabel("oxygen balance records");
            TOxygenHistory history;
            MeasurePart(state, points, [&history](long i) {
                const double t = double(i);
                history.Add({t, t + 1, 1e-4, 1118, 1e-5 * (1 + 0.1 * std::sin(t / 900))}, false,
                            int(i) + 2);
            });
            break;
        }
        }
    }
}
BENCHMARK(BM_MemoryPerPart)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
