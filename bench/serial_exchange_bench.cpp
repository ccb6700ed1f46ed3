// One ":READ?" exchange with the SourceMeter against the simulator, which delays each
// reply by the wire time of command and reply at 57600 baud plus 1 ms. The counters give
// the median exchange time and its ratio to that ideal (target: at most 1.1); a second
// run without the delays shows what the transport itself costs.
#include "instruments/serial_port.h"
#include "support/cell_sim.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

using namespace oxtiva;

namespace
{

constexpr double BaudRate = 57600;
constexpr double LatencyMs = 1;

double WireMs(qsizetype bytes)
{
    return 10.0 * static_cast<double>(bytes) / BaudRate * 1000;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_ReadExchange(benchmark::State& state)
{
    testing::TCellSimOptions options;
    // Argument 0: replies at once, which shows the transport's own cost per exchange.
    const bool modelled = state.range(0) != 0;
    options.latencyMs = modelled ? static_cast<int>(LatencyMs) : 0;
    options.modelWireTime = modelled;
    testing::TCellSim sim(options);
    TSerialPort port;
    port.Port = sim.SmuPort();
    const QByteArray command(":READ?\r");
    std::vector<double> times;
    double idealMs = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const TSerialResponse r = port.Send2(command, true);
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (!r.Status.isEmpty() || r.Response.isEmpty()) {
            state.SkipWithError("exchange failed");
            return;
        }
        idealMs = modelled ? WireMs(command.size() + r.Response.size() + 1) + LatencyMs : 0;
    }
    const double median = Median(times);
    state.counters["median_ms"] = median;
    if (!modelled) return;
    state.counters["ideal_ms"] = idealMs;
    state.counters["ratio"] = median / idealMs;
}
BENCHMARK(BM_ReadExchange)->Arg(1)->Arg(0)->Iterations(300)->Unit(benchmark::kMillisecond);

} // namespace
