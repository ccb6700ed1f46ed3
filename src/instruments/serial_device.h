#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <functional>

namespace oxtiva
{

struct TSerialLineSettings {
    QString Port;
    std::int32_t BaudRate = 57600;
    std::uint32_t ReadoutTimeoutMS = 500;
    std::uint32_t PollSliceMS = 10;
};

enum class TWaitOutcome { DataAvailable, TimedOut, Failed };

// A serial device held open for the span of one exchange; the destructor closes it, so
// every path that opened it also closes it.
class TSerialDevice
{
  public:
    explicit TSerialDevice(TSerialLineSettings settings);
    ~TSerialDevice();
    TSerialDevice(const TSerialDevice&) = delete;
    TSerialDevice& operator=(const TSerialDevice&) = delete;

    // Opens read/write for this object alone and applies 8N1, no flow control, DTR and
    // RTS on, the baud rate and a 4096-byte read buffer. False when the device is absent,
    // held by anybody else (this process or another) or refuses the line settings.
    bool OpenExclusive();

    // Writes everything, allowing 10 ms per byte plus one second. A write that runs out of
    // time is reported through the count only; false means the device refused the data.
    bool Write(const QByteArray& data, qint64& written);

    // Waits until the first reply byte is there or ReadoutTimeoutMS has passed on a
    // monotonic clock. Polls in slices of at most PollSliceMS, returning as soon as a byte
    // arrives; report (may be empty) is told after each slice whether the time is up and
    // whether data came.
    using TWaitReport = std::function<void(bool timedOut, bool dataAvailable)>;
    TWaitOutcome WaitForFirstByte(const TWaitReport& report);

    // Reads the reply: up to maxBytes, until a line end (when stopAtTerminator) or until
    // the line has been quiet for 20 ms. False when the device failed before any byte.
    bool ReadReply(int maxBytes, bool stopAtTerminator, QByteArray& reply);

    void Close();

  private:
    bool ApplyLineSettings();
    bool TakeExclusiveLock();
    bool DeviceLost() const;

    TSerialLineSettings fSettings;
    QSerialPort fPort;
};

} // namespace oxtiva
