#include "records/day_folder.h"

#include <QFileInfo>

namespace oxtiva
{

QString DayFolderName(QDate localDate)
{
    return localDate.toString(QStringLiteral("yyyy-MM-dd"));
}

QString EnsureDayFolder(const QDir& dataFolder, QDate localDate)
{
    const QString path = dataFolder.filePath(DayFolderName(localDate));
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir()) return {};
    return path;
}

int FirstFreeCounter(const QDir& folder, const QString& stem)
{
    int counter = 0;
    while (QFileInfo::exists(folder.filePath(CountedStem(stem, counter) + QStringLiteral(".csv"))))
        ++counter;
    return counter;
}

QString CountedStem(const QString& stem, int counter)
{
    return stem + u'_' + QStringLiteral("%1").arg(counter, 4, 10, QChar(u'0'));
}

} // namespace oxtiva
