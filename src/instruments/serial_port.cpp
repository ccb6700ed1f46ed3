#include "instruments/serial_port.h"

#include "instruments/reply_reader.h"
#include "instruments/serial_device.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>

namespace oxtiva
{

namespace
{

const QByteArray StatusPortInUse = "Failed to setup Com port, port in use";
const QByteArray StatusWriteFailed = "Failed to write to Com port";
const QByteArray StatusTimeout = "Timeout while waiting for response";
const QByteArray StatusReadFailed = "Failed to read from Com port";
const QByteArray StatusUnknown = "Unknown problem reading serial port";
const QByteArray StatusIncomplete = "Incomplete reply from instrument";
const QByteArray StatusWrongShape = "Reply does not fit the query";

constexpr int MaxDataReplyBytes = 256;
// The longest reply these instruments give, with room to spare, for the time a reply
// that has begun may take to finish at the line's speed.
constexpr qint64 LongestReplyBytes = 256;
// What an instrument busy with auto-ranging or a USB adapter holding a half-full packet
// may pause inside a reply.
constexpr qint64 PauseInsideReplyMS = 200;
// Place marks are register values 2 to 255: 0 and 1 could be an input-switch reply.
constexpr int LowestMarker = 2;
constexpr int HighestMarker = 255;

TSerialLineSettings LineSettingsOf(const TSerialPort& port)
{
    return {port.Port, port.BaudRate, port.ReadoutTimeoutMS, port.WindowsReadLoopTimeoutMS};
}

QString TrueFalse(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QByteArray MarkerQuery(int marker)
{
    return "*ESE " + QByteArray::number(marker) + ";*ESE?;*IDN?\r";
}

// The marker's reply: its value, then the identification.
bool AnswersMarker(const QByteArray& line, int marker)
{
    const QByteArray prefix = QByteArray::number(marker) + ';';
    return line.size() > prefix.size() && line.startsWith(prefix);
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

// Each object starts its place marks somewhere else, so that a mark left on the line by
// an earlier object is not taken for this one's.
TSerialPort::TSerialPort()
    : fLastMarker(QRandomGenerator::global()->bounded(LowestMarker, HighestMarker + 1))
{
}

TSerialPort::~TSerialPort() = default;

void TSerialPort::SetDebug(bool newValue)
{
    fDebug = newValue;
    L.SetEnabled(newValue);
}

TSerialResponse TSerialPort::Send2(const QString& aMessage, bool WaitForResponse)
{
    return Send2(aMessage.toLocal8Bit(), WaitForResponse);
}

TSerialResponse TSerialPort::Send2(const QByteArray& aMessage, bool WaitForResponse)
{
    return Exchange(aMessage, WaitForResponse ? std::optional(TReplyShape::Any()) : std::nullopt);
}

TSerialResponse TSerialPort::Send2(const QByteArray& aMessage, const TReplyShape& expected)
{
    return Exchange(aMessage, expected);
}

QByteArray TSerialPort::Send(const QByteArray& aMessage, bool WaitForResponse)
{
    return Send2(aMessage, WaitForResponse).Response;
}

QByteArray TSerialPort::Send(const QString& aMessage, bool WaitForResponse)
{
    return Send2(aMessage, WaitForResponse).Response;
}

qint64 TSerialPort::ReplyAllowanceMs() const
{
    return PauseInsideReplyMS + 10 * LongestReplyBytes * 1000 / std::max(BaudRate, 1);
}

TSerialResponse TSerialPort::Exchange(const QByteArray& aMessage,
                                      const std::optional<TReplyShape>& expected)
{
    L.EnterMethod(QStringLiteral("Send2"));
    L.Send(QStringLiteral("Port: ") + Port);
    TSerialResponse result;
    result.SentMessage = aMessage;
    const auto finish = [&] {
        if (!result.Status.isEmpty()) L.Send(QString::fromLatin1(result.Status));
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    };

    TSerialDevice device(LineSettingsOf(*this));
    fPortUnavailable = !device.OpenExclusive();
    if (fPortUnavailable) {
        result.Status = StatusPortInUse;
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    }
    TReplyReader reader(device);
    if (expected && !fInStep) {
        result.Status = Resynchronise(device, reader);
        if (!result.Status.isEmpty()) return finish();
    }
    const TWriteOutcome written = device.Write(aMessage);
    if (!written.Accepted) {
        // A query cut off on its way may still draw a reply.
        if (expected) fInStep = false;
        result.Status = StatusWriteFailed;
        return finish();
    }
    L.SendValue(QStringLiteral("Bytes written: "), static_cast<double>(written.Written));
    L.Send(QStringLiteral("As string    : ") +
           QString::fromLatin1(TrimControlCharacters(aMessage)));
    if (!written.Drained)
        L.Send(QStringLiteral("Output had not left the port in time and was discarded"));

    if (!expected) {
        L.Send(QStringLiteral("Exit read/write without waiting for reply"));
        return finish();
    }
    ReadReply(reader, *expected, result);
    return finish();
}

void TSerialPort::ReadReply(TReplyReader& reader, const TReplyShape& expected,
                            TSerialResponse& result)
{
    L.Send(QStringLiteral("Waiting for reply"));
    const auto report = [this](bool timedOut, bool available) {
        L.Send(QStringLiteral("Waiting for data from que. Timeout=") + TrueFalse(timedOut) +
               QStringLiteral(" DataAvailable=") + TrueFalse(available));
    };
    QByteArray line;
    const auto outcome =
        reader.ReadLine(QDeadlineTimer(ReadoutTimeoutMS), ReplyAllowanceMs(), line, report);
    // Whatever went wrong, a reply may still be on its way or half there.
    fInStep = false;
    switch (outcome) {
    case TReplyReader::TOutcome::NoReply:
        result.Status = StatusTimeout;
        return;
    case TReplyReader::TOutcome::Failed:
        result.Status = StatusReadFailed;
        return;
    case TReplyReader::TOutcome::Cut:
        L.Send(QStringLiteral("Reply so far: ") + QString::fromLatin1(TrimControlCharacters(line)));
        result.Status = StatusIncomplete;
        return;
    case TReplyReader::TOutcome::Line:
        break;
    }
    result.Response = TrimControlCharacters(line);
    L.Send(QStringLiteral("Response: ") + QString::fromLatin1(result.Response));
    if (!expected.Fits(result.Response)) {
        result.Status = StatusWrongShape;
        return;
    }
    // Bytes behind the reply answer nothing that was asked; the next query resynchronises.
    fInStep = !reader.HasMore();
}

// Marks the line's place and discards what lies before the mark's answer. Returns the
// status of a failed exchange, or nothing once the line is in step.
QByteArray TSerialPort::Resynchronise(TSerialDevice& device, TReplyReader& reader)
{
    // A mark whose answer has not come in twice the readout time is taken for lost (it
    // may have fallen due while the port was closed); a new mark replaces it.
    const qint64 giveUpMs = 2 * static_cast<qint64>(ReadoutTimeoutMS) + ReplyAllowanceMs();
    if (fMarker == 0 || fMarkerAge.elapsed() > giveUpMs) {
        fLastMarker = fLastMarker >= HighestMarker ? LowestMarker : fLastMarker + 1;
        const QByteArray query = MarkerQuery(fLastMarker);
        L.Send(QStringLiteral("Out of step; marking the place with ") +
               QString::fromLatin1(TrimControlCharacters(query)));
        if (!device.Write(query).Accepted) return StatusWriteFailed;
        fMarker = fLastMarker;
        fMarkerAge.start();
    }
    const QDeadlineTimer deadline(ReadoutTimeoutMS);
    QByteArray line;
    for (;;) {
        const auto outcome = reader.ReadLine(deadline, 0, line);
        if (outcome == TReplyReader::TOutcome::Failed) return StatusReadFailed;
        if (outcome != TReplyReader::TOutcome::Line) return StatusTimeout;
        line = TrimControlCharacters(line);
        if (AnswersMarker(line, fMarker)) break;
        L.Send(QStringLiteral("Discarded: ") + QString::fromLatin1(line));
    }
    L.Send(QStringLiteral("In step again"));
    fMarker = 0;
    fInStep = true;
    reader.Clear();
    device.DiscardInput();
    return {};
}

TSerialResponse TSerialPort::SendData(const std::uint8_t* Data, std::uint32_t dataSize,
                                      bool WaitForResponse)
{
    TSerialResponse result;
    result.Status = StatusUnknown;
    result.ResponseLength = 0;

    TSerialDevice device(LineSettingsOf(*this));
    fPortUnavailable = !device.OpenExclusive();
    if (fPortUnavailable) {
        result.Status = StatusPortInUse;
        return result;
    }
    // Binary traffic may leave anything on the line.
    fInStep = false;
    const QByteArray message(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(dataSize));
    if (!device.Write(message).Accepted) {
        result.Status = StatusWriteFailed;
        return result;
    }
    if (!WaitForResponse) {
        result.Response.clear();
        result.Status.clear();
        return result;
    }

    QThread::msleep(WindowsReadLoopTimeoutMS);
    const TWaitOutcome waited = device.WaitForData(QDeadlineTimer(ReadoutTimeoutMS), {});
    if (waited != TWaitOutcome::DataAvailable) {
        result.Status = waited == TWaitOutcome::TimedOut ? StatusTimeout : StatusReadFailed;
        return result;
    }
    QByteArray raw;
    if (!device.ReadUntilQuiet(MaxDataReplyBytes, raw)) {
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
