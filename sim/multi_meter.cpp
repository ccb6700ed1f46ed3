#include "multi_meter.h"

#include "cell_readings.h"
#include "measurement_noise.h"

#include <set>

namespace oxtiva::sim
{

namespace
{

bool IsAcceptedSetting(const std::string& header)
{
    static const std::set<std::string, std::less<>> accepted = {"SYST:BEEP:STAT",
                                                                "DISP:ENAB",
                                                                "INIT:CONT",
                                                                "SYST:AZER:STAT",
                                                                "SENS:VOLT:DC:NPLC",
                                                                "SENS:VOLT:DC:AVER:STAT",
                                                                "SENS:RES:NPLC",
                                                                "SENS:RES:AVER:STAT",
                                                                "VOLT:DC:NPLC",
                                                                "RES:NPLC",
                                                                "INIT",
                                                                "*CLS",
                                                                "SENS:VOLT:DC:RANG:AUTO",
                                                                "SENS:RES:RANG:AUTO",
                                                                "TRIG:COUN",
                                                                "SAMP:COUN"};
    return accepted.count(header) > 0;
}

} // namespace

bool TMultiMeter::Execute(const TScpiCommand& command, std::vector<TReply>& replies)
{
    const std::string& h = command.header;
    if (h == "*IDN?") {
        replies.push_back({"OXTIVA CELLSIM,MultiMeter 2000,0000002,SIM 1.0", TReplyKind::Text});
        return true;
    }
    if (h == "*RST") {
        fFunction = TFunction::VoltDC;
        fClosedChannel = 0;
        return true;
    }
    if (ExecuteEventStatusEnable(command, replies)) return true;
    if (h == "SYST:FRSW?") {
        replies.push_back({"0", TReplyKind::InputSwitch}); // the rear inputs, the scanner card
        return true;
    }
    if (h == "FUNC" || h == "SENS:FUNC") return SetFunction(command.parameter);
    if (h == "ROUT:OPEN:ALL") {
        fClosedChannel = 0;
        return true;
    }
    if (h == "ROUT:CLOS") {
        // The card closes one channel at a time: closing one opens the others.
        auto channel = ChannelParameter(command.parameter);
        if (channel) fClosedChannel = *channel;
        return channel.has_value();
    }
    if (h == "READ?" || h == "FETC?") {
        replies.push_back(Reading());
        return true;
    }
    return IsAcceptedSetting(h);
}

bool TMultiMeter::SetFunction(const std::string& parameter)
{
    const std::string function = NormalizedWordPath(parameter);
    if (function == "VOLT:DC" || function == "VOLT")
        fFunction = TFunction::VoltDC;
    else if (function == "RES")
        fFunction = TFunction::Resistance;
    else if (!function.empty())
        fFunction = TFunction::Other;
    else
        return false;
    return true;
}

std::string TMultiMeter::ReadingContext() const
{
    const char* function = fFunction == TFunction::VoltDC       ? "VOLT"
                           : fFunction == TFunction::Resistance ? "RES"
                                                                : "OTHER";
    return "ch" + std::to_string(fClosedChannel) + ' ' + function;
}

TReply TMultiMeter::Reading()
{
    const bool volts = fFunction == TFunction::VoltDC;
    const bool ohms = fFunction == TFunction::Resistance;
    double value = 0;
    if (fClosedChannel == 3 && ohms)
        value = ThermistorResistance(fCell.ColdC()) + fNoise.Next(0.05);
    else if (fClosedChannel == 1 && volts)
        value = ThermocoupleVolts(fCell.TempC(), fCell.ColdC()) + fNoise.Next(0.05e-6);
    else if (fClosedChannel == 2 && volts)
        value = SensorVolts(fCell.TempC(), fCell.PO2()) + fNoise.Next(2e-6);
    else
        value = OverflowValue;
    return {FormatDmmReading(value), TReplyKind::Reading};
}

} // namespace oxtiva::sim
