#pragma once

#include <string>

namespace oxtiva
{

// A finite double as sign, decimal digits and exponent: |value| = 0.d1d2... x 10^Exp10.
// Rounding happens on these digits, half away from zero, so a printed number never
// depends on the C library's tie rule (2.5 with "0" gives 3, as operators expect).
struct TDecimalDigits {
    bool Negative = false;
    std::string Digits; // no leading zeros; empty for zero
    int Exp10 = 0;

    static TDecimalDigits Of(double value);

    bool IsZero() const { return Digits.empty(); }
    // Keeps the first count significant digits; a carry may add one to Exp10.
    void RoundToDigits(int count);
    void TrimTrailingZeros();
};

} // namespace oxtiva
