#include "app/pages/oxygen_content.h"

#include "app/main_window.h"
#include "app/pages/oxygen_content_page.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "control/relative_change.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "science/content_tail.h"
#include "science/increment_fit.h"
#include "science/oxygen_file.h"
#include "science/oxygen_leak_fit.h"
#include "science/oxygen_sensor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

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
         {w.RtDoubleEditLeakAlpha, w.RtDoubleEditLeakSeal, w.RtDoubleEditVhp, w.RtDoubleEditVgp,
          w.RtDoubleEditTl, w.RtDoubleEditFGpO2, w.RtDoubleEditb0, w.RtDoubleEditn0,
          w.RtDoubleEditbs})
        connect(constant, &TRtDoubleEdit::valueChanged, this, &TOxygenContent::ConstantsChanged);
    connect(w.CheckBoxConstantsWholeRun, &QCheckBox::toggled, this,
            &TOxygenContent::WholeRunToggled);
    connect(w.ButtonEstimateLeakAlpha, &QPushButton::clicked, this,
            &TOxygenContent::ButtonEstimateLeakAlphaClick);
    connect(w.ButtonUndoLeakEstimate, &QPushButton::clicked, this,
            &TOxygenContent::ButtonUndoLeakEstimateClick);
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
    c.SealLeak = w.RtDoubleEditLeakSeal->value();
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
    const double cellK =
        fEstimateK.value_or(fHistory.Empty() ? std::nan("") : fHistory.Last().Input.CellK);
    fHistory.ChangeConstants(constants, ChangeTimeS(), cellK,
                             fWindow.CheckBoxConstantsWholeRun->isChecked());
    ShowReplayed();
}

// Checking the box applies the newest constants to the run so far at once, as it will
// every change from then on.
void TOxygenContent::WholeRunToggled(bool aChecked)
{
    if (!aChecked || fHistory.ConstantsHistory().size() == 1) return;
    fHistory.ApplyToWholeRun();
    ShowReplayed();
}

double TOxygenContent::ChangeTimeS() const
{
    if (fHistory.Empty()) return 0; // before the first point: from the run's start
    const TSharedState& s = fWindow.State();
    return std::max((NowDays() - s.StartTime) * SecondsPerDay, fHistory.Last().Input.EndS);
}

void TOxygenContent::ShowReplayed()
{
    fWindow.TabSheetOxygenContent->ShowHistory(fHistory);
    ShowCurrent();
    fWindow.TabSheetOxygenContent->Replot();
}

void TOxygenContent::ShowCurrent()
{
    fWindow.TabSheetOxygenContent->ShowCurrent(fHistory, fHistory.CurrentAlpha());
}

void TOxygenContent::AddDataPoint()
{
    const TSharedState& s = fWindow.State();
    const TDataPointRec& p = s.DataPoint;
    const double cellK = p.Temp + ZeroCelsiusK;
    fPauseUnbooked = fPauseUnbooked || p.AfterPause;
    // The gas term needs a pO2 and a temperature; without them the point cannot be
    // placed in the balance, and the stretch it covered is left out like a gap.
    if (!p.CellpO2Valid || !(p.CellpO2 > 0) || !(cellK > 0)) return;
    TOxygenPointInput input{(p.StartTime - s.StartTime) * SecondsPerDay,
                            (p.EndTime - s.StartTime) * SecondsPerDay,
                            p.Charge,
                            cellK,
                            p.CellpO2,
                            p.MeanCharge,
                            p.LongestUnmeasuredS};
    const int row = fWindow.StringGridData->RowCount() - 1;
    input.AfterPause = fPauseUnbooked;
    fPauseUnbooked = false;
    fWindow.TabSheetOxygenContent->AppendPoint(fHistory.Add(input, SteadyPIDRow(row), row));
    ShowCurrent();
    fWindow.TabSheetOxygenContent->Replot();
}

void TOxygenContent::CompleteStep(int aStep)
{
    const TSharedState& s = fWindow.State();
    if (!fHistory.MarkStepCompleted(aStep, s.RCDuration,
                                    (s.StepStartTime - s.StartTime) * SecondsPerDay))
        return;
    fWindow.TabSheetOxygenContent->AppendIsothermPoint(
        aStep, fHistory.Last(), fHistory.Content(fHistory.Isotherm().back()));
    fWindow.TabSheetOxygenContent->Replot();
}

bool TOxygenContent::ContentSettled() const
{
    const double threshold = fWindow.RtDoubleEditContentDrift->value();
    if (!(threshold > 0)) return true;
    const TSharedState& s = fWindow.State();
    const double stepStartS = (s.StepStartTime - s.StartTime) * SecondsPerDay;
    const double drift = ContentDrift(fHistory, std::max(stepStartS, 0.0), s.RCDuration);
    // The drift over the window shows only the window's share of what is still to come
    // when the sample's time constant is longer: the step's tail tells all of it.
    return std::abs(drift) <= threshold &&
           std::abs(StepContentTail(fHistory, stepStartS).Remaining) <= threshold;
}

TOxygenFileSnapshot TOxygenContent::FileSnapshot() const
{
    TOxygenFileSnapshot snapshot;
    snapshot.Content.SampleName = fWindow.EditSampleName->text();
    snapshot.Content.SampleFormula = fWindow.EditSampleFormula->text();
    snapshot.Content.SavedAt = FormatDateTime(u"yyyy-mm-dd hh:mm", WallNow());
    // The balance counts seconds on the steady clock; its rows are stamped as the wall
    // clock reads now, so they stay in order across a step of the wall clock.
    snapshot.Content.RunStartDays = ToDays(WallTimeOf(fWindow.State().StartTime));
    snapshot.History = std::make_shared<const TOxygenHistory>(fHistory);
    return snapshot;
}

bool WriteOxygenFiles(const QString& aDataFilePath, const TOxygenFileSnapshot& aSnapshot,
                      QString& aError)
{
    TOxygenFileContent content = aSnapshot.Content;
    content.History = aSnapshot.History.get();
    return WriteOxygenFilesBeside(aDataFilePath, std::move(content), aError);
}

bool TOxygenContent::SteadyPIDRow(int row) const
{
    const TStringGrid& grid = *fWindow.StringGridData;
    return SteadyPIDCells([&grid, row](TProperty q) { return grid.Cell(ColumnOf(q).ColID, row); });
}

bool SteadyPIDCells(const std::function<QString(TProperty)>& cell)
{
    const QString yes = QStringLiteral("True");
    int mode = 0;
    if (!ParseGridInteger(cell(TProperty::Mode), mode)) return false;
    const bool pidSet = mode == ModeCode(TMode::PIDSet);
    const bool pidStep = mode == ModeCode(TMode::PIDStep);
    return (pidSet || pidStep) && cell(TProperty::StablepO2) == yes &&
           cell(TProperty::StableI) == yes && (pidSet || cell(TProperty::RangepO2) == yes);
}

std::optional<int> TOxygenContent::LastSteadyPIDRow() const
{
    for (int row = fWindow.StringGridData->RowCount() - 1; row >= 2; --row)
        if (SteadyPIDRow(row)) return row;
    return std::nullopt;
}

namespace
{

QString LawName(TLeakLaw law)
{
    switch (law) {
    case TLeakLaw::Electrolyte:
        return QStringLiteral("electrolyte, pO2^¼");
    case TLeakLaw::Seal:
        return QStringLiteral("seal, linear");
    case TLeakLaw::Both:
        break;
    }
    return QStringLiteral("both");
}

QString Percent(double error, double value)
{
    return value != 0 ? FormatFloat(u"0.00", 100 * error / std::abs(value)) + QStringLiteral(" %")
                      : QStringLiteral("?");
}

// What the estimate stood on: the grid rows, the mean current and the range of pO2.
QString Inputs(const std::vector<TLeakFitPoint>& points)
{
    double current = 0;
    double lowest = points.front().pO2;
    double highest = lowest;
    for (const TLeakFitPoint& p : points) {
        current += p.CurrentA / double(points.size());
        lowest = std::min(lowest, p.pO2);
        highest = std::max(highest, p.pO2);
    }
    const QString low = FormatFloat(u"0.00E+0", lowest);
    const QString high = FormatFloat(u"0.00E+0", highest);
    const QString pressures = low == high ? low : low + QStringLiteral(" to ") + high;
    return QStringLiteral("From grid rows %1 to %2: pump current %3 A, pO2 %4 atm.")
        .arg(points.front().GridRow)
        .arg(points.back().GridRow)
        .arg(FormatFloat(u"0.000E+0", current), pressures);
}

double MeanTemperature(const std::vector<TLeakFitPoint>& points)
{
    double sum = 0;
    for (const TLeakFitPoint& p : points)
        sum += p.CellK;
    return sum / double(points.size());
}

} // namespace

// How the errors were taken, and whether the residuals wander.
QString ErrorsText(double durbinWatson)
{
    QString text = QStringLiteral(" Errors from the increments between points, robust to "
                                  "correlated residuals (Newey-West).");
    if (durbinWatson < WanderingDurbinWatson)
        text += QStringLiteral(" The residuals wander (Durbin-Watson %1): the law may not hold, "
                               "or the sample still moves.")
                    .arg(FormatFloat(u"0.00", durbinWatson));
    return text;
}

namespace
{

QString FitText(const TLeakFit& fit)
{
    QStringList parts;
    if (fit.Law != TLeakLaw::Seal)
        parts << QStringLiteral("α = ") + FormatFloat(u"0.0000E+0", fit.Alpha) +
                     QStringLiteral(" ± ") + Percent(fit.AlphaError, fit.Alpha);
    if (fit.Law != TLeakLaw::Electrolyte)
        parts << QStringLiteral("seal ") + FormatFloat(u"0.0000E+0", fit.Seal) +
                     QStringLiteral(" ± ") + Percent(fit.SealError, fit.Seal);
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" (") + LawName(fit.Law) +
           QStringLiteral("), misfit ") + FormatFloat(u"0.00E+0", fit.RmsResidualMol) +
           QStringLiteral(" mol over %1 points in %2 holds.").arg(fit.Points).arg(fit.Holds) +
           ErrorsText(fit.DurbinWatson);
}

QString HoldRows(const TLeakFit& fit)
{
    return QStringLiteral("The hold at grid rows %1 to %2").arg(fit.HoldFirstRow).arg(fit.HoldLastRow);
}

QString Refusal(const TLeakFit& fit)
{
    switch (fit.Status) {
    case TLeakFitStatus::pO2Wanders:
        return HoldRows(fit) + QStringLiteral(" is not steady: its pO2 ran from %1 to %2 atm, "
                                              "beyond its noise of %3 atm.")
                                   .arg(FormatFloat(u"0.00E+0", fit.HoldLowestpO2),
                                        FormatFloat(u"0.00E+0", fit.HoldHighestpO2),
                                        FormatFloat(u"0.0E+0", fit.HoldpO2Noise));
    case TLeakFitStatus::StillRelaxing:
        return HoldRows(fit) +
               QStringLiteral(" is not steady: the sample still relaxes. Its first half shows "
                              "%1 % of the fitted leak, its second half %2 %, more apart than "
                              "their errors (%3 %) allow. Hold each pO2 for several of the "
                              "sample's time constants.")
                   .arg(FormatFloat(u"0.0", 100 * fit.FirstHalf),
                        FormatFloat(u"0.0", 100 * fit.SecondHalf),
                        FormatFloat(u"0.0", 100 * fit.HalvesError));
    case TLeakFitStatus::NotPositive:
        return FitText(fit) + QStringLiteral(" Refused: a leak constant is not positive.");
    case TLeakFitStatus::Uncertain:
        return FitText(fit) + QStringLiteral(" Refused: a leak constant is less sure than ") +
               FormatFloat(u"0", 100 * LargestConstantError) +
               QStringLiteral(" %. Hold longer, or choose one law.");
    case TLeakFitStatus::NoDrivingForce:
        return QStringLiteral("The pO2 is too close to the flush gas: a sensor offset of 1 mV "
                              "would change the leak constant by ") +
               FormatFloat(u"0", 100 * fit.OffsetShare) + QStringLiteral(" %.");
    case TLeakFitStatus::NeedsTwoPressures:
        return QStringLiteral("The holds cannot tell the two laws apart: both at once need "
                              "steady holds at two or more pO2 far enough apart.");
    case TLeakFitStatus::TooFewPoints:
    case TLeakFitStatus::Ok:
        break;
    }
    return QStringLiteral("Not enough steady PID points to estimate the leak from yet.");
}

// How well each law fits the same holds, so the operator sees which one the cell follows.
QString Comparison(const std::vector<TLeakFitPoint>& points, TLeakLaw chosen, double flushpO2)
{
    QStringList others;
    for (const TLeakLaw law : {TLeakLaw::Electrolyte, TLeakLaw::Seal, TLeakLaw::Both}) {
        if (law == chosen) continue;
        const TLeakFit fit = FitLeak(points, law, flushpO2);
        if (fit.Status == TLeakFitStatus::Ok)
            others << LawName(law) + QStringLiteral(" ") +
                          FormatFloat(u"0.00E+0", fit.RmsResidualMol) + QStringLiteral(" mol");
    }
    return others.isEmpty() ? QString()
                            : QStringLiteral(" Misfit of the other laws: ") +
                                  others.join(QStringLiteral("; ")) + QStringLiteral(".");
}

} // namespace

void TOxygenContent::ButtonEstimateLeakAlphaClick()
{
    TfrmOxtiva& w = fWindow;
    const TLeakLaw law = static_cast<TLeakLaw>(w.ComboBoxLeakLaw->currentIndex());
    const double flushpO2 = w.RtDoubleEditFGpO2->value();
    const std::vector<TLeakFitPoint> points = SteadyHoldPoints(fHistory);
    const TLeakFit fit = FitLeak(points, law, flushpO2);
    if (fit.Status != TLeakFitStatus::Ok) {
        w.LabelLeakAlphaEstimate->setText(Refusal(fit));
        return;
    }
    w.LabelLeakAlphaEstimate->setText(FitText(fit) + QStringLiteral(" ") + Inputs(points) +
                                      Comparison(points, law, flushpO2));
    fBeforeEstimate = {w.RtDoubleEditLeakAlpha->value(), w.RtDoubleEditLeakSeal->value()};
    w.ButtonUndoLeakEstimate->setEnabled(true);
    SetLeakConstants(law != TLeakLaw::Seal ? fit.Alpha : 0,
                     law != TLeakLaw::Electrolyte ? fit.Seal : 0, MeanTemperature(points));
}

void TOxygenContent::SetLeakConstants(double aAlpha, double aSeal, double aCellK)
{
    fEstimateK = aCellK;
    fWindow.RtDoubleEditLeakAlpha->setValue(aAlpha);
    fWindow.RtDoubleEditLeakSeal->setValue(aSeal);
    fEstimateK.reset();
}

void TOxygenContent::ButtonUndoLeakEstimateClick()
{
    TfrmOxtiva& w = fWindow;
    if (!fBeforeEstimate) return;
    w.RtDoubleEditLeakAlpha->setValue(fBeforeEstimate->Alpha);
    w.RtDoubleEditLeakSeal->setValue(fBeforeEstimate->Seal);
    fBeforeEstimate.reset();
    w.ButtonUndoLeakEstimate->setEnabled(false);
    w.LabelLeakAlphaEstimate->setText(QStringLiteral("The leak constants from before the "
                                                     "estimate are back."));
}

} // namespace oxtiva
