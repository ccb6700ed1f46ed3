#include "instruments/serial_device.h"

#include "instruments/serial_port.h"

#include <QElapsedTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#endif

namespace oxtiva
{

namespace
{

constexpr qint64 ReadBufferBytes = 4096;
// A reply that pauses this long is complete, whether or not its terminator came.
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
    if (fPort.isOpen()) fPort.close(); // also drops the flock of this descriptor
}

bool TSerialDevice::OpenExclusive()
{
    if (fSettings.Port.isEmpty() || !fPort.open(QIODevice::ReadWrite)) return false;
    if (!TakeExclusiveLock() || !ApplyLineSettings()) {
        Close();
        return false;
    }
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
    return true; // the Windows driver opens a COM port for one handle only
#endif
}

bool TSerialDevice::ApplyLineSettings()
{
    const bool lineOk =
        fPort.setBaudRate(fSettings.BaudRate) && fPort.setDataBits(QSerialPort::Data8) &&
        fPort.setParity(QSerialPort::NoParity) && fPort.setStopBits(QSerialPort::OneStop) &&
        fPort.setFlowControl(QSerialPort::NoFlowControl);
    // Modem lines are a courtesy to adapters that want them; a pseudo-terminal has none,
    // so refusing them is no reason to give up the exchange.
    fPort.setDataTerminalReady(true);
    fPort.setRequestToSend(true);
    fPort.setReadBufferSize(ReadBufferBytes);
    fPort.clearError();
    return lineOk;
}

bool TSerialDevice::DeviceLost() const
{
    const auto error = fPort.error();
    return !fPort.isOpen() || error == QSerialPort::ResourceError ||
           error == QSerialPort::ReadError;
}

bool TSerialDevice::Write(const QByteArray& data, qint64& written)
{
    written = 0;
    QElapsedTimer clock;
    clock.start();
    const qint64 allowedMs = 10 * data.size() + 1000;
    if (fPort.write(data) != data.size()) return false;
    while (fPort.bytesToWrite() > 0) {
        const qint64 left = allowedMs - clock.elapsed();
        if (left <= 0) break;
        fPort.clearError();
        if (!fPort.waitForBytesWritten(static_cast<int>(left)) &&
            fPort.error() != QSerialPort::TimeoutError && fPort.bytesToWrite() > 0)
            return false;
    }
    written = data.size() - fPort.bytesToWrite();
    return true;
}

TWaitOutcome TSerialDevice::WaitForFirstByte(const TWaitReport& report)
{
    QElapsedTimer clock; // monotonic: a clock change cannot stretch or cut the wait
    clock.start();
    const qint64 deadline = fSettings.ReadoutTimeoutMS;
    bool available = fPort.bytesAvailable() > 0;
    while (!available && clock.elapsed() < deadline) {
        const qint64 slice = std::min<qint64>(std::max<std::uint32_t>(fSettings.PollSliceMS, 1),
                                              deadline - clock.elapsed());
        fPort.clearError();
        available = fPort.waitForReadyRead(static_cast<int>(std::max<qint64>(slice, 1))) ||
                    fPort.bytesAvailable() > 0;
        if (!available && DeviceLost()) return TWaitOutcome::Failed;
        if (report) report(clock.elapsed() >= deadline, available);
    }
    return available ? TWaitOutcome::DataAvailable : TWaitOutcome::TimedOut;
}

bool TSerialDevice::ReadReply(int maxBytes, bool stopAtTerminator, QByteArray& reply)
{
    reply.clear();
    for (;;) {
        reply += fPort.read(maxBytes - reply.size());
        if (reply.size() >= maxBytes) return true;
        if (stopAtTerminator && HasReplyTerminator(reply)) {
            // Take a line end that is already there (the LF of CR LF), without waiting.
            if (fPort.waitForReadyRead(0)) reply += fPort.read(maxBytes - reply.size());
            return true;
        }
        fPort.clearError();
        if (!fPort.waitForReadyRead(QuietLineMS)) return !(reply.isEmpty() && DeviceLost());
    }
}

} // namespace oxtiva
