#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace oxtiva::testing
{

// The lines of a data file's bytes, without their ends; a line, the last too, that does
// not end with CR LF is a test failure.
QList<QByteArray> CrLfLines(const QByteArray& bytes);

// The same, read from a file; a file that cannot be read is a test failure and gives no
// lines.
QList<QByteArray> CrLfFileLines(const QString& path);

} // namespace oxtiva::testing
