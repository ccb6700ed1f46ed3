#include "science/thermodynamics_file.h"

#include "records/date_time.h"
#include "records/number_format.h"
#include "records/safe_file_name.h"
#include "records/spreadsheet_text.h"
#include "records/whole_file.h"
#include "science/oxygen_file.h"
#include "science/physical_constants.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

namespace oxtiva
{

namespace
{

// A name as text a spreadsheet shows as it is, never as a formula, on one line.
QString Safe(const QString& text) { return SpreadsheetSafeText(OneLineText(text)); }

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

QString TemperatureName(double cellK)
{
    return QString::number(cellK, 'f', 1) + QStringLiteral(" K (") +
           QString::number(cellK - ZeroCelsiusK, 'f', 1) + QStringLiteral(" °C)");
}

void AppendAbout(QByteArray& out, const TThermodynamicsInput& aInput, const QString& aSavedAt)
{
    AppendLine(out, QStringLiteral("# Partial molar enthalpy and entropy of oxygen of ") +
                        Safe(aInput.SampleName) + QStringLiteral(" (") +
                        Safe(aInput.SampleFormula) + QStringLiteral("), saved ") +
                        aSavedAt);
    AppendLine(out, QStringLiteral("# 1/2 R T ln(pO2 / 1 atm) = dh_O - T ds_O per mole of O "
                                   "(per mole of O2 twice that); R = %1 J/(mol K)")
                        .arg(Number(GasConstant)));
    AppendLine(out, QStringLiteral("# at each delta a least-squares line of ln pO2 against 1/T: "
                                   "slope 2 dh_O / R, intercept -2 ds_O / R; log10 pO2 of each "
                                   "isotherm by a monotone cubic in delta, never beyond its "
                                   "points"));
    AppendLine(out, QStringLiteral("# errors: standard errors, each isotherm weighted by its "
                                   "spread of delta times its slope; with three temperatures "
                                   "or more grown by the scatter about the line"));
}

void AppendSources(QByteArray& out, const TThermodynamicsInput& aInput)
{
    for (const TIsothermSource& source : aInput.Sources)
        AppendLine(out, QStringLiteral("# isotherm file ") + Safe(source.Name) +
                            QStringLiteral(": ") + Safe(source.SampleName) +
                            QStringLiteral(" (") + Safe(source.SampleFormula) +
                            QStringLiteral("), ") + source.Constants.join(QStringLiteral(", ")) +
                            QStringLiteral(", %1 points").arg(source.Points.size()));
}

QString TemperatureColumn(double cellK)
{
    return QStringLiteral("log10_pO2_") + QString::number(cellK, 'f', 1) + QStringLiteral("K");
}

} // namespace

std::vector<TIsothermSample> AllPoints(const TThermodynamicsInput& aInput)
{
    std::vector<TIsothermSample> points;
    for (const TIsothermSource& source : aInput.Sources)
        points.insert(points.end(), source.Points.begin(), source.Points.end());
    return points;
}

QByteArray BuildThermodynamicsFile(const TThermodynamicsInput& aInput,
                                   const TThermodynamics& aResult, const QString& aSavedAt)
{
    QByteArray out;
    AppendAbout(out, aInput, aSavedAt);
    AppendSources(out, aInput);
    for (std::size_t i = 0; i < aResult.TemperaturesK.size(); ++i)
        AppendLine(out, QStringLiteral("# temperature ") + TemperatureName(aResult.TemperaturesK[i]) +
                            QStringLiteral(": %1 isotherm points").arg(aResult.PointsAt[i]));
    QStringList header = {QStringLiteral("delta"),          QStringLiteral("dh_O_kJ_per_mol"),
                          QStringLiteral("dh_O_error"),     QStringLiteral("ds_O_J_per_mol_K"),
                          QStringLiteral("ds_O_error"),     QStringLiteral("temperatures")};
    for (double cellK : aResult.TemperaturesK) header.append(TemperatureColumn(cellK));
    AppendLine(out, header.join(u','));
    for (const TThermodynamicsRow& row : aResult.Rows) {
        QStringList fields = {Number(row.Delta),   Number(row.dhO_kJ),
                              Number(row.dhO_Error), Number(row.dsO_J),
                              Number(row.dsO_Error), QString::number(row.Temperatures)};
        for (double log10pO2 : row.Log10pO2) fields.append(Number(log10pO2));
        AppendLine(out, fields.join(u','));
    }
    return out;
}

QString ThermodynamicsFileName(const QString& aSampleStem)
{
    return aSampleStem + QStringLiteral("_thermodynamics.csv");
}

bool WriteThermodynamicsFileBeside(const QString& aDataFilePath, const QString& aSampleStem,
                                   const TThermodynamicsInput& aInput, QString& aError)
{
    const QString savedAt = FormatDateTime(u"yyyy-mm-dd hh:mm", WallNow());
    // A source without a name is the running experiment: its isotherm file is the one
    // beside this data file.
    TThermodynamicsInput named = aInput;
    for (TIsothermSource& source : named.Sources)
        if (source.Name.isEmpty()) source.Name = IsothermFileName(QFileInfo(aDataFilePath).fileName());
    const QByteArray bytes =
        BuildThermodynamicsFile(named, FitThermodynamics(AllPoints(named)), savedAt);
    return WriteWholeFile(QFileInfo(aDataFilePath).dir().filePath(ThermodynamicsFileName(aSampleStem)),
                          bytes, aError);
}

} // namespace oxtiva
