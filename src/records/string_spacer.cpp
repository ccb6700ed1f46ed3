#include "records/string_spacer.h"

namespace oxtiva
{

QString StringSpacer(int aWidth, const QString& aText, bool aRight)
{
    if (aWidth <= 0) return {};
    const QString blanks(aWidth, QLatin1Char(' '));
    return aRight ? (blanks + aText).right(aWidth) : (aText + blanks).left(aWidth);
}

} // namespace oxtiva
