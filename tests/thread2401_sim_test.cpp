// The pump thread, with the multimeter thread beside it, against the simulated cell.
#include "instruments/thread2000.h"
#include "instruments/thread2401.h"
#include "support/cell_sim.h"
#include "support/qstring_printer.h"
#include "support/wait_for.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include <sys/resource.h>

using namespace oxtiva;
using oxtiva::testing::RunEventsFor;
using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;
using oxtiva::testing::WaitFor;

namespace
{

const QString ZeroCurrentCommand =
    QStringLiteral(":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000000;:OUTPUT:STATE 1");

struct TInputs : THandOverInputs {
    double Override = 0;
    int Millivolts = 0;
    double CellTemperatureOverride() const override { return Override; }
    int SetVoltageMillivolts() const override { return Millivolts; }
};

TCellSimOptions Options(double timeScale)
{
    TCellSimOptions options;
    options.timeScale = timeScale;
    options.extraArgs = {QStringLiteral("--noise"), QStringLiteral("0")};
    return options;
}

// Both instruments set up and both workers running, the pump paused, one-second points.
class TPumpRig
{
  public:
    explicit TPumpRig(double timeScale = 10) : Sim(Options(timeScale))
    {
        State.DataPointLength = 1;
        InitializeMultimeter(Sim.DmmPort());
        InitializeSMU(Sim.SmuPort(), 0.001, 0.9);
        Dmm = std::make_unique<TThread2000>(State, Inputs);
        Dmm->Port = Sim.DmmPort();
        Dmm->SetToPauseEx(false);
        Dmm->start();
        Smu = std::make_unique<TThread2401>(State, Inputs);
        Smu->Port = Sim.SmuPort();
        Smu->SetModeEx(TMode::Paused);
        Smu->start();
    }
    ~TPumpRig()
    {
        StopPump(10000);
        Dmm->SetToPauseEx(false);
        Dmm->SetToStopEx(true);
        WaitFor([this] { return Dmm->IsStopped(); }, 10000);
    }

    // The owner's stop: 0 µA in the current-source mode, then the stop request.
    bool StopPump(int timeoutMs)
    {
        State.GSCurrent = 0;
        Smu->SetModeEx(TMode::SetCurrent);
        Smu->SetToStopEx(true);
        return WaitFor([this] { return Smu->IsStopped(); }, timeoutMs);
    }

    // Takes the next published point as the control cycle would.
    bool NextPoint(TDataPointRec& point, int timeoutMs = 5000)
    {
        State.DataPoint.Ready = false;
        if (!WaitFor([this] { return State.DataPoint.Ready; }, timeoutMs)) return false;
        point = State.DataPoint;
        State.DataPoint.Ready = false;
        return true;
    }

    bool PointRunningFor(double seconds, int timeoutMs = 5000)
    {
        return WaitFor([&] { return State.SyncI && State.SyncI->DurationS() > seconds; },
                       timeoutMs);
    }

    // The last source command (the read-back and the line's marks may follow it); it
    // lands a moment after the write that sent it returned.
    QString LastSourceCommandOnceSettled(const QString& expected)
    {
        QString last;
        WaitFor(
            [&] {
                const QStringList history =
                    Sim.Command(QStringLiteral("history smu 20")).split('\t');
                last.clear();
                for (const QString& line : history)
                    if (line.startsWith(QStringLiteral(":SOUR:FUNC "))) last = line;
                return last == expected;
            },
            1000);
        return last;
    }

    // Lines of the recent command history that contain text.
    int SmuHistoryLinesWith(const QString& text)
    {
        const QStringList history = Sim.Command(QStringLiteral("history smu 4000")).split('\t');
        return static_cast<int>(
            std::count_if(history.cbegin(), history.cend(),
                          [&](const QString& line) { return line.contains(text); }));
    }

    int SmuCount(const QString& prefix)
    {
        return Sim.Command(QStringLiteral("count smu ") + prefix).toInt();
    }

    TCellSim Sim;
    TInputs Inputs;
    TSharedState State;
    std::unique_ptr<TThread2000> Dmm;
    std::unique_ptr<TThread2401> Smu;
};

TEST(Thread2401Sim, PublishedPointHoldsTheTimeWeightedMeansOfTheCell)
{
    TPumpRig rig(0); // a frozen model: every reading of a point is the same
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 750")), QStringLiteral("ok"));
    rig.State.GSCurrent = 100;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    TDataPointRec first, second;
    ASSERT_TRUE(rig.NextPoint(first));
    ASSERT_TRUE(rig.NextPoint(second));
    auto cell = rig.Sim.State();

    EXPECT_EQ(first.Mode, 12);
    EXPECT_EQ(second.Mode, 12);
    EXPECT_NEAR(second.PumpI, 100e-6, 1e-9);
    EXPECT_NEAR(second.PumpI, cell["pump_i_a"], 1e-9);
    EXPECT_NEAR(second.PumpV, cell["pump_v_v"], 1e-6);
    EXPECT_NEAR(second.Temp, 750, 0.5);
    EXPECT_TRUE(second.CellpO2Valid);
    EXPECT_NEAR(second.CellpO2 / cell["po2_atm"], 1, 0.01);
    // Durations count from the mode change, so the second point is about twice as long.
    EXPECT_GT(first.Duration, 1);
    EXPECT_LT(first.Duration, 1.6);
    EXPECT_GT(second.Duration, first.Duration + 1);
    EXPECT_LT(second.Duration, first.Duration + 1.6);
    EXPECT_GT(rig.State.StartTime, 0);
    EXPECT_EQ(cell["source"], 0);
    EXPECT_EQ(cell["level"], 100e-6);
    EXPECT_DOUBLE_EQ(rig.State.PID.CurrentApplied(), cell["pump_i_a"]);
    // The point's span and charge: the next point continues where this one ended, so the
    // pump record has no stretch between points.
    const double spanS = (second.EndTime - second.StartTime) * SecondsPerDay;
    EXPECT_GT(spanS, 1);
    EXPECT_NEAR(second.Charge, 100e-6 * spanS, 1e-9);
    EXPECT_DOUBLE_EQ(second.Charge, second.PumpI * spanS);
    EXPECT_EQ(second.StartTime, first.EndTime);
    EXPECT_LT(second.LongestUnmeasuredS, 0.5);
    EXPECT_NEAR(second.MeanCharge, second.Charge / 2, 1e-9) << "a flat current";
}

TEST(Thread2401Sim, RequestedModeBecomesTheWorkingModeOnlyBetweenPoints)
{
    TPumpRig rig;
    rig.Inputs.Millivolts = 200;
    rig.Smu->SetModeEx(TMode::SetVoltage);
    TDataPointRec point;
    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_EQ(point.Mode, 13);
    ASSERT_TRUE(rig.PointRunningFor(0.3));
    rig.State.GSCurrent = 50;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    RunEventsFor(100);
    EXPECT_EQ(rig.Sim.State()["source"], 1) << "the running point keeps its voltage source";

    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_EQ(point.Mode, 13);
    EXPECT_GT(point.Duration, 2); // still counted from the start of the voltage step
    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_EQ(point.Mode, 12);
    EXPECT_LT(point.Duration, 1.6); // the mode change restarted the step clock
    auto cell = rig.Sim.State();
    EXPECT_EQ(cell["source"], 0);
    EXPECT_EQ(cell["level"], 50e-6);
}

// Only a point whose every reading was taken at 0 A carries an open-circuit voltage: not
// the one running when the mode changed, nor the first after it, which opens with a reading
// of the old mode, nor one that spans a change of the current level.
TEST(Thread2401Sim, APointIsAtZeroCurrentThroughoutOnlyWhenEveryReadingWas)
{
    TPumpRig rig;
    rig.Inputs.Millivolts = 200;
    rig.Smu->SetModeEx(TMode::SetVoltage);
    TDataPointRec point;
    ASSERT_TRUE(rig.NextPoint(point));
    ASSERT_TRUE(rig.PointRunningFor(0.3));
    rig.State.GSCurrent = 0;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    struct TExpected {
        int mode;
        bool zeroCurrent;
    };
    for (const TExpected expected :
         {TExpected{13, false}, TExpected{12, false}, TExpected{12, true}, TExpected{12, true}}) {
        ASSERT_TRUE(rig.NextPoint(point));
        EXPECT_EQ(point.Mode, expected.mode);
        EXPECT_EQ(point.ZeroCurrentThroughout, expected.zeroCurrent) << expected.mode;
    }

    ASSERT_TRUE(rig.PointRunningFor(0.3));
    rig.State.GSCurrent = 50;
    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_FALSE(point.ZeroCurrentThroughout) << "0 then 50 µA";
    rig.State.GSCurrent = 0;
    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_FALSE(point.ZeroCurrentThroughout) << "opened by a reading at 50 µA";
    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_TRUE(point.ZeroCurrentThroughout);
}

TEST(Thread2401Sim, PauseDiscardsTheRunningPointAndStopsInstrumentTraffic)
{
    TPumpRig rig;
    rig.State.GSCurrent = 20;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    ASSERT_TRUE(rig.PointRunningFor(0.5));
    rig.Smu->SetModeEx(TMode::Paused);
    ASSERT_TRUE(WaitFor([&] { return !rig.State.SyncI && !rig.State.SyncV; }, 2000));
    const int reads = rig.SmuCount(QStringLiteral(":READ?"));
    rig.State.DataPoint.Ready = false;
    RunEventsFor(2000); // longer than a point
    EXPECT_FALSE(rig.State.DataPoint.Ready);
    EXPECT_FALSE(rig.State.SyncI);
    EXPECT_EQ(rig.SmuCount(QStringLiteral(":READ?")), reads);
}

TEST(Thread2401Sim, PausedThreadStopsWithoutAReadingAndLeavesZeroCurrent)
{
    TPumpRig rig;
    RunEventsFor(1200);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(rig.StopPump(3000));
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_EQ(rig.SmuCount(QStringLiteral(":READ?")), 0);
    EXPECT_EQ(rig.LastSourceCommandOnceSettled(ZeroCurrentCommand), ZeroCurrentCommand);
}

struct TActiveMode {
    const char* name;
    TMode mode;
    QString sourcePrefix;
};

class StopFromActiveMode : public ::testing::TestWithParam<TActiveMode>
{
};

TEST_P(StopFromActiveMode, LastCommandIsTheZeroCurrentSource)
{
    TPumpRig rig;
    rig.State.GSCurrent = 200;
    rig.Inputs.Millivolts = 300;
    rig.State.PID.SetSetpoint(0.15);
    rig.Smu->SetModeEx(GetParam().mode);
    ASSERT_TRUE(WaitFor([&] { return rig.SmuCount(GetParam().sourcePrefix) > 2; }, 5000));
    ASSERT_TRUE(rig.StopPump(3000));
    EXPECT_EQ(rig.LastSourceCommandOnceSettled(ZeroCurrentCommand), ZeroCurrentCommand);
    auto cell = rig.Sim.State();
    EXPECT_EQ(cell["source"], 0);
    EXPECT_EQ(cell["level"], 0);
    EXPECT_EQ(cell["output"], 1);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StopFromActiveMode,
    ::testing::Values(TActiveMode{"SetCurrent", TMode::SetCurrent,
                                  QStringLiteral(":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000200")},
                      TActiveMode{"SetVoltage", TMode::SetVoltage,
                                  QStringLiteral(":SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.300000")},
                      TActiveMode{"PIDSet", TMode::PIDSet, QStringLiteral(":SOUR:FUNC VOLT")},
                      TActiveMode{"PPS", TMode::PPS,
                                  QStringLiteral(":SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.150000")},
                      TActiveMode{"Uninitialized", TMode::Uninitialized, QStringLiteral(":READ?")}),
    [](const auto& info) { return std::string(info.param.name); });

// Teardown never waits on a hand-over: a worker blocked in one while the main thread
// runs no events is released by the destructor, and still leaves the pump at 0 A.
TEST(Thread2401Sim, DeletingARunningThreadNeverDeadlocksAndLeavesZeroCurrent)
{
    TPumpRig rig;
    rig.State.GSCurrent = 300;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    ASSERT_TRUE(rig.PointRunningFor(0.2));
    QThread::msleep(300); // no events: the worker now waits in its hand-over
    QElapsedTimer clock;
    clock.start();
    rig.Smu.reset();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(rig.LastSourceCommandOnceSettled(ZeroCurrentCommand), ZeroCurrentCommand);
    rig.Smu = std::make_unique<TThread2401>(rig.State, rig.Inputs); // for the rig's stop
    rig.Smu->start();
}

class PumpFault : public ::testing::TestWithParam<const char*>
{
};

// A misbehaving SourceMeter never feeds a point, never ends the thread by itself and
// never keeps it from stopping.
TEST_P(PumpFault, BadRepliesFeedNoPointAndTheThreadStillStops)
{
    const QString fault = QString::fromLatin1(GetParam());
    TPumpRig rig;
    rig.Inputs.Millivolts = 100;
    rig.Smu->SetModeEx(TMode::SetVoltage);
    TDataPointRec point;
    ASSERT_TRUE(rig.NextPoint(point));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault smu ") + fault), QStringLiteral("ok"));
    RunEventsFor(300);
    rig.State.DataPoint.Ready = false;
    RunEventsFor(2500);
    EXPECT_FALSE(rig.State.DataPoint.Ready);
    EXPECT_FALSE(rig.Smu->IsStopped());

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(rig.StopPump(8000));
    // The last source command is tried three times while nothing confirms it.
    EXPECT_LT(clock.elapsed(), 5000);
    if (fault != QLatin1String("silent") && fault != QLatin1String("vanish"))
        EXPECT_EQ(rig.LastSourceCommandOnceSettled(ZeroCurrentCommand), ZeroCurrentCommand);
}

INSTANTIATE_TEST_SUITE_P(Faults, PumpFault,
                         ::testing::Values("no-reply", "junk", "half", "overflow", "three-fields",
                                           "silent", "vanish"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

double ProcessCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Adapters unplugged: both threads try the ports again at a calm pace instead of spinning
// on the open, take up their work once the ports are back, and still stop at once.
TEST(Thread2401Sim, MissingPortsAreRetriedCalmlyAndTheThreadsStillStop)
{
    TPumpRig rig;
    rig.State.GSCurrent = 10;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    ASSERT_TRUE(rig.PointRunningFor(0.2));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault smu vanish")), QStringLiteral("ok"));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm vanish")), QStringLiteral("ok"));
    RunEventsFor(300); // the exchanges under way end
    const double before = ProcessCpuSeconds();
    RunEventsFor(3000);
    EXPECT_LT(ProcessCpuSeconds() - before, 0.3) << "CPU seconds spent in 3 s without ports";

    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault smu none")), QStringLiteral("ok"));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm none")), QStringLiteral("ok"));
    TDataPointRec point;
    EXPECT_TRUE(rig.NextPoint(point, 8000));

    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault smu vanish")), QStringLiteral("ok"));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm vanish")), QStringLiteral("ok"));
    RunEventsFor(300);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(rig.StopPump(3000));
    rig.Dmm->SetToPauseEx(false);
    rig.Dmm->SetToStopEx(true);
    ASSERT_TRUE(WaitFor([&] { return rig.Dmm->IsStopped(); }, 3000));
    EXPECT_LT(clock.elapsed(), 1500);
}

TEST(Thread2401Sim, PointsResumeOnceTheInstrumentAnswersAgain)
{
    TPumpRig rig;
    rig.State.GSCurrent = 10;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault smu no-reply")), QStringLiteral("ok"));
    RunEventsFor(1500);
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault smu none")), QStringLiteral("ok"));
    TDataPointRec point;
    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_EQ(point.Mode, 12);
    EXPECT_NEAR(point.PumpI, 10e-6, 1e-9);
}

// A source command the instrument does not take (a line garbled on its way) leaves it in
// its old mode or at its old level: nothing is read or integrated under the new source
// until the instrument has read it back, and the readings resume once it takes it.
struct TRefusedSource {
    const char* name;
    const char* refused;  // the start of the source line the instrument does not take
    TMode mode;           // the new mode...
    double microAmperes;  // ...or current level
    int pointMode;        // the points' mode code once it is taken
    double source, level; // the instrument's state once it takes it (0: current source)
};

class RefusedSource : public ::testing::TestWithParam<TRefusedSource>
{
};

TEST_P(RefusedSource, NothingIsReadUnderASourceTheInstrumentDidNotTake)
{
    const TRefusedSource& c = GetParam();
    TPumpRig rig(0);
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 750")), QStringLiteral("ok"));
    rig.Inputs.Millivolts = 200;
    rig.State.GSCurrent = 100;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    TDataPointRec point;
    ASSERT_TRUE(rig.NextPoint(point));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("refuse smu ") + c.refused), QStringLiteral("ok"));
    rig.State.GSCurrent = c.microAmperes;
    rig.Smu->SetModeEx(c.mode);
    // The new source goes out at the latest after the running point has closed.
    ASSERT_TRUE(WaitFor([&] { return rig.SmuCount(QString::fromLatin1(c.refused)) >= 3; }, 4000));
    const int readsBefore = rig.SmuCount(QStringLiteral(":READ?"));
    const TDateTime integratedBefore = rig.State.LastGoodReading2401;
    RunEventsFor(800);
    EXPECT_GT(rig.SmuCount(QString::fromLatin1(c.refused)), 5) << "the source is sent again";
    EXPECT_EQ(rig.SmuCount(QStringLiteral(":READ?")), readsBefore) << "no reading taken";
    EXPECT_EQ(rig.State.LastGoodReading2401, integratedBefore) << "no reading integrated";
    auto cell = rig.Sim.State();
    EXPECT_EQ(cell["source"], 0);
    EXPECT_EQ(cell["level"], 100e-6);

    ASSERT_EQ(rig.Sim.Command(QStringLiteral("refuse smu")), QStringLiteral("ok"));
    // The first point's opening stretch is booked at the old source, which really held.
    ASSERT_TRUE(rig.NextPoint(point, 4000));
    ASSERT_TRUE(rig.NextPoint(point));
    EXPECT_EQ(point.Mode, c.pointMode);
    cell = rig.Sim.State();
    EXPECT_EQ(cell["source"], c.source);
    EXPECT_EQ(cell["level"], c.level);
    EXPECT_NEAR(point.PumpI, cell["pump_i_a"], 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Sources, RefusedSource,
                         ::testing::Values(TRefusedSource{"NewMode", ":SOUR:FUNC VOLT",
                                                          TMode::SetVoltage, 100, 13, 1, 0.2},
                                           TRefusedSource{"NewLevel",
                                                          ":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000050",
                                                          TMode::SetCurrent, 50, 12, 0, 50e-6}),
                         [](const auto& info) { return std::string(info.param.name); });

// A multimeter that misses a reply is silent for its two-second time-out: points close on
// the newest temperature meanwhile, at the pump's pace, but not on one older than the hold.
TEST(Thread2401Sim, PointsCloseOnTheNewestTemperatureOnlyWhileItIsRecent)
{
    TPumpRig rig(0);
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 750")), QStringLiteral("ok"));
    rig.State.GSCurrent = 100;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    TDataPointRec point;
    ASSERT_TRUE(rig.NextPoint(point));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm no-reply")), QStringLiteral("ok"));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(rig.NextPoint(point, 2500)) << "point " << i << " waited for the multimeter";
        EXPECT_NEAR(point.Temp, 750, 0.5);
        EXPECT_NEAR(point.PumpI, 100e-6, 1e-9);
    }
    // The newest reading is now older than the hold.
    rig.State.LastGoodReading2000 = NowDays() - 11 / SecondsPerDay;
    EXPECT_FALSE(rig.NextPoint(point, 2500));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm none")), QStringLiteral("ok"));
    EXPECT_TRUE(rig.NextPoint(point, 8000));
}

// Nobody else gets at the instruments while the threads run: not a second program that
// would reset the pump, not between two readings.
TEST(Thread2401Sim, PortsAreHeldForTheWholeRun)
{
    TPumpRig rig;
    rig.State.GSCurrent = 10;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    ASSERT_TRUE(rig.PointRunningFor(0.2));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(rig.Sim.Command(QStringLiteral("intrude smu")), QStringLiteral("refused")) << i;
        EXPECT_EQ(rig.Sim.Command(QStringLiteral("intrude dmm")), QStringLiteral("refused")) << i;
        RunEventsFor(30);
    }
    EXPECT_EQ(rig.SmuCount(QStringLiteral("*RST")), 1) << "only the set-up's";
    ASSERT_TRUE(rig.StopPump(3000));
    EXPECT_EQ(rig.Sim.Command(QStringLiteral("intrude smu")), QStringLiteral("sent"))
        << "a stopped thread lets its port go";
}

// The thread's start waits for no reply that never comes: one mark brings the fresh
// port into step, and no exchange times out before the first reading.
TEST(Thread2401Sim, StartTakesOneMarkAndNoTimeOut)
{
    TPumpRig rig;
    rig.State.GSCurrent = 10;
    rig.Smu->SetModeEx(TMode::SetCurrent);
    ASSERT_TRUE(WaitFor([&] { return rig.State.LastGoodReading2401 != 0; }, 5000));
    EXPECT_EQ(rig.SmuHistoryLinesWith(QStringLiteral("*IDN?")), 1)
        << rig.Sim.Command(QStringLiteral("history smu 40")).toStdString();
    EXPECT_EQ(rig.SmuCount(QStringLiteral(":INIT")), 1);
}

// The last source command is read back; an instrument that takes commands but answers
// nothing cannot confirm it, and the thread says so after trying again, still in time.
TEST(Thread2401Sim, LastSourceCommandIsConfirmedOrReportedUnconfirmed)
{
    {
        TPumpRig rig;
        rig.State.GSCurrent = 50;
        rig.Smu->SetModeEx(TMode::SetCurrent);
        ASSERT_TRUE(rig.PointRunningFor(0.2));
        const QString readBack = QStringLiteral(":SOUR:FUNC?;:SOUR:CURR:LEV?;:OUTP:STAT?");
        const int readBacksBefore = rig.SmuHistoryLinesWith(readBack); // the running source's
        ASSERT_TRUE(rig.StopPump(3000));
        EXPECT_TRUE(rig.Smu->FinalSourceConfirmed());
        EXPECT_EQ(rig.SmuHistoryLinesWith(readBack) - readBacksBefore, 1);
    }
    for (const char* fault : {"no-reply", "junk"}) {
        TPumpRig rig;
        rig.State.GSCurrent = 50;
        rig.Smu->SetModeEx(TMode::SetCurrent);
        ASSERT_TRUE(rig.PointRunningFor(0.2));
        ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault smu ") + fault), QStringLiteral("ok"));
        const int before = rig.SmuCount(ZeroCurrentCommand);
        ASSERT_TRUE(rig.StopPump(8000)) << fault;
        EXPECT_FALSE(rig.Smu->FinalSourceConfirmed()) << fault;
        EXPECT_EQ(rig.SmuCount(ZeroCurrentCommand) - before, 3) << fault;
        auto cell = rig.Sim.State();
        EXPECT_EQ(cell["level"], 0) << fault;
    }
}

} // namespace
