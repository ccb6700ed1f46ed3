// Readings per second of the pump thread in the current-source mode against the
// simulator, once with replies at once and once with the wire time of 57600 baud plus
// 1 ms modelled. Each pass is a source command and a ":READ?" exchange.
#include "instruments/thread2401.h"
#include "support/cell_sim.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

using namespace oxtiva;

namespace
{

struct TNoInputs : THandOverInputs {
    double CellTemperatureOverride() const override { return 0; }
    int SetVoltageMillivolts() const override { return 0; }
};

void RunEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void BM_PumpReadings(benchmark::State& state)
{
    testing::TCellSimOptions options;
    options.modelWireTime = state.range(0) != 0;
    options.latencyMs = options.modelWireTime ? 1 : 0;
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
    shared.GSCurrent = 0;
    pump.SetToStopEx(true);
    while (!pump.IsStopped())
        RunEventsFor(20);
}
BENCHMARK(BM_PumpReadings)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
