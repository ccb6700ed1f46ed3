// One fit of the thermodynamics of a sample's oxygen, as every save makes it on the save
// thread: 50 isotherm points at five temperatures, read into their curves and fitted at 100
// values of delta (BM_ThermodynamicsFit); and the file of it built (BM_ThermodynamicsFile).
#include "science/physical_constants.h"
#include "science/thermodynamics_file.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace
{

using namespace oxtiva;

// Ten steps at each of five temperatures, dh_O = -100 - 200 delta kJ/mol and
// ds_O = -97 + 40 delta J/(mol K), a spread of delta as a settled step leaves it.
TThermodynamicsInput FiftyPoints()
{
    TThermodynamicsInput input;
    input.SampleName = QStringLiteral("Ceria");
    input.SampleFormula = QStringLiteral("CeO2");
    TIsothermSource source;
    source.SampleName = input.SampleName;
    source.SampleFormula = input.SampleFormula;
    for (int t = 0; t < 5; ++t) {
        const double cellK = 923.15 + 50 * t;
        for (int step = 0; step < 10; ++step) {
            const double delta = 0.03 + 0.01 * step + 0.002 * t;
            const double dh = -100e3 - 200e3 * delta, ds = -97 + 40 * delta;
            source.Points.push_back({cellK + 0.1 * step,
                                     std::exp(2 * (dh - cellK * ds) / (GasConstant * cellK)),
                                     delta, 3e-4});
        }
    }
    input.Sources.push_back(source);
    return input;
}

void BM_ThermodynamicsFit(benchmark::State& state)
{
    const std::vector<TIsothermSample> points = AllPoints(FiftyPoints());
    for (auto _ : state) {
        TThermodynamics result = FitThermodynamics(points, 100);
        benchmark::DoNotOptimize(result.Rows.data());
    }
}
BENCHMARK(BM_ThermodynamicsFit)->Unit(benchmark::kMicrosecond);

void BM_ThermodynamicsFile(benchmark::State& state)
{
    const TThermodynamicsInput input = FiftyPoints();
    for (auto _ : state) {
        QByteArray bytes = BuildThermodynamicsFile(input, FitThermodynamics(AllPoints(input), 100),
                                                   QStringLiteral("2026-12-11 10:00"));
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_ThermodynamicsFile)->Unit(benchmark::kMicrosecond);

} // namespace
