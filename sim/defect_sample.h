#pragma once

#include <optional>
#include <string>

namespace oxtiva::sim
{

// An oxide whose oxygen deficiency delta (mol O per mol compound) is in equilibrium with
// the gas when
//     1/2 R T ln(pO2 / 1 atm) = dh_O(delta) - T ds_O(delta)   (per mole of O),
// with the partial molar enthalpy and entropy of its oxygen linear in delta. Both known,
// it is the truth against which the program's thermodynamics from isotherms is measured.
struct TDefectSample {
    double compoundMol = 0; // 0: no such sample in the cell
    double dh0JPerMol = -100e3;
    double dh1JPerMol = -300e3; // per unit of delta
    double ds0JPerMolK = -50;
    double ds1JPerMolK = 20; // per unit of delta

    bool Present() const { return compoundMol > 0; }
    double dhO(double delta) const { return dh0JPerMol + dh1JPerMol * delta; }
    double dsO(double delta) const { return ds0JPerMolK + ds1JPerMolK * delta; }
    // The delta in equilibrium with the gas, kept between 0 and 1.
    double EquilibriumDelta(double tempC, double lnPO2) const;
};

// "MOL:DH0:DH1:DS0:DS1", dh in kJ/mol, ds in J/(mol K): nothing when unusable, or when
// delta would not fall as pO2 rises (dh1 - T ds1 must be negative at every temperature
// the cell can reach).
std::optional<TDefectSample> ParseDefectSample(const std::string& text);

// The cell's temperature moving towards the furnace's over a step of dt seconds, as a
// furnace does with its time constant.
double FurnaceApproach(double tempC, double targetC, double dt, double timeConstantS);

} // namespace oxtiva::sim
