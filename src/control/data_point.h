#pragma once

namespace oxtiva {

// A completed data point, published by the pump thread's hand-over and taken by the
// control cycle.
struct TDataPointRec {
    double PumpV = 0;          // mean pump voltage over the point, V
    double PumpI = 0;          // mean pump current over the point, A
    int Mode = 0;              // pump integrator mode ordinal + 10
    bool CellpO2Valid = false; // set once the first pO2 mean exists, never cleared
    double CellpO2 = 0;        // mean sensor pO2, atm
    double Temp = 0;           // mean cell temperature, degrees Celsius
    double Duration = 0;       // seconds from StepStartTime to the newest current sample
    bool Ready = false;        // a new point waits for the control cycle
    // The pump current averager's own span and integral, for the oxygen balance.
    double Charge = 0;    // C passed over the span, positive removing oxygen
    double StartTime = 0; // days, NowDays() clock: the reading that opened the point
    double EndTime = 0;   // days: the newest current sample
    double MeanCharge = 0;         // C: the charge since StartTime, averaged over the point
    double LongestUnmeasuredS = 0; // the longest stretch of the point no reading measured
    // Every reading the point holds was taken with the pump a current source at 0 A. Only
    // then is its voltage the open-circuit voltage the pump-cell equations need: a point
    // that spans a change of mode or level mixes the voltages of both.
    bool ZeroCurrentThroughout = false;
    // A pause cut the pump record since the point before: the pump held its level while
    // nothing was measured, so what flowed across it is unknown.
    bool AfterPause = false;
};

} // namespace oxtiva
