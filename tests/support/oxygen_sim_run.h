#pragma once

#include "support/cell_sim.h"
#include "support/dialog_answerer.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

class QRadioButton;

namespace oxtiva
{
class TfrmOxtiva;
}

namespace oxtiva::testing
{

// The window against the simulated cell with a reducible sample, for the live oxygen
// balance.
//
// At time scale X the simulated cell, timed on the wall clock as the program times the
// pump current, is a cell whose amounts of oxygen are the model's divided by X. So the
// window gets the constants of that cell: the model's hot part (0.012 L) and its gradient part
// divided by X (no sample volume, the cold end at the model's 30 °C) and a sample of 1 g of
// CeO1.98 divided by X, whose b then changes as the model's 1 g sample does.
struct TOxygenSimRunOptions {
    double TimeScale = 6000;
    double SampleCapacityMol = 1e-4; // per e-fold of pO2: some 0.08 in b per decade; 0: empty
    double GasVolumeL = 0.012;       // the simulator's hot part
    double LeakAlpha = 0;            // the simulator's quarter-power leak
    double SealLeak = 0;             // its linear leak, mol/(s atm)
    double GradientVolumeL = 0;      // its gas between the hot part and the cold end
    double SlowShare = 0;            // the share of the sample that follows slowly
    double SlowTimeConstantS = 3600; // model seconds
    double CurrentLimitA = 0.001;
    double CurrentNoise = 0; // the simulator's further error of each current reading
    unsigned Seed = 1;       // of its measurement noise
    double RCDurationS = 3;
    double RCThresholdPercent = 1;
    QStringList ExtraSimArgs; // further simulator options, e.g. a sample of known thermodynamics
};

class TOxygenSimRun
{
  public:
    explicit TOxygenSimRun(const TOxygenSimRunOptions& options);
    ~TOxygenSimRun();

    TfrmOxtiva& Window() { return *fWindow; }
    TCellSim& Sim() { return *fSim; }
    // The window's state changes are confirmed with Yes.
    void Choose(QRadioButton* button);
    // Runs a PID step program through the given -log10(pO2) to its end; false on timeout.
    bool RunStepProgram(const std::vector<double>& minusLogpO2, int timeoutMs);
    // Waits with the event loop running, taking the simulator's truth on the way.
    bool WaitSampling(const std::function<bool()>& condition, int timeoutMs);
    // b of the simulated 1 g sample at a time of the balance (seconds from the start of
    // the experiment), from the truth taken around it.
    double TrueContentAt(double timeS) const;
    // The change of b over each completed step, the program's and the simulated sample's,
    // the first step from the balance's point of the given index.
    struct TStepChange {
        int Step;
        double pO2; // at the step's end
        double Program;
        double Sample;
    };
    std::vector<TStepChange> StepChanges(std::size_t fromIndex) const;
    // Dialogs nobody expected, joined; empty when there were none.
    QString UnexpectedDialogs() const;

    static constexpr double SampleMassG = 1;
    static constexpr double SampleMolarMass = 171.79;
    static constexpr double b0 = 1.98;

  private:
    struct TTruth {
        double Days;
        double OxideDelta; // mol O2 given off by the model's sample
    };
    void TakeTruth();

    QTemporaryDir fProgramFolder;
    TMessageBoxAnswerer fAnswerer;
    std::unique_ptr<TCellSim> fSim;
    std::unique_ptr<TfrmOxtiva> fWindow;
    std::vector<TTruth> fTruth;
};

} // namespace oxtiva::testing
