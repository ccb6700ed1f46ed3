#pragma once

#include <QByteArray>
#include <QString>

namespace oxtiva
{

// Writes the bytes through a temporary file in the same folder that replaces the target
// only once complete, so a full disk or a crash never leaves a truncated record. On
// failure returns false with the reason in errorText.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& errorText);

} // namespace oxtiva
