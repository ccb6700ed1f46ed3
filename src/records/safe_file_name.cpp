#include "records/safe_file_name.h"

#include <QFile>
#include <QStringList>

namespace oxtiva
{

namespace
{

// Linux, like most file systems, takes 255 bytes per name, counted in the encoding that
// file names are written in; Windows 255 UTF-16 units.
constexpr qsizetype FileNameBytes = 255;
// What follows the name: "_", a counter that may grow to ten digits, ".csv" or ".png".
constexpr qsizetype SuffixBytes = 1 + 10 + 4;

bool IsForbidden(QChar c)
{
    static const QString forbidden = QStringLiteral("/\\<>:\"|?*");
    return IsLineBreakOrControl(c) || forbidden.contains(c);
}

void ReplaceDotRuns(QString& name)
{
    for (qsizetype i = 0; i + 1 < name.size(); ++i) {
        if (name[i] == u'.' && name[i + 1] == u'.') {
            name[i] = u'_';
            name[i + 1] = u'_';
        }
    }
}

// Windows opens a device, not a file, for these names, whatever extension follows the
// first dot and whatever blanks stand before it: "nul.csv" would swallow a whole save.
bool IsDeviceName(const QString& base)
{
    static const QStringList devices = {"CON", "PRN", "AUX", "NUL"};
    static const QString numbered = QStringLiteral("0123456789\u00B9\u00B2\u00B3");
    if (devices.contains(base, Qt::CaseInsensitive)) return true;
    return base.size() == 4 &&
           (base.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) ||
            base.startsWith(QLatin1String("LPT"), Qt::CaseInsensitive)) &&
           numbered.contains(base.back());
}

void AvoidDeviceNames(QString& name)
{
    qsizetype end = name.indexOf(u'.');
    if (end < 0) end = name.size();
    while (end > 0 && name[end - 1] == u' ')
        --end;
    if (IsDeviceName(name.left(end))) name.insert(end, u'_');
}

// A name beginning with "-" is an option to every command-line tool a folder of files is
// handed to with "*.csv", and one beginning with "=", "+" or "@" a formula to a
// spreadsheet's list of files.
void ReplaceLeadingFormulaOrOption(QString& name)
{
    if (!name.isEmpty() && QStringView(u"=+-@").contains(name.front())) name[0] = u'_';
}

void ReplaceTrailingDotsAndBlanks(QString& name)
{
    for (qsizetype i = name.size() - 1; i >= 0 && (name[i] == u'.' || name[i] == u' '); --i)
        name[i] = u'_';
}

// The longest start of the name, never splitting a character made of two UTF-16 units,
// that keeps to the character and byte limits.
void CutToFit(QString& name)
{
    qsizetype end = 0;
    for (int characters = 0; end < name.size() && characters < MaxFileNameCharacters;
         ++characters) {
        const qsizetype next = end + (name[end].isHighSurrogate() ? 2 : 1);
        if (FileNameSize(name.left(next)) > FileNameBytes - SuffixBytes) break;
        end = next;
    }
    name.truncate(end);
}

} // namespace

qsizetype FileNameSize(const QString& name)
{
#ifdef Q_OS_WIN
    return name.size();
#else
    return QFile::encodeName(name).size();
#endif
}

bool IsLineBreakOrControl(QChar c)
{
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

QString OneLineText(QString text)
{
    for (QChar& c : text)
        if (IsLineBreakOrControl(c)) c = u' ';
    return text;
}

QString SafeFileName(const QString& name)
{
    QString safe = name;
    for (QChar& c : safe) {
        if (IsForbidden(c)) c = u'_';
    }
    ReplaceDotRuns(safe);
    ReplaceLeadingFormulaOrOption(safe);
    CutToFit(safe);
    ReplaceTrailingDotsAndBlanks(safe);
    AvoidDeviceNames(safe);
    return safe;
}

} // namespace oxtiva
