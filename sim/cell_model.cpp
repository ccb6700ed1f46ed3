#include "cell_model.h"

#include <algorithm>
#include <cmath>

namespace oxtiva::sim
{

namespace
{

// The program's constants, so that its equations give back the model's values exactly.
constexpr double Faraday = 96485;
constexpr double GasConstant = 8.314;
constexpr double ZeroCelsiusK = 273.15;
constexpr double PascalPerAtm = 101325;

constexpr double LowestLnPO2 = -230; // about 1E-100 atm
constexpr double HighestLnPO2 = 7;   // about 1100 atm

double ThermalVoltage(double tempC)
{
    return GasConstant * (tempC + ZeroCelsiusK) / (4 * Faraday);
}

} // namespace

TPumpElectrical PumpOperatingPoint(const TPumpDrive& drive, double openCircuitVolts,
                                   double resistanceOhm)
{
    if (!drive.output) return {openCircuitVolts, 0};
    if (drive.voltageSource) {
        const double limit = std::abs(drive.currentLimit);
        const double current =
            std::clamp((drive.voltageLevel - openCircuitVolts) / resistanceOhm, -limit, limit);
        return {openCircuitVolts + current * resistanceOhm, current};
    }
    const double limit = std::abs(drive.voltageLimit);
    const double voltage =
        std::clamp(openCircuitVolts + drive.currentLevel * resistanceOhm, -limit, limit);
    return {voltage, (voltage - openCircuitVolts) / resistanceOhm};
}

double NernstVoltage(double tempC, double cellPO2, double flushPO2)
{
    return ThermalVoltage(tempC) * std::log(flushPO2 / cellPO2);
}

TCellModel::TCellModel(const TCellParameters& parameters)
    : fP(parameters), fTempC(parameters.startTempC), fFurnaceC(parameters.startTempC),
      fColdC(parameters.startColdC), fPO2(parameters.startPO2Atm),
      fSampleLnPO2(std::log(parameters.startPO2Atm)), fSlowSampleLnPO2(fSampleLnPO2),
      fDefectDelta(parameters.defectSample.EquilibriumDelta(fTempC, fSampleLnPO2))
{
}

void TCellModel::SetPO2(double po2)
{
    fPO2 = std::clamp(po2, std::exp(LowestLnPO2), std::exp(HighestLnPO2));
    fSampleLnPO2 = std::log(fPO2);
    fSlowSampleLnPO2 = fSampleLnPO2;
    fDefectDelta = fP.defectSample.EquilibriumDelta(fTempC, fSampleLnPO2);
}

TPumpElectrical TCellModel::Pump(const TPumpDrive& drive) const
{
    return PumpOperatingPoint(drive, NernstVoltage(fTempC, fPO2, fP.flushPO2Atm),
                              fP.internalResistanceOhm);
}

double TCellModel::GasMolPerAtm() const
{
    const double hotK = fTempC + ZeroCelsiusK;
    const double coldK = fColdC + ZeroCelsiusK;
    // The mean of 1/T along a linear profile from the hot part down to the cold end.
    const double gradientInverseK =
        std::abs(hotK - coldK) > 1e-9 ? std::log(hotK / coldK) / (hotK - coldK) : 1 / hotK;
    return PascalPerAtm / GasConstant *
           (fP.gasVolumeM3 / hotK + fP.gradientVolumeM3 * gradientInverseK);
}

void TCellModel::Advance(double seconds, const TPumpDrive& drive)
{
    if (!(seconds > 0)) return;
    // Sub-steps keep the sample's exchange accurate; their number is capped so that a
    // long gap at a large time scale costs milliseconds, at some loss of accuracy only.
    constexpr double LongestStepS = 0.5;
    constexpr int MostSteps = 4000;
    const int steps = static_cast<int>(
        std::clamp(std::ceil(seconds / LongestStepS), 1.0, static_cast<double>(MostSteps)));
    for (int i = 0; i < steps; ++i)
        Step(seconds / steps, drive);
    fTimeS += seconds;
}

// One backward-Euler step of the gas balance, solved for ln(pO2) by bisection: the
// oxygen flowing into the gas falls as pO2 rises (pump, leak and sample alike), so the
// residual is monotonic and the root unique. The sample relaxes towards the new gas
// pO2 exactly over the step, which keeps it stable for any step length.
void TCellModel::Step(double dt, const TPumpDrive& drive)
{
    // The gas the cell held before the furnace moved, so that heating it conserves oxygen.
    const double gasBefore = GasMolPerAtm();
    fTempC = FurnaceApproach(fTempC, fFurnaceC, dt, fP.furnaceTimeConstantS);
    const double gas = GasMolPerAtm();
    const double flush = fP.flushPO2Atm;
    const double slowCapacity = fP.sampleCapacityMol * fP.sampleSlowShare;
    const double fastCapacity = fP.sampleCapacityMol - slowCapacity;
    const double relaxed = 1 - std::exp(-dt / fP.sampleTimeConstantS);
    const double slowRelaxed = 1 - std::exp(-dt / fP.sampleSlowTimeConstantS);
    const double resistance = fP.internalResistanceOhm;
    const double thermal = ThermalVoltage(fTempC);
    auto fastGiven = [&](double lnP) { return fastCapacity * relaxed * (fSampleLnPO2 - lnP); };
    auto slowGiven = [&](double lnP) {
        return slowCapacity * slowRelaxed * (fSlowSampleLnPO2 - lnP);
    };
    const TDefectSample& defect = fP.defectSample;
    auto defectGiven = [&](double lnP) {
        if (!defect.Present()) return 0.0;
        return defect.compoundMol / 2 * relaxed *
               (defect.EquilibriumDelta(fTempC, lnP) - fDefectDelta);
    };
    auto sampleGiven = [&](double lnP) { // mol the sample gives the gas over the step
        return fastGiven(lnP) + slowGiven(lnP) + defectGiven(lnP);
    };
    auto current = [&](double lnP) {
        return PumpOperatingPoint(drive, thermal * (std::log(flush) - lnP), resistance).current;
    };
    auto leak = [&](double lnP) {
        const double p = std::exp(lnP);
        return fP.leakMolPerSAtm * (flush - p) +
               fP.leakAlphaMolPerSAtmQuarter *
                   (std::sqrt(std::sqrt(flush)) - std::sqrt(std::sqrt(p)));
    };
    auto residual = [&](double lnP) {
        const double inflow = -current(lnP) / (4 * Faraday) + leak(lnP);
        return gas * std::exp(lnP) - gasBefore * fPO2 - dt * inflow - sampleGiven(lnP);
    };
    double lo = LowestLnPO2;
    double hi = HighestLnPO2;
    for (int i = 0; i < 64; ++i) {
        const double mid = 0.5 * (lo + hi);
        (residual(mid) > 0 ? hi : lo) = mid;
    }
    const double lnP = 0.5 * (lo + hi);
    const double fast = fastGiven(lnP);
    const double slow = slowGiven(lnP);
    const double fromDefect = defectGiven(lnP);
    // The same end-of-step flows that balance the gas, so the terms add up exactly.
    fPumpedChargeC += current(lnP) * dt;
    fLeakedMol += leak(lnP) * dt;
    fOxideDelta += fast + slow + fromDefect;
    if (defect.Present()) fDefectDelta += 2 * fromDefect / defect.compoundMol;
    if (fastCapacity > 0) fSampleLnPO2 -= fast / fastCapacity;
    if (slowCapacity > 0) fSlowSampleLnPO2 -= slow / slowCapacity;
    fPO2 = std::exp(lnP);
}

} // namespace oxtiva::sim
