// The progress label and the highlighted line of a running step program, read from grid
// rows written the way the data point assembly writes them.

#include "app/experiment/control_cycle.h"
#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "support/dialog_answerer.h"
#include "support/qstring_printer.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

struct TRow {
    int Step;
    double Time;
    bool StablepO2;
    bool InRange;
};

struct TProgressCase {
    const char* Name;
    TProgramState State;
    std::vector<TRow> Rows; // before them, a step-1 row that had settled
    const char* Stability;  // the label's last part
};

void PrintTo(const TProgressCase& c, std::ostream* os)
{
    *os << c.Name;
}

class StepProgramProgressTest : public ::testing::TestWithParam<TProgressCase>
{
  protected:
    void TearDown() override
    {
        EXPECT_TRUE(fMessages.Unexpected().isEmpty())
            << fMessages.Unexpected().join(" | ").toStdString();
    }

    // No instrument threads run; the control cycle allows for that.
    void Choose(QRadioButton* button)
    {
        fWindow.CheckBoxSMUValidated->setChecked(true);
        fWindow.CheckBox2000Validated->setChecked(true);
        fMessages.Expect(QMessageBox::Yes);
        button->click();
    }

    void AddDataRow(TProgramState state, const TRow& row)
    {
        TStringGrid& grid = *fWindow.StringGridData;
        const int r = grid.AddRow();
        const auto set = [&](TProperty q, const QString& text) {
            grid.SetCell(ColumnOf(q).ColID, r, text);
        };
        set(TProperty::Mode, QString::number(static_cast<int>(state) + 10));
        set(TProperty::Time, FormatFloat(ColumnOf(TProperty::Time).Format, row.Time));
        set(TProperty::Step, QString::number(row.Step));
        if (row.StablepO2) {
            set(TProperty::StablepO2, "True");
            set(TProperty::RCpO2, "0.004");
            set(TProperty::RCI, "-0.002");
            set(TProperty::StableI, "True");
        }
        if (row.InRange) set(TProperty::RangepO2, "True");
    }

    std::vector<int> HighlightedLines() const
    {
        std::vector<int> lines;
        const QListWidget& list = *fWindow.ListBoxStepProgram;
        for (int i = 0; i < list.count(); ++i)
            if (list.item(i)->background().style() != Qt::NoBrush) lines.push_back(i);
        return lines;
    }

    QTemporaryDir fProgramFolder;
    TfrmOxtiva fWindow{nullptr, fProgramFolder.path()};
    oxtiva::testing::TMessageBoxAnswerer fMessages;
};

TEST_P(StepProgramProgressTest, LabelAndHighlightFollowTheRunningStep)
{
    const TProgressCase& c = GetParam();
    Choose(fWindow.ControlCycle().ButtonOf(c.State));
    ASSERT_EQ(fWindow.State().ProgramState, c.State);
    AddDataRow(c.State, {1, 400, true, true});
    for (const TRow& row : c.Rows)
        AddDataRow(c.State, row);
    fWindow.State().StepIndex = 1;
    fWindow.State().StepStartTime = NowDays() - (12 * 60 + 30.2) / SecondsPerDay;
    fWindow.ControlCycle().Timer1Timer();

    EXPECT_FALSE(fWindow.LabelStepProgress->isHidden());
    EXPECT_EQ(fWindow.LabelStepProgress->text(),
              QStringLiteral("Step 2 of 8 · 00:12:30 in step · ") + c.Stability);
    EXPECT_EQ(HighlightedLines(), std::vector<int>{1});
    EXPECT_TRUE(fWindow.ListBoxStepProgram->selectedItems().isEmpty())
        << "the highlight is not a selection, which would load the line into the edits";

    fWindow.State().StepIndex = 2;
    fWindow.ControlCycle().Timer1Timer();
    EXPECT_TRUE(fWindow.LabelStepProgress->text().startsWith("Step 3 of 8 · "));
    EXPECT_TRUE(fWindow.LabelStepProgress->text().endsWith("waiting: no point of this step yet"));
    EXPECT_EQ(HighlightedLines(), std::vector<int>{2});

    Choose(fWindow.RadioButtonModeOff);
    fWindow.ControlCycle().Timer1Timer();
    EXPECT_TRUE(fWindow.LabelStepProgress->isHidden());
    EXPECT_TRUE(fWindow.LabelStepProgress->text().isEmpty());
    EXPECT_TRUE(HighlightedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StepProgramProgressTest,
    ::testing::Values(
        TProgressCase{
            "NoRowOfTheStepYet", TProgramState::PIDStep, {}, "waiting: no point of this step yet"},
        TProgressCase{"SettledSinceTheEndOfAnUnsettledPoint",
                      TProgramState::PIDStep,
                      {{2, 10, false, true}, {2, 20, true, true}, {2, 30, true, true}},
                      "pO2 stable for 00:00:20"},
        TProgressCase{"PidStepOutOfRangeIsNotSettled",
                      TProgramState::PIDStep,
                      {{2, 130, false, true}, {2, 140, true, true}, {2, 150, true, false}},
                      "waiting: RC pO2 0.004 % < 0.01 %, RC I -0.002 % < 0.01 %, pO2 not yet "
                      "within 0.01 % of the set point"},
        TProgressCase{"UnsettledNewestPointSaysWhy",
                      TProgramState::PPS,
                      {{2, 10, false, false}},
                      "waiting: RC pO2 not yet known, RC I not yet known, step shorter than the "
                      "RC duration of 120 s"},
        TProgressCase{"VoltageStepHasNoRangeRule",
                      TProgramState::PPS,
                      {{2, 10, false, false}, {2, 20, true, false}, {2, 30, true, false}},
                      "pO2 stable for 00:00:20"},
        TProgressCase{"SettledSinceTheStepBegan",
                      TProgramState::PPS,
                      {{2, 110, true, false}, {2, 120, true, false}},
                      "pO2 stable for 00:02:00"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace oxtiva
