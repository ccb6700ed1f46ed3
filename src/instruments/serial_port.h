#pragma once

#include "records/logging.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

class QSerialPort;

namespace oxtiva
{

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
    // The reply ended with its line terminator rather than by the line falling quiet; a
    // reading cut short (a lost byte, a dropped connection) can still look like a number.
    bool Terminated = false;
};

// One SCPI exchange per call over an RS-232 port: open exclusively, configure, write,
// optionally wait for and read the reply, close. Nothing stays open between exchanges,
// so a validation and a worker thread may name the same port; whichever opens second
// fails with "Failed to setup Com port, port in use". One object is used by one thread
// at a time.
class TSerialPort
{
  public:
    TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    bool Debug() const { return fDebug; }
    void SetDebug(bool newValue); // also switches the logger

    // "COM3" on Windows; "ttyUSB0", "/dev/ttyUSB0" or a symlink to a tty elsewhere.
    QString Port;
    std::uint32_t WindowsReadLoopTimeoutMS = 10; // longest single poll of the reply wait
    std::uint32_t ReadoutTimeoutMS = 500;        // time allowed for the first reply byte
    std::int32_t BaudRate = 57600;

    // The message carries its own terminator ("\r" for every SCPI command here).
    TSerialResponse Send2(const QByteArray& aMessage, bool WaitForResponse);
    TSerialResponse Send2(const QString& aMessage, bool WaitForResponse);
    QByteArray Send(const QByteArray& aMessage, bool WaitForResponse);
    QByteArray Send(const QString& aMessage, bool WaitForResponse);

    // Raw binary exchange: up to 256 reply bytes land untrimmed in rArray and Response.
    TSerialResponse SendData(const std::uint8_t* Data, std::uint32_t dataSize,
                             bool WaitForResponse);

    TLogger L{QStringLiteral("Serial Port")};

  private:
    bool fDebug = false;
};

// Removes leading and trailing characters with codes 0 to 32, which takes the CR/LF that
// ends a reply along with any blanks.
QByteArray TrimControlCharacters(const QByteArray& text);

// True once a reply holds a line end (CR or LF) after at least one other character, so
// the read need not wait for the line to fall quiet.
bool HasReplyTerminator(const QByteArray& received);

} // namespace oxtiva
