#include "instruments/multimeter_exchange.h"

#include "instruments/plausible_readings.h"
#include "instruments/serial_port.h"
#include "records/number_format.h"

#include <cmath>

namespace oxtiva
{

namespace
{

// A reading the function cannot have given leaves aResult as it was, like a failed one.
bool Reading(const QByteArray& query, double& aResult, TSerialPort& COM, bool (*plausible)(double))
{
    const TSerialResponse r = COM.Send2(query, TReplyShape::Numbers(1));
    if (!r.Status.isEmpty() || r.Response.isEmpty()) return false;
    double value = aResult;
    if (!GetValue(r.Response, value) || !plausible(value)) return false;
    aResult = value;
    return true;
}

} // namespace

QList<QByteArray> MultimeterSetupCommands()
{
    return {"*RST\r",
            ":SYST:BEEP:STAT 0\r",
            ":DISPLAY:ENABLE 1\r",
            ":INIT:CONT 0\r",
            ":SYST:AZER:STAT 1\r",
            ":SENS:FUNC 'VOLT:DC'\r",
            ":SENS:VOLT:DC:NPLC 1\r",
            ":SENS:VOLT:DC:AVER:STAT 0\r",
            ":SENS:FUNC 'RES'\r",
            ":SENS:RES:NPLC 1\r",
            ":SENS:RES:AVER:STAT OFF\r"};
}

bool GetValue(const QByteArray& Input, double& Output)
{
    const bool whole = ParseScpiDouble(QString::fromLatin1(Input), Output);
    return whole && std::isfinite(Output) && !IsOverflowReading(Output);
}

QByteArray ChannelReadingCommand(int aChannel, const QByteArray& function)
{
    return ":ROUT:OPEN:ALL;:ROUT:CLOSE (@" + QByteArray::number(aChannel) + ");:FUNC \"" +
           function + "\";:READ?\r";
}

bool Voltage(int aChannel, double& aResult, TSerialPort& COM)
{
    return Reading(ChannelReadingCommand(aChannel, "VOLT:DC"), aResult, COM, PlausibleDmmVoltage);
}

bool Resistance(int aChannel, double& aResult, TSerialPort& COM)
{
    return Reading(ChannelReadingCommand(aChannel, "RES"), aResult, COM, PlausibleDmmResistance);
}

} // namespace oxtiva
