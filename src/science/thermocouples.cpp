#include "science/thermocouples.h"

#include "records/logging.h"
#include "science/thermocouple_tables.h"

#include <cmath>

namespace oxtiva
{

namespace
{

using namespace thermocouple_tables;

bool IsThermocouple(TThermocoupleType type)
{
    return type >= tcJ && type <= tcG;
}

const TEmfRange& RangeOf(TThermocoupleType type)
{
    return EmfRanges[static_cast<int>(type)];
}

// Written as "not inside" so that a NaN reading counts as out of range instead of slipping
// through both comparisons.
bool OutsideRange(const TEmfRange& range, double microVolt)
{
    return !(microVolt >= range.Lower && microVolt <= range.Upper);
}

// The last sub-range whose start is at or below u: at a breakpoint the upper one applies.
template <typename TPiece> const TPiece& PieceFor(std::span<const TPiece> pieces, double u)
{
    const TPiece* chosen = &pieces.front();
    for (const TPiece& piece : pieces.subspan(1))
        if (u >= piece.From) chosen = &piece;
    return *chosen;
}

double TungstenRheniumTemp(TThermocoupleType type, double u)
{
    const TRationalFit& fit = PieceFor(RationalFits(type), u);
    const double y = std::log(u / 1000000.0 * 100.0 + 0.1);
    return 100.0 * EvalPolynomial(fit.Numerator, y) / EvalPolynomial(fit.Denominator, y);
}

} // namespace

TLogger& ThermocouplesLog()
{
    static TLogger log(QStringLiteral("Thermocouples unit"));
    return log;
}

double EvalPolynomial(std::span<const double> coefficientsHighestFirst, double x)
{
    double sum = 0.0;
    double power = 1.0;
    for (auto it = coefficientsHighestFirst.rbegin(); it != coefficientsHighestFirst.rend(); ++it) {
        sum += *it * power;
        power *= x;
    }
    return sum;
}

bool TCVoltageInRange(TThermocoupleType type, double volt)
{
    if (type == tcVoltage) return true;
    if (!IsThermocouple(type)) return false;
    const double microVolt = volt * 1000000.0;
    const TEmfRange& range = RangeOf(type);
    return range.Lower <= microVolt && microVolt <= range.Upper;
}

double TCMicroVoltToTemp(TThermocoupleType type, double microVolt)
{
    if (type == tcVoltage) return microVolt / 1000000.0;
    if (!IsThermocouple(type)) return 0.0;
    const TEmfRange& range = RangeOf(type);
    if (range.Message != nullptr && OutsideRange(range, microVolt))
        throw TThermocoupleRangeError(range.Message);
    if (type >= tcC) return TungstenRheniumTemp(type, microVolt);
    return EvalPolynomial(PieceFor(InversePolynomials(type), microVolt).Coefficients, microVolt);
}

double TCVoltToTemp(TThermocoupleType type, double volt)
{
    return TCMicroVoltToTemp(type, volt * 1000000.0);
}

double TCTempToMicroVolt(TThermocoupleType type, double tempC)
{
    double lo = 0.0;
    double hi = 0.0;
    if (IsThermocouple(type)) {
        lo = RangeOf(type).Lower;
        hi = RangeOf(type).Upper;
    }
    // The midpoints stay inside the limits, so the conversion's range error cannot occur.
    // The answer is the last midpoint evaluated, not the final one.
    double mid = (lo + hi) / 2.0;
    double result = 0.0;
    while (hi - lo > 0.01) {
        const double t = TCMicroVoltToTemp(type, mid);
        result = mid;
        if (t < tempC)
            lo = mid;
        else
            hi = mid;
        mid = (lo + hi) / 2.0;
    }
    return result;
}

bool ThermistorTemp(double& tempC, double resistance)
{
    // Negated so that a NaN resistance is refused like any other unusable reading.
    if (!(resistance >= 2986.0 && resistance <= 32600.0)) return false;
    tempC = 1373.1696074919496 *
                std::pow(std::log(resistance + 52.676757508279636), -0.2987916592541921) -
            682.1861323649009;
    return true;
}

} // namespace oxtiva
