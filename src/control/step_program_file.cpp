#include "control/step_program_file.h"

#include "control/step_line.h"
#include "records/number_format.h"
#include "records/string_spacer.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

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

// A field of a hand-written line: it goes into a column of at most 6 characters, where a
// longer text would be cut and run as another number.
// aName holds %1 for the text: "the millivolts '%1' are".
std::optional<QString> FieldProblem(const QString& aName, const QString& aText, double& aValue)
{
    if (!ParseLocaleDouble(aText, aValue))
        return WithSeparatorHint(aName.arg(aText) + QStringLiteral(" not a number"), aText);
    if (aText.size() > SetpointWidth)
        return aName.arg(aText) + QStringLiteral(" longer than 6 characters");
    return std::nullopt;
}

} // namespace

QString VisibleTabs(QString aText)
{
    return aText.replace(QLatin1Char('\t'), QStringLiteral("\u2192"));
}

TStepFileLine ReadStepFileLine(const QString& aLine, const TStepLimits& aLimits)
{
    static const QRegularExpression blanks(QStringLiteral("[ \t]+"));
    const QStringList fields = aLine.split(blanks, Qt::SkipEmptyParts);
    if (fields.size() != 3)
        return {{},
                QStringLiteral("expected 3 columns (step number, log(pO2) set point, millivolts) "
                               "separated by blanks or a tab, found %1 in '%2'")
                    .arg(fields.size())
                    .arg(VisibleTabs(aLine.trimmed()))};
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    if (!digits.match(fields[0]).hasMatch())
        return {{},
                QStringLiteral("the step number '%1' is not a whole number of at most four "
                               "digits")
                    .arg(fields[0])};
    double setpoint = 0;
    double millivolts = 0;
    std::optional<QString> problem =
        FieldProblem(QStringLiteral("the log(pO2) set point '%1' is"), fields[1], setpoint);
    if (!problem)
        problem = OutsideLimits(QStringLiteral("the log(pO2) set point %1 lies outside %2 to %3"),
                                setpoint, aLimits.LowestSetpoint, aLimits.HighestSetpoint);
    if (!problem)
        problem = FieldProblem(QStringLiteral("the millivolts '%1' are"), fields[2], millivolts);
    if (problem) return {{}, problem};
    if (auto outside =
            OutsideLimits(QStringLiteral("the millivolts %1 lie outside %2 to %3"), millivolts,
                          aLimits.LowestMillivolts, aLimits.HighestMillivolts))
        return {{}, outside};
    // The texts as typed, so the line runs exactly the numbers the file holds.
    const QString line =
        fields[0].rightJustified(StepNumberWidth, QLatin1Char('0')) +
        QString(SetpointColumn - StepNumberWidth, QLatin1Char(' ')) +
        StringSpacer(static_cast<int>(SetpointWidth), fields[1], false) +
        QString(MillivoltsColumn - SetpointColumn - SetpointWidth, QLatin1Char(' ')) + fields[2];
    if (auto fixed = StepLineProblem(line, aLimits)) return {{}, fixed};
    return {line, std::nullopt};
}

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
    const QList<QByteArray> raw = RawLines(aBytes);
    for (int i = 0; i < raw.size(); ++i) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder(raw[i]);
        if (decoder.hasError()) {
            contents.Problems.append({i + 1, QStringLiteral("not UTF-8 text")});
            continue;
        }
        if (IsBlank(line) || line.trimmed().startsWith(QLatin1Char('#'))) continue;
        const TStepFileLine step = ReadStepFileLine(line, aLimits);
        if (step.Problem)
            contents.Problems.append({i + 1, *step.Problem});
        else
            contents.Lines << step.Line;
    }
    if (contents.Lines.isEmpty() && contents.Problems.isEmpty())
        contents.Problems.append({0, QStringLiteral("the file holds no steps")});
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

QString StepsFileBeside(const QString& aDataFilePath)
{
    const QFileInfo data(aDataFilePath);
    return data.dir().filePath(data.completeBaseName() + QStringLiteral(".steps"));
}

bool WriteStepsBeside(const QString& aDataFilePath, const QStringList& aLines, QString& aError)
{
    QSaveFile file(StepsFileBeside(aDataFilePath));
    if (file.open(QIODevice::WriteOnly) && file.write(StepProgramFileText(aLines)) >= 0 &&
        file.commit())
        return true;
    aError = file.errorString();
    return false;
}

} // namespace oxtiva
