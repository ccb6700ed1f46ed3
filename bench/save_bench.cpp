// Save of a month-long experiment while the instruments keep handing over: the longest
// wait of a hand-over (a blocking call onto the window's thread, as the instrument threads
// make) during a save, at 1,000 and at 2,400,000 grid rows (four weeks at one point a
// second), with as many points on the graph and in the oxygen balance. The save's files
// are written on the saver's thread; what the window's thread does for it (the snapshot,
// the picture, the report) is what a hand-over may wait for: on a loaded machine the probe's
// waits also hold the time its thread waited for a core, so the window's thread's own time
// in the save's call and in its longest pass of events is given beside them.
#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/experiment_graph.h"
#include "records/date_time.h"
#include "support/typical_row.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace
{


// The time this thread has run, in milliseconds.
double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Hand-overs from another thread, as the pump thread makes them, for as long as it runs.
class THandOverProbe
{
  public:
    explicit THandOverProbe(QObject& mainThreadObject)
        : fThread([this, &mainThreadObject] {
              while (!fStop) {
                  QElapsedTimer waited;
                  waited.start();
                  QMetaObject::invokeMethod(
                      &mainThreadObject, [] {}, Qt::BlockingQueuedConnection);
                  fLongestNs = std::max<qint64>(fLongestNs, waited.nsecsElapsed());
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
              fRunning = false;
          })
    {
    }
    ~THandOverProbe()
    {
        fStop = true;
        while (fRunning)
            QCoreApplication::processEvents(); // serves the last hand-over
        fThread.join();
    }
    double LongestMs() const { return double(fLongestNs) / 1e6; }

  private:
    std::atomic<bool> fStop{false};
    std::atomic<qint64> fLongestNs{0};
    std::atomic<bool> fRunning{true};
    std::thread fThread;
};

void BM_SaveWhileHandingOver(benchmark::State& state)
{
    const int rows = int(state.range(0));
    QTemporaryDir folder;
    oxtiva::TfrmOxtiva window;
    window.Saver().SetProgramFolder(folder.path());
    window.EditSampleName->setText(QStringLiteral("Bench"));
    oxtiva::TStringGrid& grid = *window.StringGridData;
    window.State().StartTime = oxtiva::NowDays();
    oxtiva::TDataPointRec& point = window.State().DataPoint;
    point.CellpO2Valid = true;
    point.CellpO2 = 1e-5;
    point.Temp = 845;
    for (int i = 0; i < rows; ++i) {
        oxtiva::bench::FillTypicalRow(grid, grid.AddRow());
        // Curves as a run draws them: slow drifts, not a zigzag across the whole height.
        window.RtGraph2D1->AppendPoint(i, 0.1 + 1e-8 * i, 1e-4 + 1e-11 * i, 845 + 1e-5 * i, 1e-5);
        point.StartTime = window.State().StartTime + i / oxtiva::SecondsPerDay;
        point.EndTime = point.StartTime + 1 / oxtiva::SecondsPerDay;
        point.Charge = 1e-4;
        point.MeanCharge = 5e-5;
        window.OxygenContent().AddDataPoint();
    }
    window.RtGraph2D1->Replot();
    window.RtGraph2D1->Picture(); // fonts and caches of the first picture are not a save's cost
    QCoreApplication::processEvents(); // nor is the replot queued while the run was built
    // The balance files written here, on the window's thread, as a save's report once did.
    QElapsedTimer balanceFiles;
    balanceFiles.start();
    QString error;
    if (!oxtiva::WriteOxygenFiles(QDir(folder.path()).filePath(QStringLiteral("Bench.csv")),
                                  window.OxygenContent().FileSnapshot(), error))
        state.SkipWithError("the balance files failed");
    state.counters["balance_files_ms"] = balanceFiles.nsecsElapsed() / 1e6;
    int ended = 0;
    window.Saver().AddSaveEndedListener([&ended](bool) { ++ended; });
    double longestStallMs = 0;
    double longestSaveCallMs = 0;
    double longestSaveCallCpuMs = 0;
    double longestPassCpuMs = 0;
    for (auto _ : state) {
        const int endedBefore = ended;
        THandOverProbe probe(window);
        QElapsedTimer call;
        call.start();
        const double cpuBefore = ThreadCpuMs();
        window.Saver().Save();
        longestSaveCallCpuMs = std::max(longestSaveCallCpuMs, ThreadCpuMs() - cpuBefore);
        longestSaveCallMs = std::max(longestSaveCallMs, call.nsecsElapsed() / 1e6);
        while (ended == endedBefore) {
            // A pass that serves the save's report among the hand-overs.
            const double passBefore = ThreadCpuMs();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            longestPassCpuMs = std::max(longestPassCpuMs, ThreadCpuMs() - passBefore);
        }
        // The probe's thread has seen the whole save when it is stopped.
        state.PauseTiming();
        longestStallMs = std::max(longestStallMs, probe.LongestMs());
        state.ResumeTiming();
    }
    if (window.Saver().LastSavedPath().isEmpty()) state.SkipWithError("save failed");
    state.counters["longest_handover_ms"] = longestStallMs;
    state.counters["save_call_ms"] = longestSaveCallMs;
    // The window's thread's own work, apart from what the machine's load adds to the above.
    state.counters["save_call_cpu_ms"] = longestSaveCallCpuMs;
    state.counters["longest_pass_cpu_ms"] = longestPassCpuMs;
}
BENCHMARK(BM_SaveWhileHandingOver)
    ->Arg(1000)
    ->Arg(2400000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
