// The pump record against the simulated cell: the window's thread stalls (as a save does)
// just as the set current changes, and the charge the balance books is the charge the
// simulated pump passed, the stall included.

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/numeric_edits.h"
#include "support/oxygen_sim_run.h"

#include <QRadioButton>
#include <QThread>

#include <gtest/gtest.h>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

constexpr int StageTimeoutMs = 60000;
constexpr double SetMicroamperes = 5;
constexpr unsigned long StallMs = 2000;

TEST(OxygenPumpRecordSim, AStalledHandOverIsBookedAtTheCurrentThatFlowedThrough)
{
    TOxygenSimRunOptions options;
    options.TimeScale = 1; // the simulator's charge is then the program's
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const TOxygenHistory& history = w.OxygenContent().History();
    auto trueCharge = [&] { return run.Sim().KeyValues(QStringLiteral("oxygen"))["charge_c"]; };
    run.Choose(w.RadioButtonModePassive);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= 2; }, StageTimeoutMs));

    // No current flows yet, so where the truth is taken within a point does not matter.
    const std::size_t reference = history.Size() - 1;
    const double chargeBefore = trueCharge();
    w.RtIntegerEditCurrentmA->setValue(int(SetMicroamperes));
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= reference + 4; }, StageTimeoutMs));
    // The pump thread has a reading at the set current waiting for its hand-over; the
    // current is set to nothing and the window's thread stalls before it takes it. The
    // pump keeps its level through the stall.
    w.RtIntegerEditCurrentmA->setValue(0);
    w.State().GSCurrent = 0;
    QThread::msleep(StallMs);
    const std::size_t stalled = history.Size();
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= stalled + 3; }, StageTimeoutMs));

    const double truth = trueCharge() - chargeBefore;
    const double booked = history.Last().Result.ChargeC - history.At(reference).Result.ChargeC;
    EXPECT_GT(truth, SetMicroamperes * 1e-6 * (StallMs / 1000.0 + 1)) << "the stall's share";
    EXPECT_NEAR(booked / truth, 1, 0.02) << booked << " C booked against " << truth;
    EXPECT_EQ(history.Gaps(), 0) << "the stall's current is known";
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
