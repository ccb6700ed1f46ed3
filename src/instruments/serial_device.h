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
    bool Accepted = false; // false: the device refused the data, or not all of it left
    qint64 Written = 0;
};

// A serial device held open by one owner for as long as it likes; the destructor closes
// it, so every path that opened it also closes it.
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

    // Writes everything and waits until the driver has taken it, allowing 10 ms per byte
    // plus one second. The line keeps its settings while the device stays open, so the
    // bytes may still be on their way in the driver when this returns.
    TWriteOutcome Write(const QByteArray& data);

    // Waits until what was written has left the port, for at most the deadline; what has
    // not left by then is discarded, so that it cannot go out later at another speed.
    // Needed where the line's settings change or the device closes. Never blocks in the
    // driver: an adapter that does not report its transmitter empty cannot hold it up.
    bool Drain(const QDeadlineTimer& deadline);

    // Waits until bytes are there to read or the deadline has passed. Polls in slices of
    // at most PollSliceMS, returning as soon as a byte arrives; report (may be empty) is
    // told after each slice whether the time is up and whether data came.
    using TWaitReport = std::function<void(bool timedOut, bool dataAvailable)>;
    TWaitOutcome WaitForData(const QDeadlineTimer& deadline, const TWaitReport& report);
    QByteArray ReadAvailable();
    // Whether bytes have come that nobody has read yet; does not wait.
    bool InputWaiting();
    void DiscardInput();

    // For binary exchanges, which carry no terminator: reads up to maxBytes until the
    // line has been quiet for 20 ms. False when the device failed before any byte.
    bool ReadUntilQuiet(int maxBytes, QByteArray& reply);

    // Drains for at most DrainOnCloseMS, then closes.
    void Close();
    bool IsOpen() const;
    // The device has failed under its owner (unplugged adapter, read or resource error).
    bool DeviceLost() const;

    static constexpr int DrainOnCloseMS = 500;

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

    TSerialLineSettings fSettings;
    QSerialPort fPort;
#endif
};

} // namespace oxtiva
