#include "science/oxygen_file.h"

#include "records/number_format.h"
#include "records/safe_file_name.h"
#include "records/windows_1252.h"
#include "science/oxygen_history.h"
#include "science/oxygen_sensor.h"

#include <cmath>

namespace oxtiva
{

namespace
{

void AppendLine(QByteArray& out, QStringView text)
{
    AppendWindows1252(out, text);
    out.append("\r\n");
}

QString Number(double value)
{
    return std::isfinite(value) ? FormatGeneral(value) : QString();
}

void AppendFields(QByteArray& out, const QStringList& fields)
{
    AppendLine(out, fields.join(u';'));
}

void AppendHeader(QByteArray& out, const TOxygenFileContent& content)
{
    AppendLine(out, u"** OXYGEN BALANCE ****************************************");
    AppendLine(out, {});
    AppendLine(out, OneLineText(content.SampleName));
    AppendLine(out, OneLineText(content.SampleFormula));
    AppendLine(out, QStringLiteral("Saved ") + content.SavedAt);
    AppendLine(out, QStringLiteral("Data file ") + content.DataFileName);
    AppendLine(out, {});
}

void AppendConstants(QByteArray& out, const TOxygenBalanceConstants& c)
{
    AppendLine(out, u"** CONSTANTS *********************************************");
    AppendLine(out, {});
    AppendLine(out, u"Value;Unit;Abbreviation;Field name");
    const struct {
        double value;
        const char16_t* tail;
    } rows[] = {
        {GasConstantLAtm, u";L·atm/(mol·K);R;Gas constant"},
        {FaradayConstant, u";C/mol;F;Faraday constant"},
        {c.HotVolumeL, u";L;Vhp;Gas volume of hot part"},
        {c.GradientVolumeL, u";L;Vgp;Gas volume of gradient part"},
        {c.ColdEndK, u";K;Tl;Cold end temperature"},
        {c.FlushpO2, u";atm;FGpO2;Flush gas partial pressure of oxygen"},
        {c.LeakAlpha, u";mol/(s·atm^¼);alpha;Leakage constant"},
        {c.b0, u";mol/mol;b0;Initial molar content of oxygen"},
        {c.n0, u";mol;n0;Moles of compound"},
        {c.bs, u";mol/mol;bs;Nominal stoichiometric molar content of oxygen"},
    };
    for (const auto& row : rows)
        AppendLine(out, Number(row.value) + QString::fromUtf16(row.tail));
    AppendLine(out, {});
}

void AppendPoints(QByteArray& out, const TOxygenHistory& history)
{
    AppendLine(out, u"** POINTS ************************************************");
    AppendLine(out, {});
    AppendLine(out, u"Time,s;CellT,ºC;CellpO2,atm;Charge,C;nGas,mol;dnS,mol;b;delta;Gap");
    for (std::size_t i = 0; i < history.Size(); ++i) {
        const TOxygenPointInput& in = history.At(i).Input;
        const TOxygenPointResult& r = history.At(i).Result;
        AppendFields(out, {Number(r.TimeS), Number(in.CellK - ZeroCelsiusK), Number(in.pO2),
                           Number(r.ChargeC), Number(r.GasMol), Number(r.ReleasedMol), Number(r.b),
                           Number(r.Delta), r.AfterGap ? QStringLiteral("Gap") : QString()});
    }
    AppendLine(out, {});
}

void AppendIsotherm(QByteArray& out, const TOxygenHistory& history)
{
    AppendLine(out, u"** ISOTHERM **********************************************");
    AppendLine(out, {});
    AppendLine(out, u"Step;Time,s;CellT,ºC;CellpO2,atm;b;delta");
    for (const TIsothermPoint& point : history.Isotherm()) {
        const TOxygenRecord& record = history.At(point.Index);
        AppendFields(out, {QString::number(point.Step), Number(record.Result.TimeS),
                           Number(record.Input.CellK - ZeroCelsiusK), Number(record.Input.pO2),
                           Number(record.Result.b), Number(record.Result.Delta)});
    }
}

} // namespace

QString OxygenFileName(const QString& dataFileName)
{
    const QString stem = dataFileName.endsWith(u".csv") ? dataFileName.chopped(4) : dataFileName;
    return stem + QStringLiteral("_oxygen.csv");
}

QByteArray BuildOxygenFile(const TOxygenFileContent& content)
{
    QByteArray out;
    const TOxygenHistory empty;
    const TOxygenHistory& history = content.History ? *content.History : empty;
    // A point's line is about 150 bytes.
    out.reserve(2048 + qsizetype(history.Size()) * 160);
    AppendHeader(out, content);
    AppendConstants(out, history.Constants());
    AppendPoints(out, history);
    AppendIsotherm(out, history);
    return out;
}

} // namespace oxtiva
