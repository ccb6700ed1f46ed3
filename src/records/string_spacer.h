#pragma once

#include <QString>

namespace oxtiva
{

// Exactly aWidth characters: left-aligned text padded or cut on the right, or with
// aRight, right-aligned text padded on the left and cut from the left. A width of 0 or
// less gives an empty text.
QString StringSpacer(int aWidth, const QString& aText, bool aRight);

} // namespace oxtiva
