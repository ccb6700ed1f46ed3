// The journal of a session as the window keeps it: rows from the real grid, state rows
// through the real confirmation, saves through the "Manual save" button, files in a real
// temporary folder.
#include "app/experiment/experiment_saver.h"
#include "app/experiment/journal_keeper.h"
#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "records/journal_recovery.h"
#include "records/windows_1252.h"
#include "support/crlf_lines.h"
#include "support/dialog_answerer.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

using testing::CrLfFileLines;
using testing::TMessageBoxAnswerer;

constexpr int WriteTimeoutMs = 5000;
constexpr int DataSectionStart = 48; // the DATA lines follow the header, notes of two lines

class JournalKeeperTest : public ::testing::Test
{
  protected:
    JournalKeeperTest()
    {
        // As validation leaves them; no thread is needed for what is tested here.
        fWindow->CheckBoxSMUValidated->setChecked(true);
        fWindow->CheckBox2000Validated->setChecked(true);
        fWindow->State().ProgramState = TProgramState::Paused;
        fWindow->MemoNotes->setPlainText("Example values\nExample notes");
    }
    ~JournalKeeperTest() override
    {
        fWindow.reset();
        EXPECT_TRUE(fAnswerer.Unexpected().isEmpty())
            << fAnswerer.Unexpected().join(" | ").toStdString();
    }

    // The PID set point state, which no timer saves: its state row, confirmed.
    void ChoosePIDSet()
    {
        fAnswerer.Expect(QMessageBox::Yes);
        fWindow->RadioButtonPIDSet->click();
        ASSERT_EQ(fWindow->State().ProgramState, TProgramState::PIDSet);
    }
    // A point as the pump thread publishes it, taken as a control-cycle pass takes it.
    void AddDataPoint()
    {
        fDuration += 10;
        fWindow->State().DataPoint = {0.1, 1e-4, 14, true, 1e-5, 845.3, fDuration, true};
        fWindow->AddDataUpdates();
        fWindow->Journal().Sync();
    }
    QString Save()
    {
        fWindow->ButtonSaveTest->click();
        EXPECT_TRUE(fWindow->Saver().WaitUntilSaved());
        fWindow->Journal().Sync();
        return fWindow->Saver().LastSavedPath();
    }
    TJournalContents ReadBack()
    {
        EXPECT_TRUE(fWindow->Journal().WaitUntilWritten(WriteTimeoutMs));
        TJournalContents contents;
        QString error;
        EXPECT_TRUE(ReadJournal(fWindow->Journal().Path(), contents, error)) << error.toStdString();
        return contents;
    }
    int Rows() const { return fWindow->StringGridData->RowCount(); }
    QString Userdata() const { return fFolder.filePath("Userdata"); }
    QStringList JournalsOnDisk() const { return JournalFilesIn(Userdata()); }

    TMessageBoxAnswerer fAnswerer;
    QTemporaryDir fFolder;
    std::unique_ptr<TfrmOxtiva> fWindow = std::make_unique<TfrmOxtiva>(nullptr, fFolder.path());
    double fDuration = 0;
};

QList<QByteArray> Encoded(const QStringList& lines)
{
    QList<QByteArray> bytes;
    for (const QString& line : lines) {
        QByteArray encoded;
        AppendWindows1252(encoded, line);
        bytes << encoded;
    }
    return bytes;
}

TEST_F(JournalKeeperTest, RowsReachTheJournalAsTheyEnterTheGridWithTheBytesSaveWrites)
{
    fWindow->Journal().Sync();
    EXPECT_TRUE(fWindow->Journal().Path().isEmpty()) << "a run starts with its first row";
    ChoosePIDSet(); // the state row alone is on the disk, before any pass
    TJournalContents contents = ReadBack();
    EXPECT_EQ(contents.Rows.size(), 3u);
    EXPECT_EQ(contents.UnsavedRows(), 1);

    for (int i = 0; i < 3; ++i)
        AddDataPoint();
    const TJournalContents beforeSave = ReadBack();
    const QString firstSave = Save();
    fWindow->MemoNotes->setPlainText("Example values\nExample notes\nAfter the save");
    // A number typed into an edit: its text changes first, its value when it is taken.
    fWindow->RtDoubleEditDataPointLength->setText("12");
    AddDataPoint();
    emit fWindow->RtDoubleEditDataPointLength->editingFinished();
    fWindow->Journal().Sync(); // the next pass
    contents = ReadBack();
    EXPECT_EQ(contents.GridRows(), Rows());
    EXPECT_EQ(int(contents.Rows.size()), FixedGridRows + 1) << "a segment after the save";
    EXPECT_EQ(contents.BaseRows, Rows() - 1);
    EXPECT_EQ(contents.SavedRows, Rows() - 1);
    EXPECT_EQ(contents.SavedFile, firstSave);
    EXPECT_EQ(contents.UnsavedDataPoints(), 1);
    EXPECT_EQ(contents.Head.Notes, "Example values\nExample notes\nAfter the save");
    EXPECT_EQ(contents.Head.VariableValues[27], "12") << "the data point length row";
    EXPECT_TRUE(contents.Problems.isEmpty());
    const QList<QByteArray> firstFile = CrLfFileLines(firstSave);
    EXPECT_EQ(Encoded(beforeSave.DataLines()).join('\n'),
              firstFile.mid(DataSectionStart).join('\n'))
        << "the journal's rows are the DATA lines that save wrote";

    // Written again from the segment and the saved file, the file is what a save now
    // writes, to the byte.
    QString recovered;
    QString error;
    ASSERT_TRUE(WriteRecoveredDataFile(contents, Userdata(), QDateTime::currentDateTime(),
                                       recovered, error))
        << error.toStdString();
    const QString secondSave = Save();
    QList<QByteArray> expected = CrLfFileLines(secondSave);
    QList<QByteArray> actual = CrLfFileLines(recovered);
    ASSERT_EQ(actual.size(), expected.size());
    ASSERT_TRUE(actual[4].startsWith("Saved "));
    actual.removeAt(4); // the minute of saving
    expected.removeAt(4);
    EXPECT_EQ(actual.join('\n'), expected.join('\n'));
}

// However long the run, a save leaves a journal of the head and the rows after it.
TEST_F(JournalKeeperTest, JournalAfterASaveHoldsOnlyTheRowsSinceThatSave)
{
    ChoosePIDSet();
    for (int i = 0; i < 400; ++i)
        AddDataPoint();
    ASSERT_TRUE(fWindow->Journal().WaitUntilWritten(WriteTimeoutMs));
    const qint64 beforeSave = QFileInfo(fWindow->Journal().Path()).size();
    const QString saved = Save();
    AddDataPoint();
    const TJournalContents contents = ReadBack();
    const QStringList journals = JournalsOnDisk();
    ASSERT_EQ(journals, QStringList{fWindow->Journal().Path()}) << "the run's first is gone";
    const qint64 afterSave = QFileInfo(journals[0]).size();
    EXPECT_GT(beforeSave, 400 * 100);
    EXPECT_LT(afterSave, 2048) << "head, fixed rows, the save and one row";
    EXPECT_EQ(contents.SavedFile, saved);
    EXPECT_EQ(contents.UnsavedDataPoints(), 1);
    EXPECT_EQ(contents.GridRows(), Rows());
    fWindow->Journal().Sync(); // the pass after the cut lets the old segment's lock go
    EXPECT_EQ(QDir(Userdata()).entryList({"*.lock"}, QDir::Files),
              QStringList{QFileInfo(journals[0]).fileName() + ".lock"});
}

TEST_F(JournalKeeperTest, FailingJournalNamesTheCauseInTheCaptionAndLosesNothing)
{
    ASSERT_TRUE(QDir(Userdata()).removeRecursively());
    {
        QFile blocker(Userdata()); // no folder can be made where this file stands
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    ChoosePIDSet();
    AddDataPoint();
    EXPECT_FALSE(fWindow->Journal().WaitUntilWritten(WriteTimeoutMs));
    AddDataPoint(); // the next pass shows what the last write met, and tries again
    const QString caption = fWindow->Caption().Notice(TCaptionNotice::JournalFailed);
    EXPECT_TRUE(caption.startsWith("Journal write failed: ")) << caption.toStdString();
    EXPECT_TRUE(caption.contains(QDir::toNativeSeparators(Userdata()))) << caption.toStdString();
    EXPECT_TRUE(fWindow->windowTitle().contains(caption));
    EXPECT_EQ(fWindow->State().ProgramState, TProgramState::PIDSet) << "the experiment goes on";
    fAnswerer.Expect(QMessageBox::Cancel);
    fWindow->close();
    EXPECT_TRUE(fAnswerer.Texts().last().endsWith(
        "not saved, and the journal cannot be written, so they will be lost."))
        << fAnswerer.Texts().last().toStdString();

    ASSERT_TRUE(QFile::remove(Userdata()));
    AddDataPoint();
    const TJournalContents contents = ReadBack();
    fWindow->Journal().Sync();
    EXPECT_FALSE(fWindow->Caption().Holds(TCaptionNotice::JournalFailed));
    EXPECT_TRUE(contents.Problems.isEmpty()) << contents.Problems.join('\n').toStdString();
    EXPECT_EQ(int(contents.Rows.size()), Rows()) << "every row once, none lost";
    EXPECT_EQ(contents.UnsavedDataPoints(), 3);
}

TEST_F(JournalKeeperTest, JournalRemovedWithItsFolderIsWrittenAgainWhole)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows removes no folder while the program holds its journal open";
#endif
    ChoosePIDSet();
    AddDataPoint();
    Save();
    AddDataPoint();
    ASSERT_TRUE(fWindow->Journal().WaitUntilWritten(WriteTimeoutMs));
    ASSERT_TRUE(QDir(Userdata()).removeRecursively());
    AddDataPoint(); // its write finds the file gone
    EXPECT_FALSE(fWindow->Journal().WaitUntilWritten(WriteTimeoutMs));
    fWindow->Journal().Sync();
    const TJournalContents contents = ReadBack();
    EXPECT_EQ(int(contents.Rows.size()), Rows());
    EXPECT_EQ(contents.SavedRows, Rows() - 2) << "the save made before is known again";
    EXPECT_EQ(contents.UnsavedDataPoints(), 2);
}

TEST_F(JournalKeeperTest, EndOfSessionKeepsTheJournalOnlyWithUnsavedRows)
{
    struct Case {
        const char* name;
        bool saveLastRow;
        bool confirmedClose;
        int journalsLeft;
    };
    for (const Case c : {Case{"confirmed close, all saved", true, true, 0},
                         Case{"confirmed close, a row after the save", false, true, 1},
                         Case{"window destroyed without closing, all saved", true, false, 1}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        fWindow = std::make_unique<TfrmOxtiva>(nullptr, folder.path());
        fWindow->CheckBoxSMUValidated->setChecked(true);
        fWindow->CheckBox2000Validated->setChecked(true);
        fWindow->State().ProgramState = TProgramState::Paused;
        ChoosePIDSet();
        AddDataPoint();
        Save();
        if (!c.saveLastRow) AddDataPoint();
        if (c.confirmedClose) {
            fAnswerer.Expect(QMessageBox::Ok);
            fWindow->close();
            EXPECT_EQ(fAnswerer.Texts().last(),
                      c.saveLastRow ? QStringLiteral("Close the form? Every row of the grid is saved.")
                                    : QStringLiteral("Close the form? 1 row of the grid is not saved "
                                                     "yet; they stay in the journal and are offered "
                                                     "for recovery at the next start."));
        }
        fWindow.reset();
        const QStringList left = JournalFilesIn(folder.filePath("Userdata"));
        ASSERT_EQ(left.size(), c.journalsLeft);
        EXPECT_FALSE(QFile::exists(left.value(0) + ".lock")) << "no program holds it any more";
        if (left.isEmpty()) continue;
        TJournalContents contents;
        QString error;
        ASSERT_TRUE(ReadJournal(left[0], contents, error));
        EXPECT_EQ(contents.UnsavedDataPoints(), c.saveLastRow ? 0 : 1);
    }
}

} // namespace
} // namespace oxtiva
