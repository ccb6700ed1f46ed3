#include "records/spreadsheet_text.h"

namespace oxtiva
{

namespace
{

constexpr QChar Guard = u'\'';

// Line breaks too: each line of the notes is a row of its own.
bool IsSeparator(QChar c)
{
    return c == u';' || c == u',' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsBlank(QChar c)
{
    return c == u' ';
}

qsizetype FirstNonBlank(QStringView piece)
{
    qsizetype i = 0;
    while (i < piece.size() && IsBlank(piece[i]))
        ++i;
    return i;
}

// A piece a spreadsheet would evaluate, or one that would read as a guarded one.
bool NeedsGuard(QStringView piece)
{
    const qsizetype i = FirstNonBlank(piece);
    if (i == piece.size()) return false;
    const QChar c = piece[i];
    if (c == u'=' || c == u'+' || c == u'-' || c == u'@') return true;
    return c == Guard && NeedsGuard(piece.sliced(i + 1));
}

// Applies change to each piece between separators.
template <class Change> QString EachPiece(const QString& text, Change change)
{
    QString out;
    out.reserve(text.size() + 4);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsSeparator(text[i])) continue;
        out += change(QStringView(text).sliced(start, i - start));
        if (i < text.size()) out += text[i];
        start = i + 1;
    }
    return out;
}

} // namespace

QString SpreadsheetSafeText(const QString& text)
{
    return EachPiece(text, [](QStringView piece) {
        QString out = piece.toString();
        if (NeedsGuard(piece)) out.insert(FirstNonBlank(piece), Guard);
        return out;
    });
}

QString SpreadsheetSafeTextRestored(const QString& text)
{
    return EachPiece(text, [](QStringView piece) {
        QString out = piece.toString();
        const qsizetype i = FirstNonBlank(piece);
        if (i < piece.size() && piece[i] == Guard && NeedsGuard(piece.sliced(i + 1)))
            out.remove(i, 1);
        return out;
    });
}

} // namespace oxtiva
