#pragma once

#include "cell_model.h"
#include "instrument_link.h"
#include "measurement_noise.h"
#include "multi_meter.h"
#include "sim_options.h"
#include "source_meter.h"

#include <string>

namespace oxtiva::sim
{

// The whole bench: the cell model, both instruments on their lines, and the model clock.
class TSimulator
{
  public:
    explicit TSimulator(const TSimOptions& options);

    bool Open(std::string& error);
    void Close();

    // Brings the model up to now: the wall time since the last call times the time scale.
    void AdvanceModel();
    TInstrumentLink* Link(const std::string& name);
    TInstrumentLink& Smu() { return fSmuLink; }
    TInstrumentLink& Dmm() { return fDmmLink; }

    std::string StateLine();
    std::string OxygenLine();
    TCellModel& Cell() { return fCell; }

  private:
    TSimOptions fOptions;
    TCellModel fCell;
    TMeasurementNoise fNoise;
    TReplyLog fReplyLog; // before the links, which record into it until they close
    TSourceMeter fSmu;
    TMultiMeter fDmm;
    TInstrumentLink fSmuLink;
    TInstrumentLink fDmmLink;
    TSimClock::time_point fLastAdvance;
};

} // namespace oxtiva::sim
