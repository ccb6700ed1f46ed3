#include "science/isotherm_source.h"

#include "records/spreadsheet_text.h"
#include "science/oxygen_history.h"
#include "science/physical_constants.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <cmath>

namespace oxtiva
{

namespace
{

// The sample's own constants: what tells one sample's run from another's.
const QStringList SampleConstants = {QStringLiteral("b0"), QStringLiteral("n0"),
                                     QStringLiteral("bs")};

QString FormatConstant(const QString& name, double value)
{
    return name + QStringLiteral(" = ") + QString::number(value, 'g', 6);
}

// "# Isotherm of Ceria (CeO2), saved 2026-12-11 10:00 with Ceria_0003.csv"
void TakeAbout(const QString& line, TIsothermSource& aSource)
{
    static const QRegularExpression about(
        QStringLiteral("^# Isotherm of (.*) \\((.*)\\), saved .* with .*$"));
    const QRegularExpressionMatch match = about.match(line);
    if (!match.hasMatch()) return;
    aSource.SampleName = SpreadsheetSafeTextRestored(match.captured(1));
    aSource.SampleFormula = SpreadsheetSafeTextRestored(match.captured(2));
}

// "# b0 = 1.98 mol/mol, initial oxygen content; from ...": the newest value of each counts.
void TakeConstant(const QString& line, QMap<QString, QString>& constants)
{
    static const QRegularExpression constant(QStringLiteral("^# (\\w+) = (\\S+) "));
    const QRegularExpressionMatch match = constant.match(line);
    if (match.hasMatch() && SampleConstants.contains(match.captured(1)))
        constants[match.captured(1)] = match.captured(2);
}

double FieldNumber(const QStringList& fields, qsizetype column)
{
    if (column < 0 || column >= fields.size()) return NAN;
    bool ok = false;
    const double value = fields[column].trimmed().toDouble(&ok);
    return ok ? value : NAN;
}

struct TColumns {
    qsizetype CellC = -1;
    qsizetype pO2 = -1;
    qsizetype Delta = -1;
    qsizetype Spread = -1;
};

TColumns ColumnsOf(const QStringList& header)
{
    auto at = [&header](const char* name) { return header.indexOf(QLatin1String(name)); };
    return {at("cell_T_C"), at("pO2_atm"), at("delta"), at("b_spread")};
}

void TakeRow(const QStringList& fields, const TColumns& columns, TIsothermSource& aSource)
{
    TIsothermSample sample;
    sample.CellK = FieldNumber(fields, columns.CellC) + ZeroCelsiusK;
    sample.pO2 = FieldNumber(fields, columns.pO2);
    sample.Delta = FieldNumber(fields, columns.Delta);
    const double spread = FieldNumber(fields, columns.Spread);
    sample.DeltaSpread = std::isfinite(spread) ? std::abs(spread) : 0;
    if (std::isfinite(sample.CellK) && sample.CellK > 0 && std::isfinite(sample.pO2) &&
        sample.pO2 > 0 && std::isfinite(sample.Delta))
        aSource.Points.push_back(sample);
}

} // namespace

bool ParseIsothermFile(QByteArrayView aBytes, TIsothermSource& aSource, QString& aError)
{
    const QStringList lines = QString::fromUtf8(aBytes).split(QRegularExpression(
        QStringLiteral("\r\n|\n|\r")), Qt::SkipEmptyParts);
    QMap<QString, QString> constants;
    std::optional<TColumns> columns;
    for (const QString& line : lines) {
        if (line.startsWith(u'#')) {
            TakeAbout(line, aSource);
            TakeConstant(line, constants);
        } else if (!columns) {
            columns = ColumnsOf(line.split(u','));
            if (columns->CellC < 0 || columns->pO2 < 0 || columns->Delta < 0) {
                aError = QStringLiteral("no columns cell_T_C, pO2_atm and delta");
                return false;
            }
        } else {
            TakeRow(line.split(u','), *columns, aSource);
        }
    }
    if (!columns) {
        aError = QStringLiteral("no table of isotherm points");
        return false;
    }
    for (const QString& name : SampleConstants)
        if (constants.contains(name))
            aSource.Constants.append(name + QStringLiteral(" = ") + constants[name]);
    return true;
}

bool ReadIsothermFile(const QString& aPath, TIsothermSource& aSource, QString& aError)
{
    QFile file(aPath);
    if (!file.open(QIODevice::ReadOnly)) {
        aError = file.errorString();
        return false;
    }
    aSource.Name = QFileInfo(aPath).fileName();
    return ParseIsothermFile(file.readAll(), aSource, aError);
}

TIsothermSource IsothermOfHistory(const TOxygenHistory& aHistory, const QString& aName,
                                  const QString& aSampleName, const QString& aSampleFormula)
{
    TIsothermSource source;
    source.Name = aName;
    source.SampleName = aSampleName;
    source.SampleFormula = aSampleFormula;
    const TOxygenBalanceConstants& c = aHistory.Constants();
    source.Constants = {FormatConstant(QStringLiteral("b0"), c.b0),
                        FormatConstant(QStringLiteral("n0"), c.n0),
                        FormatConstant(QStringLiteral("bs"), c.bs)};
    for (const TIsothermPoint& point : aHistory.Isotherm()) {
        // pO2 and temperature are means over the same window as b, as the file writes them.
        const TContentSpread b = aHistory.Content(point);
        source.Points.push_back({b.CellK, b.pO2, c.bs - b.Mean, b.Spread});
    }
    return source;
}

} // namespace oxtiva
