#pragma once

#include "instruments/reply_shape.h"
#include "records/logging.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace oxtiva
{

class TReplyReader;
class TSerialDevice;

// The outcome of one exchange. An empty Status means success; callers count an exchange
// as good only when Status is empty and Response is not.
struct TSerialResponse {
    QByteArray SentMessage;
    QByteArray Response;
    double rDouble = 0;
    std::array<std::uint8_t, 256> rArray{};
    std::array<std::uint8_t, 32> WordArray{};
    std::int32_t ValueOfFirstWord = 0;
    QByteArray Status;
    std::uint8_t ResponseLength = 0;
    QByteArray AsHex;
    QByteArray AsInt;
    float AsFloat = 0;
    std::int32_t AsInteger = 0;
    QByteArray AsString;
};

// SCPI exchanges over an RS-232 port that the object opens exclusively at its first
// exchange and holds until Close or its destruction, so that nobody else (a terminal, a
// second Oxtiva, a modem manager probing the adapter) can talk to the instrument between
// two exchanges. A port that fails under it (adapter unplugged, read or resource error)
// is closed and opened again at the next exchange; a port that cannot be opened fails
// the exchange with "Failed to setup Com port, port in use". One object is used by one
// thread at a time.
//
// Every reply belongs to its command. A reply is the line up to its terminator; a pause
// inside it does not end it, and one that has not ended by its deadline fails the
// exchange. After an exchange that may have left a reply on its way (a time-out, a cut
// reply, a reply of the wrong shape, a send that failed or was cut, bytes that came
// unasked) the line is out of step, and before its next query the object marks its
// place: after a terminator that ends any half command it reads the instrument's event
// status enable register, sets it to a mark of its own and asks for both back with the
// identification ("*ESE?;*ESE n;*ESE?;*IDN?"). It discards every line until the answer
// whose second field is n as a number, puts the register back as it found it, and only
// then sends the query. The instrument answers in order, so nothing older can follow.
// A reading rides in the mark's own line instead ("...;*IDN?;:READ?"), its reply after the
// mark's answers. Each attempt has a fresh mark and the readout time; when it fails the
// query is not sent and the exchange fails. A freshly opened port starts out of step.
class TSerialPort
{
  public:
    TSerialPort();
    ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    bool Debug() const { return fDebug; }
    void SetDebug(bool newValue); // also switches the logger

    // "COM3" on Windows; "ttyUSB0", "/dev/ttyUSB0" or a symlink to a tty elsewhere.
    QString Port;
    std::uint32_t WindowsReadLoopTimeoutMS = 10; // longest single poll of the reply wait
    std::uint32_t ReadoutTimeoutMS = 500;        // time allowed for the first reply byte
    std::int32_t BaudRate = 57600;

    // The message carries its own terminator ("\r" for every SCPI command here). Waiting
    // for a response accepts a reply of any shape.
    TSerialResponse Send2(const QByteArray& aMessage, bool WaitForResponse);
    TSerialResponse Send2(const QString& aMessage, bool WaitForResponse);
    // A query whose reply must have the expected shape.
    TSerialResponse Send2(const QByteArray& aMessage, const TReplyShape& expected);
    QByteArray Send(const QByteArray& aMessage, bool WaitForResponse);
    QByteArray Send(const QString& aMessage, bool WaitForResponse);

    // Raw binary exchange: up to 256 reply bytes land untrimmed in rArray and Response.
    // Binary replies have no terminator, so the read ends when the line falls quiet.
    TSerialResponse SendData(const std::uint8_t* Data, std::uint32_t dataSize,
                             bool WaitForResponse);

    // Whether nothing but the next query's reply can be on its way.
    bool InStep() const { return fInStep; }
    // The last exchange found no port to open (absent, or held by somebody else), or the
    // port failed under it; its owner waits a while before the next attempt.
    bool PortUnavailable() const { return fPortUnavailable; }
    bool IsOpen() const;
    // Lets the port go (after a bounded drain); the next exchange opens it again.
    void Close();

    TLogger L{QStringLiteral("Serial Port")};

  private:
    TSerialResponse Exchange(const QByteArray& aMessage,
                             const std::optional<TReplyShape>& expected);
    bool EnsureOpen();
    void DropFailedDevice();
    QByteArray Resynchronise(const QByteArray& rider, QByteArray& riderReply);
    void TakeReply(const QByteArray& line, const TReplyShape& expected, TSerialResponse& result);
    void NoteRegisterFound(int value);
    void RestoreEventStatusEnable(int value);
    void ReadReply(const TReplyShape& expected, TSerialResponse& result);
    qint64 ReplyAllowanceMs() const;

    bool fDebug = false;
    bool fInStep = false;
    bool fPortUnavailable = false;
    int fLastMarker = 0;
    QList<int> fUnansweredMarks;       // sent since the line was last in step
    std::optional<int> fRegisterFound; // the register's value before this object's marks
    std::unique_ptr<TSerialDevice> fDevice;
    std::unique_ptr<TReplyReader> fReader;
    QString fOpenPort; // the settings the device was opened with
    std::int32_t fOpenBaudRate = 0;
};

// The place mark's answer "old;mark;identification": the value found in the register
// before the mark, when the second field is the mark as a number ("+37", "037").
std::optional<int> MarkAnswerFoundValue(const QByteArray& line, int marker);

// Removes leading and trailing characters with codes 0 to 32, which takes the CR/LF that
// ends a reply along with any blanks.
QByteArray TrimControlCharacters(const QByteArray& text);

} // namespace oxtiva
