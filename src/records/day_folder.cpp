#include "records/day_folder.h"

#include <QFile>
#include <QFileInfo>
#include <QFileInfoList>

#include <filesystem>
#include <system_error>

namespace oxtiva
{

namespace
{

// The path as the system spells it: UTF-16 on Windows, where an 8-bit path holds only the
// letters of the ANSI code page (C:\Users\Łukasz has none in cp1252); the file names'
// encoding elsewhere.
std::filesystem::path FileSystemPath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

QString DayFolderName(QDate localDate)
{
    return localDate.toString(QStringLiteral("yyyy-MM-dd"));
}

QString EnsureDayFolder(const QDir& dataFolder, QDate localDate, QString* errorText)
{
    const QString path = dataFolder.filePath(DayFolderName(localDate));
    // Unlike QDir::mkpath, this tells why a folder could not be made.
    std::error_code error;
    std::filesystem::create_directories(FileSystemPath(path), error);
    if (!error && !QFileInfo(path).isDir())
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error) return path;
    if (errorText) *errorText = QString::fromLocal8Bit(error.message());
    return {};
}

bool CounterIsFree(const QDir& folder, const QString& stem, int counter)
{
    const QString counted = CountedStem(stem, counter);
    for (const char* suffix : SaveSetSuffixes) {
        // A file there, or a link (a dangling one too), would be replaced by the save's
        // file of that name. A folder would not: the write fails and says so.
        const QFileInfo file(folder.filePath(counted + QLatin1String(suffix)));
        if ((file.exists() && !file.isDir()) || file.isSymLink()) return false;
    }
    return true;
}

int FirstFreeCounter(const QDir& folder, const QString& stem)
{
    int counter = 0;
    while (!CounterIsFree(folder, stem, counter))
        ++counter;
    return counter;
}

QString CountedStem(const QString& stem, int counter)
{
    return stem + u'_' + QStringLiteral("%1").arg(counter, 4, 10, QChar(u'0'));
}

QString PublishAtFreeCounter(TNewFile& file, const QDir& folder, const QString& stem,
                             QString& errorText)
{
    for (int counter = FirstFreeCounter(folder, stem);; ++counter) {
        if (!CounterIsFree(folder, stem, counter)) continue;
        const QString counted = CountedStem(stem, counter);
        switch (file.Publish(folder.filePath(counted + QStringLiteral(".csv")), errorText)) {
        case TPublishResult::Written:
            return counted;
        case TPublishResult::Failed:
            return {};
        case TPublishResult::NameTaken:
            break;
        }
    }
}

QStringList RemoveLeftoverSaves(const QDir& dataFolder, const QDateTime& lastWriteBefore)
{
    QStringList removed;
    const QStringList days = dataFolder.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& dayName : days) {
        const QDir day(dataFolder.filePath(dayName));
        const QFileInfoList leftovers =
            day.entryInfoList({QStringLiteral(".saving-*")}, QDir::Files | QDir::Hidden);
        for (const QFileInfo& file : leftovers)
            if (file.lastModified() < lastWriteBefore && QFile::remove(file.filePath()))
                removed << file.filePath();
    }
    return removed;
}

} // namespace oxtiva
