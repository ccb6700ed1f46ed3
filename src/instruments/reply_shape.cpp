#include "instruments/reply_shape.h"

#include "instruments/smu_commands.h"
#include "records/number_format.h"

#include <QList>

#include <algorithm>

namespace oxtiva
{

namespace
{

bool AllNumbers(const QList<QByteArray>& fields)
{
    return !fields.isEmpty() &&
           std::all_of(fields.cbegin(), fields.cend(), [](const QByteArray& f) {
               double value = 0;
               return ParseScpiDouble(QString::fromLatin1(f), value);
           });
}

} // namespace

TReplyShape TReplyShape::Any()
{
    return {TKind::Any, 0};
}

TReplyShape TReplyShape::Numbers(int count)
{
    return {TKind::Numbers, count};
}

TReplyShape TReplyShape::Identity()
{
    return {TKind::Identity, 0};
}

TReplyShape TReplyShape::Flag()
{
    return {TKind::Flag, 0};
}

bool TReplyShape::Fits(const QByteArray& reply) const
{
    switch (fKind) {
    case TKind::Any:
        return true;
    case TKind::Numbers: {
        const QList<QByteArray> fields = SplitReadingFields(reply);
        return fields.size() == fCount && AllNumbers(fields);
    }
    case TKind::Identity:
        return !reply.isEmpty() && !AllNumbers(SplitReadingFields(reply));
    case TKind::Flag:
        return reply == "0" || reply == "1";
    }
    return false;
}

} // namespace oxtiva
