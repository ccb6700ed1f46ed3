// The balance's constants with the time from which each holds, and alpha by cell
// temperature.
#include "science/oxygen_constants.h"
#include "science/oxygen_history.h"

#include <gtest/gtest.h>

#include <cmath>

namespace oxtiva
{
namespace
{

// An electrolyte whose conductivity, and with it alpha, follows one Arrhenius law.
double TrueAlpha(double cellK)
{
    return 2e-3 * std::exp(-1.2e4 / cellK);
}

TEST(AlphaByTemperature, FollowsArrheniusBetweenCalibrationsAndTheNearestOutside)
{
    TAlphaCalibrations calibrations;
    EXPECT_EQ(AlphaAt(calibrations, 1000), 0) << "no calibration, no leak";
    Calibrate(calibrations, 1073.15, TrueAlpha(1073.15));
    EXPECT_EQ(AlphaAt(calibrations, 973.15), TrueAlpha(1073.15)) << "one calibration holds alone";
    Calibrate(calibrations, 973.15, TrueAlpha(973.15));
    ASSERT_EQ(calibrations.size(), 2u);
    EXPECT_LT(calibrations[0].CellK, calibrations[1].CellK) << "kept by temperature";

    const struct {
        double cellK;
        double expected;
    } cases[] = {
        {973.15, TrueAlpha(973.15)},   {1073.15, TrueAlpha(1073.15)}, {1000, TrueAlpha(1000)},
        {1048.15, TrueAlpha(1048.15)}, {900, TrueAlpha(973.15)},      {1200, TrueAlpha(1073.15)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cellK);
        EXPECT_NEAR(AlphaAt(calibrations, c.cellK) / c.expected, 1, 1e-12);
    }
    // Not the straight line between the two, a sixth too high in the middle here.
    const double linear = (TrueAlpha(973.15) + TrueAlpha(1073.15)) / 2;
    EXPECT_GT(std::abs(AlphaAt(calibrations, 1020.9) / linear - 1), 0.1);
}

TEST(AlphaByTemperature, ANewCalibrationReplacesOneAtTheSameTemperature)
{
    TAlphaCalibrations calibrations;
    Calibrate(calibrations, std::nan(""), 5e-9);
    EXPECT_EQ(AlphaAt(calibrations, 900), 5e-9) << "entered before any temperature: everywhere";
    Calibrate(calibrations, 973.15, 1e-9);
    Calibrate(calibrations, 1073.15, 4e-9);
    Calibrate(calibrations, 975, 2e-9);
    ASSERT_EQ(calibrations.size(), 2u) << "the one without a temperature gave way";
    EXPECT_EQ(calibrations[0].CellK, 975);
    EXPECT_EQ(calibrations[0].Alpha, 2e-9);
    // A zero alpha (no leak at that temperature) cannot take a logarithm: alpha itself is
    // interpolated in 1/T.
    Calibrate(calibrations, 975, 0);
    const double share = (1 / 1024.0 - 1 / 975.0) / (1 / 1073.15 - 1 / 975.0);
    EXPECT_NEAR(AlphaAt(calibrations, 1024), share * 4e-9, 1e-22);
}

TOxygenBalanceConstants Constants(double alpha)
{
    TOxygenBalanceConstants c;
    c.HotVolumeL = 0.012;
    c.LeakAlpha = alpha;
    c.b0 = 1.98;
    c.n0 = 0.01;
    c.bs = 2;
    return c;
}

TEST(ConstantsHistory, EachTimeGetsTheConstantsInForceThenAndTheSampleHoldsThroughout)
{
    TConstantsHistory history = OneConstantsPeriod(Constants(1e-9));
    TOxygenBalanceConstants flush = Constants(1e-9);
    flush.FlushpO2 = 0.01;
    ChangeConstants(history, 100, flush, 1073.15);
    TOxygenBalanceConstants alpha = flush;
    alpha.LeakAlpha = 3e-9;
    ChangeConstants(history, 200, alpha, 1073.15);
    ASSERT_EQ(history.size(), 3u);
    const struct {
        double timeS;
        double flushpO2;
        double alpha;
    } cases[] = {{-5, 0.21, 1e-9},  {0, 0.21, 1e-9},   {99.9, 0.21, 1e-9}, {100, 0.01, 1e-9},
                 {150, 0.01, 1e-9}, {200, 0.01, 3e-9}, {1e6, 0.01, 3e-9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timeS);
        const TOxygenBalanceConstants at = ConstantsAt(history, c.timeS, 1073.15);
        EXPECT_EQ(at.FlushpO2, c.flushpO2);
        EXPECT_EQ(at.LeakAlpha, c.alpha);
        // Whatever period the search starts from, it lands on the one in force.
        const std::size_t inForce = std::size_t(&PeriodAt(history, c.timeS) - history.data());
        for (std::size_t hint : {0, 1, 2, 3, 99})
            EXPECT_EQ(PeriodIndexAt(history, c.timeS, hint), inForce) << "from " << hint;
    }
    EXPECT_EQ(ConstantsAt(history, 250, 973.15).LeakAlpha, 3e-9)
        << "the only calibration with a temperature holds at every one";

    // The sample's constants describe it as loaded: a change reaches back to the start.
    TOxygenBalanceConstants sample = alpha;
    sample.n0 = 0.02;
    ChangeConstants(history, 300, sample, 1073.15);
    EXPECT_EQ(ConstantsAt(history, 0, 1073.15).n0, 0.02);
    // A second change at the same time stands in for the first.
    sample.SealLeak = 1e-7;
    ChangeConstants(history, 300, sample, 1073.15);
    EXPECT_EQ(history.size(), 4u);

    ApplyToWholeRun(history);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(ConstantsAt(history, 0, 1073.15).SealLeak, 1e-7);
    EXPECT_EQ(ConstantsAt(history, 0, 1073.15).LeakAlpha, 3e-9);
}

// A hold at 1e-3 atm, 10 s points with a reading interval between them, current zero: b
// moves by the leak alone.
class ConstantsOverARun : public ::testing::Test
{
  protected:
    void SetUp() override { fHistory.SetConstants(Constants(1e-9)); }
    void Points(int count, double cellK = 1073.15)
    {
        for (int i = 0; i < count; ++i, fEnd += 10.1)
            fHistory.Add({fEnd + 0.1, fEnd + 10.1, 0, cellK, 1e-3});
    }
    std::vector<double> Contents() const
    {
        std::vector<double> b;
        for (std::size_t i = 0; i < fHistory.Size(); ++i)
            b.push_back(fHistory.At(i).Result.b);
        return b;
    }
    TOxygenHistory fHistory;
    double fEnd = 0;
};

TEST_F(ConstantsOverARun, AChangeHoldsFromItsTimeOnAndTheWholeRunOnRequest)
{
    Points(5);
    const std::vector<double> before = Contents();
    const double step = before[4] - before[3];
    ASSERT_GT(step, 0) << "the leak brings oxygen in";

    fHistory.ChangeConstants(Constants(4e-9), fEnd, 1073.15, false);
    EXPECT_EQ(Contents(), before) << "the points before the change keep their b";
    Points(3);
    EXPECT_NEAR((fHistory.At(7).Result.b - fHistory.At(6).Result.b) / step, 4, 1e-9)
        << "the points after it take the new alpha";
    EXPECT_EQ(fHistory.ConstantsHistory().size(), 2u);

    fHistory.ApplyToWholeRun();
    EXPECT_NEAR((fHistory.At(1).Result.b - fHistory.At(0).Result.b) / step, 4, 1e-9)
        << "replayed from the start";
    TOxygenBalance fresh(Constants(4e-9));
    for (std::size_t i = 0; i < fHistory.Size(); ++i)
        EXPECT_EQ(fHistory.At(i).Result.b, fresh.Add(fHistory.At(i).Input).b) << i;
}

// A temperature step: each point takes alpha at its own temperature, the leak across the
// step what each side's alpha drove.
TEST_F(ConstantsOverARun, EachPointTakesAlphaAtItsTemperature)
{
    fHistory.ChangeConstants(Constants(TrueAlpha(1073.15)), 0, 1073.15, false);
    fHistory.ChangeConstants(Constants(TrueAlpha(973.15)), 0, 973.15, false);
    Points(3, 973.15);
    Points(3, 1023.15);
    const double force = std::pow(0.21, 0.25) - std::pow(1e-3, 0.25);
    const double cold = fHistory.At(2).Result.LeakMol - fHistory.At(1).Result.LeakMol;
    const double warm = fHistory.At(5).Result.LeakMol - fHistory.At(4).Result.LeakMol;
    EXPECT_NEAR(cold / (TrueAlpha(973.15) * force * 10.1), 1, 1e-9);
    EXPECT_NEAR(warm / (TrueAlpha(1023.15) * force * 10.1), 1, 1e-9);
    EXPECT_NEAR(fHistory.CurrentAlpha() / TrueAlpha(1023.15), 1, 1e-12);
}

} // namespace
} // namespace oxtiva
