#include "app/experiment/data_point_assembly.h"

#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/experiment_graph.h"
#include "app/window/form_log.h"
#include "app/window/numeric_edits.h"
#include "records/date_time.h"
#include "records/logging.h"
#include "records/number_format.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace oxtiva
{
namespace
{

class DataPointAssemblyTest : public ::testing::Test
{
  protected:
    QTemporaryDir fProgramFolder;
    TfrmOxtiva fWindow;

    void SetUp() override
    {
        fWindow.Saver().SetProgramFolder(fProgramFolder.path());
        State().StartTime = NowDays();
        State().RCDuration = 100;
        State().RCThreshold = 0.5;
        fWindow.RtDoubleEditPumpCurrentLimit->setValue(0.001);
        fWindow.CheckBoxScroll->setChecked(false);
    }
    TSharedState& State() { return fWindow.State(); }
    TStringGrid& Grid() { return *fWindow.StringGridData; }
    QString Cell(TProperty q, int row = -1)
    {
        return Grid().Cell(ColumnOf(q).ColID, row < 0 ? Grid().RowCount() - 1 : row);
    }
    // A point as the pump thread's hand-over publishes it.
    void Feed(double duration, int mode, double pumpI, double cellpO2, bool valid = true,
              double temp = 700, double pumpV = 0)
    {
        TDataPointRec& p = State().DataPoint;
        p = TDataPointRec{pumpV, pumpI, mode, valid, cellpO2, temp, duration, true};
        p.ZeroCurrentThroughout = fZeroCurrentThroughout;
        fWindow.AddDataUpdates();
    }
    // Points every 10 s whose pO2 drifts by 0.01 % and whose current by 0.2 % over 100 s,
    // below the 0.5 % threshold but visible in the cells' digits.
    static double Current(double t) { return 1e-4 * (1 + 2e-5 * t); }
    static double PO2(double t) { return 1e-5 * (1 + 1e-6 * t); }
    void FeedSettled(int mode, double upToSeconds)
    {
        for (double t = 0; t <= upToSeconds; t += 10)
            Feed(t, mode, Current(t), PO2(t));
    }
    double Number(TProperty q)
    {
        bool ok = false;
        const double v = QLocale().toDouble(Cell(q), &ok);
        EXPECT_TRUE(ok) << Cell(q).toStdString();
        return v;
    }
    // The window set to 0 µA, and the points fed from now on measured at 0 A throughout.
    void GalvanostaticAtZero()
    {
        fWindow.RadioButtonModePassive->setChecked(true);
        fWindow.RtIntegerEditCurrentmA->setValue(0);
        fZeroCurrentThroughout = true;
    }
    bool fZeroCurrentThroughout = false;
};

TEST_F(DataPointAssemblyTest, NothingHappensWithoutAReadyPoint)
{
    State().DataPoint.Ready = false;
    fWindow.AddDataUpdates();
    EXPECT_EQ(Grid().RowCount(), 2);
    EXPECT_TRUE(fWindow.RtGraph2D1->RtDoubleVectorTime.empty());
}

TEST_F(DataPointAssemblyTest, PointBecomesRowTwoAndGraphValues)
{
    State().ProgramState = TProgramState::ZeroCurrent;
    Feed(12.5, 12, 1.5e-4, 2.1e-5, true, 845.3, 0.0123);
    EXPECT_EQ(Grid().RowCount(), 3);
    EXPECT_EQ(Cell(TProperty::Time, 2), "12.50");
    EXPECT_EQ(Cell(TProperty::PumpV, 2), "1.23000E-2");
    EXPECT_EQ(Cell(TProperty::PumpI, 2), "1.500E-4");
    EXPECT_EQ(Cell(TProperty::Mode, 2), "12");
    EXPECT_EQ(Cell(TProperty::CellpO2, 2), "2.100000E-05");
    EXPECT_EQ(Cell(TProperty::Temp, 2), "845.30");
    EXPECT_EQ(Cell(TProperty::Date, 2).size(), 16);
    EXPECT_FALSE(State().DataPoint.Ready);
    Feed(22.5, 12, 1.5e-4, 0, false);
    EXPECT_TRUE(Cell(TProperty::CellpO2).isEmpty());
    const TExperimentGraph& g = *fWindow.RtGraph2D1;
    EXPECT_EQ(g.RtDoubleVectorTime.size(), 2u);
    EXPECT_EQ(g.RtDoubleVectorPumpCurrent.size(), 2u);
    EXPECT_EQ(g.RtDoubleVectorCellpO2.size(), 1u) << "no pO2 value for a point without one";
}

TEST_F(DataPointAssemblyTest, PumpCellValuesOnlyWhileThePumpPassesNoCurrent)
{
    State().ProgramState = TProgramState::ZeroCurrent;
    GalvanostaticAtZero();
    fWindow.RtDoubleEditFGpO2->setValue(0.21);
    Feed(10, 12, 0, 1e-5);
    EXPECT_EQ(Cell(TProperty::FlushpO2), "1.00E-5") << "0 V: the sensor pO2 unchanged";
    EXPECT_EQ(fWindow.StatusPaneFlushpO2->text(), "Flush pO2 0.000 010 atm");
    EXPECT_EQ(Cell(TProperty::CellpO2P), "2.100000E-01") << "0 V: the flush gas pO2";
    EXPECT_EQ(fWindow.RtGraph2D1->RtDoubleVectorPumppO2.size(), 1u);

    Feed(20, 12, 0, 1e-5, true, 500.0);
    EXPECT_TRUE(Cell(TProperty::FlushpO2).isEmpty()) << "at or below 775 K";
    EXPECT_TRUE(Cell(TProperty::CellpO2P).isEmpty());
    EXPECT_EQ(fWindow.StatusPaneFlushpO2->text(), "Flush pO2 unknown");

    Feed(30, 12, 0, 0, false);
    EXPECT_EQ(fWindow.StatusPaneFlushpO2->text(), "Flush pO2 unknown") << "no sensor pO2";

    // The point that was running when the window went to 0 µA holds the voltage of the
    // state before: no open-circuit value comes of it, whatever the window shows now.
    Feed(40, 12, 0, 1e-5);
    ASSERT_FALSE(Cell(TProperty::FlushpO2).isEmpty());
    const std::size_t pumpValues = fWindow.RtGraph2D1->RtDoubleVectorPumppO2.size();
    fZeroCurrentThroughout = false;
    Feed(50, 16, 2e-4, 1e-5, true, 800, 0.3);
    EXPECT_EQ(Cell(TProperty::Mode), "16") << "recorded under the mode it was measured in";
    EXPECT_EQ(Cell(TProperty::PumpI), "2.000E-4");
    EXPECT_TRUE(Cell(TProperty::FlushpO2).isEmpty());
    EXPECT_TRUE(Cell(TProperty::CellpO2P).isEmpty());
    EXPECT_EQ(fWindow.StatusPaneFlushpO2->text(), "Flush pO2 unknown");
    EXPECT_EQ(fWindow.RtGraph2D1->RtDoubleVectorPumppO2.size(), pumpValues);
}

TEST_F(DataPointAssemblyTest, PumpCellEquationsCheckTheirPreconditions)
{
    double po = -1;
    EXPECT_FALSE(fWindow.CellSidepO2(po)) << "a grid with only its first rows";
    GalvanostaticAtZero();
    State().ProgramState = TProgramState::Paused;
    Feed(10, 11, 0, 1e-5, true, 502.0, 0.1);
    EXPECT_TRUE(fWindow.CellSidepO2(po));
    EXPECT_NEAR(po, 0.21 * std::pow(2.7182818284, -0.1 * 4 * 96485 / (8.314 * 775.15)), 1e-12);
    fWindow.RtIntegerEditCurrentmA->setValue(1);
    po = -1;
    EXPECT_FALSE(fWindow.CellSidepO2(po));
    EXPECT_FALSE(fWindow.FlushSidepO2(po));
    EXPECT_EQ(po, -1) << "left unchanged on failure";
    fWindow.RtIntegerEditCurrentmA->setValue(0);
    fWindow.RadioButtonSetVoltage->setChecked(true);
    EXPECT_FALSE(fWindow.FlushSidepO2(po));
    fWindow.RadioButtonModePassive->setChecked(true);
    ASSERT_TRUE(fWindow.FlushSidepO2(po));
    State().DataPoint.ZeroCurrentThroughout = false;
    po = -1;
    EXPECT_FALSE(fWindow.CellSidepO2(po)) << "a point that spans a change of source";
    EXPECT_FALSE(fWindow.FlushSidepO2(po));
    EXPECT_EQ(po, -1);
}

TEST_F(DataPointAssemblyTest, CellSideLogsItsEntryAlwaysAndItsValuesOnlyOnSuccess)
{
    QTemporaryDir logs;
    auto destination = std::make_shared<TLogDestination>();
    ASSERT_TRUE(destination->OpenLogFile(logs.path()));
    FormLog().SetDestination(destination);
    FormLog().SetEnabled(true);
    double po = 0;
    fWindow.CellSidepO2(po);
    GalvanostaticAtZero();
    Feed(10, 12, 0, 1e-5);
    fWindow.CellSidepO2(po);
    destination->Flush();
    FormLog().SetEnabled(false);
    FormLog().SetDestination(nullptr);
    QFile file(destination->FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_GE(text.count("CellSidepO2 ->"), 2);
    EXPECT_EQ(text.count("Determining cell pO2 :"), 6);
    EXPECT_TRUE(text.contains("Determining cell pO2 : refpO2=0.21"));
}

TEST_F(DataPointAssemblyTest, PO2StabilityNeedsTheDurationAndTheThreshold)
{
    State().ProgramState = TProgramState::SetVoltage;
    FeedSettled(13, 90);
    EXPECT_TRUE(Cell(TProperty::RCpO2).isEmpty()) << "the run does not span 100 s yet";
    Feed(100, 13, Current(100), PO2(100));
    EXPECT_EQ(Cell(TProperty::RCpO2), "0.010");
    EXPECT_TRUE(Cell(TProperty::StablepO2).isEmpty()) << "Time must exceed the duration";
    EXPECT_EQ(Cell(TProperty::StableI), "True") << "the current rule has no minimum duration";
    EXPECT_GT(Number(TProperty::RCI), 0.1);
    EXPECT_LT(Number(TProperty::RCI), 0.5);
    Feed(110, 13, Current(110), PO2(110));
    EXPECT_EQ(Cell(TProperty::StablepO2), "True");
    EXPECT_TRUE(Cell(TProperty::RangepO2).isEmpty()) << "range only under PID control";
    EXPECT_TRUE(Cell(TProperty::Step).isEmpty());
    Feed(120, 13, 1e-4, 2e-5);
    EXPECT_TRUE(Cell(TProperty::StablepO2).isEmpty()) << "a jump beyond the threshold";
}

TEST_F(DataPointAssemblyTest, CurrentNearItsLimitMarksMaxIAndBlocksTheStep)
{
    State().ProgramState = TProgramState::PPS;
    FeedSettled(16, 100);
    Feed(110, 16, 0.96e-3, PO2(110));
    EXPECT_EQ(Cell(TProperty::StableI), "MaxI");
    EXPECT_TRUE(Cell(TProperty::RCI).isEmpty());
    EXPECT_EQ(Cell(TProperty::StablepO2), "True");
    EXPECT_EQ(State().StepIndex, 0);
}

struct AdvanceCase {
    const char* name;
    TProgramState state;
    int mode;
    double setpoint;
    bool rangeWritten;
    bool advances;
};

class StepAdvance : public DataPointAssemblyTest, public ::testing::WithParamInterface<AdvanceCase>
{
};

TEST_P(StepAdvance, FollowsTheStabilityAndRangeRulesOfTheState)
{
    const AdvanceCase& c = GetParam();
    State().ProgramState = c.state;
    State().PID.SetSetpoint(c.setpoint);
    fWindow.EditSampleName->setText("Step");
    const double before = NowDays();
    FeedSettled(c.mode, 110);
    EXPECT_EQ(Cell(TProperty::RangepO2) == "True", c.rangeWritten);
    EXPECT_EQ(State().StepIndex, c.advances ? 1 : 0);
    fWindow.Saver().WaitUntilSaved();
    const QDir day(
        fProgramFolder.filePath("Userdata/" + QDate::currentDate().toString("yyyy-MM-dd")));
    EXPECT_EQ(day.exists("Step_0000.csv"), c.advances) << "a step advance saves";
    EXPECT_EQ(State().StepStartTime >= before, c.advances);
    if (c.state == TProgramState::PIDStep || c.state == TProgramState::PPS) {
        EXPECT_EQ(Cell(TProperty::Step), "1");
        EXPECT_EQ(Cell(TProperty::SetPoint), FormatGeneral(c.setpoint));
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, StepAdvance,
    ::testing::Values(
        AdvanceCase{"PIDStepInRange", TProgramState::PIDStep, 15, -5, true, true},
        AdvanceCase{"PIDStepOutOfRange", TProgramState::PIDStep, 15, -4, false, false},
        AdvanceCase{"PPSHasNoRangeRule", TProgramState::PPS, 16, 0.045, false, true},
        AdvanceCase{"PIDSetNeverAdvances", TProgramState::PIDSet, 14, -5, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataPointAssemblyTest, StabilityWorksUnderACommaLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    State().ProgramState = TProgramState::PPS;
    GalvanostaticAtZero();
    FeedSettled(16, 110);
    const QString time = Cell(TProperty::Time);
    const QString rc = Cell(TProperty::RCpO2);
    const QString stable = Cell(TProperty::StablepO2);
    const QString flush = Cell(TProperty::FlushpO2);
    const int step = State().StepIndex;
    QLocale::setDefault(previous);
    EXPECT_EQ(time, "110,00");
    EXPECT_EQ(rc, "0,010");
    EXPECT_EQ(stable, "True");
    EXPECT_FALSE(flush.isEmpty());
    EXPECT_EQ(step, 1);
}

TEST_F(DataPointAssemblyTest, AutoscrollMakesTheNewRowCurrent)
{
    fWindow.CheckBoxScroll->setChecked(true);
    Feed(10, 12, 0, 1e-5);
    EXPECT_EQ(Grid().currentIndex().row(), Grid().RowCount() - 2) << "model row = grid row - 1";
}

TEST_F(DataPointAssemblyTest, GetRRCReportsTooFewRowsAndSwitchesTheLoggerOffAfterAFit)
{
    double rc = 42;
    EXPECT_FALSE(fWindow.DataPointAssembly().GetRRC(rc, TProperty::CellpO2));
    EXPECT_EQ(rc, 42);
    FeedSettled(13, 100);
    FormLog().SetEnabled(true);
    EXPECT_TRUE(fWindow.DataPointAssembly().GetRRC(rc, TProperty::CellpO2));
    EXPECT_NEAR(rc, 0.01, 1e-9);
    EXPECT_FALSE(FormLog().Enabled());
}

} // namespace
} // namespace oxtiva
