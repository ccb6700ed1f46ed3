#include "app/pages/step_program_progress.h"

#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/window_caption.h"
#include "control/relative_change.h"
#include "control/step_progress.h"
#include "records/date_time.h"
#include "records/number_format.h"

#include <QLabel>
#include <QListWidget>

#include <algorithm>

namespace oxtiva
{

namespace
{

const QString TrueText = QStringLiteral("True");

// Data rows carry the pump mode + 10; for the step programs that is the state's ordinal + 10.
QString ModeCode(TProgramState aState)
{
    return QString::number(static_cast<int>(aState) + 10);
}

} // namespace

TStepProgramProgress::TStepProgramProgress(TfrmOxtiva& window) : fWindow(window)
{
    fLog.SetDestination(fWindow.LogDestination());
}

void TStepProgramProgress::Update()
{
    const TSharedState& s = fWindow.State();
    const int count = fWindow.ListBoxStepProgram->count();
    QLabel& label = *fWindow.LabelStepProgress;
    if (!IsStepProgramState(s.ProgramState) || s.StepIndex < 0 || s.StepIndex >= count) {
        label.clear();
        label.hide();
        Highlight(-1);
        return;
    }
    const std::optional<double> settled = SecondsSettled();
    label.setText(StepProgressText(s.StepIndex, count, SecondsInStep(), settled, WaitOfNewestRow()));
    label.show();
    Highlight(s.StepIndex);
}

void TStepProgramProgress::ProgramStarted()
{
    fStaleStepStart = fWindow.State().StepStartTime;
}

double TStepProgramProgress::SecondsInStep()
{
    const TDateTime start = fWindow.State().StepStartTime;
    if (fStaleStepStart && *fStaleStepStart == start) return 0;
    fStaleStepStart.reset();
    return (NowDays() - start) * SecondsPerDay;
}

void TStepProgramProgress::ProgramEnded()
{
    const QString text = QStringLiteral("Step program ended at ") +
                         FormatDateTime(u"yyyy-mm-dd hh:mm:ss", WallNow());
    fWindow.Caption().SetNotice(TCaptionNotice::StepProgram, text);
    fLog.Send(text);
}

void TStepProgramProgress::NoteCurrentChange(int aRow, std::optional<double> aChangeA,
                                             double aFloorA)
{
    fCurrentChange = {aRow, aChangeA, aFloorA};
}

void TStepProgramProgress::ProgramStopped(const QString& aWhy)
{
    fWindow.Caption().SetNotice(TCaptionNotice::StepProgram, aWhy);
    fLog.Send(aWhy);
}

// The newest rows of the running step, back to the first that had not settled. A PID
// step has settled when its pO2 is steady and at the set point, a voltage step when its
// pO2 is steady; the current rule is left out, since a row that meets it as well ends
// the step at once.
std::optional<double> TStepProgramProgress::SecondsSettled()
{
    const TSharedState& s = fWindow.State();
    const TStringGrid& grid = *fWindow.StringGridData;
    if (fSettled.RowCount == grid.RowCount() && fSettled.StepIndex == s.StepIndex &&
        fSettled.State == s.ProgramState)
        return fSettled.Seconds;
    const auto cell = [&grid](TProperty q, int row) { return grid.Cell(ColumnOf(q).ColID, row); };
    const QString mode = ModeCode(s.ProgramState);
    const QString step = QString::number(s.StepIndex + 1);
    const bool needsRange = s.ProgramState == TProgramState::PIDStep;
    std::vector<TStepRow> rows;
    for (int r = grid.RowCount() - 1; r >= 2; --r) {
        if (cell(TProperty::Mode, r) != mode || cell(TProperty::Step, r) != step) break;
        TStepRow row;
        if (!ParseGridNumber(cell(TProperty::Time, r), row.Time)) break;
        row.Settled = cell(TProperty::StablepO2, r) == TrueText &&
                      (!needsRange || cell(TProperty::RangepO2, r) == TrueText);
        rows.push_back(row);
        if (!row.Settled) break;
    }
    std::reverse(rows.begin(), rows.end());
    fSettled = {grid.RowCount(), s.StepIndex, s.ProgramState, oxtiva::SecondsSettled(rows)};
    return fSettled.Seconds;
}

// Why the step waits, as the newest row of the running step judged it; before the step's
// first row nothing is known yet.
TStepWait TStepProgramProgress::WaitOfNewestRow() const
{
    const TSharedState& s = fWindow.State();
    const TStringGrid& grid = *fWindow.StringGridData;
    const int row = grid.RowCount() - 1;
    const auto cell = [&grid, row](TProperty q) { return grid.Cell(ColumnOf(q).ColID, row); };
    const auto number = [&cell](TProperty q) -> std::optional<double> {
        double value = 0;
        if (!ParseGridNumber(cell(q), value)) return std::nullopt;
        return value;
    };
    TStepWait wait;
    wait.Threshold = s.RCThreshold;
    wait.RCDuration = s.RCDuration;
    wait.RangeRule = s.ProgramState == TProgramState::PIDStep;
    const bool stepRow = row >= 2 && cell(TProperty::Mode) == ModeCode(s.ProgramState) &&
                         cell(TProperty::Step) == QString::number(s.StepIndex + 1);
    wait.NoPointYet = !stepRow;
    if (wait.NoPointYet) return wait;
    wait.RCpO2 = number(TProperty::RCpO2);
    wait.RCI = number(TProperty::RCI);
    wait.CurrentAtLimit = cell(TProperty::StableI) == QStringLiteral("MaxI");
    if (fCurrentChange.Row == row) {
        wait.CurrentChange = fCurrentChange.ChangeA;
        wait.CurrentFloor = fCurrentChange.FloorA;
    }
    const std::optional<double> inStep = number(TProperty::Time);
    wait.ShorterThanRC = inStep && *inStep <= s.RCDuration;
    wait.InRange = cell(TProperty::RangepO2) == TrueText;
    return wait;
}

// Every line is set on each pass, so a list replaced or shortened while the program runs
// never keeps a stale highlight. The list scrolls only when the highlight moves, leaving
// the operator free to scroll it otherwise.
void TStepProgramProgress::Highlight(int aRow)
{
    QListWidget& list = *fWindow.ListBoxStepProgram;
    for (int i = 0; i < list.count(); ++i) {
        QListWidgetItem* item = list.item(i);
        const bool wanted = i == aRow;
        if (item->data(Qt::BackgroundRole).isValid() == wanted) continue;
        if (!wanted) {
            item->setData(Qt::BackgroundRole, QVariant());
            item->setData(Qt::FontRole, QVariant());
            continue;
        }
        item->setBackground(QColor(255, 221, 120));
        QFont bold = list.font();
        bold.setBold(true);
        item->setFont(bold);
        list.scrollToItem(item);
    }
}

} // namespace oxtiva
