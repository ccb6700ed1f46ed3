// Closing a port puts back the line settings it had before it was opened; a command still
// queued then leaves at the old speed as garbage. A helper process makes one send-only
// exchange on a pseudo-terminal with a library preloaded that notes, in order, the calls
// that write to, drain, reconfigure and close that terminal.
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace
{

struct TPty {
    TPty()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        device = QString::fromLocal8Bit(::ttyname(slave));
    }
    ~TPty()
    {
        ::close(master);
        ::close(slave);
    }
    QByteArray ReadMaster()
    {
        QByteArray received;
        pollfd p{master, POLLIN, 0};
        char buffer[256];
        while (::poll(&p, 1, 100) > 0) {
            const auto n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            received.append(buffer, n);
        }
        return received;
    }
    int master = -1;
    int slave = -1; // held open so the line stays up
    QString device;
};

qsizetype LastIndexOf(const QStringList& calls, const QString& call)
{
    return calls.lastIndexOf(call);
}

TEST(SerialDrain, CommandHasLeftThePortBeforeTheSettingsArePutBackAndThePortCloses)
{
    TPty pty;
    ASSERT_FALSE(pty.device.isEmpty());
    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("calls"));
    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(OXTIVA_TTY_CALL_TRACE));
    environment.insert(QStringLiteral("OXTIVA_TTY_DEVICE"), pty.device);
    environment.insert(QStringLiteral("OXTIVA_TTY_TRACE"), trace);
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::ForwardedChannels);
    helper.start(QStringLiteral(OXTIVA_SERIAL_SEND_ONCE),
                 {pty.device, QStringLiteral("19200"), QStringLiteral(":ROUT:CLOSE (@3)")});
    ASSERT_TRUE(helper.waitForFinished(10000));
    ASSERT_EQ(helper.exitCode(), 0);
    EXPECT_EQ(pty.ReadMaster(), QByteArray(":ROUT:CLOSE (@3)\r"));

    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList calls;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty()) calls << QString::fromLatin1(line.left(line.indexOf(' ')));
    const qsizetype lastWrite = LastIndexOf(calls, QStringLiteral("write"));
    const qsizetype settingsBack = LastIndexOf(calls, QStringLiteral("tcsetattr"));
    const qsizetype closed = LastIndexOf(calls, QStringLiteral("close"));
    ASSERT_GE(lastWrite, 0) << calls.join(' ').toStdString();
    ASSERT_GT(settingsBack, lastWrite) << calls.join(' ').toStdString();
    ASSERT_GT(closed, settingsBack) << calls.join(' ').toStdString();
    // The drain looks at the driver's queue; tcdrain (TCSBRK) would wait without a deadline.
    const qsizetype drained = calls.indexOf(QStringLiteral("ioctl-TIOCOUTQ"), lastWrite + 1);
    EXPECT_GT(drained, lastWrite) << "no drain after the write: " << calls.join(' ').toStdString();
    EXPECT_LT(drained, settingsBack) << calls.join(' ').toStdString();
    EXPECT_FALSE(calls.contains(QStringLiteral("tcdrain")) ||
                 calls.contains(QStringLiteral("ioctl-TCSBRK")))
        << calls.join(' ').toStdString();
}

} // namespace
