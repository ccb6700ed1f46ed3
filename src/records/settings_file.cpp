#include "records/settings_file.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace oxtiva {

namespace {
const QString SmuKey = QStringLiteral("2401_SourceMeter/ComPort");
const QString MultimeterKey = QStringLiteral("2000_MultiMeter/ComPort");

QString ReadKey(const QString& path, const QString& key)
{
    const QSettings settings(path, QSettings::IniFormat);
    return settings.value(key).toString();
}

void WriteKey(const QString& path, const QString& key, const QString& value)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}
} // namespace

TSettingsFile::TSettingsFile(QString path) : fPath(std::move(path)) {}

QString TSettingsFile::DefaultPath()
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return program.absolutePath() + QLatin1Char('/') + program.completeBaseName() +
           QStringLiteral(".ini");
}

QString TSettingsFile::SmuPort() const { return ReadKey(fPath, SmuKey); }
QString TSettingsFile::MultimeterPort() const { return ReadKey(fPath, MultimeterKey); }
void TSettingsFile::WriteSmuPort(const QString& port) { WriteKey(fPath, SmuKey, port); }
void TSettingsFile::WriteMultimeterPort(const QString& port) { WriteKey(fPath, MultimeterKey, port); }

} // namespace oxtiva
