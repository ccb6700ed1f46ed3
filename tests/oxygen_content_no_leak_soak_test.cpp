// The live oxygen balance against the simulated cell: a PID step program through three
// decades of pO2 over a reducible sample without any leak, and the program's change of
// the oxygen content b over each step against the change the simulated sample really went
// through.
//
// It compares each step's b with the simulator's truth sampled by polling while the run goes
// on, so on a loaded machine the two can be taken seconds apart and differ by a few percent:
// a soak run (ctest -L soak), for a quiet machine.

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/oxygen_content_page.h"
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
    ASSERT_TRUE(run.RunStepProgram({1, 2, 3}, StageTimeoutMs))
        << "the step program did not end; balance points: " << history.Size();

    ASSERT_EQ(history.Isotherm().size(), 3u);
    EXPECT_EQ(history.Gaps(), 0);
    for (const TOxygenSimRun::TStepChange& c : run.StepChanges(0)) {
        SCOPED_TRACE(c.Step);
        EXPECT_NEAR(std::log10(c.pO2), -c.Step, 0.3) << "the step took the cell near its pO2";
        EXPECT_LT(c.Sample, -0.02) << "the sample gives off oxygen as the pO2 falls";
        EXPECT_NEAR(c.Program / c.Sample, 1, 0.01) << c.Program << " against " << c.Sample;
    }
    EXPECT_EQ(w.TabSheetOxygenContent->StringGridIsotherm->rowCount(), 3);
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
