#include "app/experiment/experiment_saver.h"

#include "app/experiment/control_cycle.h"
#include "app/experiment/journal_keeper.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "records/date_time.h"
#include "records/day_folder.h"
#include "support/crlf_lines.h"
#include "support/qstring_printer.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace oxtiva
{
namespace
{

// A save runs on its own thread; these tests look at what it wrote once it has ended.
bool SaveAndWait(TExperimentSaver& saver)
{
    saver.Save();
    return saver.WaitUntilSaved();
}

class ExperimentSaverTest : public ::testing::Test
{
  protected:
    QTemporaryDir fProgramFolder;
    TfrmOxtiva fWindow;
    TExperimentSaver fSaver{fWindow, fProgramFolder.path()};

    QDir DayFolder() const
    {
        return QDir(fProgramFolder.filePath(QStringLiteral("Userdata/") +
                                            QDate::currentDate().toString("yyyy-MM-dd")));
    }
    QList<QByteArray> Lines(const QString& name) const
    {
        return oxtiva::testing::CrLfFileLines(DayFolder().filePath(name));
    }
    void AddRow(std::initializer_list<std::pair<TProperty, QString>> cells)
    {
        const int row = fWindow.StringGridData->AddRow();
        for (const auto& [q, text] : cells)
            fWindow.StringGridData->SetCell(ColumnOf(q).ColID, row, text);
    }
};

TEST_F(ExperimentSaverTest, WritesNumberedCsvAndPngPairsIntoTheDayFolder)
{
    fWindow.EditSampleName->setText("Ceria");
    fWindow.EditSampleFormula->setText("CeO2");
    fWindow.EditSensorID->setText("HT PIS 0317524");
    fWindow.RtDoubleEditSensorAx->setValue(29729.36789);
    fWindow.RtDoubleEditDataPointLength->setValue(12);
    fWindow.MemoNotes->setPlainText("Example values\nExample notes");
    AddRow({{TProperty::Time, "2020-05-06 14:03:27"}, {TProperty::Mode, "2"}});
    AddRow({{TProperty::Time, "12.50"},
            {TProperty::Mode, "12"},
            {TProperty::Temp, "845.30"},
            {TProperty::FlushpO2, "2.10E-1"}});

    fWindow.RtDoubleEditLeakAlpha->setValue(2.5e-9);
    const double before = NowDays();
    ASSERT_TRUE(SaveAndWait(fSaver));
    EXPECT_GE(fWindow.State().LastSaveTime, before);
    ASSERT_TRUE(SaveAndWait(fSaver));
    const QStringList files = DayFolder().entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, (QStringList{"Ceria_0000.csv", "Ceria_0000.png", "Ceria_0000.steps",
                                  "Ceria_0000_isotherm.csv", "Ceria_0000_oxygen.csv",
                                  "Ceria_0001.csv", "Ceria_0001.png", "Ceria_0001.steps",
                                  "Ceria_0001_isotherm.csv", "Ceria_0001_oxygen.csv"}));
    EXPECT_EQ(fSaver.LastSavedPath(), DayFolder().filePath("Ceria_0001.csv"));

    const auto lines = Lines("Ceria_0000.csv");
    ASSERT_EQ(lines.size(), 52);
    EXPECT_EQ(lines[2], "Ceria");
    EXPECT_EQ(lines[3], "CeO2");
    EXPECT_TRUE(
        lines[4].startsWith("Saved " + QDate::currentDate().toString("yyyy-MM-dd").toLatin1()));
    EXPECT_EQ(lines[20], "HT PIS 0317524;         ;SID    ;Sensor ID");
    EXPECT_EQ(lines[21], "29729.36789;         ;SAx    ;Sensor Ax");
    EXPECT_EQ(lines[36], "12;s        ;       ;Minimum length for data point");
    EXPECT_EQ(lines[38], "2.5E-9;Alpha     ;       ;^0.25 leakage constant");
    EXPECT_EQ(lines[43], "Example values");
    EXPECT_EQ(lines[44], "Example notes");
    EXPECT_EQ(lines[48], "Duration,s;Mode;Step;CellT,\xBA"
                         "C;PumpV,V;PumpI,A;CellpO2,atm;"
                         "FlushpO2,atm;RCpO2,%;StablepO2;RangepO2;RCI,%;StableI;SP;Time;"
                         "CellpO2P,atm");
    EXPECT_EQ(lines[49], ";;;;;;;;;;;;;;;");
    EXPECT_EQ(lines[50], "2020-05-0614:03:27;2;;;;;;;;;;;;;;");
    EXPECT_EQ(lines[51], "12.50;12;;845.30;;;;2.10E-1;;;;;;;;");
}

TEST_F(ExperimentSaverTest, TypedNameCannotWriteOutsideTheDayFolder)
{
    fWindow.EditSampleName->setText("../../escape");
    ASSERT_TRUE(SaveAndWait(fSaver));
    EXPECT_TRUE(DayFolder().exists("______escape_0000.csv"));
    EXPECT_TRUE(DayFolder().exists("______escape_0000.png"));
    EXPECT_FALSE(QFile::exists(fProgramFolder.filePath("escape_0000.csv")));
}

TEST_F(ExperimentSaverTest, ALongOrMultiLineNameIsCutOrMendedInTheFileNameOnly)
{
    const QString longName = QString(250, u'x') + QStringLiteral("END");
    fWindow.EditSampleName->setText(longName);
    ASSERT_TRUE(SaveAndWait(fSaver));
    const QString stem = QString(100, u'x') + QStringLiteral("_0000");
    EXPECT_TRUE(DayFolder().exists(stem + ".csv"));
    EXPECT_TRUE(DayFolder().exists(stem + ".png"));
    EXPECT_EQ(Lines(stem + ".csv")[2], longName.toLatin1()) << "the header keeps it whole";
    ASSERT_TRUE(SaveAndWait(fSaver));
    EXPECT_TRUE(DayFolder().exists(QString(100, u'x') + "_0001.csv"));

    fWindow.EditSampleName->setText("Ceria\nbatch 2");
    ASSERT_TRUE(SaveAndWait(fSaver));
    const auto lines = Lines("Ceria_batch 2_0000.csv");
    ASSERT_EQ(lines.size(), 50) << "as many lines as with any other name";
    EXPECT_EQ(lines[2], "Ceria batch 2");
    EXPECT_EQ(lines[46], "** DATA *************************************************");
}

TEST_F(ExperimentSaverTest, EmptyNameGivesUnderscoreFiles)
{
    fWindow.EditSampleName->setText("");
    ASSERT_TRUE(SaveAndWait(fSaver));
    EXPECT_TRUE(DayFolder().exists("_0000.csv"));
}

TEST_F(ExperimentSaverTest, MissingDataFolderIsCreatedAgain)
{
    fWindow.EditSampleName->setText("Ceria");
    ASSERT_FALSE(QDir(fProgramFolder.filePath("Userdata")).exists());
    EXPECT_TRUE(SaveAndWait(fSaver));
    EXPECT_TRUE(DayFolder().exists("Ceria_0000.csv"));
}

TEST_F(ExperimentSaverTest, FailureShowsTheCaptionAndTheExperimentGoesOn)
{
    // A plain file where the data folder should be: no folder can be made below it,
    // whatever rights the test runs with.
    QFile blocker(fProgramFolder.filePath("Userdata"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    fWindow.setWindowTitle("Oxtiva");
    fWindow.EditSampleName->setText("Ceria");

    const double before = NowDays();
    bool saved = true;
    EXPECT_NO_THROW(saved = SaveAndWait(fSaver));
    EXPECT_FALSE(saved);
    EXPECT_EQ(fWindow.windowTitle(),
              "Autosave has failed, Check available space etc. and save data manually before "
              "closing the program: Not a directory");
    EXPECT_GE(fWindow.State().LastSaveTime, before)
        << "the autosave rule waits its interval instead of retrying on every pass";
    EXPECT_TRUE(fSaver.LastSavedPath().isEmpty());
}

struct TSaveFailureCase {
    const char* Name;
    const char* Blocked; // made a plain file, or a folder, where the save writes
    bool Folder;
    const char* Failed; // the path the log names
    const char* Cause;
};

class SaveFailure : public ::testing::TestWithParam<TSaveFailureCase>
{
};

// The operator has to act on a failed save, so the caption says what went wrong and the
// log where; the cause comes from the system, whatever it is.
TEST_P(SaveFailure, NamesTheCauseInTheCaptionAndThePathInTheLog)
{
    const TSaveFailureCase c = GetParam();
    QTemporaryDir programFolder;
    TfrmOxtiva window(nullptr, programFolder.path());
    window.EditSampleName->setText("Ceria");
    const auto path = [&](const char* pattern) {
        const QString day = QStringLiteral("Userdata/") + DayFolderName(QDate::currentDate());
        return programFolder.filePath(QString::fromLatin1(pattern).replace("{day}", day));
    };
    if (c.Folder) {
        ASSERT_TRUE(QDir().mkpath(path(c.Blocked)));
    } else {
        ASSERT_TRUE(QDir(programFolder.filePath("Userdata")).removeRecursively());
        QFile file(path(c.Blocked));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    EXPECT_FALSE(SaveAndWait(window.Saver()));
    EXPECT_EQ(window.Caption().Notice(TCaptionNotice::SaveFailed),
              SaveFailedCaption + ": " + c.Cause);
    window.LogDestination()->Flush();
    QFile log(window.LogDestination()->FilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(logged.contains(
        QStringLiteral("Save failed: %1: %2")
            .arg(QDir::toNativeSeparators(path(c.Failed)), QString::fromLatin1(c.Cause))))
        << logged.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SaveFailure,
    ::testing::Values(
        // A plain file where the data folder should be: no folder can be made below it,
        // whatever rights the test runs with.
        TSaveFailureCase{"DayFolder", "Userdata", false, "{day}", "Not a directory"},
        TSaveFailureCase{"Picture", "{day}/Ceria_0000.png", true, "{day}/Ceria_0000.png",
                         "Filename refers to a directory"}),
    [](const auto& info) { return std::string(info.param.Name); });

// The oxygen balance is a file of its own beside the data file: the two agree on alpha (row
// 30 of the data file), and a failure to write it is a failed save that harms neither the
// data file nor its picture.
TEST_F(ExperimentSaverTest, OxygenBalanceFileFailsAloneAndLeavesTheDataFileAsItWas)
{
    fWindow.EditSampleName->setText("Ceria");
    fWindow.RtDoubleEditDataPointLength->setValue(12);
    fWindow.RtDoubleEditLeakAlpha->setValue(2.5e-9);
    ASSERT_TRUE(DayFolder().mkpath("Ceria_0000_oxygen.csv")); // a folder blocks the file
    fWindow.setWindowTitle("Oxtiva");

    EXPECT_FALSE(SaveAndWait(fSaver));
    EXPECT_EQ(fWindow.windowTitle(), SaveFailedCaption + ": Filename refers to a directory");
    EXPECT_TRUE(DayFolder().exists("Ceria_0000.png"));
    const auto lines = Lines("Ceria_0000.csv");
    ASSERT_EQ(lines.size(), 50);
    EXPECT_EQ(lines[38], "2.5E-9;Alpha     ;       ;^0.25 leakage constant");

    ASSERT_TRUE(SaveAndWait(fSaver)) << "the next save goes to the next counter";
    const auto oxygen = Lines("Ceria_0001_oxygen.csv");
    ASSERT_GT(oxygen.size(), 10);
    EXPECT_TRUE(oxygen[0].endsWith("with Ceria_0001.csv")) << oxygen[0].toStdString();
    EXPECT_TRUE(std::any_of(oxygen.begin(), oxygen.end(), [](const auto& line) {
        return line.startsWith("# alpha = 2.5e-09 mol/(s atm^0.25)");
    })) << "the alpha the save read";
}

// The balance beside the data file is the one of the moment the save was asked for, however
// the run goes on while the save's thread writes it.
TEST_F(ExperimentSaverTest, TheBalanceFileHoldsThePointsOfTheMomentOfTheSave)
{
    fWindow.EditSampleName->setText("Ceria");
    TSharedState& s = fWindow.State();
    s.StartTime = NowDays();
    const auto addPoint = [&](int i) {
        AddRow({{TProperty::Time, QString::number(i)}, {TProperty::Mode, "12"}});
        TDataPointRec& p = s.DataPoint;
        p.CellpO2Valid = true;
        p.CellpO2 = 1e-5;
        p.Temp = 845;
        p.Charge = 1e-4;
        p.MeanCharge = 5e-5;
        p.StartTime = s.StartTime + i / SecondsPerDay;
        p.EndTime = s.StartTime + (i + 1) / SecondsPerDay;
        fWindow.OxygenContent().AddDataPoint();
    };
    for (int i = 0; i < 3; ++i)
        addPoint(i);
    fSaver.Save();
    addPoint(3);
    ASSERT_TRUE(fSaver.WaitUntilSaved());

    const auto oxygen = Lines("Ceria_0000_oxygen.csv");
    const auto table = std::count_if(oxygen.begin(), oxygen.end(),
                                     [](const QByteArray& line) { return !line.startsWith('#'); });
    EXPECT_EQ(table, 1 + 3) << "the header and the three points before the save";
    EXPECT_EQ(fWindow.OxygenContent().History().Size(), 4u);
}

// Another program can take a name between the look into the folder and the file's naming;
// a name that does not even read as an existing file (a link to nowhere) stands for it.
TEST_F(ExperimentSaverTest, NameTakenSinceTheFolderWasLookedAtIsPassedOver)
{
    fWindow.EditSampleName->setText("Ceria");
    ASSERT_TRUE(DayFolder().mkpath("."));
    const QString taken = DayFolder().filePath("Ceria_0000.csv");
    ASSERT_TRUE(QFile::link(DayFolder().filePath("elsewhere.csv"), taken));
    const qint64 takenSize = QFileInfo(taken).size();
    ASSERT_TRUE(SaveAndWait(fSaver));
#ifdef Q_OS_WIN
    // Windows makes the link a shortcut file under that name: it stands for the other
    // program's file all the same.
    EXPECT_EQ(QFileInfo(taken).size(), takenSize) << "the other program's file stays its own";
#else
    (void)takenSize;
    EXPECT_TRUE(QFileInfo(taken).isSymLink()) << "the other program's name stays its own";
#endif
    EXPECT_FALSE(DayFolder().exists("elsewhere.csv"));
    EXPECT_EQ(fSaver.LastSavedPath(), DayFolder().filePath("Ceria_0001.csv"));
    EXPECT_TRUE(DayFolder().exists("Ceria_0001.png"));
    EXPECT_TRUE(DayFolder().entryList({".saving-*"}, QDir::Files | QDir::Hidden).isEmpty())
        << "no temporary file is left behind";
}

// A save of a long run takes a while; the window goes on serving the instrument threads'
// hand-overs meanwhile, and the file holds the grid as it was when the save was asked for.
TEST_F(ExperimentSaverTest, HandOversAreServedWhileASaveWritesItsSnapshot)
{
    fWindow.EditSampleName->setText("Long");
    fWindow.Saver().SetProgramFolder(fProgramFolder.path());
    TStringGrid& grid = *fWindow.StringGridData;
    constexpr int Rows = 200000;
    for (int i = 0; i < Rows; ++i)
        AddRow(
            {{TProperty::Time, "1234.56"}, {TProperty::Mode, "12"}, {TProperty::Temp, "845.30"}});
    const QString csv = DayFolder().filePath("Long_0000.csv");

    std::atomic<bool> saveAsked{false};
    std::atomic<bool> served{false};
    bool fileThereAtHandOver = true;
    std::thread instrument([&] {
        while (!saveAsked)
            std::this_thread::yield();
        QMetaObject::invokeMethod(
            &fWindow, [&] { fileThereAtHandOver = QFile::exists(csv); },
            Qt::BlockingQueuedConnection);
        served = true;
    });
    fWindow.ButtonSaveTest->click();
    saveAsked = true;
    while (!served)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    instrument.join();
    // The grid changes under the save: a new row, and a cell of a row it holds.
    grid.SetCell(ColumnOf(TProperty::Temp).ColID, 2, "999.99");
    AddRow({{TProperty::Time, "1.00"}});
    ASSERT_TRUE(fWindow.Saver().WaitUntilSaved());

    EXPECT_FALSE(fileThereAtHandOver) << "the hand-over waited for the save";
    const QList<QByteArray> lines = Lines("Long_0000.csv");
    ASSERT_EQ(lines.size(), 50 + Rows) << "the grid as it was when the save began";
    EXPECT_EQ(lines[50], "1234.56;12;;845.30;;;;;;;;;;;;");
    EXPECT_EQ(grid.Cell(ColumnOf(TProperty::Temp).ColID, 2), "999.99");
}

TEST_F(ExperimentSaverTest, ManualSaveButtonOfTheWindowSaves)
{
    fWindow.EditSampleName->setText("Manual");
    fWindow.Saver().SetProgramFolder(fProgramFolder.path());
    fWindow.ButtonSaveTest->click();
    EXPECT_TRUE(fWindow.Saver().WaitUntilSaved());
    EXPECT_TRUE(DayFolder().exists("Manual_0000.csv"));
    EXPECT_TRUE(DayFolder().exists("Manual_0000.png"));
}

// A program folder given relative to where the program starts is that folder, for the
// settings, the data and the log alike, though the window makes it the current folder.
TEST(ProgramFolder, ARelativeFolderIsTakenFromWhereTheProgramStarts)
{
    QTemporaryDir start;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(start.path()));
    ASSERT_TRUE(QDir(start.path()).mkdir("cell"));
    {
        TfrmOxtiva window(nullptr, "cell");
        const QString cell = QDir(start.path()).filePath("cell");
        EXPECT_EQ(window.ProgramFolder(), cell);
        window.EditSampleName->setText("Relative");
        window.Save();
        EXPECT_TRUE(window.Saver().WaitUntilSaved());
        EXPECT_TRUE(window.Saver().LastSavedPath().startsWith(cell + "/Userdata/"))
            << window.Saver().LastSavedPath().toStdString();
        EXPECT_TRUE(QDir(cell).exists("Logs"));
        EXPECT_FALSE(QDir(cell).exists("cell"));
    }
    QDir::setCurrent(before);
}

// Weeks without a log leave a fault nothing to explain it: a log that cannot be opened is
// said in the caption and the status bar.
TEST(ProgramFolder, ALogThatCannotBeOpenedIsShownInTheCaptionAndTheStatusBar)
{
    QTemporaryDir folder;
    {
        QFile blocker(folder.filePath("Logs")); // no folder can be made where this file stands
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    const QString before = QDir::currentPath();
    {
        TfrmOxtiva window(nullptr, folder.path());
        const QString text = "Log file cannot be opened in " +
                             QDir::toNativeSeparators(folder.filePath("Logs"));
        EXPECT_EQ(window.Caption().Notice(TCaptionNotice::LogFailed), text);
        EXPECT_TRUE(window.windowTitle().contains(text)) << window.windowTitle().toStdString();
        EXPECT_EQ(window.statusBar()->currentMessage(), text);
    }
    QDir::setCurrent(before);
}

// A program folder named with letters outside any one 8-bit code page (Polish, the euro
// sign) holds the saves, the journal and the log like any other.
TEST(ProgramFolder, AFolderNamedWithLettersOfNoOneCodePageHoldsEverything)
{
    QTemporaryDir parent;
    const QString folder = QDir(parent.path()).filePath(QStringLiteral("Łukasz € Šimon"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString before = QDir::currentPath();
    {
        TfrmOxtiva window(nullptr, folder);
        EXPECT_FALSE(window.Caption().Holds(TCaptionNotice::LogFailed));
        window.EditSampleName->setText(QStringLiteral("Żółw"));
        window.StringGridData->AddRow();
        window.Journal().Sync();
        EXPECT_TRUE(window.Journal().WaitUntilWritten(5000));
        EXPECT_TRUE(window.Journal().Path().startsWith(folder));
        EXPECT_TRUE(QFileInfo::exists(window.Journal().Path()));
        window.Save();
        EXPECT_TRUE(window.Saver().WaitUntilSaved());
        EXPECT_TRUE(window.Saver().LastSavedPath().startsWith(folder + "/Userdata/"));
        EXPECT_TRUE(window.Saver().LastSavedPath().endsWith(QStringLiteral("Żółw_0000.csv")));
        EXPECT_TRUE(QFileInfo::exists(window.Saver().LastSavedPath()));
        window.LogDestination()->Flush();
        EXPECT_GT(QFileInfo(QDir(folder).filePath("Logs/Log.csl")).size(), 0);
    }
    QDir::setCurrent(before);
}

// Every state that records writes its data file by time, so a week-long hold under PID
// control, a step program's long step or PPS has its file on the disk and a journal cut at
// each save; a pause records nothing and waits.
TEST(TimedSave, EveryRecordingStateSavesOnceTheIntervalHasPassed)
{
    for (const TProgramState state :
         {TProgramState::ZeroCurrent, TProgramState::SetVoltage, TProgramState::PIDSet,
          TProgramState::PIDStep, TProgramState::PPS, TProgramState::Paused}) {
        SCOPED_TRACE(int(state));
        QTemporaryDir folder;
        TfrmOxtiva window(nullptr, folder.path());
        window.EditSampleName->setText("Hold");
        window.State().ProgramState = state;
        const double lastSave = NowDays() - 31.0 / (24 * 60);
        window.State().LastSaveTime = lastSave;
        window.ControlCycle().Timer1Timer();
        window.Saver().WaitUntilSaved();
        const bool saved = window.State().LastSaveTime > lastSave;
        EXPECT_EQ(saved, state != TProgramState::Paused);
        if (!saved) continue;
        EXPECT_TRUE(QFileInfo::exists(window.Saver().LastSavedPath()));
        const double savedAt = window.State().LastSaveTime;
        window.ControlCycle().Timer1Timer();
        EXPECT_EQ(window.State().LastSaveTime, savedAt) << "not again before the interval";
    }
}

} // namespace
} // namespace oxtiva
