// The live oxygen balance against the simulated cell: a PID step program through three
// decades of pO2 over a reducible sample without any leak, and the program's change of
// the oxygen content b over each step against the change the simulated sample really went
// through.

#include "app/main_window.h"
#include "app/oxygen_content.h"
#include "app/oxygen_content_page.h"
#include "support/oxygen_sim_run.h"

#include <QRadioButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <cmath>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

constexpr int StageTimeoutMs = 150000;

// Without a leak the pump current settles at zero, whose relative change is noise: the
// stability rule cannot see a step's end. It is opened wide, so each step lasts the RC
// duration, which outlasts the pumping (some 15 s a decade at 1 mA) and the PID's settling.
TOxygenSimRunOptions NoLeak()
{
    TOxygenSimRunOptions o;
    o.RCDurationS = 17;
    o.RCThresholdPercent = 1000;
    return o;
}

TEST(OxygenContentSim, ChangeOfContentOverEachStepIsThatOfTheSimulatedSample)
{
    TOxygenSimRun run(NoLeak());
    TfrmOxtiva& w = run.Window();
    const TOxygenHistory& history = w.OxygenContent().History();
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 3; }, StageTimeoutMs));
    run.EnterStepProgram({1, 2, 3});
    run.Choose(w.RadioButtonPIDStep);
    ASSERT_TRUE(run.WaitSampling(
        [&] { return w.State().ProgramState == TProgramState::ZeroCurrent; }, StageTimeoutMs))
        << "the step program did not end; balance points: " << history.Size();

    ASSERT_EQ(history.Isotherm().size(), 3u);
    EXPECT_EQ(history.Gaps(), 0);
    double programBefore = history.At(0).Result.b;
    double trueBefore = run.TrueContentAt(history.At(0).Result.TimeS);
    for (const TIsothermPoint& point : history.Isotherm()) {
        SCOPED_TRACE(point.Step);
        const TOxygenRecord& end = history.At(point.Index);
        EXPECT_NEAR(std::log10(end.Input.pO2), -point.Step, 0.1) << "the step reached its pO2";
        const double program = end.Result.b - programBefore;
        const double real = run.TrueContentAt(end.Result.TimeS) - trueBefore;
        EXPECT_LT(real, -0.02) << "the sample gives off oxygen as the pO2 falls";
        EXPECT_NEAR(program / real, 1, 0.01) << program << " against " << real;
        programBefore = end.Result.b;
        trueBefore += real;
    }
    EXPECT_EQ(w.TabSheetOxygenContent->StringGridIsotherm->rowCount(), 3);
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
