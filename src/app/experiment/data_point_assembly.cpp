#include "app/experiment/data_point_assembly.h"

#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/step_program_progress.h"
#include "app/window/data_grid.h"
#include "app/window/experiment_graph.h"
#include "app/window/form_log.h"
#include "app/window/numeric_edits.h"
#include "control/linear_least_squares.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "science/oxygen_sensor.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

#include <cmath>
#include <optional>

namespace oxtiva
{

namespace
{

const QString TrueText = QStringLiteral("True");

// A current this close to the pump's limit is being clipped by the instrument, so its
// relative change says nothing about the sample.
constexpr double MaxCurrentFraction = 0.95;

// The pump current is read at the shortest integration (NPLC MIN), where the SourceMeter
// resolves about a ten-thousandth of its range, and any current up to the limit may be read
// on the range that holds the limit: a change smaller than this share of the limit can be
// resolution alone. A current held near zero (little or no leak) changes by such noise
// relative to almost nothing, so its relative change alone never settles.
constexpr double CurrentResolutionShareOfLimit = 1e-4;

QString Formatted(TProperty q, double value)
{
    return FormatFloat(ColumnOf(q).Format, value);
}

bool InPIDState(TProgramState s)
{
    return s == TProgramState::PIDSet || s == TProgramState::PIDStep;
}

} // namespace

TDataPointAssembly::TDataPointAssembly(TfrmOxtiva& window, TExperimentSaver& saver)
    : fWindow(window), fSaver(saver)
{
    const TStringGrid* grid = fWindow.StringGridData;
    fGridView.RowCount = [grid] { return grid->RowCount(); };
    fGridView.Cell = [grid](int col, int row) { return grid->Cell(col, row); };
    fGridView.ModeColumn = ColumnOf(TProperty::Mode).ColID;
    fGridView.TimeColumn = ColumnOf(TProperty::Time).ColID;
}

QString TDataPointAssembly::Cell(TProperty q, int row) const
{
    return fWindow.StringGridData->Cell(ColumnOf(q).ColID, row);
}

void TDataPointAssembly::SetCell(TProperty q, int row, const QString& text)
{
    fWindow.StringGridData->SetCell(ColumnOf(q).ColID, row, text);
}

QString TDataPointAssembly::LastRowCell(TProperty q) const
{
    return Cell(q, fWindow.StringGridData->RowCount() - 1);
}

void TDataPointAssembly::AddDataUpdates()
{
    TDataPointRec& point = fWindow.State().DataPoint;
    if (!point.Ready) return;
    const double t = AppendGraphPoint();
    const int row = fWindow.StringGridData->AddRow();
    WriteMeasuredCells(row); // the pO2 equations and the RC read these back
    WriteFlushSide(row);
    if (fWindow.State().ProgramState == TProgramState::ZeroCurrent) WritePumpSide(row, t);
    if (InPIDState(fWindow.State().ProgramState)) WriteRange(row);
    if (IsStepProgramState(fWindow.State().ProgramState)) WriteStep(row);
    JudgepO2Stability(row);
    JudgeCurrentStability(row);
    fWindow.OxygenContent().AddDataPoint(); // before a step's save, which records it
    AdvanceStep(row);
    if (fWindow.CheckBoxScroll->isChecked()) fWindow.StringGridData->ScrollToRow(row);
    point.Ready = false;
}

double TDataPointAssembly::AppendGraphPoint()
{
    const TSharedState& s = fWindow.State();
    const TDataPointRec& p = s.DataPoint;
    const double t = (NowDays() - s.StartTime) * SecondsPerDay;
    fWindow.RtGraph2D1->AppendPoint(t, p.PumpV, p.PumpI, p.Temp,
                                    p.CellpO2Valid ? std::optional(p.CellpO2) : std::nullopt);
    return t;
}

void TDataPointAssembly::WriteMeasuredCells(int row)
{
    const TDataPointRec& p = fWindow.State().DataPoint;
    SetCell(TProperty::Time, row, Formatted(TProperty::Time, p.Duration));
    SetCell(TProperty::PumpV, row, Formatted(TProperty::PumpV, p.PumpV));
    SetCell(TProperty::PumpI, row, Formatted(TProperty::PumpI, p.PumpI));
    SetCell(TProperty::Mode, row, Formatted(TProperty::Mode, p.Mode));
    SetCell(TProperty::Date, row, FormatDateTime(ColumnOf(TProperty::Date).Format, WallNow()));
    if (p.CellpO2Valid) SetCell(TProperty::CellpO2, row, Formatted(TProperty::CellpO2, p.CellpO2));
    SetCell(TProperty::Temp, row, Formatted(TProperty::Temp, p.Temp));
}

void TDataPointAssembly::WriteFlushSide(int row)
{
    double po = 0;
    if (!FlushSidepO2(po)) {
        fWindow.StatusPaneFlushpO2->setText(QStringLiteral("Flush pO2 unknown"));
        fWindow.StatusPaneFlushpO2->setToolTip(
            QStringLiteral("The newest point lacks what the flush side's pO2 is worked out from: "
                           "the cell's pO2 (read only between 500 and 1055 ºC), its temperature "
                           "or the pump's voltage"));
        return;
    }
    fWindow.StatusPaneFlushpO2->setToolTip(
        QStringLiteral("The flush gas's pO2, from the pump's voltage, the cell's pO2 and its "
                       "temperature"));
    fWindow.StatusPaneFlushpO2->setText(QStringLiteral("Flush pO2 ") +
                                        FormatFloat(u"0.000 000", po) + QStringLiteral(" atm"));
    SetCell(TProperty::FlushpO2, row, Formatted(TProperty::FlushpO2, po));
}

void TDataPointAssembly::WritePumpSide(int row, double t)
{
    double po = 0;
    if (!CellSidepO2(po)) return;
    SetCell(TProperty::CellpO2P, row, Formatted(TProperty::CellpO2P, po));
    fWindow.RtGraph2D1->AppendPumppO2(t, po);
}

void TDataPointAssembly::WriteRange(int row)
{
    const TSharedState& s = fWindow.State();
    const double setpoint = std::pow(10.0, s.PID.Setpoint()); // atm
    const double f = 1 + s.RCThreshold / 100;
    const double pO2 = s.DataPoint.CellpO2;
    if (setpoint * f > pO2 && setpoint / f < pO2) SetCell(TProperty::RangepO2, row, TrueText);
}

void TDataPointAssembly::WriteStep(int row)
{
    const TSharedState& s = fWindow.State();
    SetCell(TProperty::Step, row, QString::number(s.StepIndex + 1));
    SetCell(TProperty::SetPoint, row, FormatGeneral(s.PID.Setpoint()));
}

void TDataPointAssembly::JudgepO2Stability(int row)
{
    double rc = 0;
    if (!GetRRC(rc, TProperty::CellpO2)) return;
    SetCell(TProperty::RCpO2, row, Formatted(TProperty::RCpO2, rc));
    // A step cannot count as settled before it has lasted the RC duration.
    double duration = 0;
    const TSharedState& s = fWindow.State();
    if (ParseGridNumber(Cell(TProperty::Time, row), duration) && duration > s.RCDuration &&
        std::abs(rc) < s.RCThreshold)
        SetCell(TProperty::StablepO2, row, TrueText);
}

void TDataPointAssembly::JudgeCurrentStability(int row)
{
    const TSharedState& s = fWindow.State();
    const double limit = fWindow.RtDoubleEditPumpCurrentLimit->value();
    if (std::abs(s.DataPoint.PumpI) >= MaxCurrentFraction * limit) {
        SetCell(TProperty::StableI, row, QStringLiteral("MaxI"));
        return;
    }
    const TRcChange change = ChangeOverRC(TProperty::PumpI);
    if (change.Relative) SetCell(TProperty::RCI, row, Formatted(TProperty::RCI, *change.Relative));
    const double floor = CurrentResolutionShareOfLimit * limit;
    fWindow.StepProgramProgress().NoteCurrentChange(row, change.Absolute, floor);
    const bool withinShare =
        change.Relative && std::abs(s.RCThreshold) > std::abs(*change.Relative);
    const bool withinFloor = change.Absolute && std::abs(*change.Absolute) <= floor;
    if (withinShare || withinFloor) SetCell(TProperty::StableI, row, TrueText);
}

void TDataPointAssembly::AdvanceStep(int row)
{
    TSharedState& s = fWindow.State();
    const bool stable =
        Cell(TProperty::StablepO2, row) == TrueText && Cell(TProperty::StableI, row) == TrueText;
    const bool advance = (s.ProgramState == TProgramState::PIDStep && stable &&
                          Cell(TProperty::RangepO2, row) == TrueText) ||
                         (s.ProgramState == TProgramState::PPS && stable);
    if (!advance || !fWindow.OxygenContent().ContentSettled()) return;
    s.StepIndex += 1;
    fWindow.OxygenContent().CompleteStep(s.StepIndex);
    fSaver.Save();
    s.StepStartTime = NowDays();
}

bool TDataPointAssembly::GetRRC(double& aRRC, TProperty aColumn)
{
    const TRcChange change = ChangeOverRC(aColumn);
    if (change.Relative) aRRC = *change.Relative;
    return change.Relative.has_value();
}

TDataPointAssembly::TRcChange TDataPointAssembly::ChangeOverRC(TProperty aColumn)
{
    TRcPoints window;
    const TRcWindowStatus status =
        fRcWindow.Collect(fGridView, ColumnOf(aColumn).ColID, fWindow.State().RCDuration, window);
    if (status == TRcWindowStatus::NotEnoughRows)
        FormLog().Send(QStringLiteral("Exit not enough data"));
    if (status != TRcWindowStatus::Ok) return {};
    TPointArray points(window.X.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        points[i] = TPoint{window.X[i], window.Y[i]};
    TLLSResult fit{};
    const bool fitted = LinearLeastSquares(points, fit);
    FormLog().SetEnabled(false);
    TRcChange change;
    if (fitted) {
        change.Relative = 100 * fit.RRC;
        change.Absolute = fit.Slope * (window.X.back() - window.X.front());
    } else if (!points.empty() && fit.MinY == fit.MaxY) {
        change.Absolute = 0;
    }
    return change;
}

bool TDataPointAssembly::ReadPumpCellInputs(TLastRowInputs& inputs) const
{
    // Checked in this order: a data row exists, galvanostatic mode, temperature, set
    // current 0, the newest point measured at 0 A throughout, pump voltage. The window's
    // choice alone is not enough: the point that was running when it changed was measured
    // under the choice before. Cells are read with the locale that wrote them.
    if (fWindow.StringGridData->RowCount() <= 1) return false;
    if (!fWindow.RadioButtonModePassive->isChecked()) return false;
    if (!ParseGridNumber(LastRowCell(TProperty::Temp), inputs.TempC)) return false;
    if (fWindow.RtIntegerEditCurrentmA->value() != 0) return false;
    if (!fWindow.State().DataPoint.ZeroCurrentThroughout) return false;
    return ParseGridNumber(LastRowCell(TProperty::PumpV), inputs.PumpV);
}

bool TDataPointAssembly::CellSidepO2(double& PO)
{
    FormLog().Send(QStringLiteral("CellSidepO2 ->"));
    TLastRowInputs in;
    if (!ReadPumpCellInputs(in)) return false;
    const double flushGas = fWindow.RtDoubleEditFGpO2->value();
    double po = 0;
    if (!PumpCellSidepO2(in.TempC, in.PumpV, flushGas, po)) return false;
    const TLogger& log = FormLog();
    log.SendValue(QStringLiteral("Determining cell pO2 : refpO2="), flushGas);
    log.SendValue(QStringLiteral("Determining cell pO2 : A     ="),
                  PumpCellSideExponent(in.TempC, in.PumpV));
    log.SendValue(QStringLiteral("Determining cell pO2 : V     ="), in.PumpV);
    log.SendValue(QStringLiteral("Determining cell pO2 : Tc    ="), in.TempC);
    log.SendValue(QStringLiteral("Determining cell pO2 : Tk    ="), CelsiusToKelvin(in.TempC));
    log.SendValue(QStringLiteral("Determining cell pO2 : pO2   ="), po);
    PO = po;
    return true;
}

bool TDataPointAssembly::FlushSidepO2(double& PO)
{
    TLastRowInputs in;
    if (!ReadPumpCellInputs(in)) return false;
    double cellpO2 = 0;
    if (!ParseGridNumber(LastRowCell(TProperty::CellpO2), cellpO2)) return false;
    return PumpFlushSidepO2(in.TempC, in.PumpV, cellpO2, PO);
}

} // namespace oxtiva
