#include "control/step_line.h"

#include "records/number_format.h"
#include "records/string_spacer.h"

namespace oxtiva
{

namespace
{

// The lines are written in the locale's number format, so they are read back with it.
bool ReadField(const QString& aLine, qsizetype aFrom, qsizetype aLength, double& aValue)
{
    return ParseLocaleDouble(aLine.mid(aFrom, aLength).trimmed(), aValue);
}

} // namespace

QString StepLine(int aNumber, double aSetpoint, double aMillivolts)
{
    return FormatFloat(u"0000", aNumber) + QStringLiteral("   ") +
           StringSpacer(6, FormatGeneral(aSetpoint), false) + QStringLiteral("      ") +
           FormatFloat(u"0", aMillivolts);
}

bool StepLineSetpoint(const QString& aLine, double& aValue)
{
    return ReadField(aLine, SetpointColumn, SetpointWidth, aValue);
}

bool StepLineMillivolts(const QString& aLine, double& aValue)
{
    return ReadField(aLine, MillivoltsColumn, MillivoltsWidth, aValue);
}

bool StepLineMillivoltsToEnd(const QString& aLine, double& aValue)
{
    // A click reads from one character before the control cycle's column, a blank in a
    // written line.
    return ReadField(aLine, MillivoltsColumn - 1, -1, aValue);
}

QStringList DefaultStepProgram()
{
    struct TStep {
        double Setpoint;
        double Millivolts;
    };
    static constexpr TStep steps[] = {{-4, 45},  {-5, 115}, {-6, 227},  {-7, 361},
                                      {-8, 387}, {-9, 420}, {-10, 466}, {-11, 525}};
    QStringList lines;
    for (const TStep& step : steps)
        lines << StepLine(lines.size() + 1, step.Setpoint, step.Millivolts);
    return lines;
}

} // namespace oxtiva
