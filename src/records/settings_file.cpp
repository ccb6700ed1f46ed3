#include "records/settings_file.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include <cmath>

namespace oxtiva {

namespace {
const QString SmuKey = QStringLiteral("2401_SourceMeter/ComPort");
const QString MultimeterKey = QStringLiteral("2000_MultiMeter/ComPort");
const QString CellSection = QStringLiteral("CellConstants");
const QString VolumeKey = QStringLiteral("Vhpws");
const QString AlphaKey = QStringLiteral("LeakAlpha");
const QString SealKey = QStringLiteral("SealLeak");
const QString CellKKey = QStringLiteral("AlphaCellK");
const QString AtKey = QStringLiteral("CalibratedAt");

QString ReadKey(const QString& path, const QString& key)
{
    const QSettings settings(path, QSettings::IniFormat);
    return settings.value(key).toString();
}

// Numbers as text with "." and every digit a double holds, whatever the locale.
QString NumberText(double value) { return QString::number(value, 'g', 17); }

bool ReadNumber(const QSettings& settings, const QString& key, double& value)
{
    bool ok = false;
    value = settings.value(key).toString().toDouble(&ok);
    return ok && std::isfinite(value);
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

std::optional<TCellCalibration> TSettingsFile::CellCalibration() const
{
    QSettings settings(fPath, QSettings::IniFormat);
    settings.beginGroup(CellSection);
    TCellCalibration c;
    if (!ReadNumber(settings, VolumeKey, c.HotVolumeL) || !(c.HotVolumeL > 0) ||
        !ReadNumber(settings, AlphaKey, c.LeakAlpha) ||
        !ReadNumber(settings, SealKey, c.SealLeak) || !ReadNumber(settings, CellKKey, c.CellK))
        return std::nullopt;
    c.At = settings.value(AtKey).toString();
    return c;
}

void TSettingsFile::WriteCellCalibration(const std::optional<TCellCalibration>& calibration)
{
    QSettings settings(fPath, QSettings::IniFormat);
    if (!calibration) {
        settings.remove(CellSection);
    } else {
        settings.beginGroup(CellSection);
        settings.setValue(VolumeKey, NumberText(calibration->HotVolumeL));
        settings.setValue(AlphaKey, NumberText(calibration->LeakAlpha));
        settings.setValue(SealKey, NumberText(calibration->SealLeak));
        settings.setValue(CellKKey, NumberText(calibration->CellK));
        settings.setValue(AtKey, calibration->At);
        settings.endGroup();
    }
    settings.sync();
}

} // namespace oxtiva
