// A blank run against the simulated cell: an empty cell (no sample) of a known gas volume
// with a leak through the electrolyte, driven at three pump voltages, and the gas volume
// and alpha from the blank run's "Calibrate" against the simulator's.

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/numeric_edits.h"
#include "science/blank_run_fit.h"
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

constexpr int StageTimeoutMs = 120000;
constexpr std::size_t PointsPerLevel = 10;

TEST(BlankRunSim, FindsTheSimulatedGasVolumeAndAlpha)
{
    TOxygenSimRunOptions options;
    options.SampleCapacityMol = 0;
    options.GasVolumeL = 0.015;
    options.LeakAlpha = 1e-9;
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const double trueVolumeL = options.GasVolumeL / options.TimeScale;
    w.RtDoubleEditVHPS->setValue(0.012 / options.TimeScale); // not yet calibrated
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));

    // Each pump voltage takes the gas to a pO2 where the pump carries off what leaks in.
    w.RtIntegerEditSetVoltage->setValue(100);
    run.Choose(w.RadioButtonSetVoltage);
    for (const int millivolts : {100, 150, 60}) {
        w.RtIntegerEditSetVoltage->setValue(millivolts);
        const std::size_t from = history.Size();
        ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= from + PointsPerLevel; },
                                     StageTimeoutMs))
            << millivolts << " mV";
    }
    w.ComboBoxLeakLaw->setCurrentIndex(int(TLeakLaw::Electrolyte));
    w.ButtonCalibrateBlankRun->click();
    const double volume = w.RtDoubleEditVHPS->value();
    const double alpha = w.RtDoubleEditLeakAlpha->value();
    std::printf("blank run: volume %.6g against %.6g (ratio %.4f), alpha %.6g against %.6g "
                "(ratio %.4f): %s\n",
                volume, trueVolumeL, volume / trueVolumeL, alpha, options.LeakAlpha,
                alpha / options.LeakAlpha, qPrintable(w.LabelBlankRunCalibration->text()));
    EXPECT_NEAR(volume / trueVolumeL, 1, 0.02);
    EXPECT_NEAR(alpha / options.LeakAlpha, 1, 0.02);
    EXPECT_TRUE(w.ButtonUndoBlankRunCalibration->isEnabled());
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
