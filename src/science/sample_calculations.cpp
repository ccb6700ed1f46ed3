#include "science/sample_calculations.h"

namespace oxtiva
{

TSampleResults SampleCalculations(double m0, double d, double M0, double b0, double Vhpws)
{
    TSampleResults r{};
    // Grams over g/cm^3 give cm^3; a thousand of them make a litre.
    r.Vs = d > 0 ? m0 / (d * 1000.0) : 0.0;
    r.n0 = M0 > 0 ? m0 / M0 : 0.0;
    r.nO0 = r.n0 * b0;
    r.mO0 = r.nO0 * OxygenMolarMass;
    r.mM = m0 - r.mO0;
    r.Vhp = Vhpws - r.Vs;
    return r;
}

} // namespace oxtiva
