#include "records/journal_format.h"

#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

const QDateTime T0 = QDateTime::fromString("2020-05-06T12:03:27.125Z", Qt::ISODateWithMs);

TJournalHead TrickyHead()
{
    TJournalHead head;
    head.SampleName = "Ce\\O2\tº"; // a backslash, a tab and a Windows-1252 letter
    head.SampleFormula = "CeO2";
    for (int i = 0; i < DataFileVariableCount; ++i)
        head.VariableValues[i] = QString::number(i);
    head.VariableValues[11] = "HT PIS 0317524";
    head.Notes = "line one\r\nline two\n\\n is not a break\n"; // CR LF, LF, a literal \n
    return head;
}

TJournalRow Row(int seconds, bool point, const char* line)
{
    return {T0.addSecs(seconds), point, QString::fromUtf8(line)};
}

// A session: captions, the empty row, a state row and two data points, saved after the
// first point, the notes changed before the second.
QByteArray Session()
{
    TJournalHead changed = TrickyHead();
    changed.Notes += "added later";
    return JournalFirstLineBytes() + JournalHeadLine(TrickyHead()) +
           JournalRowLine(0, Row(0, false, "Duration,s;Mode;CellT,ºC")) +
           JournalRowLine(1, Row(0, false, ";;")) +
           JournalRowLine(2, Row(0, false, "2020-05-0614:03:27;2;")) +
           JournalRowLine(3, Row(10, true, "10.00;12;845.30")) +
           JournalSavedLine({4, "/data/2020-05-06/Ceria_0000.csv"}) + JournalHeadLine(changed) +
           JournalRowLine(4, Row(20, true, "20.00;12;\"a;b\"\t"));
}

TEST(JournalFormat, ReadsBackWhatWasWritten)
{
    const TJournalContents contents = ParseJournal(Session());
    ASSERT_TRUE(contents.IsJournal);
    EXPECT_TRUE(contents.Problems.isEmpty()) << contents.Problems.join('\n').toStdString();
    EXPECT_FALSE(contents.CutLastLine);
    ASSERT_TRUE(contents.HasHead);
    TJournalHead expected = TrickyHead();
    expected.Notes += "added later";
    EXPECT_EQ(contents.Head, expected) << "the latest head holds";
    EXPECT_EQ(contents.DataLines(),
              (QStringList{"Duration,s;Mode;CellT,ºC", ";;", "2020-05-0614:03:27;2;",
                           "10.00;12;845.30", "20.00;12;\"a;b\"\t"}));
    EXPECT_EQ(contents.Rows[3].Time, T0.addSecs(10));
    EXPECT_TRUE(contents.Rows[4].DataPoint);
    EXPECT_FALSE(contents.Rows[2].DataPoint);
    EXPECT_EQ(contents.SavedRows, 4);
    EXPECT_EQ(contents.SavedFile, "/data/2020-05-06/Ceria_0000.csv");
    EXPECT_EQ(contents.UnsavedRows(), 1);
    EXPECT_EQ(contents.UnsavedDataPoints(), 1);
    EXPECT_EQ(contents.FirstRowTime(), T0);
    EXPECT_EQ(contents.LastRowTime(), T0.addSecs(20));
}

// A crash can end the file anywhere inside its last record: whatever is there of it is
// ignored and everything before it stays.
TEST(JournalFormat, CutLastLineIsIgnoredWhereverTheCutFalls)
{
    const QByteArray whole = Session();
    const qsizetype lastLineStart = whole.lastIndexOf('\n', whole.size() - 2) + 1;
    for (qsizetype cut = lastLineStart + 1; cut < whole.size(); ++cut) {
        const TJournalContents contents = ParseJournal(whole.left(cut));
        EXPECT_TRUE(contents.CutLastLine) << cut;
        EXPECT_TRUE(contents.Problems.isEmpty()) << cut;
        EXPECT_EQ(contents.Rows.size(), 4u) << cut;
        EXPECT_EQ(contents.UnsavedRows(), 0) << cut;
    }
    EXPECT_EQ(ParseJournal(whole.left(lastLineStart)).Rows.size(), 4u);
}

// Rows 0 to 4 and a save of all five: the journal a damaged disk or a torn write spoils.
QList<QByteArray> SavedSessionRecords()
{
    QList<QByteArray> records{JournalFirstLineBytes(), JournalHeadLine(TrickyHead())};
    for (int r = 0; r < 5; ++r)
        records << JournalRowLine(r, Row(r, r >= 3, r >= 3 ? "10.00;12;845.30" : "x"));
    records << JournalSavedLine({5, "/d/Ceria_0000.csv", 1234, 0xbeef});
    return records;
}

// Whatever spoils a record in the middle, no spoilt record becomes a row, and reading goes
// on at the next intact record: every row around it is there, and the save after it, which
// holds the lost row, still counts.
TEST(JournalFormat, DamagedRecordCostsOnlyItself)
{
    struct Case {
        const char* Name;
        QByteArray (*Spoil)(QByteArray record);
        int SkippedLines;
    };
    const Case cases[] = {
        {"torn: bytes of the middle lost",
         [](QByteArray r) { return r.remove(r.indexOf("845") + 1, 4); }, 1},
        {"a byte changed", [](QByteArray r) { return r.replace("845.30", "845.31"); }, 1},
        {"a bit flipped", [](QByteArray r) { return r.replace('8', char('8' ^ 0x04)); }, 1},
        {"a line break where a digit was", [](QByteArray r) { return r.replace("845", "8\n5"); },
         2},
        {"never reached the disk: zeros",
         [](QByteArray r) { return QByteArray(r.size() - 1, '\0') + '\n'; }, 1},
        {"reordered: the next record where this one should be",
         [](QByteArray) { return JournalRowLine(4, Row(4, true, "10.00;12;845.30")); }, 1},
        {"its frame lost", [](QByteArray r) { return r.mid(r.indexOf('\t') + 1); }, 1},
    };
    for (const Case& c : cases) {
        QList<QByteArray> records = SavedSessionRecords();
        records[5] = c.Spoil(records[5]); // grid row 3
        QByteArray bytes;
        for (const QByteArray& record : records)
            bytes += record;
        const TJournalContents contents = ParseJournal(bytes);
        ASSERT_TRUE(contents.IsJournal) << c.Name;
        EXPECT_EQ(contents.DataLines(), (QStringList{"x", "x", "x", "10.00;12;845.30"}))
            << c.Name;
        EXPECT_EQ(contents.Rows.back().GridRow, 4) << c.Name;
        EXPECT_EQ(contents.SavedRows, 5) << c.Name << ": the save after the damage is read";
        EXPECT_EQ(contents.SavedFileChecksum, 0xbeefu) << c.Name;
        EXPECT_EQ(contents.UnsavedRows(), 0) << c.Name;
        EXPECT_EQ(contents.SkippedRecords, c.SkippedLines) << c.Name;
        ASSERT_EQ(contents.Problems.size(), c.SkippedLines) << c.Name;
        const qsizetype at = (records[0] + records[1] + records[2] + records[3] + records[4]).size();
        EXPECT_TRUE(contents.Problems[0].startsWith(QStringLiteral("line 6, byte %1:").arg(at)))
            << c.Name << ": " << contents.Problems[0].toStdString();
        // The reordered record is intact itself: it is its duplicate that is left out.
        const qsizetype spoiltBytes = c.Spoil == cases[5].Spoil ? records[6].size()
                                                                : records[5].size();
        EXPECT_EQ(contents.SkippedBytes, spoiltBytes) << c.Name;
    }
    // Unspoilt, the same records read whole, the save's size and checksum with them.
    QByteArray whole;
    for (const QByteArray& record : SavedSessionRecords())
        whole += record;
    const TJournalContents contents = ParseJournal(whole);
    EXPECT_TRUE(contents.Problems.isEmpty());
    EXPECT_EQ(contents.SkippedRecords, 0);
    EXPECT_EQ(contents.SavedRows, 5);
    EXPECT_EQ(contents.SavedFileSize, 1234);
    EXPECT_EQ(contents.SavedFileChecksum, 0xbeefu);
}

// The rows of a long run after a damaged spot are all read, counted as unsaved, and a row
// numbered out of turn without a damaged record before it is no row.
TEST(JournalFormat, RowsAfterADamagedRecordAreAllRead)
{
    QList<QByteArray> records{JournalFirstLineBytes()};
    for (int r = 0; r < 40; ++r)
        records << JournalRowLine(r, Row(r, r >= 3, "p"));
    records[13][20] = char(records[13][20] ^ 0x01); // grid row 12
    QByteArray bytes;
    for (const QByteArray& record : records)
        bytes += record;
    const TJournalContents contents = ParseJournal(bytes);
    EXPECT_EQ(contents.Rows.size(), 39u);
    EXPECT_EQ(contents.GridRows(), 40);
    EXPECT_EQ(contents.UnsavedRows(), 37);
    EXPECT_EQ(contents.UnsavedDataPoints(), 36);
    EXPECT_EQ(contents.IndexOfGridRow(13), 12);
    EXPECT_EQ(contents.LastRowTime(), T0.addSecs(39));

    const TJournalContents jumped =
        ParseJournal(records[0] + records[1] + records[2] + records[4] + records[5]);
    EXPECT_EQ(jumped.DataLines(), (QStringList{"p", "p", "p"})) << "row 3 out of turn";
    EXPECT_EQ(jumped.Rows.back().GridRow, 4);
    EXPECT_EQ(jumped.SkippedRecords, 1);
}

// Journals the program wrote before records were framed are still recovered.
TEST(JournalFormat, ReadsAJournalOfTheFirstVersion)
{
    const QByteArray bytes = "Oxtiva journal 1\nrow\t0\t2020-05-06T12:03:27.125Z\tother\tcaptions\n"
                             "row\t1\t2020-05-06T12:03:27.125Z\tother\t\n"
                             "saved\t2\t/d/C_0000.csv\n";
    const TJournalContents contents = ParseJournal(bytes);
    ASSERT_TRUE(contents.IsJournal);
    EXPECT_TRUE(contents.Problems.isEmpty()) << contents.Problems.join('\n').toStdString();
    EXPECT_EQ(contents.DataLines(), (QStringList{"captions", ""}));
    EXPECT_EQ(contents.SavedRows, 2);
    EXPECT_EQ(contents.SavedFileSize, -1);
}

TEST(JournalFormat, CountsOnlyTheRunsOwnUnsavedRows)
{
    struct Case {
        int savedRows;
        int unsavedRows;
        int unsavedPoints;
    };
    // Rows: captions, empty, state, point, point, state, point.
    QByteArray bytes = JournalFirstLineBytes();
    const bool points[] = {false, false, false, true, true, false, true};
    for (int r = 0; r < 7; ++r)
        bytes += JournalRowLine(r, Row(r, points[r], "x"));
    for (const Case c : {Case{0, 5, 3}, Case{3, 4, 3}, Case{5, 2, 1}, Case{7, 0, 0}}) {
        QByteArray withSave = bytes;
        if (c.savedRows > 0) withSave += JournalSavedLine({c.savedRows, "f.csv"});
        const TJournalContents contents = ParseJournal(withSave);
        EXPECT_EQ(contents.UnsavedRows(), c.unsavedRows) << c.savedRows;
        EXPECT_EQ(contents.UnsavedDataPoints(), c.unsavedPoints) << c.savedRows;
    }
    // An earlier, smaller save does not undo a later one.
    const TJournalContents contents =
        ParseJournal(bytes + JournalSavedLine({7, "b.csv"}) + JournalSavedLine({3, "a.csv"}));
    EXPECT_EQ(contents.SavedRows, 7);
    EXPECT_EQ(contents.SavedFile, "b.csv");
}

// A segment after a save: the fixed rows, the save it starts from, the rows after it.
TEST(JournalFormat, SegmentCountsItsRowsFromTheSaveItStartsFrom)
{
    const TSavedFile save{40, "/d/C_0000.csv", 9000, 0xbeef, 1500};
    const QByteArray fixed = JournalFirstLineBytes() +
                             JournalRowLine(0, Row(0, false, "captions")) +
                             JournalRowLine(1, Row(1, false, ""));
    const QByteArray segment = fixed + JournalBaseLine(save) +
                               JournalRowLine(40, Row(40, true, "a")) +
                               JournalRowLine(41, Row(41, false, "b"));
    const TJournalContents contents = ParseJournal(segment);
    EXPECT_TRUE(contents.Problems.isEmpty()) << contents.Problems.join('\n').toStdString();
    EXPECT_EQ(contents.BaseRows, 40);
    EXPECT_EQ(contents.GridRows(), 42);
    EXPECT_EQ(contents.SavedRowsOffset, 1500);
    EXPECT_EQ(contents.UnsavedRows(), 2);
    EXPECT_EQ(contents.UnsavedDataPoints(), 1);
    EXPECT_EQ(contents.DataLines(), (QStringList{"captions", "", "a", "b"}));

    struct Case {
        const char* Name;
        QByteArray Bytes;
    };
    const Case damaged[] = {
        {"rows missing after the base",
         fixed + JournalBaseLine(save) + JournalRowLine(39, Row(39, true, "a"))},
        {"a base after the run's rows",
         fixed + JournalRowLine(2, Row(2, true, "a")) + JournalBaseLine(save)},
        {"a base without where its rows start",
         fixed + JournalBaseLine({40, "/d/C.csv", 9000, 0xbeef})},
    };
    for (const Case& c : damaged)
        EXPECT_EQ(ParseJournal(c.Bytes).Problems.size(), 1) << c.Name;
}

TEST(JournalFormat, AnotherFileIsNoJournal)
{
    EXPECT_FALSE(ParseJournal("** HEADER  ****\r\n").IsJournal);
    EXPECT_FALSE(ParseJournal("").IsJournal);
    EXPECT_FALSE(ParseJournal("Oxtiva journal 3\n").IsJournal);
}

} // namespace
} // namespace oxtiva
