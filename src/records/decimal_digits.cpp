#include "records/decimal_digits.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace oxtiva
{

TDecimalDigits TDecimalDigits::Of(double value)
{
    TDecimalDigits d;
    d.Negative = std::signbit(value);
    if (value == 0 || !std::isfinite(value)) return d;
    // glibc prints the exact binary value; 80 digits hold every digit that can decide a
    // rounding of the at most 17 digits any pattern keeps.
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%.79e", std::fabs(value));
    const std::string text(buffer);
    const auto e = text.find('e');
    d.Digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.Exp10 = std::atoi(text.c_str() + e + 1) + 1;
    d.TrimTrailingZeros();
    return d;
}

void TDecimalDigits::RoundToDigits(int count)
{
    if (IsZero() || count >= static_cast<int>(Digits.size())) return;
    if (count < 0) {
        Digits.clear();
        return;
    }
    const bool up = Digits[static_cast<std::size_t>(count)] >= '5';
    Digits.resize(static_cast<std::size_t>(count));
    if (up) {
        int i = count - 1;
        while (i >= 0 && Digits[static_cast<std::size_t>(i)] == '9')
            Digits[static_cast<std::size_t>(i--)] = '0';
        if (i >= 0) {
            ++Digits[static_cast<std::size_t>(i)];
        } else {
            Digits.insert(Digits.begin(), '1');
            ++Exp10;
        }
    }
    TrimTrailingZeros();
}

void TDecimalDigits::TrimTrailingZeros()
{
    const auto last = Digits.find_last_not_of('0');
    Digits.resize(last == std::string::npos ? 0 : last + 1);
}

} // namespace oxtiva
