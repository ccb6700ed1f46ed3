#pragma once

#include <QByteArray>
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

} // namespace oxtiva
