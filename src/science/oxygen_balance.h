#pragma once

namespace oxtiva
{

// The oxygen balance of the cell, which tells what the sample gave off or took up while
// the experiment runs. Amounts are moles of O2, pO2 in atm, temperatures in K, times in s.
//
//   gas    n_gas  = pO2 / R * (Vhp / Tc + Vgp * ln(Tc / Tl) / (Tc - Tl))
//                   the hot part at the cell temperature Tc, the gradient part with a
//                   linear temperature profile from Tc down to the cold end Tl
//   pump   n_pump = sum(mean current * duration) / (4 F); a positive current removes
//                   oxygen from the cell
//   leak   j      = alpha * (pFG^(1/4) - pO2^(1/4)), mol/s into the cell through the
//                   electrolyte from the flush gas
//   sample dn_s   = (n_gas - n_gas,first) + n_pump - sum(j * duration), given off by it
//          b      = b0 - 2 dn_s / n0,  delta = bs - b
inline constexpr double GasConstantLAtm = 0.082057; // L atm / (mol K)
inline constexpr double FaradayConstant = 96485;    // C / mol
inline constexpr double ElectronsPerO2 = 4;

// A point that starts more than this after the previous one ended leaves a stretch that
// no point covers: the pump thread normally drops only one reading interval (a few
// milliseconds to a few tenths of a second) between points, while a pause idles for a
// second at least.
inline constexpr double BalanceGapToleranceS = 1.0;

// ln(Tc / Tl) / (Tc - Tl): the mean of 1/T along the gradient part. Through log1p it
// stays exact as Tl approaches Tc, where it becomes 1 / Tc. NaN unless both are above 0.
double GradientInverseTemperature(double cellK, double coldK);

// Moles of O2 in the cell gas (volumes in L).
double GasAmount(double pO2, double cellK, double coldK, double hotVolumeL, double gradientVolumeL);

// Mol/s of O2 leaking into the cell; negative when the cell holds more oxygen than the
// flush gas.
double LeakFlow(double alpha, double flushpO2, double cellpO2);

// Moles of O2 that a charge removes from the cell (a negative charge adds them).
double PumpedAmount(double chargeC);

// b = b0 - 2 dn_s / n0; NaN without a positive n0.
double OxygenContent(double b0, double n0, double releasedMol);

enum class TLeakEstimate { Ok, NoDrivingForce, AgainstTheLeak };

// alpha from a steady point, where the whole pump current goes to hold the pO2 against
// the leak: alpha = I / (4 F (pFG^(1/4) - pO2^(1/4))). Refused (alpha untouched) when
// the two pressures are too close for the difference to mean anything, or when the
// current would give a negative alpha.
TLeakEstimate EstimateLeakAlpha(double pumpCurrentA, double flushpO2, double cellpO2,
                                double& alpha);

// The constants the balance reads; the window's edits hold them.
struct TOxygenBalanceConstants {
    double HotVolumeL = 0;      // Vhp
    double GradientVolumeL = 0; // Vgp
    double ColdEndK = 303.15;   // Tl
    double LeakAlpha = 0;       // mol / (s atm^(1/4))
    double FlushpO2 = 0.21;     // atm
    double b0 = 0;
    double n0 = 0; // mol of compound
    double bs = 0;

    friend bool operator==(const TOxygenBalanceConstants&,
                           const TOxygenBalanceConstants&) = default;
};

// One data point as the balance takes it: the span the pump current averager covered,
// its integral over that span, and the point's mean temperature and pO2.
struct TOxygenPointInput {
    double StartS = 0; // on any clock that all points share
    double EndS = 0;
    double ChargeC = 0; // positive removes oxygen
    double CellK = 0;
    double pO2 = 0;
};

struct TOxygenPointResult {
    double TimeS = 0;      // the middle of the point, which the balance describes
    bool AfterGap = false; // a stretch before this point was not integrated
    double ChargeC = 0;    // pumped since the first point
    double GasMol = 0;
    double LeakMol = 0;     // leaked in since the first point
    double ReleasedMol = 0; // dn_s
    double b = 0;
    double Delta = 0;
};

// The running balance: a handful of sums, so each point costs the same whatever the
// length of the run. A point's means of pO2 and temperature stand for the middle of its
// span, so the balance is taken there: the pump and leak integrals run from the middle of
// the first point, the reference, to the middle of the newest, and the gas term and the
// integrals agree in time even while the pO2 moves. Each point adds its mean current and
// leak over the stretch from the previous point's end, which also covers the reading
// interval the averagers leave out between points. After a gap only the point's own span
// is added; the gas term needs no integral and stays exact across it.
class TOxygenBalance
{
  public:
    explicit TOxygenBalance(const TOxygenBalanceConstants& constants = {}) : fConstants(constants)
    {
    }

    const TOxygenBalanceConstants& Constants() const { return fConstants; }
    // Starts over with other constants: the caller replays its points.
    void Restart(const TOxygenBalanceConstants& constants);

    TOxygenPointResult Add(const TOxygenPointInput& point);

    bool Started() const { return fStarted; }
    int Gaps() const { return fGaps; }

  private:
    TOxygenBalanceConstants fConstants;
    bool fStarted = false;
    double fFirstGasMol = 0;
    double fChargeToEndC = 0; // both integrals up to the newest point's end
    double fLeakToEndMol = 0;
    double fLastEndS = 0;
    int fGaps = 0;
};

} // namespace oxtiva
