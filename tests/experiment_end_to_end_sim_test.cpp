// A whole experiment as an operator runs it, against the simulated cell sped up ten
// thousand times: validation, the manual program states, two step programs that advance
// on their own, and the files they leave behind, read back byte by byte.

#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "support/cell_sim.h"
#include "support/crlf_lines.h"
#include "support/dialog_answerer.h"
#include "support/wait_for.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace oxtiva;
using oxtiva::testing::CrLfFileLines;
using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;
using oxtiva::testing::TMessageBoxAnswerer;
using oxtiva::testing::WaitFor;

namespace
{

constexpr int StageTimeoutMs = 90000;

struct TStepProgramLine {
    double minusLogPO2;
    int millivolts;
    const char* text;
};

// Two short steps close to the flush gas, so each settles within seconds at this speed.
const TStepProgramLine StepProgram[] = {{0.85, 20, "0001   -0.85       20"},
                                        {0.9, 30, "0002   -0.9        30"}};

class ExperimentEndToEndSimTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        TCellSimOptions options;
        options.timeScale = 10000;
        // A leak the pump has to hold against gives a steady current at a set pO2, which
        // the current rule of the stability check needs.
        options.extraArgs = {"--leak", "1e-8"};
        sim = std::make_unique<TCellSim>(options);
        window = std::make_unique<TfrmOxtiva>(nullptr, programFolder.path());
        window->RtDoubleEditDataPointLength->setValue(1);
        window->RtDoubleEditRCDuration->setValue(3);
        window->RtDoubleEditRCThreshold->setValue(1);
        window->RtDoubleEditPIDP->setValue(0); // automatic gains
        window->EditSMUCOMPort->setText(sim->SmuPort());
        window->ButtonSMUTest->click();
        window->Edit2000COMPort->setText(sim->DmmPort());
        window->Button2000Test->click();
        ASSERT_EQ(window->State().ProgramState, TProgramState::Paused);
    }

    void TearDown() override
    {
        if (window && window->State().ProgramState != TProgramState::ToExit) {
            answerer.Expect(QMessageBox::Ok);
            window->close();
        }
        window.reset();
        EXPECT_TRUE(answerer.Unexpected().isEmpty())
            << answerer.Unexpected().join(" | ").toStdString();
    }

    void Choose(QRadioButton* button)
    {
        answerer.Expect(QMessageBox::Yes);
        button->click();
    }

    QString Cell(TProperty q, int row) const
    {
        return window->StringGridData->Cell(ColumnOf(q).ColID, row);
    }
    int Rows() const { return window->StringGridData->RowCount(); }
    int LastRow() const { return Rows() - 1; }

    // Data rows of one pump mode code written since the given row.
    int DataRowsOfMode(int code, int sinceRow) const
    {
        int count = 0;
        for (int r = sinceRow; r < Rows(); ++r)
            count += Cell(TProperty::Mode, r) == QString::number(code);
        return count;
    }

    QString DayFolder() const
    {
        return QDir(programFolder.filePath("Userdata"))
            .filePath(QDate::currentDate().toString("yyyy-MM-dd"));
    }
    QString SavedFile(int counter, const char* suffix = ".csv") const
    {
        return QDir(DayFolder())
            .filePath(QString("Ceria_%1%2").arg(counter, 4, 10, QChar('0')).arg(suffix));
    }

    // The DATA section line of a grid row: cells joined, blanks removed.
    QByteArray ExpectedDataLine(int row) const
    {
        QStringList cells;
        for (int c = 0; c < PropertyCount; ++c)
            cells << window->StringGridData->Cell(c, row);
        return cells.join(';').remove(' ').toLatin1();
    }

    void EnterStepProgram()
    {
        while (window->ListBoxStepProgram->count() > 2)
            window->ButtonProgramDeleteStep->click();
        for (int i = 0; i < 2; ++i) {
            window->ListBoxStepProgram->setCurrentRow(i);
            window->RtDoubleEditEditpO2->setValue(-StepProgram[i].minusLogPO2);
            window->RtDoubleEditPPSmV->setValue(StepProgram[i].millivolts);
            window->ButtonProgramPumpVoltage->click();
            ASSERT_EQ(window->ListBoxStepProgram->item(i)->text(), StepProgram[i].text);
        }
    }

    void ExpectWholeDataFile(int counter) const;

    // Runs a step program to its end; its two steps save under the next two counters.
    void RunStepProgram(QRadioButton* button, TProgramState state, int firstCounter);
    int RowsAtSave(int counter) const;

    QTemporaryDir programFolder;
    TMessageBoxAnswerer answerer;
    std::unique_ptr<TCellSim> sim;
    std::unique_ptr<TfrmOxtiva> window;
};

void ExperimentEndToEndSimTest::RunStepProgram(QRadioButton* button, TProgramState state,
                                               int firstCounter)
{
    Choose(button);
    ASSERT_EQ(window->State().ProgramState, state);
    ASSERT_TRUE(WaitFor([&] { return window->State().ProgramState == TProgramState::ZeroCurrent; },
                        StageTimeoutMs))
        << "the program did not finish; grid rows: " << Rows();
    // The last step's save is written on the save thread.
    ASSERT_TRUE(window->Saver().WaitUntilSaved());
    EXPECT_TRUE(QFile::exists(SavedFile(firstCounter)));
    EXPECT_TRUE(QFile::exists(SavedFile(firstCounter + 1)));
    EXPECT_FALSE(QFile::exists(SavedFile(firstCounter + 2))) << "one save per step";
}

// The grid rows a saved file holds, from its length: the DATA section starts at line 49.
int ExperimentEndToEndSimTest::RowsAtSave(int counter) const
{
    return int(CrLfFileLines(SavedFile(counter)).size()) - 48;
}

// Header, the 31 variables as the edits show them, the notes, and the grid as it was when
// the file was saved.
void ExperimentEndToEndSimTest::ExpectWholeDataFile(int counter) const
{
    const QList<QByteArray> lines = CrLfFileLines(SavedFile(counter));
    const int rows = RowsAtSave(counter);
    ASSERT_GT(rows, 2);
    EXPECT_EQ(lines[0], "** HEADER  **********************************************");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Ceria");
    EXPECT_EQ(lines[3], window->EditSampleFormula->text().toLatin1());
    EXPECT_TRUE(
        QRegularExpression(R"(^Saved \d{4}-\d\d-\d\d \d\d:\d\d$)").match(lines[4]).hasMatch())
        << lines[4].toStdString();
    EXPECT_EQ(lines[6], "** VARIABLES ********************************************");
    EXPECT_EQ(lines[8], "Value    ;Unit   ;Abbreviation   ;Field name");
    const QRegularExpression variableRow(R"(^[^;]+;[^;]*;[^;]*;[^;]+$)");
    for (int i = 9; i < 40; ++i)
        EXPECT_TRUE(variableRow.match(QString::fromLatin1(lines[i])).hasMatch()) << i;
    auto shown = [](const TRtDoubleEdit* edit) { return FormatGeneral(edit->value()).toLatin1(); };
    EXPECT_EQ(lines[9], shown(window->RtDoubleEditbs) +
                            ";g/mol      ;bs     ;Nominal stoichiometric molar content of oxygen");
    EXPECT_EQ(lines[20], "HT PIS 0317524;         ;SID    ;Sensor ID");
    EXPECT_EQ(lines[26], shown(window->RtDoubleEditTl) + ";\xba"
                                                         "C       ;Tl     ;Cold end temperature");
    EXPECT_EQ(lines[29], "0;         ;P      ;P term of PID");
    EXPECT_EQ(lines[32], "3;s        ;RCd    ;Duration of relative change calculation");
    EXPECT_EQ(lines[33], "1;%        ;RCtr   ;Threshold of relative change");
    EXPECT_EQ(lines[36], "1;s        ;       ;Minimum length for data point");
    EXPECT_TRUE(lines[39].endsWith(";\xba"
                                   "C        ;CTO    ;Cell temperature override"));
    EXPECT_EQ(lines[40], "");
    EXPECT_EQ(lines[41], "** NOTES ********************************************");
    EXPECT_EQ(lines[43], "Example values");
    EXPECT_EQ(lines[44], "Example notes");
    EXPECT_EQ(lines[45], "");
    EXPECT_EQ(lines[46], "** DATA *************************************************");
    EXPECT_EQ(lines[47], "");
    EXPECT_EQ(lines[48], "Duration,s;Mode;Step;CellT,\xba"
                         "C;PumpV,V;PumpI,A;CellpO2,atm;"
                         "FlushpO2,atm;RCpO2,%;StablepO2;RangepO2;RCI,%;StableI;SP;Time;"
                         "CellpO2P,atm");
    EXPECT_EQ(lines[49], ";;;;;;;;;;;;;;;");
    const QRegularExpression stateRow(R"(^\d{4}-\d\d-\d\d\d\d:\d\d:\d\d;[0-7];;;;;;;;;;;;;;$)");
    const QRegularExpression dataRow(
        R"(^\d+\.\d\d;1[0-6];\d*;\d+\.\d\d;[-0-9.E+]+;[-0-9.E+]+;[-0-9.E+]*;[-0-9.E+]*;)"
        R"([-0-9.]*;(True)?;(True)?;[-0-9.]*;(True|MaxI)?;[-0-9.]*;\d{4}-\d\d-\d\d_\d\d:\d\d;)"
        R"([-0-9.E+]*$)");
    std::set<QString> modeCodes;
    int stateRows = 0;
    for (int row = 2; row < rows; ++row) {
        const QByteArray& line = lines[48 + row];
        EXPECT_EQ(line, ExpectedDataLine(row)) << "grid row " << row;
        const QString text = QString::fromLatin1(line);
        if (stateRow.match(text).hasMatch())
            ++stateRows;
        else if (dataRow.match(text).hasMatch())
            modeCodes.insert(text.section(';', 1, 1));
        else
            ADD_FAILURE() << "neither a state nor a data row: " << line.toStdString();
    }
    EXPECT_EQ(modeCodes, (std::set<QString>{"12", "13", "14", "15", "16"}));
    EXPECT_EQ(stateRows, 5)
        << "ZeroCurrent, SetVoltage, PIDSet, PPS, PIDStep; none for a fall-back";
}

TEST_F(ExperimentEndToEndSimTest, RunsEveryProgramStateAndRecordsTheExperimentInItsFiles)
{
    // ZeroCurrent: the first pass saves at once, as nothing was saved before.
    Choose(window->RadioButtonModePassive);
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(SavedFile(0)); }, 2000));
    const int zeroStart = Rows();
    ASSERT_TRUE(WaitFor([&] { return DataRowsOfMode(12, zeroStart) >= 3; }, StageTimeoutMs));
    EXPECT_NEAR(Cell(TProperty::CellpO2, LastRow()).toDouble(), 0.21, 0.005);
    EXPECT_NEAR(Cell(TProperty::CellpO2P, LastRow()).toDouble(), 0.21, 0.005);
    EXPECT_FALSE(Cell(TProperty::FlushpO2, LastRow()).isEmpty());

    window->RtIntegerEditSetVoltage->setValue(100);
    Choose(window->RadioButtonSetVoltage);
    const int voltageStart = Rows();
    ASSERT_TRUE(WaitFor([&] { return DataRowsOfMode(13, voltageStart) >= 3; }, StageTimeoutMs));
    auto cell = sim->State();
    EXPECT_EQ(cell["source"], 1);
    EXPECT_DOUBLE_EQ(cell["level"], 0.1);
    // The current compliance may cut the voltage back while the pump draws 1 mA.
    EXPECT_GT(Cell(TProperty::PumpV, LastRow()).toDouble(), 0.05);
    EXPECT_LT(Cell(TProperty::PumpV, LastRow()).toDouble(), 0.1 + 1e-4);
    EXPECT_TRUE(Cell(TProperty::CellpO2P, LastRow()).isEmpty())
        << "pump-side pO2 is for ZeroCurrent";
    EXPECT_FALSE(QFile::exists(SavedFile(1))) << "the timed save waits its 30 minutes";

    // PIDSet pumps oxygen back in towards the set point until the pO2 is in range.
    window->RtDoubleEditPISSP->setValue(-0.8);
    Choose(window->RadioButtonPIDSet);
    const int pidStart = Rows();
    ASSERT_TRUE(WaitFor(
        [&] {
            return Rows() > pidStart && Cell(TProperty::Mode, LastRow()) == "14" &&
                   Cell(TProperty::RangepO2, LastRow()) == "True";
        },
        StageTimeoutMs));
    EXPECT_NEAR(Cell(TProperty::CellpO2, LastRow()).toDouble(), std::pow(10.0, -0.8), 0.0016);
    EXPECT_TRUE(Cell(TProperty::Step, LastRow()).isEmpty());
    EXPECT_FALSE(QFile::exists(SavedFile(1))) << "PIDSet never advances nor saves";

    ASSERT_NO_FATAL_FAILURE(EnterStepProgram());
    ASSERT_NO_FATAL_FAILURE(RunStepProgram(window->RadioButtonPPS, TProgramState::PPS, 1));
    // The end of a program falls back to the pump at 0 µA, without asking.
    EXPECT_TRUE(window->RadioButtonModePassive->isChecked());
    EXPECT_EQ(window->RtIntegerEditCurrentmA->value(), 0);
    EXPECT_TRUE(WaitFor(
        [&] {
            auto cell = sim->State();
            return cell["source"] == 0 && cell["level"] == 0 && cell["output"] == 1;
        },
        10000))
        << "the SourceMeter does not source 0 A";

    ASSERT_NO_FATAL_FAILURE(RunStepProgram(window->RadioButtonPIDStep, TProgramState::PIDStep, 3));
    EXPECT_EQ(answerer.Answered(), 5) << "the fall-backs ask nothing";

    // Each step's save ends with the row that completed the step.
    struct TSavedStep {
        int counter;
        const char* mode;
        const char* step;
        const char* setPoint;
        bool rangeRule;
    };
    // Saves are written on a thread of their own: the last one may still be drawing its picture.
    ASSERT_TRUE(window->Saver().WaitUntilSaved());
    for (const TSavedStep& s :
         {TSavedStep{1, "16", "1", "0.02", false}, TSavedStep{2, "16", "2", "0.03", false},
          TSavedStep{3, "15", "1", "-0.85", true}, TSavedStep{4, "15", "2", "-0.9", true}}) {
        SCOPED_TRACE(s.counter);
        // Each step advance saves, so the row that completed the step ends the file.
        const int row = RowsAtSave(s.counter) - 1;
        EXPECT_EQ(Cell(TProperty::Mode, row), s.mode);
        EXPECT_EQ(Cell(TProperty::Step, row), s.step);
        EXPECT_EQ(Cell(TProperty::SetPoint, row), s.setPoint);
        EXPECT_EQ(Cell(TProperty::StablepO2, row), "True");
        EXPECT_EQ(Cell(TProperty::StableI, row), "True");
        EXPECT_EQ(Cell(TProperty::RangepO2, row), s.rangeRule ? "True" : "");
        EXPECT_LT(Cell(TProperty::RCpO2, row).toDouble(), 1.0 + 1e-9);
        EXPECT_GT(Cell(TProperty::Time, row).toDouble(), 3.0);
        const QList<QByteArray> lines = CrLfFileLines(SavedFile(s.counter));
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.last(), ExpectedDataLine(row));
        const QImage picture(SavedFile(s.counter, ".png"));
        ASSERT_FALSE(picture.isNull()) << "the graph picture does not open";
        EXPECT_GT(picture.width(), 100);
        EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 255, 255));
    }

    // The autosave of the first ZeroCurrent pass holds the grid up to its state row.
    const QList<QByteArray> first = CrLfFileLines(SavedFile(0));
    ASSERT_GT(first.size(), 50);
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d\d\d:\d\d:\d\d;2;;;;;;;;;;;;;;$)")
                    .match(QString::fromLatin1(first.last()))
                    .hasMatch())
        << first.last().toStdString();
    ExpectWholeDataFile(4);
}

// The same program watched the way the operator watches it: the progress label above the
// list, the highlighted line, and the caption and the log once the program has ended.
class StepProgramProgressSimTest : public ExperimentEndToEndSimTest
{
  protected:
    std::vector<int> HighlightedLines() const
    {
        std::vector<int> lines;
        const QListWidget& list = *window->ListBoxStepProgram;
        for (int i = 0; i < list.count(); ++i)
            if (list.item(i)->background().style() != Qt::NoBrush) lines.push_back(i);
        return lines;
    }

    // Whether the newest grid row of the running PID step has a steady pO2 at its set point;
    // false before the step has a row of its own.
    bool NewestRowOfStepSettled() const
    {
        const int last = LastRow();
        const QString step = QString::number(window->State().StepIndex + 1);
        if (Cell(TProperty::Mode, last) != "15" || Cell(TProperty::Step, last) != step)
            return false;
        return Cell(TProperty::StablepO2, last) == "True" &&
               Cell(TProperty::RangepO2, last) == "True";
    }

    // Called between passes of the control cycle while the program runs: the label, the
    // highlight and the grid come from the same pass, so they must agree.
    void CheckProgressWhileRunning()
    {
        const TSharedState& s = window->State();
        if (HasFailure() || s.ProgramState != TProgramState::PIDStep) return;
        const QString text = window->LabelStepProgress->text();
        if (text.isEmpty()) return; // the first pass after the choice has not run yet
        static const QRegularExpression pattern(
            R"(^Step (\d) of 2 · (\d\d):(\d\d):(\d\d) in step · )"
            R"((pO2 stable for \d\d:\d\d:\d\d(, waiting: .+)?|waiting: .+)$)");
        const QRegularExpressionMatch match = pattern.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        const int step = match.captured(1).toInt();
        EXPECT_EQ(step, s.StepIndex + 1);
        EXPECT_FALSE(window->LabelStepProgress->isHidden());
        EXPECT_EQ(HighlightedLines(), std::vector<int>{s.StepIndex});
        const int shownSeconds = match.captured(2).toInt() * 3600 + match.captured(3).toInt() * 60 +
                                 match.captured(4).toInt();
        if (s.StepStartTime < chosenAt) {
            EXPECT_EQ(shownSeconds, 0) << "the pump has not begun the first step yet";
        } else {
            const double inStep = (NowDays() - s.StepStartTime) * SecondsPerDay;
            EXPECT_LE(shownSeconds, inStep + 1);
            EXPECT_GE(shownSeconds, inStep - 2) << "the label lags more than a pass behind";
        }
        const bool stable = match.captured(5).startsWith("pO2 stable");
        EXPECT_EQ(stable, NewestRowOfStepSettled()) << text.toStdString();
        stepsSeen.insert(step);
    }

    TDateTime chosenAt = 0;
    std::set<int> stepsSeen;
};

TEST_F(StepProgramProgressSimTest, LabelAndHighlightFollowTheProgramAndItsEndIsAnnounced)
{
    ASSERT_NO_FATAL_FAILURE(EnterStepProgram());
    EXPECT_TRUE(window->LabelStepProgress->isHidden());
    chosenAt = NowDays();
    Choose(window->RadioButtonPIDStep);
    ASSERT_EQ(window->State().ProgramState, TProgramState::PIDStep);

    ASSERT_TRUE(WaitFor(
        [&] {
            CheckProgressWhileRunning();
            return window->State().ProgramState == TProgramState::ZeroCurrent;
        },
        StageTimeoutMs))
        << "the program did not finish; grid rows: " << window->StringGridData->RowCount();
    EXPECT_EQ(stepsSeen, (std::set<int>{1, 2}));
    EXPECT_EQ(window->State().StepIndex, 2);

    // The same pass that falls back clears the progress.
    EXPECT_TRUE(window->LabelStepProgress->isHidden());
    EXPECT_TRUE(window->LabelStepProgress->text().isEmpty());
    EXPECT_TRUE(HighlightedLines().empty());
    const QString caption = window->windowTitle();
    const QRegularExpressionMatch ended =
        QRegularExpression(R"(^Step program ended at (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)$)")
            .match(caption);
    ASSERT_TRUE(ended.hasMatch()) << caption.toStdString();
    const QDateTime when = QDateTime::fromString(ended.captured(1), "yyyy-MM-dd HH:mm:ss");
    EXPECT_LE(std::abs(when.secsTo(QDateTime::currentDateTime())), 5);
    window->LogDestination()->Flush();
    QFile log(programFolder.filePath("Logs/Log.csl"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains(caption));

    // Nothing runs any more, so nothing is highlighted on the next passes either.
    oxtiva::testing::RunEventsFor(600);
    EXPECT_TRUE(HighlightedLines().empty());
    EXPECT_TRUE(window->LabelStepProgress->isHidden());
}

} // namespace
