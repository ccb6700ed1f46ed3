#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/status_bar.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

const QStringList DefaultLines = {
    QStringLiteral("0001   -4          45"),  QStringLiteral("0002   -5          115"),
    QStringLiteral("0003   -6          227"), QStringLiteral("0004   -7          361"),
    QStringLiteral("0005   -8          387"), QStringLiteral("0006   -9          420"),
    QStringLiteral("0007   -10         466"), QStringLiteral("0008   -11         525")};

TEST(InstrumentStatus, IsValidInEveryStateButUninitialized)
{
    EXPECT_EQ(InstrumentStatus(TProgramState::Uninitialized).Text,
              QStringLiteral("Invalid instruments"));
    EXPECT_EQ(InstrumentStatus(TProgramState::Uninitialized).Picture, PictureBad);
    for (auto state : {TProgramState::Paused, TProgramState::ZeroCurrent, TProgramState::PPS,
                       TProgramState::ToExit}) {
        EXPECT_EQ(InstrumentStatus(state).Text, QStringLiteral("Valid instruments"));
        EXPECT_EQ(InstrumentStatus(state).Picture, PictureGood);
    }
}

struct TTemperatureCase {
    double Temperature;
    const char* Text;
    int Picture;
};

class TemperatureStatusOf : public ::testing::TestWithParam<TTemperatureCase>
{
};

TEST_P(TemperatureStatusOf, ShowsTheTemperatureBetweenTheSensorBounds)
{
    const TTemperatureCase c = GetParam();
    const TStatusText status = TemperatureStatus(c.Temperature);
    EXPECT_EQ(status.Text, QString::fromUtf8(c.Text));
    EXPECT_EQ(status.Picture, c.Picture);
}

// A reading older than a point's length, while the multimeter should be read, is the cell's
// temperature no longer: the lamp turns from green to the warning and says how old it is.
TEST(TemperatureStatus, MarksAStaleReadingInsteadOfShowingItGreen)
{
    const TStatusText fresh = TemperatureStatus(845.3, 4, 10);
    EXPECT_EQ(fresh.Picture, PictureGood);
    EXPECT_EQ(fresh.Text, QStringLiteral("T, ºC: 500 < 845.3 < 1055"));
    const TStatusText stale = TemperatureStatus(845.3, 42.7, 10);
    EXPECT_EQ(stale.Picture, PictureWarning);
    EXPECT_EQ(stale.Text, QStringLiteral("T, ºC: 500 < 845.3 < 1055, no reading for 42 s"));
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, TemperatureStatusOf,
    ::testing::Values(TTemperatureCase{0, "T, ºC: 500 < 0.0 < 1055", PictureBad},
                      TTemperatureCase{500, "T, ºC: 500 < 500.0 < 1055", PictureBad},
                      TTemperatureCase{500.01, "T, ºC: 500 < 500.0 < 1055", PictureGood},
                      TTemperatureCase{845.3, "T, ºC: 500 < 845.3 < 1055", PictureGood},
                      TTemperatureCase{1054.99, "T, ºC: 500 < 1055.0 < 1055", PictureGood},
                      TTemperatureCase{1055, "T, ºC: 500 < 1055.0 < 1055", PictureBad},
                      TTemperatureCase{-12.34, "T, ºC: 500 < -12.3 < 1055", PictureBad}));

struct TRCCase {
    TProgramState State;
    const char* Cell;
    const char* Text;
};

TEST(RelativeChangeStatus, ShowsTheLastRowsValueOnlyWhileTheRCMatters)
{
    const TRCCase cases[] = {
        {TProgramState::SetVoltage, "0.123", "Relative change (RC) last 100 s: 0.123 %"},
        {TProgramState::PIDSet, "-0.004", "Relative change (RC) last 100 s: -0.004 %"},
        {TProgramState::PIDStep, "", "Relative change (RC) last 100 s: not yet known"},
        {TProgramState::ZeroCurrent, "0.123", "Relative change (RC) last 100 s: Unknown"},
        {TProgramState::PPS, "0.123", "Relative change (RC) last 100 s: Unknown"},
        {TProgramState::Paused, "0.123", "Relative change (RC) last 100 s: Unknown"},
        {TProgramState::Uninitialized, "", "Relative change (RC) last 100 s: Unknown"}};
    for (const TRCCase& c : cases)
        EXPECT_EQ(RelativeChangeStatus(c.State, 100, QString::fromLatin1(c.Cell)),
                  QString::fromLatin1(c.Text));
    EXPECT_EQ(RelativeChangeStatus(TProgramState::PPS, 0.5, {}),
              QStringLiteral("Relative change (RC) last 0.5 s: Unknown"));
}

TEST(StepStatus, ShowsTheStepNumberOnlyInAStepProgramWithinTheList)
{
    EXPECT_EQ(StepStatus(TProgramState::PIDStep, 2, DefaultLines),
              QStringLiteral("Mode: Step:0003"));
    EXPECT_EQ(StepStatus(TProgramState::PIDStep, 0, DefaultLines),
              QStringLiteral("Mode: Step:0001"));
    EXPECT_EQ(StepStatus(TProgramState::PIDStep, 8, DefaultLines), QStringLiteral("Mode: PIDStep"));
    EXPECT_EQ(StepStatus(TProgramState::PIDStep, 0, {}), QStringLiteral("Mode: PIDStep"));
    EXPECT_EQ(StepStatus(TProgramState::PPS, 2, DefaultLines), QStringLiteral("Mode: PPS"));
    EXPECT_EQ(StepStatus(TProgramState::ZeroCurrent, 2, DefaultLines),
              QStringLiteral("Mode: ZeroCurrent"));
    EXPECT_EQ(StepStatus(TProgramState::Uninitialized, 0, DefaultLines),
              QStringLiteral("Mode: Uninitialized"));
}

TEST(StatusPictures, DifferBetweenBadAndGood)
{
    const auto& pictures = StatusPictures();
    ASSERT_FALSE(pictures[PictureBad].isNull());
    ASSERT_FALSE(pictures[PictureGood].isNull());
    const QImage bad = pictures[PictureBad].toImage();
    const QImage good = pictures[PictureGood].toImage();
    const QPoint centre(bad.width() / 2, bad.height() / 2);
    EXPECT_GT(qRed(bad.pixel(centre)), qGreen(bad.pixel(centre)));
    EXPECT_GT(qGreen(good.pixel(centre)), qRed(good.pixel(centre)));
}

class WindowStatusbar : public ::testing::Test
{
  protected:
    TfrmOxtiva w;
    TSharedState& s = w.State();

    int AddRowWithRC(const QString& aRC)
    {
        const int row = w.StringGridData->AddRow();
        w.StringGridData->SetCell(ColumnOf(TProperty::RCpO2).ColID, row, aRC);
        return row;
    }
};

TEST_F(WindowStatusbar, ShowsTheStartUpTextsInItsPanesLeftToRight)
{
    w.Statusbar();
    EXPECT_EQ(w.GlyphStatus1->Text(), QStringLiteral("Invalid instruments"));
    EXPECT_EQ(w.GlyphStatus1->Picture(), PictureBad);
    EXPECT_EQ(w.GlyphStatus2->Text(), QStringLiteral("T, ºC: 500 < 0.0 < 1055"));
    EXPECT_EQ(w.GlyphStatus2->Picture(), PictureBad);
    EXPECT_EQ(w.StatusPaneRC->text(), QStringLiteral("Relative change (RC) last 100 s: Unknown"))
        << "before the first pass, the duration the edit holds";
    EXPECT_EQ(w.StatusPaneStep->text(), QStringLiteral("Mode: Uninitialized"));
    EXPECT_TRUE(w.GlyphStatusAlarmTrace->isHidden()) << "no alarm has ended";
    EXPECT_TRUE(w.ButtonAcknowledgeAlarm->isHidden());
    const QList<QWidget*> panes = {w.GlyphStatus1, w.GlyphStatus2, w.StatusPaneFlushpO2,
                                   w.StatusPaneRC, w.StatusPaneStep};
    const char* names[] = {"GlyphStatus1", "GlyphStatus2", "StatusPaneFlushpO2", "StatusPaneRC",
                           "StatusPaneStep"};
    for (int i = 0; i < panes.size(); ++i) {
        EXPECT_EQ(panes[i]->objectName(), QString::fromLatin1(names[i]));
        EXPECT_EQ(panes[i]->parentWidget(), static_cast<QWidget*>(w.StatusBar1)) << names[i];
    }
}

TEST_F(WindowStatusbar, ReadsTheRCOfTheLastGridRow)
{
    s.ProgramState = TProgramState::PIDSet;
    s.RCDuration = 100;
    AddRowWithRC(QStringLiteral("1.000"));
    AddRowWithRC(QStringLiteral("0.250"));
    w.Statusbar();
    EXPECT_EQ(w.StatusPaneRC->text(), QStringLiteral("Relative change (RC) last 100 s: 0.250 %"));
    AddRowWithRC(QString()); // a state row
    w.Statusbar();
    EXPECT_EQ(w.StatusPaneRC->text(),
              QStringLiteral("Relative change (RC) last 100 s: not yet known"));
    s.ProgramState = TProgramState::ZeroCurrent;
    AddRowWithRC(QStringLiteral("0.250"));
    w.Statusbar();
    EXPECT_EQ(w.StatusPaneRC->text(), QStringLiteral("Relative change (RC) last 100 s: Unknown"));
}

TEST_F(WindowStatusbar, ShowsTheStepOfTheRunningProgramFromTheList)
{
    s.ProgramState = TProgramState::PIDStep;
    s.StepIndex = 2;
    s.CellTemperature = 845.3;
    w.Statusbar();
    EXPECT_EQ(w.StatusPaneStep->text(), QStringLiteral("Mode: Step:0003"));
    EXPECT_EQ(w.GlyphStatus1->Text(), QStringLiteral("Valid instruments"));
    EXPECT_EQ(w.GlyphStatus1->Picture(), PictureGood);
    EXPECT_EQ(w.GlyphStatus2->Picture(), PictureGood);
    w.ListBoxStepProgram->item(2)->setText(QStringLiteral("0042   -6          227"));
    w.Statusbar();
    EXPECT_EQ(w.StatusPaneStep->text(), QStringLiteral("Mode: Step:0042"));
    s.ProgramState = TProgramState::PPS;
    w.Statusbar();
    EXPECT_EQ(w.StatusPaneStep->text(), QStringLiteral("Mode: PPS"));
}

} // namespace
