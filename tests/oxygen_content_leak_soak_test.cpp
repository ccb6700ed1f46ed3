// The live oxygen balance against the simulated cell with a leak: the leak constant fitted
// with "Estimate" over a steady PID hold, then a PID step program through three decades of
// pO2 over a reducible sample, and the program's change of b over each step against the
// simulated sample's, with a leak through the electrolyte (quarter-power law) or through
// a seal (linear law); and a sample with a slow part beside a gradient part of the gas.
//
// The stability rule needs every step to settle to a steady current, so these runs take
// minutes: they are soak runs (ctest -L soak).

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/numeric_edits.h"
#include "science/oxygen_leak_fit.h"
#include "support/oxygen_sim_run.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

constexpr int StageTimeoutMs = 600000;
constexpr std::size_t HoldPoints = 20;

struct TLeakCase {
    const char* Name;
    double Alpha; // mol/(s atm^(1/4)): 1e-9 is some 0.2 mA at 1E-3 atm
    double Seal;  // mol/(s atm)
    TLeakLaw Law;
};

class OxygenContentLeakSoak : public ::testing::TestWithParam<TLeakCase>
{
};

TEST_P(OxygenContentLeakSoak, ChangeOfContentOverEachStepWithTheFittedLeak)
{
    const TLeakCase& c = GetParam();
    TOxygenSimRunOptions options;
    options.LeakAlpha = c.Alpha;
    options.SealLeak = c.Seal;
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));

    // A steady pump current at 1E-2 atm is all leak.
    w.RtDoubleEditPISSP->setValue(-2);
    run.Choose(w.RadioButtonPIDSet);
    ASSERT_TRUE(run.WaitSampling([&] { return SteadyHoldPoints(history).size() >= HoldPoints; },
                                 StageTimeoutMs));
    w.ComboBoxLeakLaw->setCurrentIndex(int(c.Law));
    w.ButtonEstimateLeakAlpha->click();
    const double alpha = w.RtDoubleEditLeakAlpha->value();
    const double seal = w.RtDoubleEditLeakSeal->value();
    std::printf("%s: alpha %.6g against %.6g, seal %.6g against %.6g: %s\n", c.Name, alpha, c.Alpha,
                seal, c.Seal, qPrintable(w.LabelLeakAlphaEstimate->text()));
    if (c.Alpha > 0) EXPECT_NEAR(alpha / c.Alpha, 1, 0.02);
    if (c.Seal > 0) EXPECT_NEAR(seal / c.Seal, 1, 0.02);

    // The steady point before the program is where its first step starts from.
    const std::size_t reference = history.Size() - 1;
    ASSERT_TRUE(run.RunStepProgram({3, 4, 5}, StageTimeoutMs))
        << "the step program did not end; balance points: " << history.Size();

    ASSERT_EQ(history.Isotherm().size(), 3u);
    EXPECT_EQ(history.Gaps(), 0);
    for (const TOxygenSimRun::TStepChange& step : run.StepChanges(reference)) {
        SCOPED_TRACE(step.Step);
        std::printf("step %d: b changed by %.6g, the sample's by %.6g (ratio %.4f)\n", step.Step,
                    step.Program, step.Sample, step.Program / step.Sample);
        EXPECT_LT(step.Sample, -0.01) << "the sample gives off oxygen as the pO2 falls";
        EXPECT_NEAR(step.Program / step.Sample, 1, 0.01);
    }
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cells, OxygenContentLeakSoak,
                         ::testing::Values(TLeakCase{"Electrolyte", 1e-9, 0, TLeakLaw::Electrolyte},
                                           TLeakCase{"Seal", 0, 2.5e-9, TLeakLaw::Seal}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A third of the sample follows with a time constant of a minute of wall clock, long
// against a step, and a gradient part holds a third of the gas. Without a leak the pump
// current settles at zero, whose relative change is noise: each step lasts the RC duration.
TEST(OxygenContentSlowSampleSoak, ChangeOfContentOverEachStepFollowsTheSlowSample)
{
    TOxygenSimRunOptions options;
    options.RCDurationS = 17;
    options.RCThresholdPercent = 1000;
    options.SlowShare = 0.3;
    options.SlowTimeConstantS = 60 * options.TimeScale;
    options.GradientVolumeL = 0.006;
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));
    ASSERT_TRUE(run.RunStepProgram({1, 2, 3}, StageTimeoutMs))
        << "the step program did not end; balance points: " << history.Size();

    ASSERT_EQ(history.Isotherm().size(), 3u);
    for (const TOxygenSimRun::TStepChange& step : run.StepChanges(0)) {
        SCOPED_TRACE(step.Step);
        std::printf("slow sample, step %d: b changed by %.6g, the sample's by %.6g (ratio "
                    "%.4f)\n",
                    step.Step, step.Program, step.Sample, step.Program / step.Sample);
        EXPECT_LT(step.Sample, -0.01);
        EXPECT_NEAR(step.Program / step.Sample, 1, 0.01);
    }
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
