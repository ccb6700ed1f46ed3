#include "instruments/serial_device.h"

#include <QThread>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace oxtiva
{

namespace
{

constexpr qint64 ReadBufferBytes = 4096;
// A binary reply that pauses this long is complete.
constexpr int QuietLineMS = 20;

} // namespace

TSerialDevice::TSerialDevice(TSerialLineSettings settings) : fSettings(std::move(settings))
{
    fPort.setPortName(fSettings.Port);
}

TSerialDevice::~TSerialDevice()
{
    Close();
}

void TSerialDevice::Close()
{
    if (!fPort.isOpen()) return;
    Drain(QDeadlineTimer(DrainOnCloseMS));
    fPort.close(); // also drops the flock of this descriptor
}

bool TSerialDevice::OpenExclusive()
{
    if (fSettings.Port.isEmpty()) return false;
    // Given before the open, the line settings reach the driver together with it instead of
    // one call each afterwards; the open fails when the driver refuses them.
    ChooseLineSettings();
    if (!fPort.open(QIODevice::ReadWrite)) return false;
    if (!TakeExclusiveLock()) {
        Close();
        return false;
    }
    // Modem lines are a courtesy to adapters that want them; a pseudo-terminal has none,
    // so refusing them is no reason to give up the exchange.
    fPort.setDataTerminalReady(true);
    fPort.setRequestToSend(true);
    fPort.clearError();
    // Bytes waiting from before this command (a reply that came after its caller gave
    // up, the LF behind a CR) would otherwise be taken for this command's reply.
    fPort.clear(QSerialPort::Input);
    return true;
}

// QSerialPort's lock file is keyed by the name it was given, so a symlink and its target
// do not meet, and TIOCEXCL means nothing to root. An flock on the descriptor refuses a
// second open of the same device from this or any other process.
bool TSerialDevice::TakeExclusiveLock()
{
#ifdef Q_OS_UNIX
    return ::flock(fPort.handle(), LOCK_EX | LOCK_NB) == 0;
#else
    return true;
#endif
}

void TSerialDevice::ChooseLineSettings()
{
    fPort.setBaudRate(fSettings.BaudRate);
    fPort.setDataBits(QSerialPort::Data8);
    fPort.setParity(QSerialPort::NoParity);
    fPort.setStopBits(QSerialPort::OneStop);
    fPort.setFlowControl(QSerialPort::NoFlowControl);
    fPort.setReadBufferSize(ReadBufferBytes);
}

bool TSerialDevice::IsOpen() const
{
    return fPort.isOpen();
}

bool TSerialDevice::DeviceLost() const
{
    const auto error = fPort.error();
    return !fPort.isOpen() || error == QSerialPort::ResourceError ||
           error == QSerialPort::ReadError;
}

TWriteOutcome TSerialDevice::Write(const QByteArray& data)
{
    TWriteOutcome outcome;
    const QDeadlineTimer deadline(10 * data.size() + 1000);
    if (fPort.write(data) != data.size()) return outcome;
    while (fPort.bytesToWrite() > 0 && !deadline.hasExpired()) {
        fPort.clearError();
        if (!fPort.waitForBytesWritten(
                static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))) &&
            fPort.error() != QSerialPort::TimeoutError && fPort.bytesToWrite() > 0)
            break;
    }
    outcome.Written = data.size() - fPort.bytesToWrite();
    outcome.Accepted = outcome.Written == data.size();
    // A command cut short must not go out later as the head of the next one.
    if (!outcome.Accepted) fPort.clear(QSerialPort::Output);
    return outcome;
}

// Polls the driver's queue instead of calling tcdrain, which waits on the transmitter
// without a deadline and never returns on adapters that do not report it empty. The
// last character or two in the transmitter itself are not waited for.
bool TSerialDevice::Drain(const QDeadlineTimer& deadline)
{
    if (!fPort.isOpen()) return true;
    while (fPort.bytesToWrite() > 0 && !deadline.hasExpired())
        fPort.waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
#ifdef Q_OS_UNIX
    const int fd = fPort.handle();
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
        if (deadline.hasExpired()) {
            ::tcflush(fd, TCOFLUSH);
            return false;
        }
        // About the time the queued bytes take on the wire, in short steps.
        const qint64 wireMs = 10LL * queued * 1000 / std::max(fSettings.BaudRate, 1);
        QThread::msleep(static_cast<unsigned long>(std::clamp<qint64>(wireMs, 1, 20)));
    }
    return fPort.bytesToWrite() == 0;
#else
    return fPort.bytesToWrite() == 0;
#endif
}

TWaitOutcome TSerialDevice::WaitForData(const QDeadlineTimer& deadline, const TWaitReport& report)
{
    bool available = fPort.bytesAvailable() > 0;
    while (!available && !deadline.hasExpired()) {
        const qint64 slice = std::min<qint64>(std::max<std::uint32_t>(fSettings.PollSliceMS, 1),
                                              deadline.remainingTime());
        fPort.clearError();
        available = fPort.waitForReadyRead(static_cast<int>(std::max<qint64>(slice, 1))) ||
                    fPort.bytesAvailable() > 0;
        if (!available && DeviceLost()) return TWaitOutcome::Failed;
        if (report) report(deadline.hasExpired(), available);
    }
    return available ? TWaitOutcome::DataAvailable : TWaitOutcome::TimedOut;
}

QByteArray TSerialDevice::ReadAvailable()
{
    return fPort.readAll();
}

bool TSerialDevice::InputWaiting()
{
    if (fPort.bytesAvailable() > 0) return true;
    fPort.clearError();
    return fPort.waitForReadyRead(0) || fPort.bytesAvailable() > 0;
}

void TSerialDevice::DiscardInput()
{
    fPort.clear(QSerialPort::Input);
}

bool TSerialDevice::ReadUntilQuiet(int maxBytes, QByteArray& reply)
{
    reply.clear();
    for (;;) {
        reply += fPort.read(maxBytes - reply.size());
        if (reply.size() >= maxBytes) return true;
        fPort.clearError();
        if (!fPort.waitForReadyRead(QuietLineMS)) return !(reply.isEmpty() && DeviceLost());
    }
}

} // namespace oxtiva
