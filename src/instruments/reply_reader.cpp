#include "instruments/reply_reader.h"

#include <QElapsedTimer>

#include <algorithm>

namespace oxtiva
{

namespace
{

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

void TReplyReader::DropLeadingLineEnds()
{
    qsizetype first = 0;
    while (first < fBuffer.size() && IsLineEnd(fBuffer[first]))
        ++first;
    fBuffer.remove(0, first);
}

bool TReplyReader::TakeLine(QByteArray& line)
{
    DropLeadingLineEnds();
    const auto end = std::find_if(fBuffer.cbegin(), fBuffer.cend(), IsLineEnd);
    if (end == fBuffer.cend()) return false;
    const qsizetype length = end - fBuffer.cbegin();
    line = fBuffer.left(length);
    fBuffer.remove(0, length);
    DropLeadingLineEnds();
    return true;
}

TReplyReader::TOutcome TReplyReader::ReadLine(const QDeadlineTimer& firstByte, qint64 allowanceMs,
                                              qint64 quietMs, QByteArray& line,
                                              const TSerialDevice::TWaitReport& report)
{
    line.clear();
    if (TakeLine(line)) return TOutcome::Line;
    // Leading line ends are no reply; wait on for the first byte that is.
    while (fBuffer.isEmpty()) {
        const TWaitOutcome waited = fDevice.WaitForData(firstByte, report);
        if (waited == TWaitOutcome::Failed) return TOutcome::Failed;
        if (waited == TWaitOutcome::TimedOut) return TOutcome::NoReply;
        fBuffer += fDevice.ReadAvailable();
        if (TakeLine(line)) return TOutcome::Line;
    }
    QDeadlineTimer lineDeadline(allowanceMs);
    if (firstByte.deadlineNSecs() > lineDeadline.deadlineNSecs()) lineDeadline = firstByte;
    for (;;) {
        QDeadlineTimer quiet(quietMs);
        if (quiet.deadlineNSecs() > lineDeadline.deadlineNSecs()) quiet = lineDeadline;
        const TWaitOutcome waited = fDevice.WaitForData(quiet, {});
        if (waited == TWaitOutcome::Failed) return TOutcome::Failed;
        if (waited == TWaitOutcome::TimedOut) {
            line = fBuffer;
            fBuffer.clear();
            return TOutcome::Cut;
        }
        fBuffer += fDevice.ReadAvailable();
        if (TakeLine(line)) return TOutcome::Line;
    }
}

} // namespace oxtiva
