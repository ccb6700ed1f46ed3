#pragma once

#include <QString>
#include <QStringList>

namespace oxtiva
{

// One line of the step program, in fixed columns that the control cycle reads back:
// characters 1-4 the step number ("0000"), 8-13 the log(pO2) set point in general
// format cut or padded to 6, from 20 on the pump voltage in whole millivolts.
QString StepLine(int aNumber, double aSetpoint, double aMillivolts);

// Those columns, from 0: where each field starts and how many characters it has.
inline constexpr qsizetype StepNumberWidth = 4;
inline constexpr qsizetype SetpointColumn = 7;
inline constexpr qsizetype SetpointWidth = 6;
inline constexpr qsizetype MillivoltsColumn = 19;
inline constexpr qsizetype MillivoltsWidth = 6;

// The set point of a line (characters 8 to 13); false when they hold no number.
bool StepLineSetpoint(const QString& aLine, double& aValue);

// The millivolts as the control cycle reads them (characters 20 to 25).
bool StepLineMillivolts(const QString& aLine, double& aValue);

// The millivolts as a click on the list reads them (character 19 to the end of the line).
bool StepLineMillivoltsToEnd(const QString& aLine, double& aValue);

// The eight steps every session starts with.
QStringList DefaultStepProgram();

} // namespace oxtiva
