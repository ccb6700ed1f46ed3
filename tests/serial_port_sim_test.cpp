// The transport against the simulated instruments on their pseudo-terminals.
#include "instruments/reply_shape.h"
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

// The port stays held between exchanges: another program cannot get in to reset the
// instrument, nor can a second transport; once let go, both can.
TEST(SerialPortSim, PortIsHeldBetweenExchangesAgainstOtherOpeners)
{
    TCellSim sim;
    TSimPort port(sim.SmuPort());
    ASSERT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2)).Status, QByteArray());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sim.Command(QStringLiteral("intrude smu")), QStringLiteral("refused")) << i;
        EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2)).Status, QByteArray());
    }
    TSimPort second(sim.SmuPort());
    EXPECT_EQ(second.Send2(QByteArray("*IDN?\r"), true).Status, PortInUse);
    EXPECT_EQ(sim.Command(QStringLiteral("count smu *RST")), QStringLiteral("0"));

    port.Close();
    EXPECT_EQ(second.Send2(QByteArray("*IDN?\r"), true).Status, QByteArray());
    second.Close();
    EXPECT_EQ(sim.Command(QStringLiteral("intrude smu")), QStringLiteral("sent"));
}

// A held port whose instrument goes away fails the exchange, is let go, and is opened
// anew once the instrument is back.
TEST(SerialPortSim, HeldPortThatFailsIsClosedAndOpenedAgain)
{
    TCellSim sim;
    TSimPort port(sim.SmuPort(), 300);
    ASSERT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2)).Status, QByteArray());
    ASSERT_EQ(sim.Command(QStringLiteral("fault smu vanish")), QStringLiteral("ok"));
    EXPECT_FALSE(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2)).Status.isEmpty());
    EXPECT_FALSE(port.IsOpen());
    ASSERT_EQ(sim.Command(QStringLiteral("fault smu none")), QStringLiteral("ok"));
    const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2));
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_TRUE(TwoNumbers(r.Response)) << r.Response.toStdString();
}

// A mark whose answer was lost is never waited for again: the first exchange after the
// instrument answers once more is good.
TEST(SerialPortSim, LostMarkDoesNotHoldUpTheNextExchange)
{
    TCellSim sim;
    TSimPort port(sim.SmuPort(), 300);
    ASSERT_EQ(sim.Command(QStringLiteral("fault smu no-reply")), QStringLiteral("ok"));
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2)).Status, Timeout);
    ASSERT_EQ(sim.Command(QStringLiteral("fault smu none")), QStringLiteral("ok"));
    const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2));
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_TRUE(TwoNumbers(r.Response)) << r.Response.toStdString();
}

// An instrument that answers the register signed and padded ("+037") is still brought
// back into step, and the register holds what it held before the marks.
TEST(SerialPortSim, MarkAnswerIsComparedAsANumberAndTheRegisterIsPutBack)
{
    for (const char* style : {"plain", "padded"}) {
        TCellSim sim;
        ASSERT_EQ(sim.Command(QStringLiteral("registers smu ") + style), QStringLiteral("ok"));
        TSimPort port(sim.SmuPort(), 300);
        ASSERT_EQ(port.Send2(QByteArray("*ESE 17\r"), false).Status, QByteArray());
        ASSERT_EQ(sim.Command(QStringLiteral("late smu 400")), QStringLiteral("ok"));
        EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2)).Status, Timeout);
        ASSERT_EQ(sim.Command(QStringLiteral("late smu 0")), QStringLiteral("ok"));
        TSerialResponse r;
        QElapsedTimer clock;
        clock.start();
        while (
            !(r = port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2))).Status.isEmpty() &&
            clock.elapsed() < 3000) {
        }
        EXPECT_TRUE(TwoNumbers(r.Response)) << style << ": " << r.Status.toStdString();
        const TSerialResponse ese = port.Send2(QByteArray("*ESE?\r"), true);
        EXPECT_EQ(ese.Response.toInt(), 17) << style << ": " << ese.Response.toStdString();
    }
}

// A reading rides in the mark's own line: a port out of step (fresh, or after a reply
// that came too late) is back in step with its reading after one exchange, and the late
// reply on its way is passed over, not taken for the reading.
TEST(SerialPortSim, AReadingRidesInTheMarksLine)
{
    TCellSim sim;
    TSimPort port(sim.SmuPort(), 300);
    const TSerialResponse first = port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2));
    EXPECT_EQ(first.Status, QByteArray());
    EXPECT_TRUE(TwoNumbers(first.Response)) << first.Response.toStdString();
    EXPECT_TRUE(port.InStep());
    EXPECT_EQ(sim.Command(QStringLiteral("count smu :READ?")), QStringLiteral("0"))
        << "no line of its own";

    ASSERT_EQ(sim.Command(QStringLiteral("late smu 400")), QStringLiteral("ok"));
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2)).Status, Timeout);
    ASSERT_EQ(sim.Command(QStringLiteral("late smu 0")), QStringLiteral("ok"));
    const TSerialResponse next = port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(2));
    EXPECT_EQ(next.Status, QByteArray()) << "one exchange";
    EXPECT_TRUE(TwoNumbers(next.Response)) << next.Response.toStdString();
    EXPECT_NE(next.Response, first.Response);
    const QStringList history = sim.Command(QStringLiteral("history smu 3")).split('\t');
    ASSERT_EQ(history.size(), 3);
    EXPECT_TRUE(history[1].endsWith(QStringLiteral(";*ESE?;*IDN?;:READ?")))
        << history.join(" | ").toStdString();
    EXPECT_TRUE(history[2].startsWith(QStringLiteral("*ESE "))) << "the register put back";
    EXPECT_EQ(sim.Command(QStringLiteral("count smu :READ?")), QStringLiteral("1"));
}

} // namespace
