#pragma once

#include "instruments/serial_device.h"

#include <QByteArray>
#include <QDeadlineTimer>

namespace oxtiva
{

// Cuts what a serial device receives into reply lines. A line ends at CR or LF; empty
// lines (the LF of a CR LF pair, a terminator left over from an earlier reply) are
// skipped, and only a line's first other character counts as the start of a reply.
class TReplyReader
{
  public:
    explicit TReplyReader(TSerialDevice& device) : fDevice(device) {}

    enum class TOutcome {
        Line,    // a whole line, without its terminator
        NoReply, // not one byte of a reply before the deadline
        Cut,     // a reply began but fell quiet, or had no terminator by the line's deadline
        Failed,  // the device failed
    };

    // Reads the next line. Its first byte must come before firstByte; a line that has begun
    // has until the later of that deadline and allowanceMs after its first byte, so a
    // pause inside a reply does not end it, but it is cut once the line has been quiet for
    // quietMs: an instrument that stopped half-way through a reply says no more, and
    // waiting out the whole deadline for it would cost a slow instrument seconds at each
    // such reply. line receives the line, or what came of it.
    TOutcome ReadLine(const QDeadlineTimer& firstByte, qint64 allowanceMs, qint64 quietMs,
                      QByteArray& line, const TSerialDevice::TWaitReport& report = {});

    // Bytes that came after the last line read (line ends aside).
    bool HasMore() const { return !fBuffer.isEmpty(); }
    void Clear() { fBuffer.clear(); }

  private:
    bool TakeLine(QByteArray& line);
    void DropLeadingLineEnds();

    TSerialDevice& fDevice;
    QByteArray fBuffer;
};

} // namespace oxtiva
