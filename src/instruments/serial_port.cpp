#include "instruments/serial_port.h"

#include "instruments/reply_reader.h"
#include "instruments/serial_device.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cmath>

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

// The leading terminator ends a command that a failed send may have left half written.
// A rider, a query of its own, goes in the same line: its reply comes in the mark's.
QByteArray MarkerQuery(int marker, const QByteArray& rider)
{
    return "\r*ESE?;*ESE " + QByteArray::number(marker) + ";*ESE?;*IDN?" +
           (rider.isEmpty() ? QByteArray() : ";" + rider) + "\r";
}

// A reading rides in the mark's line, so that a line that has just lost a reply is back
// in step with a reading after one exchange instead of two: each reply the line carries
// may be lost again. The reading's reply is then tied to the mark that proves it is this
// line's. Only a single line without a terminator of its own inside can ride.
QByteArray RiderOf(const QByteArray& message, const TReplyShape& expected)
{
    if (!expected.IsReading()) return {};
    QByteArray body = message;
    while (!body.isEmpty() && (body.back() == '\r' || body.back() == '\n'))
        body.chop(1);
    if (body.contains('\r') || body.contains('\n')) return {};
    return body;
}

// What follows the mark's three answers in its line: the rider's reply.
QByteArray RiderReply(const QByteArray& line)
{
    const QList<QByteArray> fields = line.split(';');
    return fields.size() > 3 ? fields.mid(3).join(';') : QByteArray();
}

std::optional<int> RegisterValue(const QByteArray& field)
{
    bool ok = false;
    const double value = TrimControlCharacters(field).toDouble(&ok);
    if (!ok || value != std::floor(value) || value < 0 || value > HighestMarker)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

std::optional<int> MarkAnswerFoundValue(const QByteArray& line, int marker)
{
    const QList<QByteArray> fields = line.split(';');
    if (fields.size() < 3 || RegisterValue(fields[1]) != marker) return std::nullopt;
    return RegisterValue(fields[0]);
}

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

TSerialPort::~TSerialPort()
{
    Close();
}

bool TSerialPort::IsOpen() const
{
    return fDevice != nullptr;
}

void TSerialPort::Close()
{
    fReader.reset();
    fDevice.reset(); // drains within its bound and closes
    fInStep = false;
}

// Opens the port at the first exchange, and again when its name or speed has changed
// or it failed before. A freshly opened line may hold anything: out of step.
bool TSerialPort::EnsureOpen()
{
    if (fDevice && (fOpenPort != Port || fOpenBaudRate != BaudRate)) Close();
    if (fDevice) return true;
    auto device = std::make_unique<TSerialDevice>(LineSettingsOf(*this));
    if (!device->OpenExclusive()) return false;
    fDevice = std::move(device);
    fReader = std::make_unique<TReplyReader>(*fDevice);
    fOpenPort = Port;
    fOpenBaudRate = BaudRate;
    fInStep = false;
    return true;
}

// A device that failed under an exchange is let go; its owner pauses and the next
// exchange opens it anew. One that only timed out stays held.
void TSerialPort::DropFailedDevice()
{
    if (!fDevice || !fDevice->DeviceLost()) return;
    L.Send(QStringLiteral("The port failed and is closed"));
    Close();
    fPortUnavailable = true;
}

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
        DropFailedDevice();
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    };

    fPortUnavailable = !EnsureOpen();
    if (fPortUnavailable) {
        result.Status = StatusPortInUse;
        L.ExitMethod(QStringLiteral("Send2"));
        return result;
    }
    // Nothing was asked, so whatever waits answers nothing this object knows of.
    if (fInStep && (fReader->HasMore() || fDevice->InputWaiting())) {
        L.Send(QStringLiteral("Bytes came unasked; out of step"));
        fInStep = false;
    }
    if (expected && !fInStep) {
        const QByteArray rider = RiderOf(aMessage, *expected);
        QByteArray riderReply;
        result.Status = Resynchronise(rider, riderReply);
        if (!result.Status.isEmpty()) return finish();
        if (!rider.isEmpty()) {
            TakeReply(riderReply, *expected, result);
            return finish();
        }
    }
    const TWriteOutcome written = fDevice->Write(aMessage);
    if (!written.Accepted) {
        // A command cut off on its way may still draw a reply, or join the next one.
        fInStep = false;
        result.Status = StatusWriteFailed;
        return finish();
    }
    L.SendValue(QStringLiteral("Bytes written: "), static_cast<double>(written.Written));
    L.Send(QStringLiteral("As string    : ") +
           QString::fromLatin1(TrimControlCharacters(aMessage)));

    if (!expected) {
        L.Send(QStringLiteral("Exit read/write without waiting for reply"));
        return finish();
    }
    ReadReply(*expected, result);
    return finish();
}

void TSerialPort::ReadReply(const TReplyShape& expected, TSerialResponse& result)
{
    L.Send(QStringLiteral("Waiting for reply"));
    const auto report = [this](bool timedOut, bool available) {
        L.Send(QStringLiteral("Waiting for data from que. Timeout=") + TrueFalse(timedOut) +
               QStringLiteral(" DataAvailable=") + TrueFalse(available));
    };
    QByteArray line;
    const auto outcome =
        fReader->ReadLine(QDeadlineTimer(ReadoutTimeoutMS), ReplyAllowanceMs(),
                          PauseInsideReplyMS, line, report);
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
    TakeReply(line, expected, result);
}

void TSerialPort::TakeReply(const QByteArray& line, const TReplyShape& expected,
                            TSerialResponse& result)
{
    fInStep = false;
    result.Response = TrimControlCharacters(line);
    L.Send(QStringLiteral("Response: ") + QString::fromLatin1(result.Response));
    if (!expected.Fits(result.Response)) {
        result.Status = StatusWrongShape;
        return;
    }
    // Bytes behind the reply answer nothing that was asked; the next query resynchronises.
    fInStep = !fReader->HasMore();
}

// One attempt to mark the line's place, with a mark of its own: an answer to an earlier
// attempt may come late, but never matches. Returns the status of a failed exchange, or
// nothing once the line is in step.
QByteArray TSerialPort::Resynchronise(const QByteArray& rider, QByteArray& riderReply)
{
    fLastMarker = fLastMarker >= HighestMarker ? LowestMarker : fLastMarker + 1;
    const int marker = fLastMarker;
    const QByteArray query = MarkerQuery(marker, rider);
    L.Send(QStringLiteral("Out of step; marking the place with ") +
           QString::fromLatin1(TrimControlCharacters(query)));
    // Until this attempt is answered the register may hold its mark.
    fUnansweredMarks.append(marker);
    // Answers older than these few attempts no longer come.
    if (fUnansweredMarks.size() > 8) fUnansweredMarks.removeFirst();
    if (!fDevice->Write(query).Accepted) return StatusWriteFailed;
    const QDeadlineTimer deadline(ReadoutTimeoutMS);
    QByteArray line;
    std::optional<int> found;
    while (!found) {
        const auto outcome =
            fReader->ReadLine(deadline, ReplyAllowanceMs(), PauseInsideReplyMS, line);
        if (outcome == TReplyReader::TOutcome::Failed) return StatusReadFailed;
        if (outcome != TReplyReader::TOutcome::Line) return StatusTimeout;
        line = TrimControlCharacters(line);
        found = MarkAnswerFoundValue(line, marker);
        if (found) break;
        L.Send(QStringLiteral("Discarded: ") + QString::fromLatin1(line));
        for (int earlier : fUnansweredMarks)
            if (auto value = MarkAnswerFoundValue(line, earlier)) NoteRegisterFound(*value);
    }
    L.Send(QStringLiteral("In step again"));
    NoteRegisterFound(*found);
    fUnansweredMarks.clear();
    RestoreEventStatusEnable(fRegisterFound.value_or(0));
    if (!rider.isEmpty()) {
        riderReply = RiderReply(line);
        return {};
    }
    // Nothing can follow the mark's answer but what is asked next.
    fInStep = !fReader->HasMore() && !fDevice->InputWaiting();
    return fInStep ? QByteArray() : StatusWrongShape;
}

// A value found in the register is the instrument's own unless it is one of the marks
// whose answers were lost.
void TSerialPort::NoteRegisterFound(int value)
{
    if (!fUnansweredMarks.contains(value)) fRegisterFound = value;
}

// The register is the instrument's, not this program's; the value it held before the
// marks goes back. When every answer that told it was lost, the power-on value 0 does.
void TSerialPort::RestoreEventStatusEnable(int value)
{
    fDevice->Write("*ESE " + QByteArray::number(value) + "\r");
}

TSerialResponse TSerialPort::SendData(const std::uint8_t* Data, std::uint32_t dataSize,
                                      bool WaitForResponse)
{
    TSerialResponse result;
    result.Status = StatusUnknown;
    result.ResponseLength = 0;

    fPortUnavailable = !EnsureOpen();
    if (fPortUnavailable) {
        result.Status = StatusPortInUse;
        return result;
    }
    TSerialDevice& device = *fDevice;
    // Binary traffic may leave anything on the line.
    fInStep = false;
    fReader->Clear();
    device.DiscardInput();
    const QByteArray message(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(dataSize));
    if (!device.Write(message).Accepted) {
        DropFailedDevice();
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
        DropFailedDevice();
        return result;
    }
    QByteArray raw;
    if (!device.ReadUntilQuiet(MaxDataReplyBytes, raw)) {
        result.Status = StatusReadFailed;
        DropFailedDevice();
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
