#pragma once

namespace oxtiva
{

// Quantities derived from the sample and the cell, in the units the data file records.
struct TSampleResults {
    double Vs;  // sample volume, L
    double n0;  // moles of compound, mol
    double nO0; // moles of oxygen, mol
    double mO0; // mass of oxygen, g
    double mM;  // mass of the non-oxygen part, g
    double Vhp; // gas volume of the hot part with the sample in it, L
};

// Molar mass of oxygen atoms, g/mol.
inline constexpr double OxygenMolarMass = 15.9994;

// From the sample mass m0 (g), initial density d (g/cm^3), initial molar mass M0 (g/mol), initial
// molar oxygen content b0 (mol/mol) and the hot part's gas volume without sample Vhpws (L).
// A density or molar mass of zero or below gives 0 for Vs or n0 instead of dividing by it.
TSampleResults SampleCalculations(double m0, double d, double M0, double b0, double Vhpws);

} // namespace oxtiva
