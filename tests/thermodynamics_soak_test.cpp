// The thermodynamics of a sample's oxygen against the simulated cell: a sample whose
// partial molar enthalpy and entropy of oxygen are known (both linear in delta), PID step
// programs of four pO2 steps at three furnace temperatures in one run, and the program's
// dh_O and ds_O from those isotherms against the sample's at three values of delta.
//
// Twelve steps of the sped-up cell, each lasting the RC duration, and three furnace changes
// take some minutes: a soak run (ctest -L soak).

#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/thermodynamics_page.h"
#include "app/window/numeric_edits.h"
#include "science/oxygen_thermodynamics.h"
#include "science/physical_constants.h"
#include "science/thermodynamics_file.h"
#include "support/oxygen_sim_run.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cmath>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

constexpr int StageTimeoutMs = 240000;

// The simulated sample: 1 g of a compound of 171.79 g/mol, as the run's window is told;
// dh_O = -100 - 200 delta kJ/mol, ds_O = -97.4 + 40 delta J/(mol K).
constexpr double CompoundMol = TOxygenSimRun::SampleMassG / TOxygenSimRun::SampleMolarMass;
constexpr double Dh0 = -100e3, Dh1 = -200e3, Ds0 = -97.4, Ds1 = 40;

double TrueDh(double delta) { return Dh0 + Dh1 * delta; }
double TrueDs(double delta) { return Ds0 + Ds1 * delta; }
double TrueDelta(double cellK, double pO2)
{
    return (GasConstant * cellK * std::log(pO2) / 2 - Dh0 + cellK * Ds0) / (Dh1 - cellK * Ds1);
}

// Without a leak the pump current settles at zero, whose relative change is noise: the
// relative changes are let through and a step ends once b has settled over the RC duration,
// so that its isotherm point, b's mean over that window, is the sample at rest.
constexpr double SettledContentDrift = 2e-4;
TOxygenSimRunOptions KnownSample()
{
    TOxygenSimRunOptions o;
    o.SampleCapacityMol = 0;
    o.CurrentLimitA = 0.005;
    o.RCDurationS = 8;
    o.RCThresholdPercent = 1000;
    o.ExtraSimArgs = {"--defect-sample",
                      QStringLiteral("%1:%2:%3:%4:%5")
                          .arg(CompoundMol, 0, 'g', 17)
                          .arg(Dh0 / 1000)
                          .arg(Dh1 / 1000)
                          .arg(Ds0)
                          .arg(Ds1),
                      "--furnace-time-constant", "600"};
    return o;
}

TEST(ThermodynamicsSim, EnthalpyAndEntropyOfOxygenAreTheSimulatedSamples)
{
    QElapsedTimer clock;
    clock.start();
    TOxygenSimRun run(KnownSample());
    TfrmOxtiva& w = run.Window();
    // The program's delta is bs - b: b0 the content the sample starts with, in equilibrium
    // with the flush gas at 800 °C.
    const double startDelta = TrueDelta(800 + ZeroCelsiusK, 0.21);
    w.RtDoubleEditb0->setValue(w.RtDoubleEditbs->value() - startDelta);
    w.EditSampleName->setText(QStringLiteral("Known"));
    w.RtDoubleEditContentDrift->setValue(SettledContentDrift);
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));

    for (double furnaceC : {700.0, 750.0, 800.0}) {
        SCOPED_TRACE(furnaceC);
        ASSERT_EQ(run.Sim().Command(QStringLiteral("set furnace %1").arg(furnaceC)),
                  QStringLiteral("ok"));
        ASSERT_TRUE(run.WaitSampling(
            [&] { return std::abs(w.State().CellTemperature - furnaceC) < 0.2; },
            StageTimeoutMs))
            << "the cell did not reach the furnace's temperature";
        ASSERT_TRUE(run.RunStepProgram({1, 2, 3, 4}, StageTimeoutMs))
            << "the step program did not end; balance points: " << history.Size();
    }
    ASSERT_EQ(history.Isotherm().size(), 12u);
    EXPECT_EQ(history.Gaps(), 0);

    const TThermodynamicsInput input = w.TabSheetThermodynamics->Input();
    for (const TIsothermSample& p : AllPoints(input))
        std::printf("isotherm point %.2f C pO2 %.4g delta %.5f +- %.5f, the sample's %.5f\n",
                    p.CellK - ZeroCelsiusK, p.pO2, p.Delta, p.DeltaSpread,
                    TrueDelta(p.CellK, p.pO2));
    const TThermodynamics result = FitThermodynamics(AllPoints(input));
    ASSERT_EQ(result.TemperaturesK.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(result.TemperaturesK[i] - ZeroCelsiusK, 700 + 50 * double(i), 1);
    for (double target : {0.075, 0.095, 0.12}) {
        const auto nearest = std::min_element(
            result.Rows.begin(), result.Rows.end(), [target](const auto& a, const auto& b) {
                return std::abs(a.Delta - target) < std::abs(b.Delta - target);
            });
        ASSERT_NE(nearest, result.Rows.end());
        const TThermodynamicsRow& row = *nearest;
        SCOPED_TRACE(row.Delta);
        EXPECT_EQ(row.Temperatures, 3);
        const double dh = TrueDh(row.Delta) / 1000;
        const double ds = TrueDs(row.Delta);
        std::printf("delta %.4f: dh_O %.3f +- %.3f kJ/mol (true %.3f), ds_O %.3f +- %.3f "
                    "J/(mol K) (true %.3f)\n",
                    row.Delta, row.dhO_kJ, row.dhO_Error, dh, row.dsO_J, row.dsO_Error, ds);
        EXPECT_NEAR(row.dhO_kJ, dh, 0.02 * std::abs(dh));
        EXPECT_NEAR(row.dsO_J, ds, 2);
        EXPECT_LE(std::abs(row.dhO_kJ - dh), row.dhO_Error) << "the stated error covers it";
        EXPECT_LE(std::abs(row.dsO_J - ds), row.dsO_Error) << "the stated error covers it";
    }

    // A save writes the same fit beside its data file.
    w.Save();
    ASSERT_TRUE(w.Saver().WaitUntilSaved());
    const QString saved = QFileInfo(w.Saver().LastSavedPath())
                              .dir()
                              .filePath(ThermodynamicsFileName(QStringLiteral("Known")));
    EXPECT_TRUE(QFileInfo::exists(saved)) << saved.toStdString();
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
    std::printf("run took %.0f s\n", clock.elapsed() / 1000.0);
}

} // namespace
