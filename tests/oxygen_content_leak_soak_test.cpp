// The live oxygen balance against the simulated cell with a leak through the electrolyte
// that follows the quarter-power law: alpha estimated with the button from a steady PID
// point, then a PID step program through three decades of pO2 over a reducible sample,
// and the program's change of b over each step against the simulated sample's.
//
// The stability rule needs every step to settle to a steady current, so this run takes
// minutes: it is a soak run (ctest -L soak).

#include "app/main_window.h"
#include "app/numeric_edits.h"
#include "app/oxygen_content.h"
#include "support/oxygen_sim_run.h"

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
constexpr double Alpha = 1e-9; // mol/(s atm^(1/4)): some 0.2 mA at 1E-3 atm

TEST(OxygenContentLeakSoak, ChangeOfContentOverEachStepWithTheEstimatedLeak)
{
    TOxygenSimRunOptions options;
    options.LeakAlpha = Alpha;
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));

    // A steady pump current at 1E-2 atm is all leak.
    w.RtDoubleEditPISSP->setValue(-2);
    run.Choose(w.RadioButtonPIDSet);
    ASSERT_TRUE(run.WaitSampling([&] { return w.OxygenContent().LastSteadyPIDRow().has_value(); },
                                 StageTimeoutMs));
    w.ButtonEstimateLeakAlpha->click();
    const double alpha = w.RtDoubleEditLeakAlpha->value();
    std::printf("alpha %.6g against %.6g: %s\n", alpha, Alpha,
                qPrintable(w.LabelLeakAlphaEstimate->text()));
    EXPECT_NEAR(alpha / Alpha, 1, 0.03);

    // The steady point before the program is where its first step starts from.
    const std::size_t reference = history.Size() - 1;
    ASSERT_TRUE(run.RunStepProgram({3, 4, 5}, StageTimeoutMs))
        << "the step program did not end; balance points: " << history.Size();

    ASSERT_EQ(history.Isotherm().size(), 3u);
    EXPECT_EQ(history.Gaps(), 0);
    for (const TOxygenSimRun::TStepChange& c : run.StepChanges(reference)) {
        SCOPED_TRACE(c.Step);
        std::printf("step %d: b changed by %.6g, the sample's by %.6g (ratio %.4f)\n", c.Step,
                    c.Program, c.Sample, c.Program / c.Sample);
        EXPECT_LT(c.Sample, -0.02) << "the sample gives off oxygen as the pO2 falls";
        EXPECT_NEAR(c.Program / c.Sample, 1, 0.03);
    }
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
