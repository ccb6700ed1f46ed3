#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace oxtiva
{

// Appends text as Windows-1252 bytes, the code page the data files have always been
// written in ("º" is the single byte 0xBA). Qt's converters do not offer this encoding on
// every platform, so the table is our own. Characters the code page cannot hold become
// "?", as a Windows ANSI conversion would write them.
void AppendWindows1252(QByteArray& out, QStringView text);

// The same for one character.
char Windows1252Byte(QChar c);

// Reads such bytes back; the five bytes the code page leaves unused become U+FFFD.
QString Windows1252Text(const QByteArray& bytes);

} // namespace oxtiva
