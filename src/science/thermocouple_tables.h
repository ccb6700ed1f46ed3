#pragma once

#include "science/thermocouples.h"

#include <span>

// Constant tables of the thermocouple conversions: EMF limits, the inverse polynomials of
// J, K, E, T, S, R, N and B, and the rational fits of the tungsten-rhenium types C, D and G.
// Every polynomial is stored highest power first, as EvalPolynomial expects.
namespace oxtiva::thermocouple_tables
{

// Inclusive EMF limits in microvolts; Message is null for the types whose conversion accepts any
// EMF (K and S).
struct TEmfRange {
    double Lower;
    double Upper;
    const char* Message;
};

// Indexed by the ordinals tcJ to tcG.
extern const TEmfRange EmfRanges[11];

// One polynomial of a type, used from From (µV, inclusive) up to the next piece's From.
struct TPolynomialPiece {
    double From;
    std::span<const double> Coefficients;
};

// A rational fit 100 × N(y) / D(y) of a tungsten-rhenium type, used from From (µV) upward.
struct TRationalFit {
    double From;
    std::span<const double> Numerator;
    std::span<const double> Denominator;
};

// The pieces of a type in ascending order; the first starts at minus infinity.
std::span<const TPolynomialPiece> InversePolynomials(TThermocoupleType type); // tcJ .. tcB
std::span<const TRationalFit> RationalFits(TThermocoupleType type);           // tcC .. tcG

} // namespace oxtiva::thermocouple_tables
