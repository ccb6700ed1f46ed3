#include "science/oxygen_balance.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace oxtiva
{

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Below this share of pFG^(1/4) the pressures differ by less than the sensor can tell,
// and an estimate would divide the current's noise by next to nothing.
constexpr double LeastRelativeDrivingForce = 1e-3;

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

double LeakFlow(double alpha, double flushpO2, double cellpO2)
{
    return alpha * (QuarterPower(flushpO2) - QuarterPower(cellpO2));
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

TLeakEstimate EstimateLeakAlpha(double pumpCurrentA, double flushpO2, double cellpO2, double& alpha)
{
    const double flushRoot = QuarterPower(flushpO2);
    const double force = flushRoot - QuarterPower(cellpO2);
    if (!std::isfinite(force) || !(flushRoot > 0) ||
        !(std::abs(force) >= LeastRelativeDrivingForce * flushRoot))
        return TLeakEstimate::NoDrivingForce;
    const double estimate = PumpedAmount(pumpCurrentA) / force;
    if (!std::isfinite(estimate) || estimate < 0) return TLeakEstimate::AgainstTheLeak;
    alpha = estimate;
    return TLeakEstimate::Ok;
}

void TOxygenBalance::Restart(const TOxygenBalanceConstants& constants)
{
    *this = TOxygenBalance(constants);
}

TOxygenPointResult TOxygenBalance::Add(const TOxygenPointInput& point)
{
    const TOxygenBalanceConstants& c = fConstants;
    TOxygenPointResult r;
    r.TimeS = (point.StartS + point.EndS) / 2;
    r.GasMol = GasAmount(point.pO2, point.CellK, c.ColdEndK, c.HotVolumeL, c.GradientVolumeL);
    const double ownSpan = point.EndS - point.StartS;
    double span = ownSpan / 2; // the first point: from its middle on
    if (!fStarted) {
        fStarted = true;
        fFirstGasMol = r.GasMol;
    } else {
        r.AfterGap = point.StartS - fLastEndS > BalanceGapToleranceS;
        fGaps += r.AfterGap;
        // Contiguous: from the previous end, so the reading interval left out between
        // points carries this point's mean current too.
        span = r.AfterGap ? ownSpan : point.EndS - std::min(fLastEndS, point.StartS);
    }
    const double current = ownSpan > 0 ? point.ChargeC / ownSpan : 0;
    const double leak = LeakFlow(c.LeakAlpha, c.FlushpO2, point.pO2);
    fChargeToEndC += ownSpan > 0 ? current * span : point.ChargeC;
    fLeakToEndMol += leak * span;
    fLastEndS = point.EndS;
    // The integrals stop at the middle of the point, the time its means stand for.
    r.ChargeC = fChargeToEndC - current * ownSpan / 2;
    r.LeakMol = fLeakToEndMol - leak * ownSpan / 2;
    r.ReleasedMol = (r.GasMol - fFirstGasMol) + PumpedAmount(r.ChargeC) - r.LeakMol;
    r.b = OxygenContent(c.b0, c.n0, r.ReleasedMol);
    r.Delta = c.bs - r.b;
    return r;
}

} // namespace oxtiva
