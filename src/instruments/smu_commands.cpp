#include "instruments/smu_commands.h"

#include "records/number_format.h"

#include <algorithm>
#include <cmath>

namespace oxtiva
{

namespace
{

constexpr double MaxCurrentLimitA = 0.005;
constexpr double MaxVoltageLimitV = 1.1;

bool IsSeparatorBlank(char c)
{
    return c != '\0' && static_cast<unsigned char>(c) <= ' ';
}

// A field in double quotes, with "" standing for one quote; i is left after it.
QByteArray QuotedField(const QByteArray& text, qsizetype& i)
{
    QByteArray field;
    for (++i; i < text.size(); ++i) {
        if (text[i] != '"') {
            field += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
        } else {
            ++i;
            break;
        }
    }
    return field;
}

QByteArray PlainField(const QByteArray& text, qsizetype& i)
{
    const qsizetype start = i;
    while (i < text.size() && !IsSeparatorBlank(text[i]) && text[i] != ',' && text[i] != '\0')
        ++i;
    return text.mid(start, i - start);
}

void SkipBlanks(const QByteArray& text, qsizetype& i)
{
    while (i < text.size() && IsSeparatorBlank(text[i]))
        ++i;
}

} // namespace

QList<QByteArray> SmuSetupCommands(double aCurrentLimit, double aVoltageLimit)
{
    const double currentLimit = std::min(std::fabs(aCurrentLimit), MaxCurrentLimitA);
    const double voltageLimit = std::min(std::fabs(aVoltageLimit), MaxVoltageLimitV);
    return {"*RST\r",
            ":ROUT:TERM REAR\r",
            ":SOUR:FUNC VOLT\r",
            ":SOUR:VOLT:MODE FIXED\r",
            ":SOUR:VOLT:RANGE:AUTO 1\r",
            ":SOUR:VOLT:LEVEL 0\r",
            ":SOUR:FUNC CURR\r",
            ":SOUR:CURR:MODE FIXED\r",
            ":SOUR:CURR:RANGE:AUTO 1\r",
            ":SOUR:CURR:LEVEL 0\r",
            ":SENS:VOLT:PROT 1\r",
            ":SENS:VOLT:PROT:LEV " + ScpiGeneral(voltageLimit).toLatin1() + "\r",
            ":SENS:CURR:PROT 1\r",
            ":SENS:CURR:PROT:LEV " + ScpiGeneral(currentLimit).toLatin1() + "\r",
            ":SENS:FUNC:CONC ON\r",
            ":SENS:FUNC:ON \"VOLT\", \"CURR\"\r",
            ":SENS:VOLT:NPLC MIN\r",
            ":SENS:CURR:RANGE:AUTO 1\r",
            ":FORM:ELEM VOLT,CURR\r",
            ":OUTPUT:STATE 1\r"};
}

QByteArray SourceCurrentCommand(const QByteArray& levelText)
{
    return ":SOUR:FUNC CURR;:SOUR:CURR:LEV " + levelText + ";:OUTPUT:STATE 1\r";
}

QByteArray SourceVoltageCommand(const QByteArray& levelText)
{
    return ":SOUR:FUNC VOLT;:SOUR:VOLT:LEV " + levelText + ";:OUTPUT:STATE 1\r";
}

namespace
{

// "FUNC;level;output" as the instrument answers a read-back of its source.
bool ConfirmsSource(const QByteArray& reply, const QByteArray& function,
                    const QByteArray& levelText)
{
    const QList<QByteArray> fields = reply.split(';');
    if (fields.size() != 3) return false;
    bool levelOk = false;
    bool wantedOk = false;
    bool outputOk = false;
    const double level = fields[1].trimmed().toDouble(&levelOk);
    const double wanted = levelText.toDouble(&wantedOk);
    const int output = fields[2].trimmed().toInt(&outputOk);
    // The level goes out with six decimals: half the last digit tells rounding from
    // another level.
    return fields[0].trimmed().toUpper().startsWith(function) && levelOk && wantedOk &&
           std::fabs(level - wanted) < 0.5e-6 && outputOk && output == 1;
}

} // namespace

bool ConfirmsCurrentSource(const QByteArray& reply, const QByteArray& levelText)
{
    return ConfirmsSource(reply, "CURR", levelText);
}

bool ConfirmsVoltageSource(const QByteArray& reply, const QByteArray& levelText)
{
    return ConfirmsSource(reply, "VOLT", levelText);
}

QByteArray CurrentLevelText(double microAmperes)
{
    const double amperes = microAmperes / 1000000;
    if (!std::isfinite(amperes)) return "0.0";
    return ScpiFixed6(amperes).toLatin1();
}

TSourceVoltage ClampedSourceVoltage(double volts)
{
    TSourceVoltage result{static_cast<float>(volts), ScpiFixed6(volts).toLatin1()};
    if (!(result.Value >= -1)) result = {-1, "-1"};
    if (!(result.Value <= 1)) result = {1, "1"};
    return result;
}

QList<QByteArray> SplitReadingFields(const QByteArray& reply)
{
    QList<QByteArray> fields;
    qsizetype i = 0;
    SkipBlanks(reply, i);
    while (i < reply.size() && reply[i] != '\0') {
        fields.append(reply[i] == '"' ? QuotedField(reply, i) : PlainField(reply, i));
        SkipBlanks(reply, i);
        if (i < reply.size() && reply[i] == ',') {
            if (i + 1 == reply.size()) fields.append(QByteArray());
            ++i;
            SkipBlanks(reply, i);
        }
    }
    return fields;
}

} // namespace oxtiva
