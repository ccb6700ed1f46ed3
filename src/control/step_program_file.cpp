#include "control/step_program_file.h"

#include "control/step_line.h"
#include "records/number_format.h"

#include <QStringDecoder>

namespace oxtiva
{

namespace
{

bool IsBlank(QStringView aText)
{
    return aText.trimmed().isEmpty();
}

bool AllSpaces(QStringView aText)
{
    for (QChar c : aText)
        if (c != QLatin1Char(' ')) return false;
    return true;
}

bool FourDigits(QStringView aText)
{
    if (aText.size() != 4) return false;
    for (QChar c : aText)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

// A number typed with the other decimal separator is the likeliest slip when a file
// travels between computers, so the problem then names the separator this one expects.
QString WithSeparatorHint(QString aProblem, const QString& aText)
{
    const QChar separator = LocaleDecimalSeparator();
    const QChar other = separator == QLatin1Char('.') ? QLatin1Char(',') : QLatin1Char('.');
    QString swapped = aText;
    swapped.replace(other, separator);
    double value = 0;
    if (swapped != aText && ParseLocaleDouble(swapped, value))
        aProblem += QStringLiteral(" (this computer writes decimals with '") + separator +
                    QStringLiteral("')");
    return aProblem;
}

// aProblem holds %1 for the value, %2 and %3 for the limits.
std::optional<QString> OutsideLimits(const QString& aProblem, double aValue, double aLowest,
                                     double aHighest)
{
    if (aValue >= aLowest && aValue <= aHighest) return std::nullopt;
    return aProblem.arg(FormatGeneral(aValue), FormatGeneral(aLowest), FormatGeneral(aHighest));
}

std::optional<QString> SetpointProblem(const QString& aLine, const TStepLimits& aLimits)
{
    const QString text = aLine.mid(SetpointColumn, SetpointWidth).trimmed();
    if (text.isEmpty()) return QStringLiteral("no log(pO2) set point in characters 8 to 13");
    double setpoint = 0;
    if (!StepLineSetpoint(aLine, setpoint))
        return WithSeparatorHint(
            QStringLiteral("the log(pO2) set point '%1' is not a number").arg(text), text);
    return OutsideLimits(QStringLiteral("the log(pO2) set point %1 lies outside %2 to %3"),
                         setpoint, aLimits.LowestSetpoint, aLimits.HighestSetpoint);
}

std::optional<QString> MillivoltProblem(const QString& aLine, const TStepLimits& aLimits)
{
    const QString text = aLine.mid(MillivoltsColumn).trimmed();
    if (text.isEmpty()) return QStringLiteral("no millivolt column");
    double millivolts = 0;
    if (!StepLineMillivoltsToEnd(aLine, millivolts))
        return WithSeparatorHint(QStringLiteral("the millivolts '%1' are not a number").arg(text),
                                 text);
    // The control cycle reads characters 20 to 25 only; a longer number would run at a
    // different voltage than the list shows.
    if (!IsBlank(QStringView(aLine).mid(MillivoltsColumn + MillivoltsWidth)))
        return QStringLiteral("the millivolts '%1' are longer than 6 characters").arg(text);
    return OutsideLimits(QStringLiteral("the millivolts %1 lie outside %2 to %3"), millivolts,
                         aLimits.LowestMillivolts, aLimits.HighestMillivolts);
}

// The file's lines without their line ends.
QList<QByteArray> RawLines(QByteArray aBytes)
{
    // Some editors open a UTF-8 file with a byte order mark.
    if (aBytes.startsWith("\xEF\xBB\xBF")) aBytes.remove(0, 3);
    QList<QByteArray> lines = aBytes.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    return lines;
}

} // namespace

QString TStepFileProblem::Text() const
{
    if (Line <= 0) return What;
    return QStringLiteral("line ") + QString::number(Line) + QStringLiteral(": ") + What;
}

std::optional<QString> StepLineProblem(const QString& aLine, const TStepLimits& aLimits)
{
    if (IsBlank(aLine)) return QStringLiteral("empty line");
    if (!FourDigits(QStringView(aLine).left(StepNumberWidth)))
        return QStringLiteral("the step number '%1' is not four digits")
            .arg(aLine.left(StepNumberWidth));
    if (!AllSpaces(QStringView(aLine).mid(StepNumberWidth, SetpointColumn - StepNumberWidth)))
        return QStringLiteral("characters 5 to 7 are not spaces");
    if (auto problem = SetpointProblem(aLine, aLimits)) return problem;
    if (!AllSpaces(QStringView(aLine).mid(SetpointColumn + SetpointWidth,
                                          MillivoltsColumn - SetpointColumn - SetpointWidth)))
        return QStringLiteral(
            "characters 14 to 19 are not spaces (a set point takes at most 6 characters)");
    return MillivoltProblem(aLine, aLimits);
}

QByteArray StepProgramFileText(const QStringList& aLines)
{
    QByteArray bytes;
    for (const QString& line : aLines)
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

TStepFileContents ParseStepProgramFile(const QByteArray& aBytes, const TStepLimits& aLimits)
{
    TStepFileContents contents;
    QList<QByteArray> raw = RawLines(aBytes);
    while (!raw.isEmpty() && raw.last().trimmed().isEmpty())
        raw.removeLast();
    if (raw.isEmpty()) {
        contents.Problems.append({0, QStringLiteral("the file holds no steps")});
        return contents;
    }
    for (int i = 0; i < raw.size(); ++i) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder(raw[i]);
        if (decoder.hasError())
            contents.Problems.append({i + 1, QStringLiteral("not UTF-8 text")});
        else if (auto problem = StepLineProblem(line, aLimits))
            contents.Problems.append({i + 1, *problem});
        contents.Lines << line;
    }
    if (!contents.Ok()) contents.Lines.clear();
    return contents;
}

QString DescribeStepFileProblems(const QList<TStepFileProblem>& aProblems, int aMostShown)
{
    QStringList texts;
    for (int i = 0; i < aProblems.size() && i < aMostShown; ++i)
        texts << aProblems[i].Text();
    const qsizetype more = aProblems.size() - texts.size();
    if (more == 1) texts << QStringLiteral("and one more bad line");
    if (more > 1) texts << QStringLiteral("and %1 more bad lines").arg(more);
    return texts.join(QLatin1Char('\n'));
}

QString WithStepsExtension(const QString& aPath)
{
    if (aPath.endsWith(QLatin1String(".steps"), Qt::CaseInsensitive)) return aPath;
    return aPath + QStringLiteral(".steps");
}

} // namespace oxtiva
