#include "app/pages/blank_run_calibration.h"

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/numeric_edits.h"
#include "records/number_format.h"
#include "science/blank_run_fit.h"
#include "science/oxygen_sensor.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace oxtiva
{

namespace
{

QString Percent(double error, double value)
{
    return value != 0 ? FormatFloat(u"0.00", 100 * error / std::abs(value)) + QStringLiteral(" %")
                      : QStringLiteral("?");
}

QString Celsius(double cellK)
{
    return FormatFloat(u"0", cellK - ZeroCelsiusK) + QStringLiteral(" °C");
}

QString FitText(const TBlankRunFit& fit, double cellK)
{
    QStringList parts;
    parts << QStringLiteral("Vhpws = ") + FormatFloat(u"0.000000E+0", fit.VolumeL) +
                 QStringLiteral(" L ± ") + Percent(fit.VolumeError, fit.VolumeL);
    if (fit.Law != TLeakLaw::Seal)
        parts << QStringLiteral("α = ") + FormatFloat(u"0.0000E+0", fit.Alpha) +
                     QStringLiteral(" ± ") + Percent(fit.AlphaError, fit.Alpha);
    if (fit.Law != TLeakLaw::Electrolyte)
        parts << QStringLiteral("seal ") + FormatFloat(u"0.0000E+0", fit.Seal) +
                     QStringLiteral(" ± ") + Percent(fit.SealError, fit.Seal);
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" at ") + Celsius(cellK) +
           QStringLiteral(", misfit ") + FormatFloat(u"0.00E+0", fit.RmsResidualMol) +
           QStringLiteral(" mol over %1 points in %2 stretches between gaps.")
               .arg(fit.Points)
               .arg(fit.Segments) +
           ErrorsText(fit.DurbinWatson);
}

// What the calibration stood on: the grid rows, the range of the pump current and of pO2.
QString Inputs(const std::vector<TBlankRunPoint>& points)
{
    double lowestI = points.front().CurrentA, highestI = lowestI;
    double lowestP = points.front().pO2, highestP = lowestP;
    for (const TBlankRunPoint& p : points) {
        lowestI = std::min(lowestI, p.CurrentA);
        highestI = std::max(highestI, p.CurrentA);
        lowestP = std::min(lowestP, p.pO2);
        highestP = std::max(highestP, p.pO2);
    }
    return QStringLiteral("From grid rows %1 to %2: pump current %3 to %4 A, pO2 %5 to %6 atm.")
        .arg(points.front().GridRow)
        .arg(points.back().GridRow)
        .arg(FormatFloat(u"0.000E+0", lowestI), FormatFloat(u"0.000E+0", highestI),
             FormatFloat(u"0.00E+0", lowestP), FormatFloat(u"0.00E+0", highestP));
}

QString Refusal(const TBlankRunFit& fit)
{
    switch (fit.Status) {
    case TBlankRunStatus::NoPressureChange:
        return QStringLiteral("The pO2 changed by %1 % within the blank run, less than the %2 % "
                              "a sensor offset of 1 mV makes: the gas volume cannot be told.")
            .arg(FormatFloat(u"0.0", 100 * fit.pO2Change),
                 FormatFloat(u"0.0", 100 * fit.SmallestpO2Change));
    case TBlankRunStatus::NoDrivingForce:
        return QStringLiteral("The pO2 stayed too close to the flush gas: a sensor offset of "
                              "1 mV would change the leak constant by ") +
               FormatFloat(u"0", 100 * fit.OffsetShare) + QStringLiteral(" %.");
    case TBlankRunStatus::Uncertain:
        return FitText(fit, fit.CellK) +
               QStringLiteral(" Refused: a constant is less sure than %1 %. Change the pO2 "
                              "more, or hold longer.")
                   .arg(FormatFloat(u"0", 100 * LargestConstantError));
    case TBlankRunStatus::NotPositive:
        return FitText(fit, fit.CellK) +
               QStringLiteral(" Refused: a constant is not positive. Nothing was stored.");
    case TBlankRunStatus::Undetermined:
        return QStringLiteral("The blank run cannot tell the gas volume and the leak laws apart: "
                              "hold at two or more pO2.");
    case TBlankRunStatus::TooFewPoints:
    case TBlankRunStatus::Ok:
        break;
    }
    return QStringLiteral("Not enough points of the blank run at this temperature yet.");
}

QString StoredText(const TCellCalibration& c)
{
    return QStringLiteral("The cell's constants are those of the blank run of ") + c.At +
           QStringLiteral(" at ") + Celsius(c.CellK) + QStringLiteral(".");
}

} // namespace

TBlankRunCalibration::TBlankRunCalibration(TfrmOxtiva& aWindow)
    : QObject(&aWindow), fWindow(aWindow)
{
    connect(aWindow.ButtonCalibrateBlankRun, &QPushButton::clicked, this,
            &TBlankRunCalibration::ButtonCalibrateBlankRunClick);
    connect(aWindow.ButtonUndoBlankRunCalibration, &QPushButton::clicked, this,
            &TBlankRunCalibration::ButtonUndoBlankRunCalibrationClick);
}

void TBlankRunCalibration::LoadStored(TfrmOxtiva& aWindow)
{
    const std::optional<TCellCalibration> stored =
        TSettingsFile(aWindow.SettingsPath()).CellCalibration();
    if (!stored) return;
    aWindow.RtDoubleEditVHPS->setValue(stored->HotVolumeL);
    aWindow.OxygenContent().SetLeakConstants(stored->LeakAlpha, stored->SealLeak, stored->CellK);
    aWindow.LabelBlankRunCalibration->setText(StoredText(*stored));
}

void TBlankRunCalibration::ButtonCalibrateBlankRunClick()
{
    TfrmOxtiva& w = fWindow;
    const TLeakLaw law = static_cast<TLeakLaw>(w.ComboBoxLeakLaw->currentIndex());
    const std::vector<TBlankRunPoint> points = BlankRunPoints(w.OxygenContent().History());
    const TBlankRunFit fit = FitBlankRun(points, law, w.RtDoubleEditFGpO2->value());
    if (fit.Status != TBlankRunStatus::Ok) {
        w.LabelBlankRunCalibration->setText(Refusal(fit));
        return;
    }
    const double cellK = points.back().CellK;
    TSettingsFile settings(w.SettingsPath());
    fBefore = {w.RtDoubleEditVHPS->value(), w.RtDoubleEditLeakAlpha->value(),
               w.RtDoubleEditLeakSeal->value(), settings.CellCalibration()};
    const TCellCalibration stored{fit.VolumeL, law != TLeakLaw::Seal ? fit.Alpha : 0,
                                  law != TLeakLaw::Electrolyte ? fit.Seal : 0, cellK,
                                  QDateTime::currentDateTime().toString(Qt::ISODate)};
    w.RtDoubleEditVHPS->setValue(stored.HotVolumeL);
    w.OxygenContent().SetLeakConstants(stored.LeakAlpha, stored.SealLeak, cellK);
    settings.WriteCellCalibration(stored);
    w.ButtonUndoBlankRunCalibration->setEnabled(true);
    w.LabelBlankRunCalibration->setText(FitText(fit, cellK) + QStringLiteral(" ") + Inputs(points) +
                                        QStringLiteral(" Stored as the cell's "
                                                       "constants."));
}

void TBlankRunCalibration::ButtonUndoBlankRunCalibrationClick()
{
    TfrmOxtiva& w = fWindow;
    if (!fBefore) return;
    w.RtDoubleEditVHPS->setValue(fBefore->VolumeL);
    w.RtDoubleEditLeakAlpha->setValue(fBefore->Alpha);
    w.RtDoubleEditLeakSeal->setValue(fBefore->Seal);
    TSettingsFile(w.SettingsPath()).WriteCellCalibration(fBefore->Stored);
    fBefore.reset();
    w.ButtonUndoBlankRunCalibration->setEnabled(false);
    w.LabelBlankRunCalibration->setText(QStringLiteral("The cell's constants from before the "
                                                       "blank run are back."));
}

} // namespace oxtiva
