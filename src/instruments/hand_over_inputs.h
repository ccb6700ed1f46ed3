#pragma once

namespace oxtiva {

// The two values the instrument hand-overs read from the window. Read only inside a
// hand-over, that is on the main thread, so the window can answer straight from its edits;
// tests answer with plain numbers.
class THandOverInputs {
public:
    virtual ~THandOverInputs() = default;
    // "Cell temperature override, ºC"; values above 1 replace the thermocouple temperature.
    virtual double CellTemperatureOverride() const = 0;
    // "PS set voltage, mV:", whole millivolts.
    virtual int SetVoltageMillivolts() const = 0;
};

} // namespace oxtiva
