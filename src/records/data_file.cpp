#include "records/data_file.h"

#include "records/safe_file_name.h"
#include "records/spreadsheet_text.h"
#include "records/whole_file.h"
#include "records/windows_1252.h"

#include <algorithm>

namespace oxtiva
{

namespace
{

// The tails are the established file format, misspellings included, since evaluation
// scripts look for them.
constexpr std::array<const char*, DataFileVariableCount> VariableTails = {
    ";g/mol      ;bs     ;Nominal stoichiometric molar content of oxygen",
    ";g/mol      ;M      ;Nominal molar mass",
    ";mol/mol    ;b0     ;Initial molar content of oxygen",
    ";g/mol      ;M0     ;Initial molar mass",
    ";g/cm^3     ;d      ;Initial density",
    ";g          ;m0     ;Initial mass",
    ";L          ;Vs     ;Volume",
    ";mol        ;n0     ;Moles of compound",
    ";mol        ;nO0    ;Moles of oxygen",
    ";g          ;mO0    ;Mass of oxygen",
    ";g          ;mM     ;Mass of non-oxygen",
    ";         ;SID    ;Sensor ID",
    ";         ;SAx    ;Sensor Ax",
    ";         ;SBx    ;Senosr Bx",
    ";L        ;Vhpws  ;Gas volume of hot part without sample",
    ";L        ;Vhp    ;Gas volume of hot part",
    ";L        ;Vgp    ;Gas volume of gradient part",
    ";\xBA"
    "C       ;Tl     ;Cold end temperature",
    ";Bar      ;PsO2   ;Initial partial pressure of oxygen",
    ";         ;FGpO2  ;Flush gas partial pressure of oxygen",
    ";         ;P      ;P term of PID",
    ";         ;I      ;I term of PID",
    ";         ;D      ;D term of PID",
    ";s        ;RCd    ;Duration of relative change calculation",
    ";%        ;RCtr   ;Threshold of relative change",
    ";A        ;       ;Pump current limit",
    ";V        ;       ;Pump voltage limit",
    ";s        ;       ;Minimum length for data point",
    ";atm       ;FGpO2  ;Flush gas oxygen partial pressure",
    ";Alpha     ;       ;^0.25 leakage constant",
    ";\xBA"
    "C        ;CTO    ;Cell temperature override"};

constexpr char Eol[] = "\r\n";

void AppendLine(QByteArray& out, QStringView text)
{
    AppendWindows1252(out, text);
    out.append(Eol);
}

// The operator's own text, as a spreadsheet shows it as text.
void AppendOneLine(QByteArray& out, const QString& text)
{
    AppendWindows1252(out, SpreadsheetSafeText(OneLineText(text)));
}

void AppendRawLine(QByteArray& out, const char* bytes)
{
    out.append(bytes);
    out.append(Eol);
}

// The memo's text is one entry of the file: its own breaks become CR LF, whatever form
// (LF, CR LF, CR) the memo gives them in.
void AppendNotes(QByteArray& out, const QString& memo)
{
    const QString notes = SpreadsheetSafeText(memo);
    for (qsizetype i = 0; i < notes.size(); ++i) {
        const QChar c = notes[i];
        if (c == u'\r') {
            out.append(Eol);
            if (i + 1 < notes.size() && notes[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            out.append(Eol);
        } else {
            out.append(Windows1252Byte(c));
        }
    }
    out.append(Eol);
}

bool NeedsQuotes(QStringView cell)
{
    return cell.contains(u'"') || cell.contains(u';');
}

// Where a DATA line goes: as text (the journal keeps it so) or straight into the file's
// Windows-1252 bytes (a save of a month's grid makes no string per row).
struct TTextSink {
    QString& Out;
    void Put(QChar c) { Out.append(c); }
};
struct TFileSink {
    QByteArray& Out;
    void Put(QChar c) { Out.append(Windows1252Byte(c)); }
};

// One field of a DATA line; blanks are dropped everywhere in the line, quotes included.
template <class Sink> void AppendField(Sink& sink, QStringView cell)
{
    const bool quoted = NeedsQuotes(cell);
    if (quoted) sink.Put(u'"');
    for (const QChar c : cell) {
        if (c == u' ') continue;
        if (c == u'"') sink.Put(u'"');
        sink.Put(c);
    }
    if (quoted) sink.Put(u'"');
}

template <class Sink>
void AppendFields(Sink& sink, int columnCount, const std::function<QString(int column)>& cell)
{
    for (int col = 0; col < columnCount; ++col) {
        if (col > 0) sink.Put(u';');
        AppendField(sink, cell(col));
    }
}

void AppendEncodedLine(QByteArray& out, QStringView line)
{
    AppendWindows1252(out, line);
    out.append(Eol);
}

void AppendHeader(QByteArray& out, const TDataFileContent& content)
{
    AppendRawLine(out, "** HEADER  **********************************************");
    AppendRawLine(out, "");
    AppendOneLine(out, content.SampleName);
    out.append(Eol);
    AppendOneLine(out, content.SampleFormula);
    out.append(Eol);
    AppendLine(out, QString(QStringLiteral("Saved ") + content.SavedAt));
    AppendRawLine(out, "");
}

void AppendVariables(QByteArray& out, const TDataFileContent& content)
{
    AppendRawLine(out, "** VARIABLES ********************************************");
    AppendRawLine(out, "");
    AppendRawLine(out, "Value    ;Unit   ;Abbreviation   ;Field name");
    for (int i = 0; i < DataFileVariableCount; ++i) {
        // The numbers are the program's own, a minus sign included; the sensor ID is typed.
        if (i == SensorIdVariable)
            AppendOneLine(out, content.VariableValues[i]);
        else
            AppendWindows1252(out, OneLineText(content.VariableValues[i]));
        AppendRawLine(out, VariableTails[i]);
    }
    AppendRawLine(out, "");
}

void AppendNotesSection(QByteArray& out, const TDataFileContent& content)
{
    AppendRawLine(out, "** NOTES ********************************************");
    AppendRawLine(out, "");
    AppendNotes(out, content.Notes);
    AppendRawLine(out, "");
}

void AppendDataSectionTitle(QByteArray& out)
{
    AppendRawLine(out, "** DATA *************************************************");
    AppendRawLine(out, "");
}

QByteArray BuildHead(const TDataFileContent& content, qsizetype dataBytes)
{
    QByteArray out;
    // Reserving avoids regrowing a multi-megabyte buffer row by row.
    out.reserve(4096 + dataBytes + content.Notes.size());
    AppendHeader(out, content);
    AppendVariables(out, content);
    AppendNotesSection(out, content);
    AppendDataSectionTitle(out);
    return out;
}

} // namespace

const char* DataFileVariableTail(int index)
{
    return VariableTails.at(static_cast<std::size_t>(index));
}

void AppendDataLine(QString& out, int columnCount, const std::function<QString(int column)>& cell)
{
    TTextSink sink{out};
    AppendFields(sink, columnCount, cell);
}

QString DataLine(int columnCount, const std::function<QString(int column)>& cell)
{
    QString line;
    AppendDataLine(line, columnCount, cell);
    return line;
}

QStringList SplitDataLine(QStringView line)
{
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'"') {
            const bool doubled = i + 1 < line.size() && line[i + 1] == u'"';
            if (doubled) cell.append(c);
            quoted = doubled;
            i += doubled ? 1 : 0;
        } else if (quoted) {
            cell.append(c);
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            cells << cell;
            cell.clear();
        } else {
            cell.append(c);
        }
    }
    cells << cell;
    return cells;
}

QByteArray BuildDataFile(const TDataFileContent& content)
{
    // A data row is about 130 bytes.
    QByteArray out = BuildHead(content, qsizetype(content.RowCount) * 160);
    TFileSink sink{out};
    for (int row = 0; row < content.RowCount; ++row) {
        AppendFields(sink, content.ColumnCount,
                     [&content, row](int col) { return content.Cell(col, row); });
        out.append(Eol);
    }
    return out;
}

QByteArray BuildDataFile(const TDataFileContent& content, const QStringList& dataLines)
{
    QByteArray out = BuildHead(content, dataLines.size() * 160);
    for (const QString& line : dataLines)
        AppendEncodedLine(out, line);
    return out;
}

QByteArray DataFileHead(const TDataFileContent& content)
{
    return BuildHead(content, 0);
}

void AppendEncodedDataLine(QByteArray& out, QStringView line)
{
    AppendEncodedLine(out, line);
}

qint64 DataFileRowOffset(const TDataFileContent& content, int row)
{
    QByteArray out = DataFileHead(content);
    for (int r = 0; r < std::min(row, content.RowCount); ++r)
        AppendEncodedLine(out, DataLine(content.ColumnCount,
                                        [&content, r](int col) { return content.Cell(col, r); }));
    return out.size();
}

bool WriteDataFile(TNewFile& file, const TDataFileContent& content, QString& errorText)
{
    constexpr qsizetype Piece = 1 << 20;
    QByteArray out = DataFileHead(content);
    out.reserve(Piece + 4096);
    TFileSink sink{out};
    for (int row = 0; row < content.RowCount; ++row) {
        AppendFields(sink, content.ColumnCount,
                     [&content, row](int col) { return content.Cell(col, row); });
        out.append(Eol);
        if (out.size() >= Piece) {
            if (!file.Write(out, errorText)) return false;
            out.resize(0);
        }
    }
    return file.Write(out, errorText);
}

bool WriteDataFile(const QString& path, const TDataFileContent& content, QString& errorText)
{
    return WriteWholeFile(path, BuildDataFile(content), errorText);
}

} // namespace oxtiva
