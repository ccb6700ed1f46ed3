// Three runs against the simulated cell, each with its own seed and 1 % of further noise on
// every pump current reading: the gas volume of a blank run, then with the leak fitted by
// "Estimate", the change of b over each step of a program, each within 1 % of the
// simulator's. One run that happens to come out right proves little; three that share
// nothing but the cell show what the stated errors promise.
//
// Each run takes minutes: soak runs (ctest -L soak).

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

#include <cstdio>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

constexpr int StageTimeoutMs = 600000;
constexpr double CurrentNoise = 0.01;

class ThreeRunsSoak : public ::testing::TestWithParam<unsigned>
{
};

TEST_P(ThreeRunsSoak, BlankRunFindsTheGasVolume)
{
    TOxygenSimRunOptions options;
    options.SampleCapacityMol = 0;
    options.GasVolumeL = 0.015;
    options.LeakAlpha = 1e-9;
    options.CurrentNoise = CurrentNoise;
    options.Seed = GetParam();
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const double trueVolumeL = options.GasVolumeL / options.TimeScale;
    w.RtDoubleEditVHPS->setValue(0.012 / options.TimeScale);
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));
    w.RtIntegerEditSetVoltage->setValue(100);
    run.Choose(w.RadioButtonSetVoltage);
    for (const int millivolts : {100, 150, 60}) {
        w.RtIntegerEditSetVoltage->setValue(millivolts);
        const std::size_t from = history.Size();
        ASSERT_TRUE(
            run.WaitSampling([&] { return history.Size() >= from + 20; }, StageTimeoutMs));
    }
    w.ComboBoxLeakLaw->setCurrentIndex(int(TLeakLaw::Electrolyte));
    w.ButtonCalibrateBlankRun->click();
    const double volume = w.RtDoubleEditVHPS->value();
    std::printf("seed %u, blank run: volume %.4f of the simulator's, alpha %.4f: %s\n",
                GetParam(), volume / trueVolumeL, w.RtDoubleEditLeakAlpha->value() / options.LeakAlpha,
                qPrintable(w.LabelBlankRunCalibration->text()));
    ASSERT_TRUE(w.ButtonUndoBlankRunCalibration->isEnabled()) << "refused";
    EXPECT_NEAR(volume / trueVolumeL, 1, 0.01);
}

TEST_P(ThreeRunsSoak, EachStepsChangeOfContentWithTheFittedLeak)
{
    TOxygenSimRunOptions options;
    options.LeakAlpha = 1e-9;
    options.CurrentNoise = CurrentNoise;
    options.Seed = GetParam();
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));
    w.RtDoubleEditPISSP->setValue(-2);
    run.Choose(w.RadioButtonPIDSet);
    ASSERT_TRUE(run.WaitSampling([&] { return SteadyHoldPoints(history).size() >= 30; },
                                 StageTimeoutMs));
    w.ComboBoxLeakLaw->setCurrentIndex(int(TLeakLaw::Electrolyte));
    w.ButtonEstimateLeakAlpha->click();
    const double alpha = w.RtDoubleEditLeakAlpha->value();
    std::printf("seed %u, estimate: alpha %.4f of the simulator's: %s\n", GetParam(),
                alpha / options.LeakAlpha, qPrintable(w.LabelLeakAlphaEstimate->text()));
    EXPECT_NEAR(alpha / options.LeakAlpha, 1, 0.02);

    const std::size_t reference = history.Size() - 1;
    ASSERT_TRUE(run.RunStepProgram({3, 4, 5}, StageTimeoutMs));
    ASSERT_EQ(history.Isotherm().size(), 3u);
    for (const TOxygenSimRun::TStepChange& step : run.StepChanges(reference)) {
        SCOPED_TRACE(step.Step);
        std::printf("seed %u, step %d: b changed by %.6g, the sample's by %.6g (ratio %.4f)\n",
                    GetParam(), step.Step, step.Program, step.Sample, step.Program / step.Sample);
        EXPECT_NEAR(step.Program / step.Sample, 1, 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ThreeRunsSoak, ::testing::Values(11u, 12u, 13u));

} // namespace
