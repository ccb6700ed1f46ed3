// Readings per second of the pump thread in the current-source mode against the
// simulator, once with replies at once and once with an instrument that answers after
// 5 ms on a line of 57600 baud (commands arrive and replies leave at that speed). Each
// pass is a source command and a ":READ?" exchange; with the line modelled the counters
// give the passes the line allows (its bytes each way plus the 5 ms) and the ratio of the
// passes made to them (target: at least 0.9).
#include "instruments/smu_commands.h"
#include "instruments/thread2401.h"
#include "support/cell_sim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace oxtiva;

namespace
{

struct TNoInputs : THandOverInputs {
    double CellTemperatureOverride() const override { return 0; }
    int SetVoltageMillivolts() const override { return 0; }
};

// An event loop as the window runs one: it sleeps until the worker's hand-over is posted,
// instead of spinning beside the worker for the same two cores.
void RunEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

constexpr double BaudRate = 57600;
constexpr int LatencyMs = 5;

// One pass on the wire: the source command and the query out, the reply back.
double PassesTheLineAllows()
{
    const QByteArray source = SourceCurrentCommand(CurrentLevelText(100));
    const QByteArray query(":READ?\r");
    constexpr int ReplyBytes = 28; // "+1.234567E-01,+1.000000E-04\r"
    const double bytes = static_cast<double>(source.size() + query.size() + ReplyBytes);
    return 1000.0 / (10.0 * bytes / BaudRate * 1000 + LatencyMs);
}

void BM_PumpReadings(benchmark::State& state)
{
    testing::TCellSimOptions options;
    options.modelWireTime = state.range(0) != 0;
    options.latencyMs = options.modelWireTime ? LatencyMs : 0;
    testing::TCellSim sim(options);
    TSharedState shared;
    TNoInputs inputs;
    shared.GSCurrent = 100;
    TThread2401 pump(shared, inputs);
    pump.Port = sim.SmuPort();
    pump.SetModeEx(TMode::SetCurrent);
    pump.start();
    RunEventsFor(1500); // past the first idle second
    double readings = 0;
    double seconds = 0;
    for (auto _ : state) {
        const int before = sim.Command(QStringLiteral("count smu :READ?")).toInt();
        QElapsedTimer clock;
        clock.start();
        RunEventsFor(3000);
        readings += sim.Command(QStringLiteral("count smu :READ?")).toInt() - before;
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
    }
    state.counters["readings_per_s"] = readings / seconds;
    if (options.modelWireTime) {
        state.counters["line_allows_per_s"] = PassesTheLineAllows();
        state.counters["ratio"] = readings / seconds / PassesTheLineAllows();
    }
    shared.GSCurrent = 0;
    pump.SetToStopEx(true);
    while (!pump.IsStopped())
        RunEventsFor(20);
}
BENCHMARK(BM_PumpReadings)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
