// The transport against a pseudo-terminal whose far end the test scripts byte by byte,
// for the reply shapes that a simulated instrument never produces.
#include "instruments/serial_port.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace oxtiva;

namespace
{

// The instrument end of a pseudo-terminal, reached by the transport through a symlink.
// After each command (ended by CR) it answers with the scripted reply, in pieces with
// pauses between them when asked to.
class TPtyPeer
{
  public:
    TPtyPeer()
    {
        if (::openpty(&fMaster, &fSlave, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty");
        // Raw, like a serial line: the transport restores these settings when it closes,
        // and a line discipline left echoing would answer the peer's replies itself.
        termios raw{};
        ::tcgetattr(fSlave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fSlave, TCSANOW, &raw);
        fDevice = QString::fromLocal8Bit(::ttyname(fSlave));
        fLink = fDir.filePath(QStringLiteral("instrument"));
        QFile::link(fDevice, fLink);
        fThread = std::thread([this] { Serve(); });
    }
    ~TPtyPeer()
    {
        fStop = true;
        fThread.join();
        ::close(fMaster);
        ::close(fSlave);
    }
    QString Link() const { return fLink; }
    QString Device() const { return fDevice; }

    // Pieces of the reply to every command with the pause before each; no pieces: the
    // peer stays silent.
    void Script(std::vector<std::pair<int, QByteArray>> pieces)
    {
        std::lock_guard lock(fMutex);
        fPieces = std::move(pieces);
    }
    void Reply(const QByteArray& reply, int delayMs = 0) { Script({{delayMs, reply}}); }
    QByteArray Received()
    {
        std::lock_guard lock(fMutex);
        return fReceived;
    }

  private:
    void Serve()
    {
        QByteArray line;
        while (!fStop) {
            pollfd p{fMaster, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
            char buffer[256];
            const auto n = ::read(fMaster, buffer, sizeof buffer);
            if (n <= 0) continue;
            {
                std::lock_guard lock(fMutex);
                fReceived.append(buffer, n);
            }
            // One command at a time, in order, as an instrument works.
            for (char c : QByteArray(buffer, n)) {
                if (c != '\r') {
                    line += c;
                    continue;
                }
                Answer(line);
                line.clear();
            }
        }
    }

    // A silent peer (no script) answers nothing; otherwise the place mark of the
    // transport ("*ESE?;*ESE n;*ESE?;*IDN?", a query riding after it answered by the
    // script behind the mark's answers) is answered as an instrument does, setting the
    // register ("*ESE n") and an empty command draw no reply, and any other command is
    // answered with the script.
    void Answer(const QByteArray& command)
    {
        std::vector<std::pair<int, QByteArray>> pieces;
        {
            std::lock_guard lock(fMutex);
            pieces = fPieces;
        }
        if (pieces.empty() || command.isEmpty()) return;
        if (command.startsWith("*ESE ") && !command.contains(';')) {
            fRegister = command.mid(5);
            return;
        }
        const QByteArray markTail = ";*ESE?;*IDN?";
        const qsizetype markEnd = command.indexOf(markTail);
        if (command.startsWith("*ESE?;*ESE ") && markEnd > 0) {
            const QByteArray value = command.mid(11, command.indexOf(';', 11) - 11);
            const QByteArray mark = fRegister + ';' + value + ";TEST PEER,MODEL 1,0,1.0";
            fRegister = value;
            // A query that rides in the mark's line is answered with the script after it.
            if (markEnd + markTail.size() == command.size())
                pieces = {{0, mark + '\r'}};
            else
                pieces.front().second.prepend(mark + ';');
        }
        for (const auto& [pauseMs, bytes] : pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            [[maybe_unused]] auto w = ::write(fMaster, bytes.constData(), bytes.size());
        }
    }

    QTemporaryDir fDir;
    int fMaster = -1;
    int fSlave = -1; // held open so the line stays up between exchanges
    QString fDevice;
    QString fLink;
    std::mutex fMutex;
    std::vector<std::pair<int, QByteArray>> fPieces;
    QByteArray fReceived;
    QByteArray fRegister = "0"; // the event status enable register, on the serving thread
    std::atomic<bool> fStop{false};
    std::thread fThread;
};

// A port object named and timed for one test.
struct TTestPort : TSerialPort {
    explicit TTestPort(const QString& name, std::uint32_t readoutMs = 500)
    {
        Port = name;
        ReadoutTimeoutMS = readoutMs;
    }
};

struct TReplyCase {
    const char* name;
    QByteArray reply;
    QByteArray expected;
};

class ReplyShaping : public ::testing::TestWithParam<TReplyCase>
{
};

TEST_P(ReplyShaping, ReplyIsTrimmedOfBlanksAndControlCharacters)
{
    TPtyPeer peer;
    peer.Reply(GetParam().reply);
    TTestPort port(peer.Link());
    const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_EQ(r.Response, GetParam().expected);
    EXPECT_EQ(r.SentMessage, QByteArray(":READ?\r"));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyShaping,
    ::testing::Values(TReplyCase{"NumberWithCrLf", "+1.234E-01\r\n", "+1.234E-01"},
                      TReplyCase{"WhiteSpaceOnly", " \t \r\n", ""},
                      TReplyCase{"ControlCharactersAround", "\x01\x02 0 \r", "0"},
                      TReplyCase{"TwoFields", "+5.0E-01,+1.0E-04\r", "+5.0E-01,+1.0E-04"},
                      TReplyCase{"LeftOverLineEndsBeforeTheReply", "\n\r\n7.5\r", "7.5"},
                      TReplyCase{"LineFeedOnly", "KEITHLEY,2000\n", "KEITHLEY,2000"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialPort, ReadEndsAtTheTerminatorWithoutWaitingForTheLineToFallQuiet)
{
    TPtyPeer peer;
    // Stray output 10 ms after the reply would be swallowed by a read that waits for
    // 20 ms of quiet.
    peer.Script({{0, "1.0\r"}, {10, "stray\r"}});
    TTestPort port(peer.Link());
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), true).Response, QByteArray("1.0"));
}

// An instrument busy auto-ranging, or an adapter's latency timer, can stop a reply
// half-way; the read goes on to its terminator.
TEST(SerialPort, PausesInsideAReplyDoNotEndIt)
{
    for (int pauseMs : {5, 40, 150}) {
        TPtyPeer peer;
        peer.Script({{0, "+1.23456"}, {pauseMs, "789E+03,"}, {pauseMs, "+2.0E-05\r"}});
        TTestPort port(peer.Link());
        const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
        EXPECT_EQ(r.Status, QByteArray()) << pauseMs;
        EXPECT_EQ(r.Response, QByteArray("+1.23456789E+03,+2.0E-05")) << pauseMs;
    }
}

// A reply whose terminator has not come by the deadline is no reply, and its tail, when
// it comes, is not the next command's reply either.
TEST(SerialPort, ReplyCutByTheDeadlineFailsAndItsTailIsNotTheNextReply)
{
    TPtyPeer peer;
    peer.Script({{0, "+1.2"}, {450, "34E-01\r"}});
    TTestPort port(peer.Link(), 300);
    const TSerialResponse cut = port.Send2(QByteArray(":READ?\r"), true);
    EXPECT_EQ(cut.Status, QByteArray("Incomplete reply from instrument"));
    EXPECT_EQ(cut.Response, QByteArray());
    peer.Reply("+5.0E-01\r");
    const TSerialResponse next = port.Send2(QByteArray(":READ?\r"), true);
    EXPECT_EQ(next.Status, QByteArray());
    EXPECT_EQ(next.Response, QByteArray("+5.0E-01"));
}

// An instrument that stops half-way through a reply says no more: the exchange gives up
// once the line has been quiet for a moment, not at the multimeter's two-second time-out,
// which a line that cuts replies now and then would otherwise pay at every cut.
TEST(SerialPort, ReplyThatStopsHalfWayFailsOnceTheLineFallsQuiet)
{
    TPtyPeer peer;
    peer.Script({{0, "+1.2"}});
    TTestPort port(peer.Link(), 2000);
    QElapsedTimer clock;
    clock.start();
    const TSerialResponse cut = port.Send2(QByteArray(":READ?\r"), true);
    EXPECT_EQ(cut.Status, QByteArray("Incomplete reply from instrument"));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(port.InStep());
}

// The instrument answers in order: the first query's reply comes 100 ms after the
// exchange gave up, in the middle of the next exchange, and must not be taken for the
// next query's.
TEST(SerialPort, ReplyThatComesAfterItsExchangeGaveUpIsNotTakenForTheNextQuerysReply)
{
    TPtyPeer peer;
    peer.Reply("+1.111111E-01\r", 600);
    TTestPort port(peer.Link(), 500);
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), true).Status,
              QByteArray("Timeout while waiting for response"));
    peer.Reply("+2.222222E-01\r");
    const TSerialResponse next = port.Send2(QByteArray(":READ?\r"), true);
    EXPECT_EQ(next.Status, QByteArray());
    EXPECT_EQ(next.Response, QByteArray("+2.222222E-01"));
}

TEST(SerialPort, ReplyOfTheWrongShapeFailsTheExchangeAndTheNextQueryMarksItsPlace)
{
    TPtyPeer peer;
    peer.Reply("+1.0E+00\r");
    TTestPort port(peer.Link());
    ASSERT_EQ(port.Send2(QByteArray("*IDN?\r"), TReplyShape::Numbers(1)).Status, QByteArray());
    ASSERT_TRUE(port.InStep());
    const TSerialResponse identity = port.Send2(QByteArray("*IDN?\r"), TReplyShape::Identity());
    EXPECT_EQ(identity.Status, QByteArray("Reply does not fit the query"));
    EXPECT_FALSE(port.InStep());
    const qsizetype before = peer.Received().size();
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(1)).Status, QByteArray());
    EXPECT_TRUE(peer.Received().mid(before).startsWith("\r*ESE?;*ESE "));
    EXPECT_TRUE(port.InStep());
}

// Bytes that come unasked (here a reply to a command that draws none from a real
// instrument) answer nothing this program asked: the next query marks its place first
// instead of taking them for its reply or flushing them without a word.
TEST(SerialPort, BytesWaitingBeforeAQueryPutThePortOutOfStep)
{
    TPtyPeer peer;
    peer.Reply("+1.0E+00\r");
    TTestPort port(peer.Link());
    ASSERT_EQ(port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(1)).Status, QByteArray());
    ASSERT_TRUE(port.InStep());
    peer.Reply("+9.9E+00\r");
    ASSERT_EQ(port.Send2(QByteArray(":SYST:BEEP\r"), false).Status, QByteArray());
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the unasked reply comes
    peer.Reply("+2.0E+00\r");
    const qsizetype before = peer.Received().size();
    const TSerialResponse next = port.Send2(QByteArray(":READ?\r"), TReplyShape::Numbers(1));
    EXPECT_EQ(next.Status, QByteArray());
    EXPECT_EQ(next.Response, QByteArray("+2.0E+00"));
    EXPECT_TRUE(peer.Received().mid(before).startsWith("\r*ESE?;*ESE "));
}

TEST(SerialPort, ReplyShapesTellReadingsIdentificationAndFlagsApart)
{
    struct TCase {
        const char* shape;
        TReplyShape expected;
        QByteArray reply;
        bool fits;
    };
    const TCase cases[] = {
        {"Numbers(2)", TReplyShape::Numbers(2), "+1.234567E-01,+1.000000E-04", true},
        {"Numbers(2)", TReplyShape::Numbers(2), "+1.234567E-01", false},
        {"Numbers(2)", TReplyShape::Numbers(2), "1,2,3", false},
        {"Numbers(2)", TReplyShape::Numbers(2), "1,x", false},
        {"Numbers(1)", TReplyShape::Numbers(1), "+1.23456789E+04", true},
        {"Numbers(1)", TReplyShape::Numbers(1), "148E+03", true}, // only the order tells
        {"Numbers(1)", TReplyShape::Numbers(1), "", false},
        {"Numbers(1)", TReplyShape::Numbers(1), "37;KEITHLEY", false},
        {"Identity", TReplyShape::Identity(), "KEITHLEY INSTRUMENTS INC.,MODEL 2000,1,A", true},
        {"Identity", TReplyShape::Identity(), "+1.234567E-01,+1.000000E-04", false},
        {"Identity", TReplyShape::Identity(), "0", false},
        {"Identity", TReplyShape::Identity(), "", false},
        {"Flag", TReplyShape::Flag(), "0", true},
        {"Flag", TReplyShape::Flag(), "1", true},
        {"Flag", TReplyShape::Flag(), "+0.000000E+00", false},
        {"Any", TReplyShape::Any(), "", true},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(c.expected.Fits(c.reply), c.fits) << c.shape << " " << c.reply.toStdString();
}

TEST(SerialPort, ExchangeWithoutWaitingEndsWithEmptyStatusAndResponse)
{
    TPtyPeer peer;
    peer.Reply("ignored\r");
    TTestPort port(peer.Link());
    const TSerialResponse r = port.Send2(QStringLiteral("*RST\r"), false);
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_EQ(r.Response, QByteArray());
    EXPECT_EQ(r.SentMessage, QByteArray("*RST\r"));
    QElapsedTimer t;
    t.start();
    while (!peer.Received().contains('\r') && t.elapsed() < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(peer.Received(), QByteArray("*RST\r"));
}

TEST(SerialPort, SilentInstrumentTimesOutAtTheReadoutTimeNotBefore)
{
    TPtyPeer peer; // no script: never answers
    TTestPort port(peer.Link(), 400);
    port.WindowsReadLoopTimeoutMS = 150;
    QElapsedTimer t;
    t.start();
    const TSerialResponse r = port.Send2(QByteArray(":READ?\r"), true);
    const qint64 elapsed = t.elapsed();
    EXPECT_EQ(r.Status, QByteArray("Timeout while waiting for response"));
    EXPECT_EQ(r.Response, QByteArray());
    EXPECT_GE(elapsed, 400);
    EXPECT_LT(elapsed, 400 + 150 + 200);
}

TEST(SerialPort, PortThatCannotBeOpenedReportsPortInUse)
{
    QTemporaryDir dir;
    for (const QString& name :
         {dir.filePath(QStringLiteral("absent")), QString(), QStringLiteral("ttyOXTIVA_NONE")}) {
        TTestPort port(name);
        const TSerialResponse r = port.Send2(QByteArray("*IDN?\r"), true);
        EXPECT_EQ(r.Status, QByteArray("Failed to setup Com port, port in use"))
            << name.toStdString();
        EXPECT_EQ(r.Response, QByteArray());
    }
}

// The second exchange names the port once by the same link and once by the device the
// link points to: both must be refused while the first holds the port, and the first
// must get its reply undisturbed.
TEST(SerialPort, SecondExchangeOnAPortInUseFailsAndLeavesTheFirstUndisturbed)
{
    TPtyPeer peer;
    peer.Reply("+1.0E+00\r", 400);
    auto first = std::async(std::launch::async, [&] {
        TTestPort port(peer.Link(), 2000);
        return port.Send2(QByteArray(":READ?\r"), true);
    });
    QElapsedTimer t;
    t.start();
    while (!peer.Received().contains('\r') && t.elapsed() < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (const QString& name : {peer.Link(), peer.Device()}) {
        TTestPort second(name);
        EXPECT_EQ(second.Send2(QByteArray("*IDN?\r"), true).Status,
                  QByteArray("Failed to setup Com port, port in use"))
            << name.toStdString();
    }
    const TSerialResponse r = first.get();
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_EQ(r.Response, QByteArray("+1.0E+00"));
    // The refused ones wrote nothing: the line carried the place mark (with its leading
    // terminator), the register put back and the query only.
    EXPECT_EQ(peer.Received().count('\r'), 4);
    EXPECT_TRUE(peer.Received().endsWith(":READ?\r"));

    TTestPort after(peer.Link());
    peer.Reply("again\r");
    EXPECT_EQ(after.Send2(QByteArray("*IDN?\r"), true).Response, QByteArray("again"));
}

TEST(SerialPort, LateReplyToAnAbandonedQueryIsNotTakenForTheNextReply)
{
    TPtyPeer peer;
    peer.Reply("late\r", 300);
    TTestPort port(peer.Link(), 100);
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), true).Status,
              QByteArray("Timeout while waiting for response"));
    std::this_thread::sleep_for(std::chrono::milliseconds(400)); // "late" is now queued
    peer.Reply("fresh\r");
    EXPECT_EQ(port.Send2(QByteArray(":READ?\r"), true).Response, QByteArray("fresh"));
}

TEST(SerialPort, DebugLogsTheExchange)
{
    QTemporaryDir dir;
    auto destination = std::make_shared<TLogDestination>();
    ASSERT_TRUE(destination->OpenLogFile(dir.path()));
    TPtyPeer peer;
    peer.Reply("+1.5E-03\r\n");
    TTestPort port(peer.Link());
    port.L.SetDestination(destination);
    port.Send2(QByteArray("*IDN?\r"), true); // Debug off: nothing
    port.SetDebug(true);
    EXPECT_TRUE(port.Debug());
    EXPECT_TRUE(port.L.Enabled());
    port.Send2(QByteArray(":READ?\r"), true);
    destination->Flush();
    QFile log(destination->FilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_FALSE(text.contains(QStringLiteral("*IDN?")));
    for (const QString& line :
         {QStringLiteral("Serial Port"), QStringLiteral("Port: ") + peer.Link(),
          QStringLiteral("Bytes written: 7"), QStringLiteral("As string    : :READ?"),
          QStringLiteral("Waiting for reply"),
          QStringLiteral("Waiting for data from que. Timeout=False DataAvailable=True"),
          QStringLiteral("Response: +1.5E-03")})
        EXPECT_TRUE(text.contains(line)) << line.toStdString();
}

TEST(SerialPort, SendReturnsTheTrimmedResponseOnly)
{
    TPtyPeer peer;
    peer.Reply("KEITHLEY INSTRUMENTS INC.,MODEL 2401\r");
    TTestPort port(peer.Link());
    EXPECT_EQ(port.Send(QStringLiteral("*IDN?\r"), true),
              QByteArray("KEITHLEY INSTRUMENTS INC.,MODEL 2401"));
}

TEST(SerialPort, SendDataKeepsTheRawReplyBytes)
{
    TPtyPeer peer;
    const QByteArray reply("\x00\x01\x02\x03\x04\x05\r\n", 8);
    peer.Reply(reply);
    TTestPort port(peer.Link());
    const std::uint8_t data[] = {0x10, 0x20, '\r'};
    const TSerialResponse r = port.SendData(data, sizeof data, true);
    EXPECT_EQ(r.Status, QByteArray());
    EXPECT_EQ(r.Response, reply);
    EXPECT_EQ(r.ResponseLength, 8);
    EXPECT_EQ(r.ValueOfFirstWord, 3 * 256 + 4);
    EXPECT_EQ(r.rArray[5], 5);
    EXPECT_EQ(r.rArray[7], '\n');

    TPtyPeer silent;
    TTestPort quiet(silent.Link(), 100);
    EXPECT_EQ(quiet.SendData(data, sizeof data, true).Status,
              QByteArray("Timeout while waiting for response"));
    EXPECT_EQ(quiet.SendData(data, sizeof data, false).Status, QByteArray());
}

TEST(SerialPort, TrimmingTakesBlanksAndControlCharactersFromBothEnds)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"", ""}, {"\r\n", ""}, {" 1\r", "1"}, {"\n1", "1"}, {"a b\x1f", "a b"}, {"x\r\n", "x"},
    };
    for (const auto& [text, trimmed] : cases)
        EXPECT_EQ(TrimControlCharacters(text), trimmed) << text.toStdString();
}

} // namespace
