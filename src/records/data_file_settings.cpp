#include "records/data_file_settings.h"

#include "records/spreadsheet_text.h"
#include "records/windows_1252.h"

#include <QStringList>

#include <algorithm>

namespace oxtiva
{

namespace
{

// Line indexes (from 0) of the marks and rows BuildDataFile writes.
constexpr int HeaderMarkLine = 0;
constexpr int SampleNameLine = 2;
constexpr int SampleFormulaLine = 3;
constexpr int VariablesMarkLine = 6;
constexpr int FirstVariableLine = 9;
constexpr int NotesMarkLine = FirstVariableLine + DataFileVariableCount + 1;
constexpr int FirstNotesLine = NotesMarkLine + 2;

bool StartsAt(const QStringList& lines, int index, QStringView mark)
{
    return index < lines.size() && lines[index].startsWith(mark);
}

} // namespace

bool ReadDataFileSettings(const QByteArray& bytes, TDataFileSettings& settings, QString& errorText)
{
    const QStringList lines = Windows1252Text(bytes).split(QStringLiteral("\r\n"));
    const auto refuse = [&errorText](int line, const QString& what) {
        errorText = QStringLiteral("line %1: %2").arg(line + 1).arg(what);
        return false;
    };
    if (!StartsAt(lines, HeaderMarkLine, u"** HEADER"))
        return refuse(HeaderMarkLine, QStringLiteral("no \"** HEADER\" line; not a data file"));
    if (!StartsAt(lines, VariablesMarkLine, u"** VARIABLES"))
        return refuse(VariablesMarkLine, QStringLiteral("no \"** VARIABLES\" line"));
    TDataFileSettings read;
    read.SampleName = SpreadsheetSafeTextRestored(lines[SampleNameLine]);
    read.SampleFormula = SpreadsheetSafeTextRestored(lines[SampleFormulaLine]);
    for (int i = 0; i < DataFileVariableCount; ++i) {
        const int index = FirstVariableLine + i;
        const QString tail = Windows1252Text(QByteArray(DataFileVariableTail(i)));
        if (index >= lines.size() || !lines[index].endsWith(tail))
            return refuse(index, QStringLiteral("not the variable row \"%1\"").arg(tail));
        read.VariableValues[i] = lines[index].chopped(tail.size());
        if (i == SensorIdVariable)
            read.VariableValues[i] = SpreadsheetSafeTextRestored(read.VariableValues[i]);
    }
    if (!StartsAt(lines, NotesMarkLine, u"** NOTES"))
        return refuse(NotesMarkLine, QStringLiteral("no \"** NOTES\" line"));
    // The notes run to the empty line before the DATA mark; the memo's own empty lines
    // are kept.
    int dataMark = FirstNotesLine;
    while (dataMark < lines.size() && !lines[dataMark].startsWith(u"** DATA"))
        ++dataMark;
    if (dataMark >= lines.size() || dataMark - 1 < FirstNotesLine)
        return refuse(dataMark, QStringLiteral("no \"** DATA\" line after the notes"));
    read.Notes = SpreadsheetSafeTextRestored(
        lines.mid(FirstNotesLine, dataMark - 1 - FirstNotesLine).join(u'\n'));
    settings = std::move(read);
    return true;
}

bool ReadDataFileHead(QIODevice& file, QByteArray& head, QString& errorText)
{
    static const QByteArray mark = QByteArrayLiteral("\r\n** DATA");
    const qint64 start = file.pos();
    head.clear();
    while (head.size() < MostDataFileHeadBytes) {
        const QByteArray piece = file.read(1 << 16);
        if (piece.isEmpty()) {
            errorText = file.errorString().isEmpty() || file.atEnd()
                            ? QStringLiteral("no \"** DATA\" line; not a data file")
                            : file.errorString();
            return false;
        }
        const qsizetype searchFrom = std::max<qsizetype>(0, head.size() - mark.size());
        head += piece;
        const qsizetype at = head.indexOf(mark, searchFrom);
        if (at < 0) continue;
        const qsizetype lineEnd = head.indexOf("\r\n", at + mark.size());
        if (lineEnd < 0) continue; // the mark's line goes on in the next piece
        head.truncate(lineEnd + 2);
        // The rows are read on from right after the head.
        if (file.seek(start + head.size())) return true;
        errorText = file.errorString();
        return false;
    }
    errorText = QStringLiteral("no \"** DATA\" line in the first %1 MB; not a data file")
                    .arg(MostDataFileHeadBytes >> 20);
    return false;
}

} // namespace oxtiva
