#include "science/oxygen_balance.h"
#include "science/oxygen_history.h"
#include "science/oxygen_leak_fit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace oxtiva
{
namespace
{

constexpr double FourF = 4 * 96485.0;
constexpr double Flush = 0.21;

// A cell whose leak follows the given constants and a sample that rests while the PID
// holds the pO2: holds of 10 s points where the pump current carries off exactly what
// leaks in (with a little noise), and between them unsteady points where the sample gives
// off oxygen and the pO2 moves.
class LeakHolds
{
  public:
    LeakHolds(double alpha, double seal) : fAlpha(alpha), fSeal(seal)
    {
        TOxygenBalanceConstants c;
        c.HotVolumeL = 0.012;
        c.FlushpO2 = Flush;
        c.b0 = 1.98;
        c.n0 = 0.01;
        fHistory.SetConstants(c);
    }
    void Hold(double pO2, int points, double cellK = 1073.15)
    {
        const double flow =
            fAlpha * QuarterPowerForce(Flush, pO2) + fSeal * LinearForce(Flush, pO2);
        for (int i = 0; i < points; ++i, ++fCount)
            Add(flow * FourF * (1 + 2e-3 * std::sin(1.7 * fCount)), pO2, cellK, true);
    }
    void Move(double pO2, int points)
    {
        for (int i = 0; i < points; ++i)
            Add(-2e-4, pO2, 1073.15, false);
    }
    const TOxygenHistory& History() const { return fHistory; }

  private:
    void Add(double current, double pO2, double cellK, bool steady)
    {
        fHistory.Add({fEnd, fEnd + 10, current * 10, cellK, pO2}, steady, int(fHistory.Size()) + 2);
        fEnd += 10;
    }
    double fAlpha;
    double fSeal;
    TOxygenHistory fHistory;
    double fEnd = 0;
    int fCount = 0;
};

TEST(OxygenLeakFit, FindsTheConstantsOfTheLawTheCellFollows)
{
    struct TCase {
        const char* what;
        double alpha, seal;
        TLeakLaw law;
    };
    const TCase cases[] = {
        {"electrolyte", 1e-9, 0, TLeakLaw::Electrolyte},
        {"seal", 0, 2e-9, TLeakLaw::Seal},
        {"both", 1e-9, 2e-9, TLeakLaw::Both},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        LeakHolds cell(c.alpha, c.seal);
        cell.Move(1e-2, 3);
        cell.Hold(1e-2, 30);
        cell.Move(1e-4, 5);
        cell.Hold(1e-4, 30);
        const std::vector<TLeakFitPoint> points = SteadyHoldPoints(cell.History());
        ASSERT_EQ(points.size(), 60u);
        const TLeakFit fit = FitLeak(points, c.law, Flush);
        ASSERT_EQ(fit.Status, TLeakFitStatus::Ok);
        EXPECT_EQ(fit.Holds, 2);
        EXPECT_NEAR(fit.Alpha, c.alpha, 0.01 * std::max(c.alpha, 1e-9));
        EXPECT_NEAR(fit.Seal, c.seal, 0.01 * std::max(c.seal, 1e-9));
        if (c.alpha > 0) {
            EXPECT_GT(fit.AlphaError, 0);
            EXPECT_LT(fit.AlphaError, 0.01 * c.alpha);
        }
        // The law the cell follows fits better than a wrong one.
        for (const TLeakLaw wrong : {TLeakLaw::Electrolyte, TLeakLaw::Seal}) {
            if (wrong == c.law) continue;
            const TLeakFit other = FitLeak(points, wrong, Flush);
            ASSERT_EQ(other.Status, TLeakFitStatus::Ok);
            EXPECT_GT(other.RmsResidualMol, 5 * fit.RmsResidualMol) << int(wrong);
        }
    }
}

TEST(OxygenLeakFit, RefusesWhatTheHoldsCannotTell)
{
    {
        LeakHolds cell(1e-9, 0);
        cell.Hold(1e-3, 30);
        const TLeakFit fit = FitLeak(SteadyHoldPoints(cell.History()), TLeakLaw::Both, Flush);
        EXPECT_EQ(fit.Status, TLeakFitStatus::NeedsTwoPressures) << "one pO2 cannot part two laws";
        EXPECT_EQ(FitLeak(SteadyHoldPoints(cell.History()), TLeakLaw::Electrolyte, Flush).Status,
                  TLeakFitStatus::Ok);
    }
    {
        LeakHolds cell(1e-9, 0);
        cell.Hold(0.2, 30); // a 1 mV offset moves pO2^(1/4) by a fifth of the difference
        const TLeakFit fit =
            FitLeak(SteadyHoldPoints(cell.History()), TLeakLaw::Electrolyte, Flush);
        EXPECT_EQ(fit.Status, TLeakFitStatus::NoDrivingForce);
        EXPECT_GT(fit.OffsetShare, 0.1);
    }
    {
        LeakHolds cell(1e-9, 0);
        cell.Hold(1e-3, 2);
        EXPECT_EQ(FitLeak(SteadyHoldPoints(cell.History()), TLeakLaw::Electrolyte, Flush).Status,
                  TLeakFitStatus::TooFewPoints);
        EXPECT_EQ(FitLeak({}, TLeakLaw::Electrolyte, Flush).Status, TLeakFitStatus::TooFewPoints);
    }
}

TEST(OxygenLeakFit, HoldsAreThoseAtTheNewestTemperatureAndEndAtEveryUnsteadyPoint)
{
    LeakHolds cell(1e-9, 0);
    cell.Hold(1e-3, 10, 973.15); // another temperature: another alpha
    cell.Move(1e-3, 1);
    cell.Hold(1e-3, 10);
    cell.Move(1e-3, 1);
    cell.Hold(1e-3, 10);
    const std::vector<TLeakFitPoint> points = SteadyHoldPoints(cell.History());
    ASSERT_EQ(points.size(), 20u);
    EXPECT_EQ(points.front().Hold, points[9].Hold);
    EXPECT_NE(points[9].Hold, points[10].Hold);
    EXPECT_EQ(points.front().GridRow, 2 + 11);
    EXPECT_NEAR(points.front().CurrentA,
                1e-9 * QuarterPowerForce(Flush, 1e-3) * FourF * (1 + 2e-3 * std::sin(1.7 * 10)),
                1e-15);
}

} // namespace
} // namespace oxtiva
