// A pause under PID against the simulated cell with a leak: the pump holds its level and
// nothing is measured, so the balance must neither book the charge that went on flowing nor
// the leak it went on holding back. The window knows the simulator's leak, and the cell has
// no sample, so b has nothing to follow but the balance's own faults.

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/numeric_edits.h"
#include "science/oxygen_file.h"
#include "support/oxygen_sim_run.h"
#include "support/wait_for.h"

#include <QRadioButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

constexpr double LeakAlpha = 1e-9; // some 0.2 mA at 1E-3 atm
constexpr int StageTimeoutMs = 30000;

TEST(OxygenPauseSim, APauseUnderPIDBooksNeitherChargeNorLeak)
{
    TOxygenSimRunOptions options;
    options.SampleCapacityMol = 0;
    options.LeakAlpha = LeakAlpha;
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    w.RtDoubleEditLeakAlpha->setValue(LeakAlpha);
    const TOxygenHistory& history = w.OxygenContent().History();
    w.RtDoubleEditPISSP->setValue(-3);
    run.Choose(w.RadioButtonPIDSet);
    ASSERT_TRUE(run.WaitSampling(
        [&] {
            return history.Size() >= 8 && std::abs(std::log10(history.Last().Input.pO2) + 3) < 0.02;
        },
        StageTimeoutMs))
        << "the PID did not bring the cell to 1E-3 atm";
    ASSERT_TRUE(run.WaitSampling([&, n = history.Size()] { return history.Size() >= n + 3; },
                                 StageTimeoutMs));
    const std::size_t before = history.Size() - 1;
    double largestStep = 0; // of b from point to point while the PID holds
    for (std::size_t i = before - 2; i <= before; ++i)
        largestStep =
            std::max(largestStep, std::abs(history.At(i).Result.b - history.At(i - 1).Result.b));

    // Two seconds here are 12,000 s of the model's cell: twenty times the 600 s pause that
    // gave +8.1e-5 in b at 1E-10 atm.
    run.Choose(w.RadioButtonModeOff);
    ASSERT_EQ(w.State().ProgramState, TProgramState::Paused);
    oxtiva::testing::RunEventsFor(2000);
    EXPECT_EQ(history.Size(), before + 1) << "nothing is measured while paused";
    run.Choose(w.RadioButtonPIDSet);
    ASSERT_TRUE(run.WaitSampling([&] { return history.Size() >= before + 4; }, StageTimeoutMs));

    const TOxygenRecord& last = history.At(before);
    const TOxygenRecord& resumed = history.At(before + 1);
    EXPECT_GT(resumed.Input.StartS - last.Input.EndS, 1.5);
    EXPECT_TRUE(resumed.Input.AfterPause);
    EXPECT_TRUE(resumed.Result.AfterGap) << "b breaks at the pause";
    // The leak alone over the pause would have moved b by some 2e-3.
    const double leakOverPause = 2 * LeakFlow(LeakAlpha, 0.21, 1e-3) *
                                 (resumed.Input.StartS - last.Input.EndS) /
                                 w.RtDoubleEditn0->value();
    EXPECT_GT(leakOverPause, 1e-3);
    EXPECT_LT(std::abs(resumed.Result.b - last.Result.b),
              std::max(0.15 * leakOverPause, 3 * largestStep))
        << "b moved " << resumed.Result.b - last.Result.b << "; the leak over the pause is "
        << leakOverPause << ", a step of b while holding " << largestStep;

    // The balance file shows the break.
    TOxygenFileSnapshot snapshot = w.OxygenContent().FileSnapshot();
    TOxygenFileContent content = snapshot.Content;
    content.History = snapshot.History.get();
    const QStringList lines = QString::fromUtf8(BuildOxygenFile(content)).split("\r\n");
    const QStringList rows = lines.filter(QRegularExpression("^\\d{4}-"));
    const QStringList header = lines.filter(QRegularExpression("^time,")).value(0).split(',');
    const qsizetype gapColumn = header.indexOf("gap");
    ASSERT_GE(gapColumn, 0) << header.join(',').toStdString();
    ASSERT_GT(rows.size(), int(before + 1));
    EXPECT_EQ(rows[int(before + 1)].split(',').value(gapColumn), "1")
        << rows[int(before + 1)].toStdString();
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
