#pragma once

#include "defect_sample.h"

namespace oxtiva::sim
{

// What the SourceMeter applies to the pump.
struct TPumpDrive {
    bool voltageSource = true; // false: current source
    double voltageLevel = 0;   // V
    double currentLevel = 0;   // A
    bool output = false;
    double voltageLimit = 21;      // V, the compliance while sourcing current
    double currentLimit = 1.05e-4; // A, the compliance while sourcing voltage
};

// Voltage across and current through the pump, positive current removing oxygen
// from the cell.
struct TPumpElectrical {
    double voltage = 0;
    double current = 0;
};

struct TCellParameters {
    double gasVolumeM3 = 1.2e-5; // the hot part of the cell, 0.012 L
    double internalResistanceOhm = 50;
    double flushPO2Atm = 0.21;
    double sampleCapacityMol = 1e-5; // oxygen the sample gives off per e-fold of pO2
    double sampleTimeConstantS = 30;
    double leakMolPerSAtm = 1.2e-11; // towards the flush gas
    // A second leak that follows the quarter-power law of oxygen permeating the
    // electrolyte, mol/s per atm^(1/4) of difference in the fourth roots of the pressures.
    double leakAlphaMolPerSAtmQuarter = 0;
    // The gas between the hot part and the cold end, with a linear temperature profile.
    double gradientVolumeM3 = 0;
    // A share of the sample's capacity that follows the pO2 only with a slow second time
    // constant, as a sample still relaxing long after its surface has settled.
    double sampleSlowShare = 0;
    double sampleSlowTimeConstantS = 3600;
    // A sample of known thermodynamics beside (or in place of) the one above.
    TDefectSample defectSample;
    // Model seconds in which the cell follows a new furnace temperature by 1 - 1/e.
    double furnaceTimeConstantS = 600;
    double startTempC = 800;
    double startColdC = 30;
    double startPO2Atm = 0.21;
};

// Electrical state of the pump at a given open-circuit voltage, with the compliance
// of the source mode: a voltage source is cut back by the current protection level,
// a current source by the voltage protection level.
TPumpElectrical PumpOperatingPoint(const TPumpDrive& drive, double openCircuitVolts,
                                   double resistanceOhm);

// Nernst voltage of the pump cell against the flush gas, with the sign the program's
// pump-cell equations use: positive when the cell holds less oxygen than the flush gas.
double NernstVoltage(double tempC, double cellPO2, double flushPO2);

// The cell's gas, the oxide sample buffering it, the pump and the leak.
class TCellModel
{
  public:
    explicit TCellModel(const TCellParameters& parameters = {});

    // Runs the model forward; implicit in the gas so that a starved cell under a
    // forced current stays stable whatever the step.
    void Advance(double seconds, const TPumpDrive& drive);
    TPumpElectrical Pump(const TPumpDrive& drive) const;

    double TimeS() const { return fTimeS; }
    double TempC() const { return fTempC; }
    double ColdC() const { return fColdC; }
    double PO2() const { return fPO2; }
    double FlushPO2() const { return fP.flushPO2Atm; }
    double OxideDelta() const { return fOxideDelta; }
    // The oxygen balance's true terms since the start: charge the pump passed (positive
    // removing oxygen), O2 that leaked in, and O2 in the gas now.
    double PumpedChargeC() const { return fPumpedChargeC; }
    double LeakedMol() const { return fLeakedMol; }
    double GasMol() const { return GasMolPerAtm() * fPO2; }

    // At once, the furnace held there.
    void SetTempC(double tempC) { fTempC = fFurnaceC = tempC; }
    // The furnace's new temperature, which the cell approaches with its time constant.
    void SetFurnaceC(double tempC) { fFurnaceC = tempC; }
    double FurnaceC() const { return fFurnaceC; }
    // The oxygen deficiency of the sample of known thermodynamics, mol O per mol compound.
    double DefectDelta() const { return fDefectDelta; }
    void SetColdC(double coldC) { fColdC = coldC; }
    // The sample is put in equilibrium with the new pO2 too: otherwise it would pull
    // the small gas volume back within a second.
    void SetPO2(double po2);

  private:
    void Step(double seconds, const TPumpDrive& drive);
    double GasMolPerAtm() const;

    TCellParameters fP;
    double fTimeS = 0;
    double fTempC;
    double fFurnaceC;
    double fColdC;
    double fPO2;
    double fOxideDelta = 0; // mol given off by the sample
    double fPumpedChargeC = 0;
    double fLeakedMol = 0;
    // ln of the pO2 the sample's fast and slow parts are in equilibrium with.
    double fSampleLnPO2;
    double fSlowSampleLnPO2;
    double fDefectDelta;
};

} // namespace oxtiva::sim
