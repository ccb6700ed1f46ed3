// The start-up offer of unsaved data, answered as an operator would, for journals that a
// real window session left behind in a real temporary folder.
#include "app/experiment/experiment_saver.h"
#include "app/experiment/journal_keeper.h"
#include "app/experiment/journal_recovery.h"
#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "records/journal_recovery.h"
#include "support/crlf_lines.h"
#include "support/dialog_answerer.h"

#include <QCheckBox>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>

namespace oxtiva
{
namespace
{

using testing::CrLfFileLines;
using testing::CrLfLines;
using testing::TMessageBoxAnswerer;

// What a session that ended without a confirmed close leaves: a state row, data points,
// perhaps a save, and the bytes a save at its end would have written.
struct TLeftSession {
    QString Journal;
    QByteArray FileAtTheEnd;
};

class JournalRecoveryTest : public ::testing::Test
{
  protected:
    ~JournalRecoveryTest() override
    {
        EXPECT_TRUE(fAnswerer.Unexpected().isEmpty())
            << fAnswerer.Unexpected().join(" | ").toStdString();
    }

    TLeftSession RunSession(int pointsBeforeSave, int pointsAfterSave,
                            const std::function<void(TfrmOxtiva&)>& setUp = {})
    {
        TfrmOxtiva window(nullptr, fFolder.path());
        if (setUp) setUp(window);
        window.CheckBoxSMUValidated->setChecked(true);
        window.CheckBox2000Validated->setChecked(true);
        window.State().ProgramState = TProgramState::Paused;
        fAnswerer.Expect(QMessageBox::Yes);
        window.RadioButtonPIDSet->click();
        double duration = 0;
        auto addPoint = [&] {
            duration += 10;
            window.State().DataPoint = {0.1, 1e-4, 14, true, 1e-5, 845.3, duration, true};
            window.AddDataUpdates();
            window.Journal().Sync();
        };
        for (int i = 0; i < pointsBeforeSave; ++i)
            addPoint();
        if (pointsBeforeSave > 0) {
            window.ButtonSaveTest->click();
            EXPECT_TRUE(window.Saver().WaitUntilSaved());
        }
        for (int i = 0; i < pointsAfterSave; ++i)
            addPoint();
        window.Journal().Sync();
        EXPECT_TRUE(window.Journal().WaitUntilWritten(5000));
        fTextsBeforeOffer = int(fAnswerer.Texts().size());
        return {window.Journal().Path(), BuildDataFile(window.Saver().Content())};
    }

    void Offer() { OfferUnsavedJournals(nullptr, Userdata(), nullptr); }
    // What the boxes said since the session ended.
    QStringList Texts() const { return fAnswerer.Texts().mid(fTextsBeforeOffer); }

    QString Userdata() const { return fFolder.filePath("Userdata"); }
    QDir DayFolder() const
    {
        return QDir(QDir(Userdata()).filePath(QDate::currentDate().toString("yyyy-MM-dd")));
    }
    QStringList DataFiles() const
    {
        // The oxygen balance and its isotherm beside each data file are not one.
        QStringList files = DayFolder().entryList({"*.csv"}, QDir::Files, QDir::Name);
        files.removeIf([](const QString& name) {
            return name.endsWith("_oxygen.csv") || name.endsWith("_isotherm.csv");
        });
        return files;
    }

    TMessageBoxAnswerer fAnswerer;
    QTemporaryDir fFolder;
    int fTextsBeforeOffer = 0;
};

void AppendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
}

TEST_F(JournalRecoveryTest, RecoverWritesWhatSaveWouldHaveWrittenThenRemovesTheJournal)
{
    const TLeftSession session = RunSession(2, 3);
    // A last whole record spoilt, and then one cut by the crash.
    AppendToFile(session.Journal, "garbage\nrow\t7\t2020-05-06T12:0");
    fAnswerer.Expect(QMessageBox::Yes); // "Recover"
    fAnswerer.Expect(QMessageBox::Ok);  // where it went
    Offer();

    ASSERT_EQ(Texts().size(), 2);
    const QString question = Texts()[0];
    EXPECT_TRUE(question.contains("Sample: \"Ceria\"")) << question.toStdString();
    EXPECT_TRUE(question.contains("Unsaved: 3 data points\n")) << question.toStdString();
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    EXPECT_TRUE(question.contains("Recorded: " + today)) << question.toStdString();
    EXPECT_TRUE(question.contains("The journal is damaged: 1 unreadable line (8 bytes) left out, "
                                  "the first at line 10, byte "))
        << question.toStdString();
    EXPECT_EQ(DataFiles(), (QStringList{"Ceria_0000.csv", "Ceria_0001.csv"}));
    const QString recovered = DayFolder().filePath("Ceria_0001.csv");
    EXPECT_TRUE(Texts()[1].endsWith(QDir::toNativeSeparators(recovered)))
        << Texts()[1].toStdString();

    QList<QByteArray> expected = CrLfLines(session.FileAtTheEnd);
    QList<QByteArray> actual = CrLfFileLines(recovered);
    ASSERT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual[4].startsWith("Saved " + today.toLatin1()));
    actual.removeAt(4);
    expected.removeAt(4);
    EXPECT_EQ(actual, expected);
    EXPECT_FALSE(QFile::exists(session.Journal));
    EXPECT_FALSE(QFile::exists(session.Journal + ".lock"));
}

// One bit flipped by a bad sector in the middle of a run's journal costs that one row: the
// rows after it are recovered, the question counts them, and the journal is kept beside
// the recovered file for whoever wants to look at the damage, out of the next start's way.
TEST_F(JournalRecoveryTest, DamagedRecordCostsItsOwnRowAndTheJournalIsKept)
{
    const TLeftSession session = RunSession(0, 40);
    QFile journal(session.Journal);
    ASSERT_TRUE(journal.open(QIODevice::ReadWrite));
    QByteArray bytes = journal.readAll();
    QList<QByteArray> lines = bytes.split('\n');
    ASSERT_GT(lines.size(), 20);
    const QList<QByteArray> fields = lines[12].split('\t'); // line 13
    ASSERT_EQ(fields[1], "row");
    const int lostRow = fields[2].toInt();
    qsizetype at = 0;
    for (int i = 0; i < 12; ++i)
        at += lines[i].size() + 1;
    bytes[at + lines[12].size() - 3] = char(bytes[at + lines[12].size() - 3] ^ 0x02);
    journal.seek(0);
    journal.write(bytes);
    journal.close();

    fAnswerer.Expect(QMessageBox::Yes); // "Recover"
    fAnswerer.Expect(QMessageBox::Ok);
    Offer();
    ASSERT_EQ(Texts().size(), 2);
    EXPECT_TRUE(Texts()[0].contains("Unsaved: 39 data points and 1 state change\n"))
        << Texts()[0].toStdString();
    EXPECT_TRUE(Texts()[0].contains(QStringLiteral("1 unreadable line (%1 bytes) left out, the "
                                                   "first at line 13, byte %2: ")
                                        .arg(lines[12].size() + 1)
                                        .arg(at)))
        << Texts()[0].toStdString();

    QList<QByteArray> expected = CrLfLines(session.FileAtTheEnd);
    const qsizetype rowsStart =
        expected.indexOf("** DATA *************************************************") + 2;
    expected.removeAt(rowsStart + lostRow);
    QList<QByteArray> actual = CrLfFileLines(DayFolder().filePath("Ceria_0000.csv"));
    ASSERT_EQ(actual.size(), expected.size());
    actual.removeAt(4); // the time of the save
    expected.removeAt(4);
    EXPECT_EQ(actual, expected);
    EXPECT_FALSE(QFile::exists(session.Journal));
    EXPECT_TRUE(QFile::exists(DayFolder().filePath("Ceria_0000.journal")));
    Offer();
    EXPECT_EQ(Texts().size(), 2) << "not offered again";
}

TEST_F(JournalRecoveryTest, KeepForLaterAsksAgainAndDiscardAsksOnceMore)
{
    const TLeftSession session = RunSession(0, 2);
    fAnswerer.Expect(QMessageBox::No); // "Keep for later"
    Offer();
    EXPECT_TRUE(QFile::exists(session.Journal));

    fAnswerer.Expect(QMessageBox::Discard);
    fAnswerer.Expect(QMessageBox::No); // not sure after all: back to the question
    fAnswerer.Expect(QMessageBox::Discard);
    fAnswerer.Expect(QMessageBox::Yes);
    Offer();
    ASSERT_EQ(Texts().size(), 5);
    EXPECT_EQ(Texts()[0], Texts()[1]);
    EXPECT_EQ(Texts()[2],
              "Delete the unsaved data of \"Ceria\" (2 data points)? It cannot be recovered "
              "afterwards.");
    EXPECT_EQ(Texts()[3], Texts()[0]);
    EXPECT_FALSE(QFile::exists(session.Journal));
    EXPECT_TRUE(DataFiles().isEmpty());
}

TEST_F(JournalRecoveryTest, JournalWithEveryRowSavedGoesWithoutAQuestion)
{
    const TLeftSession session = RunSession(2, 0);
    Offer();
    EXPECT_TRUE(Texts().isEmpty());
    EXPECT_FALSE(QFile::exists(session.Journal));
    EXPECT_EQ(DataFiles(), QStringList{"Ceria_0000.csv"});
}

// The record naming the save the journal's segment starts from.
void SpoilBaseRecord(const QString& journal)
{
    QFile file(journal);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype at = bytes.indexOf("Ceria_0000.csv");
    ASSERT_GT(at, 0);
    bytes[at + 1] = 'E';
    file.seek(0);
    file.write(bytes);
}

// A journal whose rows all look saved still goes only when every record read well and the
// saved file it relies on is there with what was saved; otherwise the operator is asked,
// and keeping it for later loses nothing.
TEST_F(JournalRecoveryTest, JournalIsDeletedOnlyWhenItsSavedFileHoldsItsRows)
{
    struct Case {
        const char* Name;
        void (*Spoil)(const QString& journal, const QString& savedFile);
        const char* Said;
    };
    const Case cases[] = {
        {"the record of the save spoilt",
         [](const QString& journal, const QString&) { SpoilBaseRecord(journal); },
         "The journal is damaged: 1 unreadable line"},
        {"the saved file gone", [](const QString&, const QString& saved) { QFile::remove(saved); },
         "is missing or no longer holds the saved rows"},
        {"the saved file changed",
         [](const QString&, const QString& saved) { AppendToFile(saved, "more\r\n"); },
         "is missing or no longer holds the saved rows"},
    };
    for (const Case& c : cases) {
        const TLeftSession session = RunSession(2, 0);
        const QString saved = DayFolder().filePath("Ceria_0000.csv");
        c.Spoil(session.Journal, saved);
        fAnswerer.Expect(QMessageBox::No); // "Keep for later"
        Offer();
        ASSERT_EQ(Texts().size(), 1) << c.Name;
        EXPECT_TRUE(Texts()[0].contains(c.Said)) << c.Name << ": " << Texts()[0].toStdString();
        EXPECT_TRUE(QFile::exists(session.Journal)) << c.Name;
        QFile::remove(session.Journal);
        DayFolder().removeRecursively(); // the save's picture and balance with its file
    }
}

// After a save the journal holds only the rows since; with that save's file gone, those
// rows are what can still be recovered, and the operator is told so.
TEST_F(JournalRecoveryTest, WithoutItsSavedFileASegmentRecoversTheRowsAfterTheSave)
{
    const TLeftSession session = RunSession(2, 3);
    ASSERT_TRUE(QFile::remove(DayFolder().filePath("Ceria_0000.csv")));
    fAnswerer.Expect(QMessageBox::Yes);
    fAnswerer.Expect(QMessageBox::Ok);
    Offer();
    ASSERT_EQ(Texts().size(), 2);
    EXPECT_TRUE(Texts()[0].contains("Unsaved: 3 data points\n")) << Texts()[0].toStdString();
    EXPECT_TRUE(Texts()[0].contains("Recover writes the rows recorded after that save"))
        << Texts()[0].toStdString();
    ASSERT_EQ(DataFiles(), QStringList{"Ceria_0001.csv"})
        << "the picture and balance the gone file left keep their counter";

    const QList<QByteArray> whole = CrLfLines(session.FileAtTheEnd);
    const QList<QByteArray> recovered = CrLfFileLines(DayFolder().filePath("Ceria_0001.csv"));
    const qsizetype data =
        whole.indexOf("** DATA *************************************************");
    ASSERT_GT(data, 0);
    const qsizetype rowsStart = data + 2;
    const QList<QByteArray> expected = whole.mid(rowsStart, 2) + whole.mid(whole.size() - 3);
    EXPECT_EQ(recovered.mid(rowsStart), expected) << "captions, the empty row, the 3 rows after";
    EXPECT_FALSE(QFile::exists(session.Journal));
}

// The balance a save writes beside its data file comes with a recovered file too: one row
// per data point of the file, with the constants the file holds.
TEST_F(JournalRecoveryTest, RecoverWritesTheOxygenBalanceOfTheRecoveredRows)
{
    struct TCase {
        const char* Name;
        int PointsBeforeSave;
        int PointsAfterSave;
        bool SavedFileGone;
        const char* Recovered;
        int Points;
    };
    const TCase cases[] = {{"NeverSaved", 0, 3, false, "Ceria_0000.csv", 3},
                           {"SavedBefore", 2, 3, false, "Ceria_0001.csv", 5},
                           {"SavedFileGone", 2, 3, true, "Ceria_0001.csv", 3}};
    const auto column = [](TProperty q) { return ColumnOf(q).ColID; };
    for (const TCase& c : cases) {
        QDir(Userdata()).removeRecursively();
        const TLeftSession session =
            RunSession(c.PointsBeforeSave, c.PointsAfterSave,
                       [](TfrmOxtiva& window) { window.RtDoubleEditVhp->setValue(0.0123); });
        if (c.SavedFileGone) ASSERT_TRUE(QFile::remove(DayFolder().filePath("Ceria_0000.csv")));
        fAnswerer.Expect(QMessageBox::Yes);
        fAnswerer.Expect(QMessageBox::Ok);
        Offer();
        const QString oxygen =
            DayFolder().filePath(QString(c.Recovered).chopped(4) + "_oxygen.csv");
        ASSERT_TRUE(QFile::exists(oxygen)) << c.Name;
        EXPECT_TRUE(
            QFile::exists(DayFolder().filePath(QString(c.Recovered).chopped(4) + "_isotherm.csv")))
            << c.Name;

        // The data file's data-point rows, by their index among its DATA lines.
        const QList<QByteArray> dataFile = CrLfFileLines(DayFolder().filePath(c.Recovered));
        const qsizetype mark =
            dataFile.indexOf("** DATA *************************************************");
        ASSERT_GT(mark, 0) << c.Name;
        QList<QList<QByteArray>> points;
        QList<int> pointRows;
        for (qsizetype i = mark + 2; i < dataFile.size(); ++i) {
            const QList<QByteArray> cells = dataFile[i].split(';');
            if (cells.size() > column(TProperty::Mode) &&
                cells[column(TProperty::Mode)].toInt() >= FirstDataPointModeCode) {
                points << cells;
                pointRows << int(i - mark - 2);
            }
        }
        ASSERT_EQ(points.size(), c.Points) << c.Name;

        const QList<QByteArray> lines = CrLfFileLines(oxygen);
        QList<QByteArray> vhp;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(vhp),
                     [](const QByteArray& line) { return line.startsWith("# Vhp = "); });
        ASSERT_EQ(vhp.size(), 1) << c.Name;
        EXPECT_TRUE(vhp[0].startsWith("# Vhp = 0.0123 L, gas volume of the hot part; from "))
            << c.Name << ": " << vhp[0].toStdString();
        const qsizetype header = lines.indexOf(
            "time,time_s,grid_row,cell_T_C,pO2_atm,current_A,charge_C,gas_mol,leak_mol,"
            "released_mol,b,delta,gap,alpha_held_from_T_C");
        ASSERT_GE(header, 0) << c.Name;
        const QList<QByteArray> rows = lines.mid(header + 1);
        ASSERT_EQ(rows.size(), c.Points) << c.Name;
        for (int i = 0; i < rows.size(); ++i) {
            const QList<QByteArray> f = rows[i].split(',');
            ASSERT_EQ(f.size(), 14) << c.Name << " " << i;
            EXPECT_EQ(f[2].toInt(), pointRows[i]) << c.Name << " " << i;
            EXPECT_DOUBLE_EQ(f[3].toDouble(), points[i][column(TProperty::Temp)].toDouble());
            EXPECT_DOUBLE_EQ(f[4].toDouble(), points[i][column(TProperty::CellpO2)].toDouble());
            EXPECT_NEAR(f[5].toDouble(), points[i][column(TProperty::PumpI)].toDouble(), 1e-15);
            // Every point spans its 10 s of duration, one after the other.
            EXPECT_NEAR(f[1].toDouble(), 5 + 10 * i, 1e-5) << c.Name << " " << i;
            if (i > 0)
                EXPECT_NEAR(f[6].toDouble() - rows[i - 1].split(',')[6].toDouble(), 1e-3, 1e-9)
                    << c.Name << " " << i;
            EXPECT_EQ(f[12], "0") << c.Name << " " << i;
        }
    }
}

// A save killed before its file was named leaves its temporary file, as large as the data
// file would have been: the next start removes it, but not one still being written.
TEST_F(JournalRecoveryTest, TemporaryFilesOfAKilledSaveAreRemovedAtStart)
{
    ASSERT_TRUE(DayFolder().mkpath("."));
    const QString killed = DayFolder().filePath(".saving-AbC123");
    const QString writing = DayFolder().filePath(".saving-XyZ789");
    const QString other = DayFolder().filePath("Ceria_0000.csv");
    for (const QString& path : {killed, writing, other}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("rows");
    }
    QFile old(killed);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                QFileDevice::FileModificationTime));
    old.close();
    Offer();
    EXPECT_FALSE(QFile::exists(killed));
    EXPECT_TRUE(QFile::exists(writing)) << "a save of another copy may still be writing it";
    EXPECT_TRUE(QFile::exists(other));
}

TEST_F(JournalRecoveryTest, JournalOfARunningProgramIsLeftAlone)
{
    const TLeftSession session = RunSession(0, 1);
    QLockFile running(session.Journal + ".lock"); // held by this live process
    ASSERT_TRUE(running.tryLock(0));
    Offer();
    EXPECT_TRUE(Texts().isEmpty());
    EXPECT_TRUE(QFile::exists(session.Journal));
}

TEST_F(JournalRecoveryTest, FailedRecoveryKeepsTheJournalForTheNextStart)
{
    const TLeftSession session = RunSession(0, 1);
    QFile blocker(DayFolder().path()); // a file where today's folder would go
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    fAnswerer.Expect(QMessageBox::Yes);
    fAnswerer.Expect(QMessageBox::Ok);
    Offer();
    ASSERT_EQ(Texts().size(), 2);
    EXPECT_TRUE(Texts()[1].startsWith("The data could not be written")) << Texts()[1].toStdString();
    EXPECT_TRUE(QFile::exists(session.Journal));
}

} // namespace
} // namespace oxtiva
