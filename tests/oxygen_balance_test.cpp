#include "control/data_synchronizer.h"
#include "science/oxygen_balance.h"
#include "science/oxygen_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace oxtiva
{
namespace
{

constexpr double FourF = 4 * 96485.0;

TEST(OxygenBalanceGas, HotAndGradientParts)
{
    struct TCase {
        const char* what;
        double pO2, cellK, coldK, hotL, gradientL;
        double expectedMol;
    };
    const TCase cases[] = {
        {"hot part only", 0.21, 1073.15, 303.15, 0.012, 0, 2.8617024527602318e-05},
        {"hot and gradient", 0.21, 1073.15, 303.15, 0.012, 0.012, 7.903489218628927e-05},
        {"low pO2, sample in the hot part", 1e-6, 1073.15, 303.15, 0.0118615, 0.005,
         2.347341963204721e-10},
        {"cold end hotter than the cell", 0.5, 900, 1200, 0, 0.01, 5.8431349032132315e-05},
        {"no gradient part: an unusable cold end does not matter", 0.21, 1073.15, -5, 0.012, 0,
         2.8617024527602318e-05},
        {"cold end at the cell temperature", 0.21, 1073.15, 1073.15, 0, 0.012,
         2.8617024527602318e-05},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NEAR(GasAmount(c.pO2, c.cellK, c.coldK, c.hotL, c.gradientL) / c.expectedMol, 1,
                    1e-12);
    }
    EXPECT_TRUE(std::isnan(GasAmount(0.21, 0, 303.15, 0.012, 0)));
    EXPECT_TRUE(std::isnan(GasAmount(0.21, 1073.15, 0, 0.012, 0.01)));
}

// Tc - Tl and ln(Tc/Tl) both vanish as the cold end approaches the cell temperature; the
// quotient must follow its series 1/Tc (1 + x/2 + x^2/3 + x^3/4), x = (Tc - Tl) / Tc, to the
// last digits instead of dividing rounding noise by rounding noise.
TEST(OxygenBalanceGas, GradientTermStaysExactAsTheColdEndReachesTheCell)
{
    const double cellK = 1073.15;
    for (double difference : {1.0, 1e-2, 1e-4, 1e-6, 1e-8, 1e-10, 1e-12, -1e-9}) {
        SCOPED_TRACE(difference);
        const double coldK = cellK - difference;
        const double x = (cellK - coldK) / cellK;
        const double series = (1 + x / 2 + x * x / 3 + x * x * x / 4) / cellK;
        EXPECT_NEAR(GradientInverseTemperature(cellK, coldK) * cellK, series * cellK,
                    1e-14 + x * x * x * x);
    }
    EXPECT_DOUBLE_EQ(GradientInverseTemperature(cellK, cellK), 1 / cellK);
}

TEST(OxygenBalanceLeak, FlowsFromTheFlushGasIntoTheCellByTheQuarterPower)
{
    struct TCase {
        double flush, cell, expected;
    };
    const TCase cases[] = {
        {0.21, 0.01, 3.607194767544019e-09},  // into the cell
        {0.01, 0.21, -3.607194767544019e-09}, // out of it
        {0.21, 0.21, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.cell);
        EXPECT_NEAR(LeakFlow(1e-8, c.flush, c.cell), c.expected, 1e-22);
    }
    EXPECT_EQ(LeakFlow(0, 0.21, 1e-10), 0);
}

TEST(OxygenBalanceContent, FollowsTheReleasedOxygen)
{
    // 1 g of CeO1.98: n0 = 5.82106e-3 mol. Giving off 1e-4 mol O2 lowers b by 2e-4 / n0.
    const double n0 = 1 / 171.79;
    EXPECT_NEAR(OxygenContent(1.98, n0, 1e-4), 1.98 - 2e-4 / n0, 1e-15);
    EXPECT_NEAR(OxygenContent(1.98, n0, -1e-4), 1.98 + 2e-4 / n0, 1e-15);
    EXPECT_TRUE(std::isnan(OxygenContent(1.98, 0, 1e-4)));
}

// Points of 10 s, one reading interval (50 ms) apart, at the given current and pO2.
class OxygenBalanceRun : public ::testing::Test
{
  protected:
    static constexpr double CellK = 1073.15;
    static constexpr double n0 = 0.01;
    TOxygenBalanceConstants Constants(double alpha = 0) const
    {
        TOxygenBalanceConstants c;
        c.HotVolumeL = 0.012;
        c.GradientVolumeL = 0.006;
        c.ColdEndK = 303.15;
        c.LeakAlpha = alpha;
        c.FlushpO2 = 0.21;
        c.b0 = 1.98;
        c.n0 = n0;
        c.bs = 2;
        return c;
    }
    TOxygenPointResult Point(double current, double pO2, double gapS = 0.05)
    {
        const double start = fEnd + gapS;
        fEnd = start + 10;
        return fBalance.Add({start, fEnd, current * 10, CellK, pO2});
    }
    double Gas(double pO2) const { return GasAmount(pO2, CellK, 303.15, 0.012, 0.006); }

    TOxygenBalance fBalance{Constants()};
    double fEnd = 0;
};

TEST_F(OxygenBalanceRun, APositiveCurrentAtSteadyPO2IsOxygenTheSampleGaveOff)
{
    const TOxygenPointResult first = Point(1e-3, 1e-3);
    EXPECT_EQ(first.ReleasedMol, 0) << "the first point is the reference";
    EXPECT_EQ(first.b, 1.98);
    EXPECT_EQ(first.Delta, 2 - 1.98);
    TOxygenPointResult r;
    for (int i = 0; i < 9; ++i)
        r = Point(1e-3, 1e-3);
    // Nine more points cover 9 x 10.05 s from the first point's end, the reading interval
    // between points included.
    const double charge = 1e-3 * 9 * 10.05;
    EXPECT_NEAR(r.ChargeC, charge, 1e-15);
    EXPECT_NEAR(r.ReleasedMol, charge / FourF, 1e-18);
    EXPECT_LT(r.b, 1.98);
    EXPECT_NEAR(r.b, 1.98 - 2 * charge / FourF / n0, 1e-14);
    EXPECT_NEAR(r.Delta, 2 - r.b, 1e-15);
    EXPECT_FALSE(r.AfterGap);
    EXPECT_EQ(fBalance.Gaps(), 0);
}

TEST_F(OxygenBalanceRun, ANegativeCurrentFillsTheSampleUp)
{
    Point(-2e-4, 1e-3);
    const TOxygenPointResult r = Point(-2e-4, 1e-3);
    EXPECT_NEAR(r.ReleasedMol, -2e-4 * 10.05 / FourF, 1e-18);
    EXPECT_GT(r.b, 1.98);
}

TEST_F(OxygenBalanceRun, WithoutCurrentTheGasGainIsWhatTheSampleGaveOff)
{
    Point(0, 1e-3);
    Point(0, 5e-3);
    const TOxygenPointResult r = Point(0, 2e-2);
    EXPECT_NEAR(r.GasMol, Gas(2e-2), 1e-20);
    EXPECT_NEAR(r.ReleasedMol, Gas(2e-2) - Gas(1e-3), 1e-20);
    EXPECT_GT(r.ReleasedMol, 0);
}

TEST_F(OxygenBalanceRun, APumpHoldingThePO2AgainstTheLeakLeavesTheSampleAlone)
{
    const double alpha = 1e-8;
    fBalance.Restart(Constants(alpha));
    const double pO2 = 1e-4;
    const double holding = LeakFlow(alpha, 0.21, pO2) * FourF; // A, out of the cell
    TOxygenPointResult r;
    for (int i = 0; i < 5; ++i)
        r = Point(holding, pO2);
    EXPECT_GT(r.LeakMol, 0) << "oxygen leaks in towards the low pO2";
    EXPECT_NEAR(r.ReleasedMol, 0, 1e-20);
    EXPECT_NEAR(r.b, 1.98, 1e-15);
    // The same current without the leak in the balance reads as oxygen given off.
    fBalance.Restart(Constants(0));
    for (int i = 0; i < 5; ++i)
        r = Point(holding, pO2);
    EXPECT_GT(r.ReleasedMol, 1e-9);
}

TEST_F(OxygenBalanceRun, AStretchNoPointCoversIsLeftOutAndMarked)
{
    Point(1e-3, 1e-3);
    Point(1e-3, 1e-3);
    const TOxygenPointResult paused = Point(1e-3, 2e-3, 30); // 30 s paused
    EXPECT_TRUE(paused.AfterGap);
    EXPECT_EQ(fBalance.Gaps(), 1);
    // The stretch before the first point after the pause is not integrated, its own
    // span is; the gas term is a state and stays exact.
    EXPECT_NEAR(paused.ChargeC, 1e-3 * (10.05 + 10), 1e-15);
    EXPECT_NEAR(paused.GasMol, Gas(2e-3), 1e-20);
    EXPECT_NEAR(paused.ReleasedMol, Gas(2e-3) - Gas(1e-3) + paused.ChargeC / FourF, 1e-18);
    // Integration goes on from the next point as before.
    const TOxygenPointResult next = Point(1e-3, 2e-3);
    EXPECT_FALSE(next.AfterGap);
    EXPECT_NEAR(next.ChargeC, 1e-3 * (10.05 + 10 + 10.05), 1e-15);
    // A drop just within the tolerance is still one reading interval.
    EXPECT_FALSE(Point(1e-3, 2e-3, 0.99 * BalanceGapToleranceS).AfterGap);
    EXPECT_EQ(fBalance.Gaps(), 1);
}

TEST_F(OxygenBalanceRun, TheLeakAcrossAGapFollowsThePO2AtBothEnds)
{
    const double alpha = 1e-8;
    fBalance.Restart(Constants(alpha));
    const double before = 1e-3;
    const double after = 4e-3;
    Point(0, before, 0);
    Point(0, before, 0);
    const TOxygenPointResult r = Point(0, after, 30);
    ASSERT_TRUE(r.AfterGap);
    const double flowBefore = LeakFlow(alpha, 0.21, before);
    const double flowAfter = LeakFlow(alpha, 0.21, after);
    // From the middle of the first point to the middle of the one after the gap.
    EXPECT_NEAR(r.LeakMol, flowBefore * 15 + (flowBefore + flowAfter) / 2 * 30 + flowAfter * 5,
                1e-18);
}

// A pause holds the pump at its last level, pumping against the leak unmeasured: across it
// the balance knows neither, so it books neither, and b carries on from the gas alone. A
// PID hold at 1e-10 atm paused for 600 s gave +8.1e-5 in b from the leak booked alone.
TEST_F(OxygenBalanceRun, APauseBooksNeitherChargeNorLeakAndBreaksB)
{
    const double alpha = 1e-8;
    fBalance.Restart(Constants(alpha));
    const double pO2 = 1e-4;
    const double holding = LeakFlow(alpha, 0.21, pO2) * FourF;
    Point(holding, pO2, 0);
    const TOxygenPointResult before = Point(holding, pO2, 0);
    const double start = fEnd + 600;
    TOxygenPointInput resumed{start, start + 10, holding * 10, CellK, pO2};
    resumed.AfterPause = true;
    const TOxygenPointResult r = fBalance.Add(resumed);
    EXPECT_TRUE(r.AfterGap) << "b breaks there, as at a gap";
    EXPECT_EQ(fBalance.Gaps(), 1);
    EXPECT_NEAR(r.LeakMol - before.LeakMol, LeakFlow(alpha, 0.21, pO2) * 10, 1e-20)
        << "the two points' own halves, nothing across the pause";
    EXPECT_NEAR(r.ChargeC - before.ChargeC, holding * 10, 1e-15);
    EXPECT_NEAR(r.b, before.b, 1e-15);
    // A short pause is a pause all the same.
    fEnd = start + 10;
    TOxygenPointInput quick{fEnd + 0.3, fEnd + 10.3, holding * 10, CellK, pO2};
    quick.AfterPause = true;
    EXPECT_TRUE(fBalance.Add(quick).AfterGap);
}

// No isotherm point and no settling judgement reaches back across a pause.
TEST(OxygenHistoryPause, StepWindowAndDriftStopAtAPause)
{
    TOxygenBalanceConstants c;
    c.HotVolumeL = 0.012;
    c.b0 = 1.98;
    c.n0 = 0.01;
    TOxygenHistory history;
    history.SetConstants(c);
    for (int i = 0; i < 4; ++i)
        history.Add({10.0 * i, 10.0 * i + 10, 1e-3 * i, 1073.15, 1e-3});
    TOxygenPointInput resumed{100, 110, 0, 1073.15, 1e-3};
    resumed.AfterPause = true;
    history.Add(resumed);
    history.Add({110, 120, 0, 1073.15, 1e-3});
    EXPECT_TRUE(std::isinf(ContentDrift(history, 0, 1000)))
        << "two points after the pause are too few to judge";
    history.Add({120, 130, 0, 1073.15, 1e-3});
    EXPECT_NEAR(ContentDrift(history, 0, 1000), 0, 1e-12) << "b is flat after the pause";
    ASSERT_TRUE(history.MarkStepCompleted(1, 1000));
    EXPECT_EQ(history.Isotherm().back().First, 4u) << "the window starts at the pause";
}

TEST_F(OxygenBalanceRun, APointHoldingAnUnmeasuredStretchIsAGapButKeepsItsCharge)
{
    fBalance.Add({0, 10, 1e-2, CellK, 1e-3});
    TOxygenPointInput outage{10, 20, 1e-2, CellK, 1e-3};
    outage.LongestUnmeasuredS = 0.99 * BalanceGapToleranceS;
    EXPECT_FALSE(fBalance.Add(outage).AfterGap);
    outage = {20, 30, 1e-2, CellK, 1e-3};
    outage.LongestUnmeasuredS = 2 * BalanceGapToleranceS;
    const TOxygenPointResult r = fBalance.Add(outage);
    EXPECT_TRUE(r.AfterGap);
    EXPECT_EQ(fBalance.Gaps(), 1);
    EXPECT_NEAR(r.ChargeC, 2e-2, 1e-15) << "the outage's charge is in the point";
}

// A cell without a sample whose pump current jumps and decays within points: its b must
// stay at b0 at every point length. The current is what the pump record books: each
// reading's level from the hand-over before it to its own hand-over. The pO2 follows the
// charge exactly, and each point's mean pO2 is integrated here on its own.
TEST(OxygenBalancePointLength, NoFalseChangeOfContentWhereTheCurrentIsNotFlat)
{
    constexpr double CellK = 1073.15;
    constexpr double ReadingS = 0.1;
    constexpr double HandOverS = 0.02;
    constexpr double gasPerAtm = 0.012 / (GasConstantLAtm * CellK);
    constexpr double startpO2 = 1e-2;
    auto level = [](double t) { // A: a step up at 100 s, one down at 250 s, both decaying
        if (t < 100) return 0.0;
        if (t < 250) return 1e-3 * std::exp(-(t - 100) / 20);
        return -1e-3 * std::exp(-(t - 250) / 20);
    };
    TOxygenBalanceConstants c;
    c.HotVolumeL = 0.012;
    c.b0 = 1.98;
    c.n0 = 1e-5;
    for (const int pointReadings : {100, 600, 3000}) {
        SCOPED_TRACE(pointReadings);
        TOxygenBalance balance(c);
        const TDateTime t0 = 45000.5;
        auto days = [&](double s) { return t0 + s / SecondsPerDay; };
        std::vector<double> times{0};
        std::vector<double> charge{0}; // at each breakpoint: readings and hand-overs
        double worst = 0;
        auto sync = std::make_unique<TDataSynchronizer>(days(0), QStringLiteral("I"));
        sync->HeldUntil(days(HandOverS));
        int inPoint = 0;
        double pointStart = 0;
        std::size_t pointFirstBreak = 0;
        double lastLevel = 0;
        for (int k = 1; k <= 6000; ++k) {
            const double t = k * ReadingS;
            const double value = level(t);
            // The previous level up to the hand-over, this one after it.
            const double handOver = (k - 1) * ReadingS + HandOverS;
            times.push_back(handOver);
            charge.push_back(charge.back() + lastLevel * (handOver - times[times.size() - 2]));
            times.push_back(t);
            charge.push_back(charge.back() + value * (t - handOver));
            lastLevel = value;
            sync->Add(days(t), value);
            sync->HeldUntil(days(t + HandOverS));
            if (++inPoint < pointReadings) continue;
            // The mean pO2 over the point, the trapezoid exact on the piecewise-linear charge.
            double integral = 0;
            for (std::size_t i = pointFirstBreak + 1; i < times.size(); ++i) {
                auto pO2 = [&](std::size_t j) {
                    return startpO2 - charge[j] / (ElectronsPerO2 * FaradayConstant) / gasPerAtm;
                };
                integral += (pO2(i) + pO2(i - 1)) / 2 * (times[i] - times[i - 1]);
            }
            const double meanpO2 = integral / (t - pointStart);
            TOxygenPointInput input{pointStart, t, sync->Sum(), CellK, meanpO2};
            input.MeanChargeC = sync->MeanRunningSum();
            const TOxygenPointResult r = balance.Add(input);
            worst = std::max(worst, std::abs(r.b - c.b0));
            sync = std::make_unique<TDataSynchronizer>(sync->Tail(), QStringLiteral("I"));
            inPoint = 0;
            pointStart = t;
            pointFirstBreak = times.size() - 1;
        }
        EXPECT_LT(worst, 1e-7) << "b moved although the sample gave nothing";
    }
}

TEST(OxygenHistory, ReplaysEveryPointWhenAConstantChanges)
{
    TOxygenBalanceConstants constants;
    constants.HotVolumeL = 0.012;
    constants.b0 = 1.98;
    constants.n0 = 0.01;
    TOxygenHistory history;
    history.SetConstants(constants);
    EXPECT_FALSE(history.MarkStepCompleted(1)) << "no point to mark yet";
    const TOxygenPointInput points[] = {{0, 10, 1e-3, 1073.15, 1e-3},
                                        {10.1, 20, 1e-3, 1073.15, 1e-3},
                                        {40, 50, 2e-3, 1073.15, 5e-4}};
    for (const TOxygenPointInput& p : points)
        history.Add(p);
    ASSERT_TRUE(history.MarkStepCompleted(1));
    EXPECT_EQ(history.Gaps(), 1);

    constants.LeakAlpha = 1e-8;
    history.SetConstants(constants);
    TOxygenBalance fresh(constants);
    for (std::size_t i = 0; i < history.Size(); ++i) {
        const TOxygenPointResult expected = fresh.Add(points[i]);
        EXPECT_EQ(history.At(i).Result.b, expected.b) << i;
        EXPECT_EQ(history.At(i).Result.AfterGap, expected.AfterGap) << i;
    }
    EXPECT_EQ(history.Gaps(), 1) << "replaying does not count a gap twice";
    ASSERT_EQ(history.Isotherm().size(), 1u);
    EXPECT_EQ(history.Isotherm()[0].Step, 1);
    EXPECT_EQ(history.Isotherm()[0].Index, 2u);
}

// A gas volume, gradient volume or cold end that holds from now on re-reads the gas there
// is: with nothing pumped and nothing leaking, b stays where it was, both as the points
// come and when the run is replayed.
TEST(OxygenHistory, AChangeOfTheGasConstantsFromNowOnKeepsBContinuous)
{
    struct TCase {
        const char* what;
        void (*change)(TOxygenBalanceConstants&);
    };
    const TCase cases[] = {
        {"hot volume +10 %", [](TOxygenBalanceConstants& c) { c.HotVolumeL *= 1.1; }},
        {"gradient volume", [](TOxygenBalanceConstants& c) { c.GradientVolumeL = 0.004; }},
        {"cold end", [](TOxygenBalanceConstants& c) { c.ColdEndK += 20; }},
    };
    for (const TCase& tc : cases) {
        SCOPED_TRACE(tc.what);
        TOxygenBalanceConstants c;
        c.HotVolumeL = 0.012;
        c.GradientVolumeL = 0.002;
        c.b0 = 1.98;
        c.n0 = 0.01;
        TOxygenHistory history;
        history.SetConstants(c);
        for (int i = 0; i < 3; ++i)
            history.Add({10.0 * i, 10.0 * i + 10, 0, 1073.15, 0.21});
        tc.change(c);
        history.ChangeConstants(c, 30, 1073.15, false);
        for (int i = 3; i < 6; ++i)
            history.Add({10.0 * i, 10.0 * i + 10, 0, 1073.15, 0.21});
        for (std::size_t i = 0; i < history.Size(); ++i)
            EXPECT_NEAR(history.At(i).Result.b, 1.98, 1e-12) << i;
        // A change of the sample's constants replays the run, across the change.
        c.n0 = 0.02;
        history.ChangeConstants(c, 60, 1073.15, false);
        for (std::size_t i = 0; i < history.Size(); ++i)
            EXPECT_NEAR(history.At(i).Result.b, 1.98, 1e-12) << "replayed " << i;
    }
}

// b, pO2 and temperature of an isotherm point are means over one window.
TEST(OxygenHistory, AnIsothermPointsMeansShareItsWindow)
{
    TOxygenHistory history;
    TOxygenBalanceConstants c;
    c.HotVolumeL = 0.012;
    c.b0 = 1.98;
    c.n0 = 0.01;
    history.SetConstants(c);
    history.Add({0, 10, 0, 1073.15, 1e-2});
    history.Add({10, 20, 0, 1075.15, 2e-3});
    history.Add({20, 30, 0, 1077.15, 4e-3});
    ASSERT_TRUE(history.MarkStepCompleted(1, 10));
    const TContentSpread mean = history.Content(history.Isotherm()[0]);
    EXPECT_DOUBLE_EQ(mean.pO2, 3e-3);
    EXPECT_DOUBLE_EQ(mean.CellK, 1076.15);
    EXPECT_DOUBLE_EQ(mean.Mean, (history.At(1).Result.b + history.At(2).Result.b) / 2);
}

} // namespace
} // namespace oxtiva
