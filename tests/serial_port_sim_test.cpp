// The transport against the simulated instruments on their pseudo-terminals.
#include "instruments/serial_port.h"
#include "instruments/smu_commands.h"
#include "records/number_format.h"
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

bool TwoNumbers(const QByteArray& reply)
{
    const QList<QByteArray> fields = SplitReadingFields(reply);
    double value = 0;
    return fields.size() == 2 && ParseScpiDouble(QString::fromLatin1(fields[0]), value) &&
           ParseScpiDouble(QString::fromLatin1(fields[1]), value);
}

// Each reply 10 ms past the time-out, and the instrument working through its commands in
// order: not one of them may be taken for the reply to a later command.
TEST(SerialPortSim, ReplyPastTheTimeOutIsNeverTakenForALaterCommand)
{
    TCellSim sim;
    ASSERT_EQ(sim.Command(QStringLiteral("late smu 510")), QStringLiteral("ok"));
    TSimPort port(sim.SmuPort());
    for (int i = 0; i < 6; ++i) {
        const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
        EXPECT_FALSE(r.Status.isEmpty()) << i << ": " << r.Response.toStdString();
    }
    ASSERT_EQ(sim.Command(QStringLiteral("late smu 0")), QStringLiteral("ok"));
    QElapsedTimer clock;
    clock.start();
    TSerialResponse r;
    while ((r = port.Send2(QByteArray(":READ?\r"), true)).Status.isEmpty() == false &&
           clock.elapsed() < 5000) {
    }
    EXPECT_TRUE(TwoNumbers(r.Response)) << "the line comes back into step once replies are on time";
}

TEST(SerialPortSim, RepliesThatPauseHalfWayAreReadWhole)
{
    TCellSim sim;
    ASSERT_EQ(sim.Command(QStringLiteral("pause smu 40")), QStringLiteral("ok"));
    TSimPort port(sim.SmuPort());
    for (int i = 0; i < 5; ++i) {
        const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
        EXPECT_EQ(r.Status, QByteArray()) << i;
        EXPECT_TRUE(TwoNumbers(r.Response)) << i << ": " << r.Response.toStdString();
    }
}

} // namespace
