#include "science/oxygen_balance.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace oxtiva
{

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double QuarterPower(double p)
{
    return std::sqrt(std::sqrt(p));
}

} // namespace

double GradientInverseTemperature(double cellK, double coldK)
{
    if (!(cellK > 0) || !(coldK > 0)) return NaN;
    // ln(Tc/Tl) / (Tc - Tl) = log1p(u) / (u Tl) with u = (Tc - Tl) / Tl.
    const double u = (cellK - coldK) / coldK;
    if (u == 0) return 1 / cellK;
    return std::log1p(u) / (u * coldK);
}

double GasAmount(double pO2, double cellK, double coldK, double hotVolumeL, double gradientVolumeL)
{
    if (!(cellK > 0)) return NaN;
    double volumeOverT = hotVolumeL / cellK;
    // Without a gradient part the cold end does not matter, even an unusable one.
    if (gradientVolumeL != 0)
        volumeOverT += gradientVolumeL * GradientInverseTemperature(cellK, coldK);
    return pO2 / GasConstantLAtm * volumeOverT;
}

double QuarterPowerForce(double flushpO2, double cellpO2)
{
    return QuarterPower(flushpO2) - QuarterPower(cellpO2);
}

double LinearForce(double flushpO2, double cellpO2)
{
    return flushpO2 - cellpO2;
}

double LeakFlow(double alpha, double flushpO2, double cellpO2)
{
    return alpha * QuarterPowerForce(flushpO2, cellpO2);
}

double PumpedAmount(double chargeC)
{
    return chargeC / (ElectronsPerO2 * FaradayConstant);
}

double OxygenContent(double b0, double n0, double releasedMol)
{
    if (!(n0 > 0)) return NaN;
    return b0 - 2 * releasedMol / n0;
}

bool SameGasConstants(const TOxygenBalanceConstants& a, const TOxygenBalanceConstants& b)
{
    return a.HotVolumeL == b.HotVolumeL && a.GradientVolumeL == b.GradientVolumeL &&
           a.ColdEndK == b.ColdEndK;
}

void TOxygenBalance::Restart(const TOxygenBalanceConstants& constants)
{
    *this = TOxygenBalance(constants);
}

TOxygenPointResult TOxygenBalance::Add(const TOxygenPointInput& point,
                                       const TOxygenBalanceConstants& c)
{
    TOxygenPointResult r;
    r.TimeS = (point.StartS + point.EndS) / 2;
    r.GasMol = GasAmount(point.pO2, point.CellK, c.ColdEndK, c.HotVolumeL, c.GradientVolumeL);
    const double span = point.EndS - point.StartS;
    const double current = span > 0 ? point.ChargeC / span : 0;
    const double quarter = QuarterPowerForce(c.FlushpO2, point.pO2);
    const double linear = LinearForce(c.FlushpO2, point.pO2);
    const double leak = c.LeakAlpha * quarter + c.SealLeak * linear;
    if (fStarted && !SameGasConstants(c, fLastConstants)) {
        // The gas term is a state, not a flow: a volume or cold end that holds from now on
        // re-reads the gas there is, not gas that came or went. Its reference moves with it,
        // so b goes on from the point before without a step.
        const auto gasOf = [this](const TOxygenBalanceConstants& k) {
            return GasAmount(fLastpO2, fLastCellK, k.ColdEndK, k.HotVolumeL, k.GradientVolumeL);
        };
        fFirstGasMol += gasOf(c) - gasOf(fLastConstants);
    }
    if (fStarted) {
        const double before = point.StartS - fLastEndS;
        r.AfterGap = before > BalanceGapToleranceS || point.AfterPause;
        if (r.AfterGap && !point.AfterPause) {
            fToEnd.QuarterS += (fLastQuarter + quarter) / 2 * before;
            fToEnd.LinearS += (fLastLinear + linear) / 2 * before;
            fToEnd.LeakMol += (fLastLeak + leak) / 2 * before;
        } else if (!r.AfterGap && before > 0) {
            fToEnd.ChargeC += current * before;
            fToEnd.QuarterS += quarter * before;
            fToEnd.LinearS += linear * before;
            fToEnd.LeakMol += leak * before;
        }
    }
    r.AfterGap = r.AfterGap || point.LongestUnmeasuredS > BalanceGapToleranceS;
    fGaps += r.AfterGap;
    const TIntegrals mean{
        fToEnd.ChargeC + (std::isnan(point.MeanChargeC) ? point.ChargeC / 2 : point.MeanChargeC),
        fToEnd.QuarterS + quarter * span / 2, fToEnd.LinearS + linear * span / 2,
        fToEnd.LeakMol + leak * span / 2};
    if (!fStarted) {
        fStarted = true;
        fFirstGasMol = r.GasMol;
        fFirst = mean;
    }
    fToEnd.ChargeC += point.ChargeC;
    fToEnd.QuarterS += quarter * span;
    fToEnd.LinearS += linear * span;
    fToEnd.LeakMol += leak * span;
    fLastEndS = point.EndS;
    fLastpO2 = point.pO2;
    fLastCellK = point.CellK;
    fLastConstants = c;
    fLastQuarter = quarter;
    fLastLinear = linear;
    fLastLeak = leak;
    r.ChargeC = mean.ChargeC - fFirst.ChargeC;
    r.QuarterForceS = mean.QuarterS - fFirst.QuarterS;
    r.LinearForceS = mean.LinearS - fFirst.LinearS;
    r.LeakMol = mean.LeakMol - fFirst.LeakMol;
    r.ReleasedMol = (r.GasMol - fFirstGasMol) + PumpedAmount(r.ChargeC) - r.LeakMol;
    r.b = OxygenContent(c.b0, c.n0, r.ReleasedMol);
    r.Delta = c.bs - r.b;
    return r;
}

} // namespace oxtiva
