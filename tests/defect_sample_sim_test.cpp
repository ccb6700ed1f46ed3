// The simulated sample of known thermodynamics and the furnace, seen through the control
// channel: the truth the thermodynamics from isotherms are measured against.

#include "support/cell_sim.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <cmath>

using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;

namespace
{

// 0.01 mol, dh_O = -100 - 200 delta kJ/mol, ds_O = -97.4 + 40 delta J/(mol K).
double EquilibriumDelta(double tempC, double pO2)
{
    const double t = tempC + 273.15;
    return (8.314 * t * std::log(pO2) / 2 + 100e3 - 97.4 * t) / (-200e3 - 40 * t);
}

TCellSimOptions KnownSample(double timeScale)
{
    TCellSimOptions options;
    options.timeScale = timeScale;
    options.extraArgs = {"--defect-sample", "0.01:-100:-200:-97.4:40", "--sample-capacity", "0",
                         "--furnace-time-constant", "100", "--leak", "0"};
    return options;
}

TEST(DefectSampleSim, IsInEquilibriumWithTheGasAtTheCellsTemperature)
{
    TCellSim sim(KnownSample(0)); // the model stands still
    EXPECT_NEAR(sim.KeyValues(QStringLiteral("oxygen"))[QStringLiteral("delta")],
                EquilibriumDelta(800, 0.21), 1e-12) << "in equilibrium with the flush gas at start";
    ASSERT_EQ(sim.Command(QStringLiteral("set temp 700")), QStringLiteral("ok"));
    for (double pO2 : {1e-1, 1e-3, 1e-5}) {
        ASSERT_EQ(sim.Command(QStringLiteral("set po2 %1").arg(pO2)), QStringLiteral("ok"));
        EXPECT_NEAR(sim.KeyValues(QStringLiteral("oxygen"))[QStringLiteral("delta")],
                    EquilibriumDelta(700, pO2), 1e-12);
    }
}

TEST(DefectSampleSim, CellFollowsTheFurnaceAndTheSampleGivesOffOxygenAsItWarms)
{
    TCellSim sim(KnownSample(1000)); // the furnace's 100 s pass in 0.1 s
    ASSERT_EQ(sim.Command(QStringLiteral("set temp 700")), QStringLiteral("ok"));
    ASSERT_EQ(sim.Command(QStringLiteral("set po2 0.001")), QStringLiteral("ok"));
    auto oxygen = [&sim] { return sim.KeyValues(QStringLiteral("oxygen")); };
    const double deltaBefore = oxygen()[QStringLiteral("delta")];
    const double gasBefore = oxygen()[QStringLiteral("gas_mol")];
    ASSERT_EQ(sim.Command(QStringLiteral("set furnace 750")), QStringLiteral("ok"));
    EXPECT_EQ(oxygen()[QStringLiteral("furnace_c")], 750);
    double lastC = 700;
    bool between = false;
    ASSERT_TRUE(oxtiva::testing::WaitFor(
        [&] {
            const double c = oxygen()[QStringLiteral("temp_c")];
            EXPECT_GE(c, lastC - 1e-9) << "the cell warms towards the furnace, never past it";
            EXPECT_LE(c, 750 + 1e-9);
            between = between || (c > 701 && c < 749);
            lastC = c;
            return std::abs(c - 750) < 1e-3;
        },
        20000));
    EXPECT_TRUE(between) << "the cell took its time";
    const auto after = oxygen();
    EXPECT_GT(after.at(QStringLiteral("delta")), deltaBefore) << "warmer, it holds less oxygen";
    // What the sample gave off went into the gas, and nothing was lost in warming it.
    const double given = (after.at(QStringLiteral("delta")) - deltaBefore) * 0.01 / 2;
    EXPECT_NEAR(after.at(QStringLiteral("gas_mol")) - gasBefore, given, 1e-6 * given);
}

} // namespace
