#pragma once

#include "cell_model.h"
#include "instrument.h"

namespace oxtiva::sim
{

class TMeasurementNoise;

// The SourceMeter 2401 driving the pump: source function and levels, compliance
// (protection) levels, output switch, and ":READ?" of pump voltage and current.
class TSourceMeter : public TInstrument
{
  public:
    TSourceMeter(const TCellModel& cell, TMeasurementNoise& noise, double currentNoise = 0)
        : fCell(cell), fNoise(noise), fCurrentNoise(currentNoise)
    {
    }
    const char* Name() const override { return "smu"; }
    int BaudRate() const override { return 57600; }
    bool Execute(const TScpiCommand& command, std::vector<TReply>& replies) override;

    const TPumpDrive& Drive() const { return fDrive; }

  private:
    bool ExecuteSource(const TScpiCommand& command);
    bool ExecuteSourceQuery(const std::string& header, std::vector<TReply>& replies) const;
    bool ExecuteSense(const TScpiCommand& command);
    TReply Reading();

    const TCellModel& fCell;
    TMeasurementNoise& fNoise;
    double fCurrentNoise; // share of the current
    TPumpDrive fDrive;
};

} // namespace oxtiva::sim
