#include "instruments/serial_port.h"

#include "instruments/serial_device.h"

#include <QThread>

namespace oxtiva
{

namespace
{

const QByteArray StatusPortInUse = "Failed to setup Com port, port in use";
const QByteArray StatusWriteFailed = "Failed to write to Com port";
const QByteArray StatusTimeout = "Timeout while waiting for response";
const QByteArray StatusReadFailed = "Failed to read from Com port";
const QByteArray StatusUnknown = "Unknown problem reading serial port";

// A reply larger than any instrument answer here; the read stops there.
constexpr int MaxReplyBytes = 10000;
constexpr int MaxDataReplyBytes = 256;

TSerialLineSettings LineSettingsOf(const TSerialPort& port)
{
    return {port.Port, port.BaudRate, port.ReadoutTimeoutMS, port.WindowsReadLoopTimeoutMS};
}

QString TrueFalse(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

QByteArray TrimControlCharacters(const QByteArray& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return text.mid(first, last - first);
}

bool HasReplyTerminator(const QByteArray& received)
{
    bool seenOther = false;
    for (const char c : received) {
        const bool lineEnd = c == '\r' || c == '\n';
        if (lineEnd && seenOther) return true;
        if (!lineEnd) seenOther = true;
    }
    return false;
}

TSerialPort::TSerialPort() = default;

void TSerialPort::SetDebug(bool newValue)
{
    fDebug = newValue;
    L.SetEnabled(newValue);
}

TSerialResponse TSerialPort::Send2(const QString& aMessage, bool WaitForResponse)
{
    return Send2(aMessage.toLocal8Bit(), WaitForResponse);
}

QByteArray TSerialPort::Send(const QByteArray& aMessage, bool WaitForResponse)
{
    return Send2(aMessage, WaitForResponse).Response;
}

QByteArray TSerialPort::Send(const QString& aMessage, bool WaitForResponse)
{
    return Send2(aMessage, WaitForResponse).Response;
}

TSerialResponse TSerialPort::Send2(const QByteArray& aMessage, bool WaitForResponse)
{
    L.EnterMethod(QStringLiteral("Send2"));
    L.Send(QStringLiteral("Port: ") + Port);
    TSerialResponse result;
    result.SentMessage = aMessage;

    TSerialDevice device(LineSettingsOf(*this));
    if (!device.OpenExclusive()) {
        result.Status = StatusPortInUse;
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    }
    qint64 written = 0;
    if (!device.Write(aMessage, written)) {
        result.Status = StatusWriteFailed;
        L.Send(QString::fromLatin1(StatusWriteFailed));
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    }
    L.SendValue(QStringLiteral("Bytes written: "), static_cast<double>(written));
    L.Send(QStringLiteral("As string    : ") +
           QString::fromLatin1(TrimControlCharacters(aMessage)));

    if (!WaitForResponse) {
        L.Send(QStringLiteral("Exit read/write without waiting for reply"));
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    }

    L.Send(QStringLiteral("Waiting for reply"));
    const TWaitOutcome waited = device.WaitForFirstByte([this](bool timedOut, bool available) {
        L.Send(QStringLiteral("Waiting for data from que. Timeout=") + TrueFalse(timedOut) +
               QStringLiteral(" DataAvailable=") + TrueFalse(available));
    });
    if (waited != TWaitOutcome::DataAvailable) {
        result.Status = waited == TWaitOutcome::TimedOut ? StatusTimeout : StatusReadFailed;
        L.Send(QString::fromLatin1(result.Status));
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    }

    QByteArray raw;
    if (!device.ReadReply(MaxReplyBytes, true, raw)) {
        result.Status = StatusReadFailed;
        L.Send(QString::fromLatin1(StatusReadFailed));
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    }
    result.Response = TrimControlCharacters(raw);
    result.Terminated = HasReplyTerminator(raw);
    device.Close();
    L.Send(QStringLiteral("Response: ") + QString::fromLatin1(result.Response));
    L.ExitMethod(QStringLiteral("Send2"));
    return result;
}

TSerialResponse TSerialPort::SendData(const std::uint8_t* Data, std::uint32_t dataSize,
                                      bool WaitForResponse)
{
    TSerialResponse result;
    result.Status = StatusUnknown;
    result.ResponseLength = 0;

    TSerialDevice device(LineSettingsOf(*this));
    if (!device.OpenExclusive()) {
        result.Status = StatusPortInUse;
        return result;
    }
    const QByteArray message(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(dataSize));
    qint64 written = 0;
    if (!device.Write(message, written)) {
        result.Status = StatusWriteFailed;
        return result;
    }
    if (!WaitForResponse) {
        result.Response.clear();
        result.Status.clear();
        return result;
    }

    QThread::msleep(WindowsReadLoopTimeoutMS);
    const TWaitOutcome waited = device.WaitForFirstByte({});
    if (waited != TWaitOutcome::DataAvailable) {
        result.Status = waited == TWaitOutcome::TimedOut ? StatusTimeout : StatusReadFailed;
        return result;
    }
    // Binary replies carry no terminator: only the quiet line ends the read.
    QByteArray raw;
    if (!device.ReadReply(MaxDataReplyBytes, false, raw)) {
        result.Status = StatusReadFailed;
        return result;
    }
    std::copy(raw.cbegin(), raw.cend(), result.rArray.begin());
    result.Response = raw;
    result.Status.clear();
    // A full 256-byte reply does not fit the one-byte count; it saturates.
    result.ResponseLength = static_cast<std::uint8_t>(std::min<qsizetype>(raw.size(), 255));
    if (raw.size() >= 5)
        result.ValueOfFirstWord =
            static_cast<std::uint8_t>(raw[3]) * 256 + static_cast<std::uint8_t>(raw[4]);
    return result;
}

} // namespace oxtiva
