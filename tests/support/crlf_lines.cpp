#include "support/crlf_lines.h"

#include <QFile>

#include <gtest/gtest.h>

namespace oxtiva::testing
{

QList<QByteArray> CrLfLines(const QByteArray& bytes)
{
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast(); // after the final line end
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r')) << "line without CR: " << line.toStdString();
        line.chop(1);
    }
    return lines;
}

QList<QByteArray> CrLfFileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return CrLfLines(file.readAll());
}

} // namespace oxtiva::testing
