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
