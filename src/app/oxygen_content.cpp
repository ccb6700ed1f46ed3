#include "app/oxygen_content.h"

#include "app/column_table.h"
#include "app/data_grid.h"
#include "app/main_window.h"
#include "app/numeric_edits.h"
#include "app/oxygen_content_page.h"
#include "control/relative_change.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "records/whole_file.h"
#include "science/oxygen_file.h"
#include "science/oxygen_sensor.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace oxtiva
{

namespace
{

int ModeCode(TMode mode)
{
    return static_cast<int>(mode) + 10;
}

} // namespace

TOxygenContent::TOxygenContent(TfrmOxtiva& aWindow) : QObject(&aWindow), fWindow(aWindow)
{
    TfrmOxtiva& w = fWindow;
    fHistory.SetConstants(ConstantsFromEdits());
    for (TRtDoubleEdit* constant :
         {w.RtDoubleEditLeakAlpha, w.RtDoubleEditVhp, w.RtDoubleEditVgp, w.RtDoubleEditTl,
          w.RtDoubleEditFGpO2, w.RtDoubleEditb0, w.RtDoubleEditn0, w.RtDoubleEditbs})
        connect(constant, &TRtDoubleEdit::valueChanged, this, &TOxygenContent::ConstantsChanged);
    connect(w.ButtonEstimateLeakAlpha, &QPushButton::clicked, this,
            &TOxygenContent::ButtonEstimateLeakAlphaClick);
    ShowCurrent();
}

TOxygenBalanceConstants TOxygenContent::ConstantsFromEdits() const
{
    const TfrmOxtiva& w = fWindow;
    TOxygenBalanceConstants c;
    c.HotVolumeL = w.RtDoubleEditVhp->value();
    c.GradientVolumeL = w.RtDoubleEditVgp->value();
    c.ColdEndK = w.RtDoubleEditTl->value() + ZeroCelsiusK;
    c.LeakAlpha = w.RtDoubleEditLeakAlpha->value();
    c.FlushpO2 = w.RtDoubleEditFGpO2->value();
    c.b0 = w.RtDoubleEditb0->value();
    c.n0 = w.RtDoubleEditn0->value();
    c.bs = w.RtDoubleEditbs->value();
    return c;
}

// The sample calculations run first on an input change and report their results as
// changes of their own, so one change of b0 arrives more than once: only a real change
// of what the balance reads replays the run.
void TOxygenContent::ConstantsChanged()
{
    const TOxygenBalanceConstants constants = ConstantsFromEdits();
    if (constants == fHistory.Constants()) return;
    fHistory.SetConstants(constants);
    fWindow.TabSheetOxygenContent->ShowHistory(fHistory);
    ShowCurrent();
    fWindow.TabSheetOxygenContent->Replot();
}

void TOxygenContent::ShowCurrent()
{
    fWindow.TabSheetOxygenContent->ShowCurrent(fHistory, fHistory.Constants().LeakAlpha);
}

void TOxygenContent::AddDataPoint()
{
    const TSharedState& s = fWindow.State();
    const TDataPointRec& p = s.DataPoint;
    const double cellK = p.Temp + ZeroCelsiusK;
    // The gas term needs a pO2 and a temperature; without them the point cannot be
    // placed in the balance, and the stretch it covered is left out like a gap.
    if (!p.CellpO2Valid || !(p.CellpO2 > 0) || !(cellK > 0)) return;
    const TOxygenPointInput input{(p.StartTime - s.StartTime) * SecondsPerDay,
                                  (p.EndTime - s.StartTime) * SecondsPerDay, p.Charge, cellK,
                                  p.CellpO2};
    fWindow.TabSheetOxygenContent->AppendPoint(fHistory.Add(input));
    ShowCurrent();
    fWindow.TabSheetOxygenContent->Replot();
}

void TOxygenContent::CompleteStep(int aStep)
{
    if (!fHistory.MarkStepCompleted(aStep)) return;
    fWindow.TabSheetOxygenContent->AppendIsothermPoint(aStep, fHistory.Last());
    fWindow.TabSheetOxygenContent->Replot();
}

bool TOxygenContent::WriteFile(const QString& aDataFilePath, QString& aError)
{
    const QFileInfo dataFile(aDataFilePath);
    TOxygenFileContent content;
    content.SampleName = fWindow.EditSampleName->text();
    content.SampleFormula = fWindow.EditSampleFormula->text();
    content.SavedAt = FormatDateTime(u"yyyy-mm-dd hh:mm", ToLocalDateTime(NowDays()));
    content.DataFileName = dataFile.fileName();
    content.History = &fHistory;
    return WriteWholeFile(dataFile.dir().filePath(OxygenFileName(dataFile.fileName())),
                          BuildOxygenFile(content), aError);
}

std::optional<int> TOxygenContent::LastSteadyPIDRow() const
{
    const TStringGrid& grid = *fWindow.StringGridData;
    auto cell = [&grid](TProperty q, int row) { return grid.Cell(ColumnOf(q).ColID, row); };
    const QString yes = QStringLiteral("True");
    for (int row = grid.RowCount() - 1; row >= 2; --row) {
        int mode = 0;
        if (!ParseGridInteger(cell(TProperty::Mode, row), mode)) continue;
        const bool pidSet = mode == ModeCode(TMode::PIDSet);
        const bool pidStep = mode == ModeCode(TMode::PIDStep);
        if (!pidSet && !pidStep) continue;
        if (cell(TProperty::StablepO2, row) == yes && cell(TProperty::StableI, row) == yes &&
            (pidSet || cell(TProperty::RangepO2, row) == yes))
            return row;
    }
    return std::nullopt;
}

void TOxygenContent::ButtonEstimateLeakAlphaClick()
{
    QLabel* message = fWindow.LabelLeakAlphaEstimate;
    const std::optional<int> row = LastSteadyPIDRow();
    const TStringGrid& grid = *fWindow.StringGridData;
    double current = 0;
    double pO2 = 0;
    if (!row || !ParseGridNumber(grid.Cell(ColumnOf(TProperty::PumpI).ColID, *row), current) ||
        !ParseGridNumber(grid.Cell(ColumnOf(TProperty::CellpO2).ColID, *row), pO2)) {
        message->setText(QStringLiteral("No steady PID point to estimate α from yet"));
        return;
    }
    double alpha = 0;
    switch (EstimateLeakAlpha(current, fWindow.RtDoubleEditFGpO2->value(), pO2, alpha)) {
    case TLeakEstimate::NoDrivingForce:
        message->setText(QStringLiteral("The pO2 is too close to the flush gas to estimate α"));
        return;
    case TLeakEstimate::AgainstTheLeak:
        message->setText(QStringLiteral("The current does not hold the pO2 against a leak"));
        return;
    case TLeakEstimate::Ok:
        break;
    }
    message->setText(QStringLiteral("α from grid row ") + QString::number(*row));
    fWindow.RtDoubleEditLeakAlpha->setValue(alpha);
}

} // namespace oxtiva
