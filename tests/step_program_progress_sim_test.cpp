// A two-step PID program against the simulated cell, sped up ten thousand times, watched
// the way the operator watches it: the progress label above the list, the highlighted line,
// and the caption and the log once the program has ended.

#include "app/column_table.h"
#include "app/data_grid.h"
#include "app/main_window.h"
#include "app/numeric_edits.h"
#include "records/date_time.h"
#include "support/cell_sim.h"
#include "support/dialog_answerer.h"
#include "support/qstring_printer.h"
#include "support/wait_for.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace oxtiva;
using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;
using oxtiva::testing::TMessageBoxAnswerer;
using oxtiva::testing::WaitFor;

namespace
{

constexpr int ProgramTimeoutMs = 90000;

class StepProgramProgressSimTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        TCellSimOptions options;
        options.timeScale = 10000;
        // A leak the pump holds against gives the steady current a step needs to advance.
        options.extraArgs = {"--leak", "1e-8"};
        sim = std::make_unique<TCellSim>(options);
        window = std::make_unique<TfrmOxtiva>(nullptr, programFolder.path());
        window->RtDoubleEditDataPointLength->setValue(1);
        window->RtDoubleEditRCDuration->setValue(3);
        window->RtDoubleEditRCThreshold->setValue(1);
        window->RtDoubleEditPIDP->setValue(0); // automatic gains
        window->EditSMUCOMPort->setText(sim->SmuPort());
        window->ButtonSMUTest->click();
        window->Edit2000COMPort->setText(sim->DmmPort());
        window->Button2000Test->click();
        ASSERT_EQ(window->State().ProgramState, TProgramState::Paused);
    }

    void TearDown() override
    {
        if (window && window->State().ProgramState != TProgramState::ToExit) {
            answerer.Expect(QMessageBox::Ok);
            window->close();
        }
        window.reset();
        EXPECT_TRUE(answerer.Unexpected().isEmpty())
            << answerer.Unexpected().join(" | ").toStdString();
    }

    // Two steps close to the flush gas, so each settles within seconds at this speed.
    void WriteTwoStepProgram()
    {
        QListWidget& list = *window->ListBoxStepProgram;
        while (list.count() > 2)
            window->ButtonProgramDeleteStep->click();
        const double minusLogpO2[] = {0.85, 0.9};
        for (int i = 0; i < 2; ++i) {
            list.setCurrentRow(i);
            window->RtDoubleEditEditpO2->setValue(minusLogpO2[i]);
            window->ButtonProgramPumpVoltage->click();
        }
    }

    QString Cell(TProperty q, int row) const
    {
        return window->StringGridData->Cell(ColumnOf(q).ColID, row);
    }

    std::vector<int> HighlightedLines() const
    {
        std::vector<int> lines;
        const QListWidget& list = *window->ListBoxStepProgram;
        for (int i = 0; i < list.count(); ++i)
            if (list.item(i)->background().style() != Qt::NoBrush) lines.push_back(i);
        return lines;
    }

    // Whether the newest grid row of the running PID step has a steady pO2 at its set point;
    // false before the step has a row of its own.
    bool NewestRowOfStepSettled() const
    {
        const int last = window->StringGridData->RowCount() - 1;
        const QString step = QString::number(window->State().StepIndex + 1);
        if (Cell(TProperty::Mode, last) != "15" || Cell(TProperty::Step, last) != step)
            return false;
        return Cell(TProperty::StablepO2, last) == "True" &&
               Cell(TProperty::RangepO2, last) == "True";
    }

    // Called between passes of the control cycle while the program runs: the label, the
    // highlight and the grid come from the same pass, so they must agree.
    void CheckProgressWhileRunning()
    {
        const TSharedState& s = window->State();
        if (HasFailure() || s.ProgramState != TProgramState::PIDStep) return;
        const QString text = window->LabelStepProgress->text();
        if (text.isEmpty()) return; // the first pass after the choice has not run yet
        static const QRegularExpression pattern(
            R"(^Step (\d) of 2 · (\d\d):(\d\d):(\d\d) in step · )"
            R"((stable for \d\d:\d\d:\d\d|waiting for stability)$)");
        const QRegularExpressionMatch match = pattern.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        const int step = match.captured(1).toInt();
        EXPECT_EQ(step, s.StepIndex + 1);
        EXPECT_FALSE(window->LabelStepProgress->isHidden());
        EXPECT_EQ(HighlightedLines(), std::vector<int>{s.StepIndex});
        const int shownSeconds = match.captured(2).toInt() * 3600 + match.captured(3).toInt() * 60 +
                                 match.captured(4).toInt();
        if (s.StepStartTime < chosenAt) {
            EXPECT_EQ(shownSeconds, 0) << "the pump has not begun the first step yet";
        } else {
            const double inStep = (NowDays() - s.StepStartTime) * SecondsPerDay;
            EXPECT_LE(shownSeconds, inStep + 1);
            EXPECT_GE(shownSeconds, inStep - 2) << "the label lags more than a pass behind";
        }
        const bool stable = match.captured(5).startsWith("stable");
        EXPECT_EQ(stable, NewestRowOfStepSettled()) << text.toStdString();
        stepsSeen.insert(step);
    }

    QTemporaryDir programFolder;
    TMessageBoxAnswerer answerer;
    std::unique_ptr<TCellSim> sim;
    std::unique_ptr<TfrmOxtiva> window;
    TDateTime chosenAt = 0;
    std::set<int> stepsSeen;
};

TEST_F(StepProgramProgressSimTest, LabelAndHighlightFollowTheProgramAndItsEndIsAnnounced)
{
    WriteTwoStepProgram();
    EXPECT_TRUE(window->LabelStepProgress->isHidden());
    answerer.Expect(QMessageBox::Yes);
    chosenAt = NowDays();
    window->RadioButtonPIDStep->click();
    ASSERT_EQ(window->State().ProgramState, TProgramState::PIDStep);

    ASSERT_TRUE(WaitFor(
        [&] {
            CheckProgressWhileRunning();
            return window->State().ProgramState == TProgramState::ZeroCurrent;
        },
        ProgramTimeoutMs))
        << "the program did not finish; grid rows: " << window->StringGridData->RowCount();
    EXPECT_EQ(stepsSeen, (std::set<int>{1, 2}));
    EXPECT_EQ(window->State().StepIndex, 2);

    // The same pass that falls back clears the progress.
    EXPECT_TRUE(window->LabelStepProgress->isHidden());
    EXPECT_TRUE(window->LabelStepProgress->text().isEmpty());
    EXPECT_TRUE(HighlightedLines().empty());
    const QString caption = window->windowTitle();
    const QRegularExpressionMatch ended =
        QRegularExpression(R"(^Step program ended at (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)$)")
            .match(caption);
    ASSERT_TRUE(ended.hasMatch()) << caption.toStdString();
    const QDateTime when = QDateTime::fromString(ended.captured(1), "yyyy-MM-dd HH:mm:ss");
    EXPECT_LE(std::abs(when.secsTo(QDateTime::currentDateTime())), 5);
    window->LogDestination()->Flush();
    QFile log(programFolder.filePath("Logs/Log.csl"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains(caption));

    // Nothing runs any more, so nothing is highlighted on the next passes either.
    oxtiva::testing::RunEventsFor(600);
    EXPECT_TRUE(HighlightedLines().empty());
    EXPECT_TRUE(window->LabelStepProgress->isHidden());
}

} // namespace
