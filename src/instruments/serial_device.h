#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>
#ifndef Q_OS_WIN
#include <QSerialPort>
#endif

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

struct TWriteOutcome {
    bool Accepted = false; // false: the device refused the data
    qint64 Written = 0;
    bool Drained = false; // false: what had not left in time was discarded
};

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

    // Writes everything and waits until it has left the port, allowing 10 ms per byte
    // plus one second for both: closing the port puts back the line settings it had
    // before, and bytes still queued would leave at the old speed as garbage.
    TWriteOutcome Write(const QByteArray& data);

    // Waits until bytes are there to read or the deadline has passed. Polls in slices of
    // at most PollSliceMS, returning as soon as a byte arrives; report (may be empty) is
    // told after each slice whether the time is up and whether data came.
    using TWaitReport = std::function<void(bool timedOut, bool dataAvailable)>;
    TWaitOutcome WaitForData(const QDeadlineTimer& deadline, const TWaitReport& report);
    QByteArray ReadAvailable();
    void DiscardInput();

    // For binary exchanges, which carry no terminator: reads up to maxBytes until the
    // line has been quiet for 20 ms. False when the device failed before any byte.
    bool ReadUntilQuiet(int maxBytes, QByteArray& reply);

    void Close();

  private:
#ifdef Q_OS_WIN
    // The Win32 calls directly (serial_device_windows.cpp): the line as the Windows
    // driver, or Wine's mapping of a COM port, gives it, with no event loop in between.
    bool ClaimPort();
    bool ApplyLineSettings();
    qint64 BytesWaiting() const; // -1 when the device failed

    TSerialLineSettings fSettings;
    void* fClaim = nullptr;  // a named mutex per port, held while the port is open
    void* fHandle = nullptr; // the open COM port's HANDLE, none while closed
#else
    void ChooseLineSettings();
    bool TakeExclusiveLock();
    bool DeviceLost() const;
    bool DrainOutput(qint64 allowedMs, const QElapsedTimer& clock);

    TSerialLineSettings fSettings;
    QSerialPort fPort;
#endif
};

} // namespace oxtiva
