#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>
#include <QStringView>

namespace oxtiva {

// The decimal separator of the locale the program writes its grid, texts and files
// with (QLocale's default, which is the system locale unless a test sets another).
QChar LocaleDecimalSeparator();

// General number format: up to 15 significant digits, trailing zeros and a trailing
// separator dropped, plain notation for magnitudes from 1E-4 to below 1E15 and
// scientific notation ("1.5E-6", "1E15") otherwise.
QString FormatGeneral(double value);                        // locale separator
QString FormatGeneral(double value, QChar decimalSeparator);

// Picture patterns: "0", "0.0", "0.00", "0.000", "0.000000", "0000", "0.000 000",
// "0.00E+0", "0.000E+0", "0.00000E+0", "0.000000E+00".
QString FormatFloat(QStringView pattern, double value);     // locale separator
QString FormatFloat(QStringView pattern, double value, QChar decimalSeparator);

// Date patterns: "yyyy-mm-dd", "yyyy-mm-dd hh:mm", "yyyy-mm-dd_hh:mm",
// "yyyy-mm-dd hh:mm:ss" (mm after hh is minutes, as in the data files).
QString FormatDateTime(QStringView pattern, const QDateTime& localTime);

// Numbers inside SCPI commands: always "." whatever the locale, since an instrument
// cannot read "0,250000".
QString ScpiGeneral(double value);
QString ScpiFixed6(double value); // pattern "0.000000"

// Parses an instrument reply or a value cell: "." separator, optional sign, digits,
// optional exponent; true only when the whole text converted. The value is stored
// even on failure when a leading part converted (callers must not use it then).
bool ParseScpiDouble(QStringView text, double& value);

// Like ParseScpiDouble, but returns the 1-based position of the first character that
// did not convert, 0 when the whole text did.
int ScpiConversionErrorPosition(QStringView text, double& value);

// Parses a number written with the locale's separator (grid cells such as Time),
// so the grid reads back what it wrote under any locale.
bool ParseLocaleDouble(QStringView text, double& value);

} // namespace oxtiva
