#include "app/main_window.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "app/window/status_bar.h"
#include "app/window/window_caption.h"
#include "records/date_time.h"
#include "support/cell_sim.h"
#include "support/dialog_answerer.h"
#include "support/qstring_printer.h"
#include "support/wait_for.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace oxtiva;
using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;
using oxtiva::testing::TMessageBoxAnswerer;
using oxtiva::testing::WaitFor;

namespace
{

QStringList LogLinesWith(const TfrmOxtiva& aWindow, const QString& aText)
{
    aWindow.LogDestination()->Flush();
    QFile log(aWindow.LogDestination()->FilePath());
    if (!log.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(log.readAll()).split(u'\n').filter(aText);
}

// The time the pane gives, "yyyy-mm-dd hh:mm:ss" at its end, as a day count.
TDateTime SinceOf(const QString& aPaneText)
{
    const auto match =
        QRegularExpression(R"(since (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)$)").match(aPaneText);
    if (!match.hasMatch()) return 0;
    return ToDays(QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

// An instrument that stops answering mid-run: nothing else would tell the operator that
// no data point has come for hours. The threshold is half a minute, at a data point
// length of 1 s, so this test waits that long.
TEST(InstrumentAlarm, ASilentSourceMeterRaisesTheAlarmAfterHalfAMinuteUntilItAnswersAgain)
{
    QTemporaryDir programFolder;
    TCellSimOptions options;
    options.timeScale = 20;
    TCellSim sim(options);
    TMessageBoxAnswerer answerer;
    TfrmOxtiva window(nullptr, programFolder.path());
    window.RtDoubleEditDataPointLength->setValue(1);
    window.EditSMUCOMPort->setText(sim.SmuPort());
    window.ButtonSMUTest->click();
    window.Edit2000COMPort->setText(sim.DmmPort());
    window.Button2000Test->click();
    ASSERT_EQ(window.State().ProgramState, TProgramState::Paused);
    answerer.Expect(QMessageBox::Yes);
    window.RadioButtonModePassive->click();
    ASSERT_EQ(window.State().ProgramState, TProgramState::ZeroCurrent);
    const int rows = window.StringGridData->RowCount();
    ASSERT_TRUE(WaitFor([&] { return window.StringGridData->RowCount() > rows + 1; }))
        << "no data points before the fault";
    EXPECT_EQ(window.GlyphStatus1->Text(), "Valid instruments");

    ASSERT_EQ(sim.Command("fault smu silent"), "ok");
    const TDateTime silenced = NowDays();
    ASSERT_TRUE(
        WaitFor([&] { return window.Caption().Holds(TCaptionNotice::InstrumentAlarm); }, 60000));
    const double waited = (NowDays() - silenced) * SecondsPerDay;
    EXPECT_GT(waited, 28) << "the last good reading came just before the fault";
    EXPECT_LT(waited, 40);

    const QString pane = window.GlyphStatus1->Text();
    EXPECT_TRUE(pane.startsWith("No reading from SourceMeter 2401 since ")) << pane.toStdString();
    EXPECT_FALSE(pane.contains("MultiMeter")) << "the multimeter still reads";
    EXPECT_EQ(window.GlyphStatus1->Picture(), PictureBad);
    const TDateTime since = SinceOf(pane);
    EXPECT_NEAR(since, silenced, 3 / SecondsPerDay) << pane.toStdString();
    EXPECT_TRUE(window.windowTitle().contains(pane)) << window.windowTitle().toStdString();
    oxtiva::testing::RunEventsFor(1500);
    const QStringList raised = LogLinesWith(window, "Instrument alarm: ");
    ASSERT_EQ(raised.size(), 1) << raised.join('\n').toStdString();
    EXPECT_TRUE(raised.front().contains(pane)) << raised.front().toStdString();

    ASSERT_EQ(sim.Command("fault smu none"), "ok");
    ASSERT_TRUE(
        WaitFor([&] { return !window.Caption().Holds(TCaptionNotice::InstrumentAlarm); }, 15000));
    EXPECT_EQ(window.GlyphStatus1->Text(), "Valid instruments");
    EXPECT_EQ(window.GlyphStatus1->Picture(), PictureGood);
    EXPECT_EQ(window.windowTitle(), "Oxtiva");
    EXPECT_EQ(LogLinesWith(window, "Instrument alarm cleared: SourceMeter 2401").size(), 1);

    // The operator who comes back later still learns of it, until acknowledging it.
    oxtiva::testing::RunEventsFor(1500);
    ASSERT_FALSE(window.GlyphStatusAlarmTrace->isHidden());
    ASSERT_FALSE(window.ButtonAcknowledgeAlarm->isHidden());
    const QString trace = window.GlyphStatusAlarmTrace->Text();
    const QString sinceText = pane.mid(pane.lastIndexOf(" since ") + 7);
    EXPECT_TRUE(trace.startsWith("SourceMeter 2401 silent from " + sinceText + " for "))
        << trace.toStdString();
    EXPECT_TRUE(trace.endsWith(", reads again")) << trace.toStdString();
    const auto silent = QRegularExpression(R"( for (\d+) s, )").match(trace);
    ASSERT_TRUE(silent.hasMatch()) << trace.toStdString();
    EXPECT_GT(silent.captured(1).toInt(), 28);
    EXPECT_LT(silent.captured(1).toInt(), 60);
    EXPECT_EQ(window.GlyphStatusAlarmTrace->Picture(), PictureWarning);
    window.ButtonAcknowledgeAlarm->click();
    EXPECT_TRUE(window.GlyphStatusAlarmTrace->isHidden());
    EXPECT_TRUE(window.ButtonAcknowledgeAlarm->isHidden());
    oxtiva::testing::RunEventsFor(600);
    EXPECT_TRUE(window.GlyphStatusAlarmTrace->isHidden()) << "acknowledged for good";

    answerer.Expect(QMessageBox::Ok);
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(answerer.Unexpected().isEmpty());
}

} // namespace
