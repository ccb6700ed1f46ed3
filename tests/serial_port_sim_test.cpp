// The transport against the simulated instruments on their pseudo-terminals.
#include "instruments/serial_port.h"
#include "support/cell_sim.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <future>

using namespace oxtiva;
using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;

namespace
{

const QByteArray PortInUse("Failed to setup Com port, port in use");
const QByteArray Timeout("Timeout while waiting for response");

// The simulator counts a command once it has read it, a moment after the write returned.
QString CountOnceSettled(TCellSim& sim, const QString& line, const QString& expected)
{
    QElapsedTimer t;
    t.start();
    QString count = sim.Command(line);
    while (count != expected && t.elapsed() < 3000) {
        QThread::msleep(5);
        count = sim.Command(line);
    }
    return count;
}

struct TSimPort : TSerialPort {
    explicit TSimPort(const QString& name, std::uint32_t readoutMs = 500)
    {
        Port = name;
        ReadoutTimeoutMS = readoutMs;
    }
};

TEST(SerialPortSim, ReadingOfTheSourceMeterArrivesAsTwoTrimmedFields)
{
    TCellSim sim;
    TSimPort port(sim.SmuPort());
    const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_EQ(r.Response.count(','), 1) << r.Response.toStdString();
    EXPECT_FALSE(r.Response.endsWith('\r') || r.Response.endsWith('\n'));
    EXPECT_EQ(sim.Command(QStringLiteral("last smu")), QStringLiteral(":READ?"));
}

TEST(SerialPortSim, CommandWithoutReplyReachesTheInstrumentAndEndsEmpty)
{
    TCellSim sim;
    TSimPort port(sim.DmmPort());
    port.BaudRate = 19200;
    const TSerialResponse r = port.Send2(QStringLiteral(":ROUT:CLOSE (@3)\r"), false);
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_EQ(r.Response, QByteArray());
    EXPECT_EQ(CountOnceSettled(sim, QStringLiteral("count dmm :ROUT:CLOSE (@3)"), "1"),
              QStringLiteral("1"));
}

TEST(SerialPortSim, InstrumentThatNeverAnswersTimesOutAfterTheReadoutTime)
{
    for (const char* fault : {"no-reply", "silent"}) {
        TCellSim sim;
        ASSERT_EQ(sim.Command(QStringLiteral("fault smu ") + fault), QStringLiteral("ok"));
        TSimPort port(sim.SmuPort(), 300);
        port.WindowsReadLoopTimeoutMS = 50;
        QElapsedTimer t;
        t.start();
        const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
        EXPECT_EQ(r.Status, Timeout) << fault;
        EXPECT_EQ(r.Response, QByteArray()) << fault;
        EXPECT_GE(t.elapsed(), 300) << fault;
    }
}

TEST(SerialPortSim, VanishedInstrumentReportsPortInUseAndIsReachedAgainOnceBack)
{
    TCellSim sim;
    ASSERT_EQ(sim.Command(QStringLiteral("fault smu vanish")), QStringLiteral("ok"));
    TSimPort port(sim.SmuPort());
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), true).Status, PortInUse);
    ASSERT_EQ(sim.Command(QStringLiteral("fault smu none")), QStringLiteral("ok"));
    const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_FALSE(r.Response.isEmpty());
}

TEST(SerialPortSim, ExchangeOnAPortHeldByAnotherFailsWhileTheOtherCompletes)
{
    TCellSimOptions slow;
    slow.latencyMs = 400;
    TCellSim sim(slow);
    auto first = std::async(std::launch::async, [&] {
        TSimPort holder(sim.DmmPort(), 2000);
        holder.BaudRate = 19200;
        return holder.Send2(QByteArray("*IDN?\r"), true);
    });
    ASSERT_EQ(CountOnceSettled(sim, QStringLiteral("count dmm *IDN?"), "1"), QStringLiteral("1"));
    TSimPort second(sim.DmmPort());
    second.BaudRate = 19200;
    EXPECT_EQ(second.Send2(QByteArray(":SYST:FRSW?\r"), true).Status, PortInUse);
    const TSerialResponse r = first.get();
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_FALSE(r.Response.isEmpty());
    EXPECT_EQ(sim.Command(QStringLiteral("count dmm :SYST:FRSW?")), QStringLiteral("0"));
}

} // namespace
