// The multimeter thread against the simulated cell.
#include "instruments/thread2000.h"
#include "support/cell_sim.h"
#include "support/qstring_printer.h"
#include "support/wait_for.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

using namespace oxtiva;
using oxtiva::testing::RunEventsFor;
using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;
using oxtiva::testing::WaitFor;

namespace
{

struct TInputs : THandOverInputs {
    double Override = 0;
    double CellTemperatureOverride() const override { return Override; }
    int SetVoltageMillivolts() const override { return 0; }
};

// The multimeter set up and its thread started paused, as the validation leaves it.
class TDmmRig
{
  public:
    TDmmRig() : Sim(Options())
    {
        InitializeMultimeter(Sim.DmmPort());
        Dmm = std::make_unique<TThread2000>(State, Inputs);
        Dmm->Port = Sim.DmmPort();
        Dmm->SetToPauseEx(true);
        Dmm->start();
    }
    ~TDmmRig() { Stop(15000); }

    bool Stop(int timeoutMs)
    {
        Dmm->SetToPauseEx(false);
        Dmm->SetToStopEx(true);
        return WaitFor([this] { return Dmm->IsStopped(); }, timeoutMs);
    }

    bool TemperatureNear(double celsius, int timeoutMs = 5000)
    {
        return WaitFor([&] { return std::fabs(State.CellTemperature - celsius) < 0.5; }, timeoutMs);
    }

    int DmmCount(const QString& prefix)
    {
        return Sim.Command(QStringLiteral("count dmm ") + prefix).toInt();
    }

    double SyncTDuration() const { return State.SyncT ? State.SyncT->DurationS() : -1; }

    TCellSim Sim;
    TInputs Inputs;
    TSharedState State;
    std::unique_ptr<TThread2000> Dmm;

  private:
    static TCellSimOptions Options()
    {
        TCellSimOptions options;
        options.timeScale = 10;
        options.extraArgs = {QStringLiteral("--noise"), QStringLiteral("0")};
        return options;
    }
};

TEST(Thread2000Sim, CellTemperatureAndPO2FeedTheAveragersAndThePID)
{
    TDmmRig rig;
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 800")), QStringLiteral("ok"));
    rig.Dmm->SetToPauseEx(false);
    ASSERT_TRUE(rig.TemperatureNear(800));
    ASSERT_TRUE(WaitFor([&] { return rig.SyncTDuration() > 0.5; }, 5000));
    ASSERT_TRUE(rig.State.SyncpO2);
    EXPECT_GT(rig.State.SyncpO2->DurationS(), 0);
    EXPECT_NEAR(rig.State.SyncT->Sum() / rig.State.SyncT->DurationS(), 800, 0.5);
    const double po2 = rig.Sim.State()["po2_atm"];
    EXPECT_NEAR(rig.State.PID.ProcessVariable(), std::log10(po2), 0.01);
    EXPECT_GT(rig.DmmCount(QStringLiteral(":ROUT:OPEN:ALL;:ROUT:CLOSE (@2)")), 0);
}

TEST(Thread2000Sim, SensorIsReadOnlyWhileTheCellIsInsideItsWindow)
{
    struct TCase {
        double celsius;
        bool sensorRead;
    };
    for (const TCase c : {TCase{450, false}, TCase{1100, false}, TCase{700, true}}) {
        TDmmRig rig;
        ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp %1").arg(c.celsius)),
                  QStringLiteral("ok"));
        rig.Dmm->SetToPauseEx(false);
        ASSERT_TRUE(rig.TemperatureNear(c.celsius)) << c.celsius;
        ASSERT_TRUE(WaitFor([&] { return rig.SyncTDuration() > 0.5; }, 5000)) << c.celsius;
        EXPECT_EQ(rig.DmmCount(QStringLiteral(":ROUT:OPEN:ALL;:ROUT:CLOSE (@2)")) > 0, c.sensorRead)
            << c.celsius;
        EXPECT_EQ(static_cast<bool>(rig.State.SyncpO2), c.sensorRead) << c.celsius;
    }
}

TEST(Thread2000Sim, OverrideAboveOneReplacesTheThermocoupleTemperature)
{
    TDmmRig rig;
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 700")), QStringLiteral("ok"));
    rig.Inputs.Override = 905.5;
    rig.Dmm->SetToPauseEx(false);
    ASSERT_TRUE(WaitFor([&] { return rig.State.CellTemperature == 905.5; }, 5000));
    EXPECT_DOUBLE_EQ(rig.Dmm->CTO(), 905.5);
    rig.Inputs.Override = 1; // not above 1: the thermocouple again
    ASSERT_TRUE(rig.TemperatureNear(700));
}

TEST(Thread2000Sim, PausedThreadLeavesTheInstrumentAloneAndStopsWithoutAnotherPass)
{
    TDmmRig rig;
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 800")), QStringLiteral("ok"));
    RunEventsFor(2500);
    EXPECT_EQ(rig.DmmCount(QStringLiteral(":ROUT")), 0);
    EXPECT_EQ(rig.State.CellTemperature, 0);
    EXPECT_FALSE(rig.State.SyncT);

    rig.Dmm->SetToStopEx(true); // pause request left standing
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(WaitFor([&] { return rig.Dmm->IsStopped(); }, 3000));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(rig.DmmCount(QStringLiteral(":ROUT")), 0);
}

TEST(Thread2000Sim, MeasuringThreadStopsAfterItsPass)
{
    TDmmRig rig;
    rig.Dmm->SetToPauseEx(false);
    ASSERT_TRUE(WaitFor(
        [&] { return rig.DmmCount(QStringLiteral(":ROUT:OPEN:ALL;:ROUT:CLOSE (@3)")) > 2; }, 5000));
    ASSERT_TRUE(rig.Stop(3000));
    const int routed = rig.DmmCount(QStringLiteral(":ROUT"));
    RunEventsFor(300);
    EXPECT_EQ(rig.DmmCount(QStringLiteral(":ROUT")), routed);
}

class DmmFault : public ::testing::TestWithParam<const char*>
{
};

// While the multimeter misbehaves no sample reaches the averagers and the temperature
// keeps its value; the thread survives and still stops on request.
TEST_P(DmmFault, BadRepliesFeedNoSampleAndTheThreadStillStops)
{
    const QString fault = QString::fromLatin1(GetParam());
    TDmmRig rig;
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 800")), QStringLiteral("ok"));
    rig.Dmm->SetToPauseEx(false);
    ASSERT_TRUE(rig.TemperatureNear(800));
    ASSERT_TRUE(WaitFor([&] { return rig.SyncTDuration() > 0; }, 5000));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm ") + fault), QStringLiteral("ok"));
    RunEventsFor(500); // the pass under way may still end well
    const double duration = rig.SyncTDuration();
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 900")), QStringLiteral("ok"));
    RunEventsFor(2500);
    EXPECT_EQ(rig.SyncTDuration(), duration);
    EXPECT_NEAR(rig.State.CellTemperature, 800, 0.5);
    EXPECT_FALSE(rig.Dmm->IsStopped());

    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm none")), QStringLiteral("ok"));
    EXPECT_TRUE(rig.TemperatureNear(900, 10000));
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("fault dmm ") + fault), QStringLiteral("ok"));
    EXPECT_TRUE(rig.Stop(10000)); // a pass of three unanswered queries lasts 6 s
}

INSTANTIATE_TEST_SUITE_P(Faults, DmmFault,
                         ::testing::Values("no-reply", "junk", "half", "overflow", "silent",
                                           "vanish"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

// A reading goes out as one line with its channel and function, so that no lost channel
// command can leave the query reading whichever input was connected before.
TEST(Thread2000Sim, EveryReadingCarriesItsChannelAndFunctionInOneLine)
{
    TDmmRig rig;
    ASSERT_EQ(rig.Sim.Command(QStringLiteral("set temp 800")), QStringLiteral("ok"));
    rig.Dmm->SetToPauseEx(false);
    ASSERT_TRUE(WaitFor(
        [&] { return rig.DmmCount(QStringLiteral(":ROUT:OPEN:ALL;:ROUT:CLOSE (@2)")) > 1; }, 5000));
    const QStringList history = rig.Sim.Command(QStringLiteral("history dmm 60")).split('\t');
    int readings = 0;
    for (const QString& line : history) {
        if (!line.contains(QStringLiteral("READ?"))) {
            EXPECT_FALSE(line.contains(QStringLiteral("ROUT:"))) << line.toStdString();
            continue;
        }
        ++readings;
        // A reading may ride behind a place mark in the same line.
        const QString reading = line.section(QStringLiteral("*IDN?;"), -1);
        EXPECT_TRUE(reading.startsWith(QStringLiteral(":ROUT:OPEN:ALL;:ROUT:CLOSE (@")) &&
                    reading.contains(QStringLiteral(";:FUNC ")))
            << line.toStdString();
    }
    EXPECT_GE(readings, 3);
}

} // namespace
