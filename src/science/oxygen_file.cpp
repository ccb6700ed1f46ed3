#include "science/oxygen_file.h"

#include "records/date_time.h"
#include "records/safe_file_name.h"
#include "records/spreadsheet_text.h"
#include "science/oxygen_history.h"
#include "science/oxygen_sensor.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace oxtiva
{

namespace
{

void AppendLine(QByteArray& out, const QString& text)
{
    out.append(text.toUtf8());
    out.append("\r\n");
}

// Round-trip precision and "." whatever the locale.
QString Number(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', QLocale::FloatingPointShortest)
                                : QString();
}

// With the local clock's offset from UTC at that moment: when summer time ends the local
// hour repeats, and only the offset keeps the column in order and joinable.
QString IsoTime(const TOxygenFileContent& content, double seconds)
{
    const QDateTime local = ToLocalDateTime(content.RunStartDays + seconds / SecondsPerDay);
    const int offsetMinutes = local.offsetFromUtc() / 60;
    const int minutes = std::abs(offsetMinutes);
    return local.toString(Qt::ISODateWithMs) + QString::asprintf("%c%02d:%02d",
                                                                 offsetMinutes < 0 ? '-' : '+',
                                                                 minutes / 60, minutes % 60);
}

const TOxygenHistory& HistoryOf(const TOxygenFileContent& content)
{
    static const TOxygenHistory empty;
    return content.History ? *content.History : empty;
}

void AppendAbout(QByteArray& out, const TOxygenFileContent& content, const QString& what)
{
    AppendLine(out, QStringLiteral("# ") + what + QStringLiteral(" of ") +
                        SpreadsheetSafeText(OneLineText(content.SampleName)) +
                        QStringLiteral(" (") +
                        SpreadsheetSafeText(OneLineText(content.SampleFormula)) +
                        QStringLiteral("), saved ") +
                        content.SavedAt + QStringLiteral(" with ") + content.DataFileName);
}

QString AlphaLine(const TAlphaCalibration& calibration)
{
    const QString where = std::isnan(calibration.CellK)
                              ? QStringLiteral("at every cell temperature")
                              : QStringLiteral("at Tc = %1 K").arg(Number(calibration.CellK));
    return QStringLiteral("# alpha = %1 mol/(s atm^0.25), leak through the electrolyte %2;")
        .arg(Number(calibration.Alpha), where);
}

// Each constant once with the time from which it holds, and again whenever it changed.
void AppendConstants(QByteArray& out, const TOxygenFileContent& content)
{
    AppendLine(out, QStringLiteral("# R = %1 L atm/(mol K); F = %2 C/mol")
                        .arg(Number(GasConstantLAtm), Number(FaradayConstant)));
    AppendLine(out, QStringLiteral("# alpha between calibrated cell temperatures: ln(alpha) "
                                   "linear in 1/T; outside them the nearest calibration"));
    const TConstantsPeriod* before = nullptr;
    for (const TConstantsPeriod& period : HistoryOf(content).ConstantsHistory()) {
        const QString from = QStringLiteral(" from ") + IsoTime(content, period.FromS);
        const TOxygenBalanceConstants& c = period.Constants;
        const TOxygenBalanceConstants* was = before ? &before->Constants : nullptr;
        const struct {
            const char* name;
            double value;
            double previous;
            const char* unit;
        } rows[] = {
            {"Vhp", c.HotVolumeL, was ? was->HotVolumeL : NAN, "L, gas volume of the hot part"},
            {"Vgp", c.GradientVolumeL, was ? was->GradientVolumeL : NAN,
             "L, gas volume of the gradient part"},
            {"Tl", c.ColdEndK, was ? was->ColdEndK : NAN, "K, cold end temperature"},
            {"FGpO2", c.FlushpO2, was ? was->FlushpO2 : NAN, "atm, flush gas pO2"},
            {"k_seal", c.SealLeak, was ? was->SealLeak : NAN, "mol/(s atm), leak through a seal"},
            {"b0", c.b0, was ? was->b0 : NAN, "mol/mol, initial oxygen content"},
            {"n0", c.n0, was ? was->n0 : NAN, "mol of compound"},
            {"bs", c.bs, was ? was->bs : NAN, "mol/mol, nominal stoichiometric oxygen content"},
        };
        for (const auto& row : rows)
            if (!(row.value == row.previous))
                AppendLine(out, QStringLiteral("# %1 = %2 %3;")
                                        .arg(QLatin1String(row.name), Number(row.value),
                                             QLatin1String(row.unit)) +
                                    from);
        for (const TAlphaCalibration& calibration : period.Alpha)
            if (!before || std::none_of(before->Alpha.begin(), before->Alpha.end(),
                                        [&calibration](const TAlphaCalibration& old) {
                                            return SameCalibration(old, calibration);
                                        }))
                AppendLine(out, AlphaLine(calibration) + from);
        before = &period;
    }
}

} // namespace

QString OxygenFileName(const QString& dataFileName)
{
    const QString stem = dataFileName.endsWith(u".csv") ? dataFileName.chopped(4) : dataFileName;
    return stem + QStringLiteral("_oxygen.csv");
}

QString IsothermFileName(const QString& dataFileName)
{
    const QString stem = dataFileName.endsWith(u".csv") ? dataFileName.chopped(4) : dataFileName;
    return stem + QStringLiteral("_isotherm.csv");
}

bool WriteOxygenFilesBeside(const QString& dataFilePath, TOxygenFileContent content,
                            QString& errorText)
{
    const QFileInfo dataFile(dataFilePath);
    content.DataFileName = dataFile.fileName();
    return WriteWholeFile(
               dataFile.dir().filePath(OxygenFileName(dataFile.fileName())),
               [&content](const TPieceSink& sink) { return WriteOxygenFile(content, sink); },
               errorText) &&
           WriteWholeFile(dataFile.dir().filePath(IsothermFileName(dataFile.fileName())),
                          BuildIsothermFile(content), errorText);
}

QByteArray BuildOxygenFile(const TOxygenFileContent& content)
{
    QByteArray out;
    WriteOxygenFile(content, [&out](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

bool WriteOxygenFile(const TOxygenFileContent& content, const TPieceSink& aSink)
{
    constexpr qsizetype Piece = 1 << 20;
    const TOxygenHistory& history = HistoryOf(content);
    QByteArray out;
    out.reserve(Piece + 4096);
    AppendAbout(out, content, QStringLiteral("Oxygen balance"));
    AppendConstants(out, content);
    AppendLine(out, QStringLiteral("time,time_s,grid_row,cell_T_C,pO2_atm,current_A,charge_C,"
                                   "gas_mol,leak_mol,released_mol,b,delta,gap,"
                                   "alpha_held_from_T_C"));
    const TConstantsHistory& constants = history.ConstantsHistory();
    std::size_t period = 0;
    for (std::size_t i = 0; i < history.Size(); ++i) {
        const TOxygenRecord& record = history.At(i);
        const TOxygenPointInput& in = record.Input;
        const TOxygenPointResult& r = record.Result;
        const double span = in.EndS - in.StartS;
        // alpha_held_from_T_C: the calibration alpha is held from, when it lies more than a
        // few kelvin from the point's temperature; empty where alpha was measured near it.
        period = PeriodIndexAt(constants, r.TimeS, period);
        const double heldFromK = AlphaHeldFromK(constants[period].Alpha, in.CellK);
        const QStringList fields = {IsoTime(content, r.TimeS),
                                    Number(r.TimeS),
                                    record.GridRow >= 0 ? QString::number(record.GridRow)
                                                        : QString(),
                                    Number(in.CellK - ZeroCelsiusK),
                                    Number(in.pO2),
                                    Number(span > 0 ? in.ChargeC / span : NAN),
                                    Number(r.ChargeC),
                                    Number(r.GasMol),
                                    Number(r.LeakMol),
                                    Number(r.ReleasedMol),
                                    Number(r.b),
                                    Number(r.Delta),
                                    r.AfterGap ? QStringLiteral("1") : QStringLiteral("0"),
                                    Number(heldFromK - ZeroCelsiusK)};
        AppendLine(out, fields.join(u','));
        if (out.size() >= Piece) {
            if (!aSink(out)) return false;
            out.resize(0);
        }
    }
    return aSink(out);
}

QByteArray BuildIsothermFile(const TOxygenFileContent& content)
{
    const TOxygenHistory& history = HistoryOf(content);
    QByteArray out;
    AppendAbout(out, content, QStringLiteral("Isotherm"));
    AppendConstants(out, content);
    // b, pO2 and the temperature are means over the step's last stability window, b_spread
    // the standard deviation of b; b_final is the b the step was heading for by the
    // exponential of its tail, with its time constant and the change still to come.
    AppendLine(out, QStringLiteral("step,time,time_s,cell_T_C,pO2_atm,b,b_spread,points,delta,"
                                   "b_final,tau_s,b_remaining"));
    for (const TIsothermPoint& point : history.Isotherm()) {
        const TOxygenRecord& record = history.At(point.Index);
        const TContentSpread b = history.Content(point);
        const QStringList fields = {QString::number(point.Step),
                                    IsoTime(content, record.Result.TimeS),
                                    Number(record.Result.TimeS),
                                    Number(b.CellK - ZeroCelsiusK),
                                    Number(b.pO2),
                                    Number(b.Mean),
                                    Number(b.Spread),
                                    QString::number(point.Index - point.First + 1),
                                    Number(history.Constants().bs - b.Mean),
                                    Number(point.Tail.Final),
                                    Number(point.Tail.TauS),
                                    Number(point.Tail.Remaining)};
        AppendLine(out, fields.join(u','));
    }
    return out;
}

} // namespace oxtiva
