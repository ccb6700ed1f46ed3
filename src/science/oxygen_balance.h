#pragma once

#include "science/physical_constants.h"

#include <limits>

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
//   leak   j      = alpha * (pFG^(1/4) - pO2^(1/4)) + k * (pFG - pO2), mol/s into the
//                   cell from the flush gas, through the electrolyte (alpha) and through
//                   a seal (k)
//   sample dn_s   = (n_gas - n_gas,first) + n_pump - sum(j * duration), given off by it
//          b      = b0 - 2 dn_s / n0,  delta = bs - b

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

// The driving forces of the two leak laws: through the electrolyte pFG^(1/4) - pO2^(1/4),
// through a seal pFG - pO2.
double QuarterPowerForce(double flushpO2, double cellpO2);
double LinearForce(double flushpO2, double cellpO2);

// Mol/s of O2 leaking into the cell through the electrolyte; negative when the cell holds
// more oxygen than the flush gas.
double LeakFlow(double alpha, double flushpO2, double cellpO2);

// Moles of O2 that a charge removes from the cell (a negative charge adds them).
double PumpedAmount(double chargeC);

// b = b0 - 2 dn_s / n0; NaN without a positive n0.
double OxygenContent(double b0, double n0, double releasedMol);

// The constants the balance reads; the window's edits hold them.
struct TOxygenBalanceConstants {
    double HotVolumeL = 0;      // Vhp
    double GradientVolumeL = 0; // Vgp
    double ColdEndK = 303.15;   // Tl
    double LeakAlpha = 0;       // mol / (s atm^(1/4))
    double SealLeak = 0;        // mol / (s atm)
    double FlushpO2 = 0.21;     // atm
    double b0 = 0;
    double n0 = 0; // mol of compound
    double bs = 0;

    friend bool operator==(const TOxygenBalanceConstants&,
                           const TOxygenBalanceConstants&) = default;
};

// The constants the gas term reads (Vhp, Vgp, Tl) are the same.
bool SameGasConstants(const TOxygenBalanceConstants& a, const TOxygenBalanceConstants& b);

// One data point as the balance takes it: the span the pump current averager covered,
// its integral over that span and the mean of that integral over it, and the point's mean
// temperature and pO2.
struct TOxygenPointInput {
    double StartS = 0; // on any clock that all points share
    double EndS = 0;
    double ChargeC = 0; // positive removes oxygen
    double CellK = 0;
    double pO2 = 0;
    // The charge since StartS averaged over the span; NaN takes the current as flat
    // (ChargeC / 2).
    double MeanChargeC = std::numeric_limits<double>::quiet_NaN();
    double LongestUnmeasuredS = 0; // the longest stretch of the span no reading measured
    // A pause lies between the point before and this one: the pump held its level while
    // nothing was measured, so neither the charge nor the leak across it is known.
    bool AfterPause = false;
};

struct TOxygenPointResult {
    double TimeS = 0;      // the middle of the point
    bool AfterGap = false; // the point holds or follows a stretch no reading measured
    double ChargeC = 0;    // pumped since the first point
    double GasMol = 0;
    double LeakMol = 0; // leaked in since the first point
    // The leak laws' driving forces integrated since the first point, atm^(1/4) s and
    // atm s: LeakMol = alpha * QuarterForceS + k * LinearForceS while the constants hold.
    double QuarterForceS = 0;
    double LinearForceS = 0;
    double ReleasedMol = 0; // dn_s
    double b = 0;
    double Delta = 0;
};

// The running balance: a handful of sums, so each point costs the same whatever the
// length of the run. A point's pO2 and temperature are means over its span, so its gas
// term is the mean gas amount over the span; the pump and leak terms are taken the same
// way, as the means over the span of their running integrals, so that a current that
// does not stay flat within a point shows no false change of b. The first point is the
// reference. Points follow each other without a break; a stretch between two points up
// to the gap tolerance carries the later point's mean current. A longer stretch, or a
// point that holds an unmeasured one, is a gap: the charge between points is unknown and
// left out, while the leak across it follows from the pO2 at both ends. Across a pause the
// pump went on pumping against the leak unmeasured: both are left out, and b carries on
// from the gas alone.
class TOxygenBalance
{
  public:
    explicit TOxygenBalance(const TOxygenBalanceConstants& constants = {}) : fConstants(constants)
    {
    }

    const TOxygenBalanceConstants& Constants() const { return fConstants; }
    // Starts over with other constants: the caller replays its points.
    void Restart(const TOxygenBalanceConstants& constants);

    TOxygenPointResult Add(const TOxygenPointInput& point) { return Add(point, fConstants); }
    // Books the point with the constants in force over it: each term (gas, leak, b) takes
    // the point's own, so a later change leaves what came before as it was. A change of
    // the gas constants between two points moves the gas term's reference, so b is
    // continuous across it.
    TOxygenPointResult Add(const TOxygenPointInput& point,
                           const TOxygenBalanceConstants& constants);

    bool Started() const { return fStarted; }
    int Gaps() const { return fGaps; }

  private:
    TOxygenBalanceConstants fConstants;
    bool fStarted = false;
    double fFirstGasMol = 0;
    // The running integrals: charge, the two driving forces and the leak they drove,
    // the last with the constants in force along the way.
    struct TIntegrals {
        double ChargeC = 0;
        double QuarterS = 0;
        double LinearS = 0;
        double LeakMol = 0;
    };
    TIntegrals fFirst; // their means over the reference point
    TIntegrals fToEnd; // up to the newest point's end
    double fLastEndS = 0;
    double fLastpO2 = 0; // the newest point's, and the constants it was booked with
    double fLastCellK = 0;
    TOxygenBalanceConstants fLastConstants;
    double fLastQuarter = 0; // the newest point's driving forces
    double fLastLinear = 0;
    double fLastLeak = 0; // mol/s
    int fGaps = 0;
};

} // namespace oxtiva
