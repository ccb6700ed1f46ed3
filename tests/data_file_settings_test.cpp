#include "records/data_file.h"
#include "records/data_file_settings.h"
#include "support/qstring_printer.h"

#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

TDataFileContent Content(const QString& notes)
{
    TDataFileContent content;
    content.SampleName = QStringLiteral("Ceria 5% Gd");
    content.SampleFormula = QStringLiteral("Ce0.95Gd0.05O1.975 (ºC)");
    content.SavedAt = QStringLiteral("2026-12-10 14:03");
    for (int i = 0; i < DataFileVariableCount; ++i)
        content.VariableValues[i] = QString::number(i + 0.5);
    content.VariableValues[11] = QStringLiteral("HT PIS 0317524;b");
    content.Notes = notes;
    content.RowCount = 2;
    content.Cell = [](int, int row) { return row == 0 ? QStringLiteral("H") : QString(); };
    return content;
}

// What a save wrote comes back as it was, notes and their empty lines included.
TEST(DataFileSettings, ReadsBackWhatASaveWrote)
{
    for (const QString notes :
         {QString(), QStringLiteral("Example values\nExample notes"),
          QStringLiteral("ends with a break\n"), QStringLiteral("\n\nafter two empty lines")}) {
        SCOPED_TRACE(notes.toStdString());
        const TDataFileContent content = Content(notes);
        TDataFileSettings read;
        QString error;
        ASSERT_TRUE(ReadDataFileSettings(BuildDataFile(content), read, error))
            << error.toStdString();
        EXPECT_EQ(read.SampleName, content.SampleName);
        EXPECT_EQ(read.SampleFormula, content.SampleFormula);
        EXPECT_EQ(read.VariableValues, content.VariableValues);
        EXPECT_EQ(read.Notes, notes);
    }
}

// Text a spreadsheet would evaluate, wherever it stands in a piece of the line it lands
// in, reaches the file as text and comes back as typed; so does text that only looks as
// if it had been made safe.
TEST(DataFileSettings, FormulasAreWrittenAsTextAndReadBackAsTyped)
{
    struct TCase {
        QString Typed;
        QByteArray Written; // as the name's line holds it
    };
    const TCase cases[] = {
        {"=HYPERLINK(\"http://x\";\"y\")", "'=HYPERLINK(\"http://x\";\"y\")"},
        {"+1", "'+1"},
        {"-> changed gas", "'-> changed gas"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"Ceria; =1+1", "Ceria; '=1+1"},
        {"Ceria,-2", "Ceria,'-2"},
        {"\t=1+1", " '=1+1"}, // the tab, as every control character, is a blank on one line
        {"'=1", "''=1"},
        {"'quoted'", "'quoted'"},
        {"Ce0.9Gd0.1O2-x", "Ce0.9Gd0.1O2-x"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Typed.toStdString());
        TDataFileContent content = Content(c.Typed + "\n" + c.Typed);
        content.SampleName = c.Typed;
        content.SampleFormula = c.Typed;
        content.VariableValues[SensorIdVariable] = c.Typed;
        content.VariableValues[3] = "-0.5"; // a number keeps its sign
        const QByteArray bytes = BuildDataFile(content);
        const QList<QByteArray> lines = bytes.split('\n');
        EXPECT_EQ(lines[2], c.Written + "\r");
        EXPECT_EQ(lines[3], c.Written + "\r");
        EXPECT_TRUE(lines[9 + SensorIdVariable].startsWith(c.Written + ";"));
        EXPECT_TRUE(lines[9 + 3].startsWith("-0.5;"));
        const QByteArray notesLine = c.Typed.startsWith('\t') ? "\t'=1+1" : c.Written;
        EXPECT_EQ(lines[43], notesLine + "\r"); // a tab stays in the notes
        EXPECT_EQ(lines[44], notesLine + "\r");

        TDataFileSettings read;
        QString error;
        ASSERT_TRUE(ReadDataFileSettings(bytes, read, error)) << error.toStdString();
        const QString oneLine = QString(c.Typed).replace('\t', ' ');
        EXPECT_EQ(read.SampleName, oneLine);
        EXPECT_EQ(read.SampleFormula, oneLine);
        EXPECT_EQ(read.VariableValues[SensorIdVariable], oneLine);
        EXPECT_EQ(read.VariableValues[3], "-0.5");
        EXPECT_EQ(read.Notes, c.Typed + "\n" + c.Typed);
    }
}

TEST(DataFileSettings, RefusesWhatIsNoDataFileNamingTheLine)
{
    const QByteArray good = BuildDataFile(Content(QStringLiteral("n")));
    QByteArray renamedRow = good;
    renamedRow.replace(";Initial density", ";Density");
    QByteArray noData = good.left(good.indexOf("** DATA"));
    struct TCase {
        QByteArray Bytes;
        const char* Error;
    };
    for (const TCase& c :
         {TCase{"Value;Unit\r\n1;2\r\n", "line 1: no \"** HEADER\" line; not a data file"},
          TCase{renamedRow,
                "line 14: not the variable row \";g/cm^3     ;d      ;Initial density\""},
          TCase{noData, "line 47: no \"** DATA\" line after the notes"}}) {
        TDataFileSettings read;
        QString error;
        EXPECT_FALSE(ReadDataFileSettings(c.Bytes, read, error));
        EXPECT_EQ(error, c.Error);
    }
}

} // namespace
} // namespace oxtiva
