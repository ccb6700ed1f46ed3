#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Lets GoogleTest show Qt texts as text in failure messages rather than as bytes.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& lines, std::ostream* os)
{
    *os << '[';
    for (qsizetype i = 0; i < lines.size(); ++i)
        *os << (i ? ", " : "") << '"' << lines[i].toStdString() << '"';
    *os << ']';
}
