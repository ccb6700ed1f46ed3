#include "records/safe_file_name.h"

namespace oxtiva
{

namespace
{

bool IsForbidden(QChar c)
{
    static const QString forbidden = QStringLiteral("/\\<>:\"|?*");
    return c.unicode() < 0x20 || c.unicode() == 0x7F || forbidden.contains(c);
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

void ReplaceTrailingDotsAndBlanks(QString& name)
{
    for (qsizetype i = name.size() - 1; i >= 0 && (name[i] == u'.' || name[i] == u' '); --i)
        name[i] = u'_';
}

} // namespace

QString SafeFileName(const QString& name)
{
    QString safe = name;
    for (QChar& c : safe) {
        if (IsForbidden(c)) c = u'_';
    }
    ReplaceDotRuns(safe);
    ReplaceTrailingDotsAndBlanks(safe);
    return safe;
}

} // namespace oxtiva
