#pragma once

#include "cell_model.h"
#include "instrument.h"

namespace oxtiva::sim
{

class TMeasurementNoise;

// The MultiMeter 2000 with its scanner card: channel 3 the cold-end thermistor,
// channel 1 the type S thermocouple, channel 2 the oxygen sensor.
class TMultiMeter : public TInstrument
{
  public:
    TMultiMeter(const TCellModel& cell, TMeasurementNoise& noise) : fCell(cell), fNoise(noise) {}
    const char* Name() const override { return "dmm"; }
    int BaudRate() const override { return 19200; }
    bool Execute(const TScpiCommand& command, std::vector<TReply>& replies) override;
    std::string ReadingContext() const override; // "ch3 RES", "ch1 VOLT", ...

  private:
    enum class TFunction { VoltDC, Resistance, Other };

    bool SetFunction(const std::string& parameter);
    TReply Reading();

    const TCellModel& fCell;
    TMeasurementNoise& fNoise;
    TFunction fFunction = TFunction::VoltDC;
    int fClosedChannel = 0; // 0: all relays open
};

} // namespace oxtiva::sim
