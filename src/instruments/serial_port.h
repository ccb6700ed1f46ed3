#pragma once

#include "instruments/reply_shape.h"
#include "records/logging.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <array>
#include <cstdint>
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

// One SCPI exchange per call over an RS-232 port: open exclusively, configure, write,
// optionally wait for and read the reply, close. Nothing stays open between exchanges,
// so a validation and a worker thread may name the same port; whichever opens second
// fails with "Failed to setup Com port, port in use". One object is used by one thread
// at a time.
//
// Every reply belongs to its command. A reply is the line up to its terminator; a pause
// inside it does not end it, and one that has not ended by its deadline fails the
// exchange. After an exchange that may have left a reply on its way (a time-out, a cut
// reply, a reply of the wrong shape) the line is out of step, and before its next query
// the object marks its place: it sets the instrument's event status enable register to
// a value of its own and asks for it back together with the identification
// ("*ESE 37;*ESE?;*IDN?"), discards every line until that answer ("37;...") has come,
// and only then sends the query. The instrument answers in order, so nothing older can
// follow. When the answer does not come in time the query is not sent and the exchange
// fails; the next one waits on for the same answer, and after a while asks anew. A new
// object does not know what the line holds and starts out of step.
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
    // The last exchange found no port to open: absent, or held by somebody else.
    bool PortUnavailable() const { return fPortUnavailable; }

    TLogger L{QStringLiteral("Serial Port")};

  private:
    TSerialResponse Exchange(const QByteArray& aMessage,
                             const std::optional<TReplyShape>& expected);
    QByteArray Resynchronise(TSerialDevice& device, TReplyReader& reader);
    void ReadReply(TReplyReader& reader, const TReplyShape& expected, TSerialResponse& result);
    qint64 ReplyAllowanceMs() const;

    bool fDebug = false;
    bool fInStep = false;
    bool fPortUnavailable = false;
    int fMarker = 0;          // the value of the place mark on its way; 0: none
    QElapsedTimer fMarkerAge; // since the place mark was sent
    int fLastMarker = 0;
};

// Removes leading and trailing characters with codes 0 to 32, which takes the CR/LF that
// ends a reply along with any blanks.
QByteArray TrimControlCharacters(const QByteArray& text);

} // namespace oxtiva
