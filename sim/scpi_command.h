#pragma once

#include <optional>
#include <string>
#include <vector>

namespace oxtiva::sim
{

// One SCPI program message unit: a header such as "SOUR:VOLT:LEV" in short, upper-case
// form (long forms like ":SOURCE:VOLTAGE:LEVEL" are folded onto it) and its parameter
// text, trimmed.
struct TScpiCommand {
    std::string header; // without the leading colon; ends in '?' for a query
    std::string parameter;
    bool IsQuery() const { return !header.empty() && header.back() == '?'; }
};

// Splits a command line at the semicolons that are not inside quotes and parses
// every part. Empty parts are dropped.
std::vector<TScpiCommand> ParseCommandLine(const std::string& line);

// The SCPI short form of one mnemonic: its first four letters, or three when the
// fourth is a vowel ("LEVEL" -> "LEV", "OUTPUT" -> "OUTP", "CLOSE" -> "CLOS").
std::string ShortMnemonic(const std::string& mnemonic);

// A parameter naming a function or node path ("'VOLT:DC'", "\"RESistance\""), without
// quotes, in upper-case short form.
std::string NormalizedWordPath(const std::string& parameter);

// Numeric parameter; MIN, MAX and DEF give the given values.
std::optional<double> NumericParameter(const std::string& parameter, double minValue,
                                       double maxValue, double defaultValue);

// Boolean parameter: ON/OFF or a number (non-zero is true).
std::optional<bool> BooleanParameter(const std::string& parameter);

// Channel number of a channel list such as "(@3)".
std::optional<int> ChannelParameter(const std::string& parameter);

// Reading formats of the two instruments.
// What an instrument reads for an open input or a range the value does not fit.
constexpr double OverflowValue = 9.9e37;

std::string FormatDmmReading(double value);                 // "+1.23456789E+04"
std::string FormatSmuReading(double volts, double amperes); // "+1.234567E-01,+5.678900E-04"

} // namespace oxtiva::sim
