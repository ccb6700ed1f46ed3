#include "records/day_folder.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace oxtiva
{

QString DayFolderName(QDate localDate)
{
    return localDate.toString(QStringLiteral("yyyy-MM-dd"));
}

QString EnsureDayFolder(const QDir& dataFolder, QDate localDate, QString* errorText)
{
    const QString path = dataFolder.filePath(DayFolderName(localDate));
    // Unlike QDir::mkpath, this tells why a folder could not be made.
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    if (!error && !QFileInfo(path).isDir())
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error) return path;
    if (errorText) *errorText = QString::fromLocal8Bit(error.message());
    return {};
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

QString PublishAtFreeCounter(TNewFile& file, const QDir& folder, const QString& stem,
                             QString& errorText)
{
    for (int counter = FirstFreeCounter(folder, stem);; ++counter) {
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

} // namespace oxtiva
