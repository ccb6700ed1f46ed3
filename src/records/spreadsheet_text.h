#pragma once

#include <QString>

namespace oxtiva
{

// A spreadsheet that opens a data file splits its lines at ";", "," or tabs (and the text at
// its line breaks) and evaluates
// every piece that begins with "=", "+", "-" or "@" (after blanks) as a formula: a sample
// name "=HYPERLINK(...)" became a live link, a note "-> changed gas" became #NAME?. Such a
// piece is written with an apostrophe before it, so that it shows as text; a piece that
// already begins with an apostrophe before such a text gets one more, so the reading back
// is exact for every text, old files included.
QString SpreadsheetSafeText(const QString& text);

// The text as it was before SpreadsheetSafeText: each apostrophe it added is taken away.
QString SpreadsheetSafeTextRestored(const QString& text);

} // namespace oxtiva
