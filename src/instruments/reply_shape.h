#pragma once

#include <QByteArray>

namespace oxtiva
{

// What the reply to a query must look like to answer it. A reply of another shape
// answers some other command (a reading where "*IDN?" text is due, one number where the
// SourceMeter gives two), so the exchange that receives it fails.
class TReplyShape
{
  public:
    static TReplyShape Any();              // any line
    static TReplyShape Numbers(int count); // count numbers, separated as readings are
    static TReplyShape Identity();         // identification text: not numbers alone
    static TReplyShape Flag();             // "0" or "1"

    // reply is trimmed of its terminator and surrounding blanks.
    bool Fits(const QByteArray& reply) const;
    // Whether the reply is a reading: numbers only.
    bool IsReading() const { return fKind == TKind::Numbers; }

  private:
    enum class TKind { Any, Numbers, Identity, Flag };
    TReplyShape(TKind kind, int count) : fKind(kind), fCount(count) {}

    TKind fKind;
    int fCount;
};

} // namespace oxtiva
