#pragma once

#include "instruments/plausible_readings.h"

#include <QByteArray>
#include <QList>

namespace oxtiva
{

// The SourceMeter's set-up sequence: reset, rear terminals, both source functions at
// 0 with auto range, voltage and current protection at the given limits (their
// magnitudes, at most 0.005 A and 1.1 V), concurrent volt and current readings at the
// shortest integration time, and the output on as a 0 A current source.
QList<QByteArray> SmuSetupCommands(double aCurrentLimit, double aVoltageLimit);

// Index of the voltage-protection command in SmuSetupCommands, which is also logged.
constexpr int SmuVoltageProtectionCommandIndex = 11;

// ":SOUR:FUNC CURR;:SOUR:CURR:LEV <amperes>;:OUTPUT:STATE 1\r"
QByteArray SourceCurrentCommand(const QByteArray& levelText);
// ":SOUR:FUNC VOLT;:SOUR:VOLT:LEV <volts>;:OUTPUT:STATE 1\r"
QByteArray SourceVoltageCommand(const QByteArray& levelText);

// Reads back the source function, the current level and the output state.
inline const QByteArray SourceStateQuery = ":SOUR:FUNC?;:SOUR:CURR:LEV?;:OUTP:STAT?\r";
// Reads back the source function, the voltage level and the output state.
inline const QByteArray SourceVoltageStateQuery = ":SOUR:FUNC?;:SOUR:VOLT:LEV?;:OUTP:STAT?\r";
// Whether the answer to SourceStateQuery shows a current source at levelText (amperes)
// with its output on.
bool ConfirmsCurrentSource(const QByteArray& reply, const QByteArray& levelText);
// Whether the answer to SourceVoltageStateQuery shows a voltage source at levelText
// (volts) with its output on.
bool ConfirmsVoltageSource(const QByteArray& reply, const QByteArray& levelText);

// The current set point in microamperes as the ampere text of the command, resolving one
// microampere ("0.000100" for 100); "0.0" for a value that cannot be written.
QByteArray CurrentLevelText(double microAmperes);

// A source voltage as the pump thread applies it: kept as a single-precision value and
// its command text, both limited to ±1 V ("-1", "1"; NaN counts as below).
struct TSourceVoltage {
    float Value = 0;
    QByteArray Text = "0";
};
TSourceVoltage ClampedSourceVoltage(double volts);

// Splits a reading reply into fields at commas; blanks and control characters around
// fields also separate and are dropped; a field in double quotes is taken whole; a comma
// at the very end adds an empty field.
QList<QByteArray> SplitReadingFields(const QByteArray& reply);

} // namespace oxtiva
