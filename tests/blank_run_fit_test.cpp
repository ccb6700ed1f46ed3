#include "science/blank_run_fit.h"
#include "science/oxygen_balance.h"
#include "science/oxygen_history.h"

#include <gtest/gtest.h>

#include <cmath>

namespace oxtiva
{
namespace
{

constexpr double FourF = 4 * 96485.0;
constexpr double Flush = 0.21;
constexpr double ColdK = 303.15;

// An empty cell of known constants under a pump that moves the pO2 in steps: at the start
// of a point the pump takes the gas to the point's pO2 at once, and then carries off what
// leaks in over the point, so the point's mean charge and mean gas are those the balance
// books. Points follow each other without a break, so no stretch between them is booked at
// a current that did not flow there. The balance itself is given other constants, as a cell not yet
// calibrated.
class BlankCell
{
  public:
    BlankCell(double volumeL, double alpha, double seal, double gradientL = 0)
        : fVolumeL(volumeL), fAlpha(alpha), fSeal(seal), fGradientL(gradientL)
    {
        TOxygenBalanceConstants c;
        c.HotVolumeL = 0.005; // what the balance was told, far from the truth
        c.GradientVolumeL = gradientL;
        c.ColdEndK = ColdK;
        c.LeakAlpha = 3e-9;
        c.FlushpO2 = Flush;
        fHistory.SetConstants(c);
    }
    // Points at pO2, the first of them reaching it from the pO2 before.
    void Hold(double pO2, int points, double cellK = 1073.15, double gapS = 0)
    {
        for (int i = 0; i < points; ++i, ++fCount) {
            const double taken = i == 0 ? Gas(fpO2, cellK) - Gas(pO2, cellK) : 0;
            const double leaked =
                (fAlpha * QuarterPowerForce(Flush, pO2) + fSeal * LinearForce(Flush, pO2)) * 10;
            const double noise = 1 + Noise * Scatter(fCount);
            const double start = fEnd + (i == 0 ? gapS : 0);
            TOxygenPointInput in{start, start + 10, (taken + leaked) * FourF * noise, cellK, pO2};
            in.MeanChargeC = (taken + leaked / 2) * FourF * noise;
            fHistory.Add(in, false, int(fHistory.Size()) + 2);
            fEnd = start + 10;
            fpO2 = pO2;
        }
    }
    const TOxygenHistory& History() const { return fHistory; }
    double Noise = 1e-3; // of the pump current

  private:
    // A repeatable scatter between -1 and 1 without the smoothness of a sine, whose
    // integral would stay bounded.
    static double Scatter(int n)
    {
        const double x = std::sin(n * 12.9898) * 43758.5453;
        return 2 * (x - std::floor(x)) - 1;
    }
    double Gas(double pO2, double cellK) const
    {
        return GasAmount(pO2, cellK, ColdK, fVolumeL, fGradientL);
    }
    double fVolumeL, fAlpha, fSeal, fGradientL;
    TOxygenHistory fHistory;
    double fEnd = 0;
    double fpO2 = Flush;
    int fCount = 0;
};

TEST(BlankRunFit, FindsTheGasVolumeAndTheLeakOfTheLawTheCellFollows)
{
    struct TCase {
        const char* what;
        double alpha, seal, gradientL;
        TLeakLaw law;
        double tolerance; // both laws at once share the noise between them
    };
    const TCase cases[] = {
        {"electrolyte", 1e-9, 0, 0, TLeakLaw::Electrolyte, 0.01},
        {"electrolyte, with a gradient part", 1e-9, 0, 0.006, TLeakLaw::Electrolyte, 0.01},
        {"seal", 0, 2e-9, 0, TLeakLaw::Seal, 0.01},
        {"both", 1e-9, 2e-9, 0, TLeakLaw::Both, 0.03},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        BlankCell cell(0.012, c.alpha, c.seal, c.gradientL);
        cell.Hold(Flush, 3);
        cell.Hold(1e-2, 20);
        cell.Hold(1e-3, 20);
        cell.Hold(1e-4, 20);
        const std::vector<TBlankRunPoint> points = BlankRunPoints(cell.History());
        ASSERT_EQ(points.size(), 63u);
        const TBlankRunFit fit = FitBlankRun(points, c.law, Flush);
        ASSERT_EQ(fit.Status, TBlankRunStatus::Ok);
        EXPECT_EQ(fit.Segments, 1);
        EXPECT_NEAR(fit.VolumeL / 0.012, 1, 0.005);
        EXPECT_GT(fit.VolumeError, 0);
        EXPECT_LT(fit.VolumeError, 0.005 * 0.012);
        EXPECT_NEAR(fit.Alpha, c.alpha, c.tolerance * std::max(c.alpha, 1e-9));
        EXPECT_NEAR(fit.Seal, c.seal, c.tolerance * std::max(c.seal, 1e-9));
        if (c.alpha > 0) EXPECT_LT(fit.AlphaError, c.tolerance * c.alpha);
        if (c.seal > 0) EXPECT_LT(fit.SealError, c.tolerance * c.seal);
    }
}

// The charge across a gap is unknown, so each stretch between gaps has an offset of its own,
// and points at another temperature (another alpha) are left out.
TEST(BlankRunFit, GapsAndOtherTemperaturesSplitTheRun)
{
    BlankCell cell(0.02, 1e-9, 0);
    cell.Hold(1e-2, 10, 973.15);
    cell.Hold(Flush, 3);
    cell.Hold(1e-2, 15);
    cell.Hold(1e-3, 15, 1073.15, 30); // after a gap of 30 s: its charge is lost
    cell.Hold(1e-4, 15);
    const std::vector<TBlankRunPoint> points = BlankRunPoints(cell.History());
    ASSERT_EQ(points.size(), 48u);
    EXPECT_EQ(points.front().GridRow, 2 + 10);
    const TBlankRunFit fit = FitBlankRun(points, TLeakLaw::Electrolyte, Flush);
    ASSERT_EQ(fit.Status, TBlankRunStatus::Ok);
    EXPECT_EQ(fit.Segments, 2);
    EXPECT_NEAR(fit.VolumeL / 0.02, 1, 0.005);
    EXPECT_NEAR(fit.Alpha / 1e-9, 1, 0.01);
}

TEST(BlankRunFit, RefusesWhatTheRunCannotTell)
{
    {
        BlankCell cell(0.012, 1e-9, 0);
        cell.Hold(1e-3, 30, 1073.15, 0);
        cell.Hold(1.01e-3, 30); // a percent: less than a 1 mV offset of the sensor makes
        const TBlankRunFit fit =
            FitBlankRun(BlankRunPoints(cell.History()), TLeakLaw::Electrolyte, Flush);
        EXPECT_EQ(fit.Status, TBlankRunStatus::NoPressureChange) << "the volume is undetermined";
        EXPECT_NEAR(fit.pO2Change, 0.01, 1e-6);
        EXPECT_GT(fit.SmallestpO2Change, 0.04);
    }
    {
        BlankCell cell(0.012, 1e-9, 0);
        cell.Hold(0.205, 30);
        cell.Hold(0.19, 30); // the pO2 moved, but a 1 mV offset is a large share of the force
        const TBlankRunFit fit =
            FitBlankRun(BlankRunPoints(cell.History()), TLeakLaw::Electrolyte, Flush);
        EXPECT_EQ(fit.Status, TBlankRunStatus::NoDrivingForce);
        EXPECT_GT(fit.OffsetShare, LargestOffsetShare);
    }
    {
        // A small change of a small gas against a noisy leak current.
        BlankCell cell(3e-4, 1e-9, 0);
        cell.Noise = 0.05;
        cell.Hold(1e-3, 30);
        cell.Hold(1.05e-3, 30);
        const TBlankRunFit fit =
            FitBlankRun(BlankRunPoints(cell.History()), TLeakLaw::Electrolyte, Flush);
        EXPECT_EQ(fit.Status, TBlankRunStatus::Undetermined);
        EXPECT_GT(fit.VolumeError, LargestVolumeError * std::abs(fit.VolumeL));
    }
    {
        BlankCell cell(0.012, 1e-9, 0);
        cell.Hold(1e-3, 3);
        EXPECT_EQ(FitBlankRun(BlankRunPoints(cell.History()), TLeakLaw::Both, Flush).Status,
                  TBlankRunStatus::TooFewPoints);
        EXPECT_EQ(FitBlankRun({}, TLeakLaw::Electrolyte, Flush).Status,
                  TBlankRunStatus::TooFewPoints);
    }
}

} // namespace
} // namespace oxtiva
