#include "instruments/serial_device.h"

#include <algorithm>

#include <windows.h>

namespace oxtiva
{

namespace
{

constexpr DWORD QueueBytes = 4096;
// A binary reply that pauses this long is complete.
constexpr DWORD QuietLineMS = 20;

HANDLE AsHandle(void* handle)
{
    return static_cast<HANDLE>(handle);
}

const QLatin1String DevicePrefix("\\\\.\\");

// "COM10" and above open only by their device path; the path works for every port.
std::wstring DevicePath(const QString& port)
{
    return (port.startsWith(DevicePrefix) ? port : DevicePrefix + port).toStdWString();
}

// One name per port, however it was written ("com5", "\\.\COM5").
std::wstring ClaimName(const QString& port)
{
    const QString bare = port.startsWith(DevicePrefix) ? port.mid(DevicePrefix.size()) : port;
    return (QStringLiteral("Local\\Oxtiva serial port ") + bare.toUpper()).toStdWString();
}

// At most maxBytes of what the driver holds; the rest stays for the next read.
QByteArray ReadUpTo(HANDLE handle, qint64 waiting, qint64 maxBytes)
{
    const qint64 wanted = std::min(waiting, maxBytes);
    if (wanted <= 0) return {};
    QByteArray bytes(wanted, Qt::Uninitialized);
    DWORD read = 0;
    if (!::ReadFile(handle, bytes.data(), static_cast<DWORD>(wanted), &read, nullptr)) read = 0;
    bytes.truncate(read);
    return bytes;
}

} // namespace

TSerialDevice::TSerialDevice(TSerialLineSettings settings) : fSettings(std::move(settings)) {}

TSerialDevice::~TSerialDevice()
{
    Close();
}

void TSerialDevice::Close()
{
    if (fHandle) {
        Drain(QDeadlineTimer(DrainOnCloseMS));
        ::CloseHandle(AsHandle(fHandle));
    }
    if (fClaim) ::CloseHandle(AsHandle(fClaim));
    fHandle = nullptr;
    fClaim = nullptr;
}

bool TSerialDevice::IsOpen() const
{
    return fHandle != nullptr;
}

bool TSerialDevice::DeviceLost() const
{
    return BytesWaiting() < 0;
}

// Windows' serial driver refuses a second open of a COM port, but Wine's mapping of a
// Linux tty does not. A named mutex that exists only while some device holds the port
// refuses the second opener in this process and in any other of the session on both.
bool TSerialDevice::ClaimPort()
{
    const HANDLE claim = ::CreateMutexW(nullptr, FALSE, ClaimName(fSettings.Port).c_str());
    if (!claim) return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(claim);
        return false;
    }
    fClaim = claim;
    return true;
}

bool TSerialDevice::OpenExclusive()
{
    if (fSettings.Port.isEmpty() || fHandle || !ClaimPort()) return false;
    // No share mode: Windows' driver refuses every further open until this handle closes.
    const HANDLE handle =
        ::CreateFileW(DevicePath(fSettings.Port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Close();
        return false;
    }
    fHandle = handle;
    if (!ApplyLineSettings()) {
        Close();
        return false;
    }
    // Modem lines are a courtesy to adapters that want them; a pseudo-terminal behind
    // Wine has none, so refusing them is no reason to give up the exchange.
    ::EscapeCommFunction(handle, SETDTR);
    ::EscapeCommFunction(handle, SETRTS);
    // Bytes waiting from before this command (a reply that came after its caller gave
    // up, the LF behind a CR) would otherwise be taken for this command's reply.
    DiscardInput();
    return true;
}

bool TSerialDevice::ApplyLineSettings()
{
    const HANDLE handle = AsHandle(fHandle);
    ::SetupComm(handle, QueueBytes, QueueBytes);
    DCB line{};
    line.DCBlength = sizeof(line);
    if (!::GetCommState(handle, &line)) return false;
    line.BaudRate = static_cast<DWORD>(fSettings.BaudRate);
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_DISABLE;
    line.fRtsControl = RTS_CONTROL_DISABLE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fNull = FALSE;
    line.fAbortOnError = FALSE;
    if (!::SetCommState(handle, &line)) return false;
    // Reads return at once with what has come; a write may take 10 ms per byte plus a
    // second, the allowance Write promises.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 1000;
    return ::SetCommTimeouts(handle, &timeouts) != 0;
}

qint64 TSerialDevice::BytesWaiting() const
{
    if (!fHandle) return -1;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(AsHandle(fHandle), &errors, &status)) return -1;
    return status.cbInQue;
}

TWriteOutcome TSerialDevice::Write(const QByteArray& data)
{
    TWriteOutcome outcome;
    if (!fHandle) return outcome;
    const HANDLE handle = AsHandle(fHandle);
    DWORD written = 0;
    const bool done =
        ::WriteFile(handle, data.constData(), static_cast<DWORD>(data.size()), &written, nullptr);
    outcome.Written = written;
    outcome.Accepted = done && written == static_cast<DWORD>(data.size());
    // A command cut short by the write time-out must not go out later as the head of the
    // next one.
    if (!outcome.Accepted) ::PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
    return outcome;
}

// Polls the driver's queue instead of calling FlushFileBuffers, which waits on the
// transmitter without a deadline, as tcdrain does on Unix.
bool TSerialDevice::Drain(const QDeadlineTimer& deadline)
{
    if (!fHandle) return true;
    const HANDLE handle = AsHandle(fHandle);
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle, &errors, &status)) return false;
        if (status.cbOutQue == 0) return true;
        if (deadline.hasExpired()) {
            ::PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
            return false;
        }
        // About the time the queued bytes take on the wire, in short steps.
        const qint64 wireMs = 10LL * status.cbOutQue * 1000 / std::max(fSettings.BaudRate, 1);
        ::Sleep(static_cast<DWORD>(std::clamp<qint64>(wireMs, 1, 20)));
    }
}

TWaitOutcome TSerialDevice::WaitForData(const QDeadlineTimer& deadline, const TWaitReport& report)
{
    qint64 waiting = BytesWaiting();
    if (waiting < 0) return TWaitOutcome::Failed;
    while (waiting == 0 && !deadline.hasExpired()) {
        const qint64 slice = std::min<qint64>(std::max<std::uint32_t>(fSettings.PollSliceMS, 1),
                                              deadline.remainingTime());
        ::Sleep(static_cast<DWORD>(std::max<qint64>(slice, 1)));
        waiting = BytesWaiting();
        if (waiting < 0) return TWaitOutcome::Failed;
        if (report) report(deadline.hasExpired(), waiting > 0);
    }
    return waiting > 0 ? TWaitOutcome::DataAvailable : TWaitOutcome::TimedOut;
}

QByteArray TSerialDevice::ReadAvailable()
{
    const qint64 waiting = BytesWaiting();
    return waiting > 0 ? ReadUpTo(AsHandle(fHandle), waiting, waiting) : QByteArray();
}

bool TSerialDevice::InputWaiting()
{
    return BytesWaiting() > 0;
}

void TSerialDevice::DiscardInput()
{
    if (fHandle) ::PurgeComm(AsHandle(fHandle), PURGE_RXABORT | PURGE_RXCLEAR);
}

bool TSerialDevice::ReadUntilQuiet(int maxBytes, QByteArray& reply)
{
    reply.clear();
    for (;;) {
        reply += ReadUpTo(AsHandle(fHandle), std::max<qint64>(BytesWaiting(), 0),
                          maxBytes - reply.size());
        if (reply.size() >= maxBytes) return true;
        ::Sleep(QuietLineMS);
        const qint64 waiting = BytesWaiting();
        if (waiting < 0) return !reply.isEmpty();
        if (waiting == 0) return true;
    }
}

} // namespace oxtiva
