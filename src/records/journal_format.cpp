#include "records/journal_format.h"

#include <algorithm>

namespace oxtiva
{

namespace
{

constexpr char HeadTag[] = "head";
constexpr char RowTag[] = "row";
constexpr char SavedTag[] = "saved";
constexpr char PointKind[] = "point";
constexpr char OtherKind[] = "other";

// Tag, sample name, formula, the variables, notes.
constexpr int HeadFieldCount = 4 + DataFileVariableCount;

void AppendEscaped(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out.append("\\\\");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        default:
            out.append(c);
        }
    }
}

bool Unescape(QByteArrayView field, QString& text)
{
    QByteArray utf8;
    utf8.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            utf8.append(field[i]);
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
        case '\\':
            utf8.append('\\');
            break;
        case 't':
            utf8.append('\t');
            break;
        case 'n':
            utf8.append('\n');
            break;
        case 'r':
            utf8.append('\r');
            break;
        default:
            return false;
        }
    }
    text = QString::fromUtf8(utf8);
    return true;
}

QByteArray Record(const QStringList& fields)
{
    QByteArray out;
    for (const QString& field : fields) {
        if (!out.isEmpty()) out.append('\t');
        AppendEscaped(out, field);
    }
    out.append('\n');
    return out;
}

bool ReadHead(const QStringList& fields, TJournalHead& head)
{
    if (fields.size() != HeadFieldCount) return false;
    head.SampleName = fields[1];
    head.SampleFormula = fields[2];
    for (int i = 0; i < DataFileVariableCount; ++i)
        head.VariableValues[i] = fields[3 + i];
    head.Notes = fields.back();
    return true;
}

bool ReadRow(const QStringList& fields, int expectedRow, TJournalRow& row, QString& problem)
{
    bool ok = false;
    const int gridRow = fields.size() == 5 ? fields[1].toInt(&ok) : -1;
    if (!ok) {
        problem = QStringLiteral("a row record needs five fields");
        return false;
    }
    if (gridRow != expectedRow) {
        problem = QStringLiteral("grid row %1 where %2 was expected").arg(gridRow).arg(expectedRow);
        return false;
    }
    row.Time = QDateTime::fromString(fields[2], Qt::ISODateWithMs);
    if (!row.Time.isValid() ||
        (fields[3] != QLatin1String(PointKind) && fields[3] != QLatin1String(OtherKind))) {
        problem = QStringLiteral("unreadable time or kind");
        return false;
    }
    row.DataPoint = fields[3] == QLatin1String(PointKind);
    row.Line = fields[4];
    return true;
}

bool SplitFields(QByteArrayView line, QStringList& fields)
{
    fields.clear();
    qsizetype start = 0;
    while (true) {
        const qsizetype tab = line.indexOf('\t', start);
        QString field;
        if (!Unescape(line.sliced(start, (tab < 0 ? line.size() : tab) - start), field))
            return false;
        fields << field;
        if (tab < 0) return true;
        start = tab + 1;
    }
}

// One complete line after the first; false with the reason when it cannot be read.
bool ReadRecord(QByteArrayView line, TJournalContents& contents, QString& problem)
{
    QStringList fields;
    if (!SplitFields(line, fields)) {
        problem = QStringLiteral("broken escape");
        return false;
    }
    const QString& tag = fields.front();
    if (tag == QLatin1String(HeadTag)) {
        if (!ReadHead(fields, contents.Head)) {
            problem = QStringLiteral("a head record needs %1 fields").arg(HeadFieldCount);
            return false;
        }
        contents.HasHead = true;
        return true;
    }
    if (tag == QLatin1String(RowTag)) {
        TJournalRow row;
        if (!ReadRow(fields, int(contents.Rows.size()), row, problem)) return false;
        contents.Rows.push_back(std::move(row));
        return true;
    }
    bool ok = false;
    const int rows =
        fields.size() == 3 && tag == QLatin1String(SavedTag) ? fields[1].toInt(&ok) : 0;
    if (!ok) {
        problem = QStringLiteral("unknown record");
        return false;
    }
    if (rows >= contents.SavedRows) {
        contents.SavedRows = rows;
        contents.SavedFile = fields[2];
    }
    return true;
}

int RunStart(const TJournalContents& contents)
{
    return std::min<int>(FixedGridRows, int(contents.Rows.size()));
}

} // namespace

TJournalHead JournalHeadOf(const TDataFileContent& content)
{
    return {content.SampleName, content.SampleFormula, content.VariableValues, content.Notes};
}

TDataFileContent DataFileContentOf(const TJournalHead& head, const QString& savedAt)
{
    TDataFileContent content;
    content.SampleName = head.SampleName;
    content.SampleFormula = head.SampleFormula;
    content.SavedAt = savedAt;
    content.VariableValues = head.VariableValues;
    content.Notes = head.Notes;
    return content;
}

QByteArray JournalFirstLineBytes()
{
    return QByteArray(JournalFirstLine) + '\n';
}

QByteArray JournalHeadLine(const TJournalHead& head)
{
    QStringList fields{QLatin1String(HeadTag), head.SampleName, head.SampleFormula};
    for (const QString& value : head.VariableValues)
        fields << value;
    fields << head.Notes;
    return Record(fields);
}

QByteArray JournalRowLine(int gridRow, const TJournalRow& row)
{
    return Record({QLatin1String(RowTag), QString::number(gridRow),
                   row.Time.toUTC().toString(Qt::ISODateWithMs),
                   QLatin1String(row.DataPoint ? PointKind : OtherKind), row.Line});
}

QByteArray JournalSavedLine(int rowCount, const QString& dataFile)
{
    return Record({QLatin1String(SavedTag), QString::number(rowCount), dataFile});
}

TJournalContents ParseJournal(const QByteArray& bytes)
{
    TJournalContents contents;
    qsizetype start = 0;
    int lineNumber = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            contents.CutLastLine = true; // the write the crash interrupted
            break;
        }
        const QByteArrayView line = QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
        if (++lineNumber == 1) {
            contents.IsJournal = line == JournalFirstLine;
            if (!contents.IsJournal) return contents;
            continue;
        }
        QString problem;
        if (!ReadRecord(line, contents, problem))
            contents.Problems << QStringLiteral("line %1: %2").arg(lineNumber).arg(problem);
    }
    return contents;
}

int TJournalContents::UnsavedRows() const
{
    return std::max(0, int(Rows.size()) - std::max(SavedRows, RunStart(*this)));
}

int TJournalContents::UnsavedDataPoints() const
{
    const int first = std::max(SavedRows, RunStart(*this));
    return int(std::count_if(Rows.begin() + std::min<int>(first, int(Rows.size())), Rows.end(),
                             [](const TJournalRow& row) { return row.DataPoint; }));
}

QDateTime TJournalContents::FirstRowTime() const
{
    const int first = RunStart(*this);
    return first < int(Rows.size()) ? Rows[first].Time : QDateTime();
}

QDateTime TJournalContents::LastRowTime() const
{
    return int(Rows.size()) > RunStart(*this) ? Rows.back().Time : QDateTime();
}

QStringList TJournalContents::DataLines() const
{
    QStringList lines;
    lines.reserve(qsizetype(Rows.size()));
    for (const TJournalRow& row : Rows)
        lines << row.Line;
    return lines;
}

} // namespace oxtiva
