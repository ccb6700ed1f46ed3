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

void CloseChannel(int aChannel, TSerialPort& COM)
{
    COM.Send2(QByteArray(":ROUT:OPEN:ALL\r"), false);
    COM.Send2(":ROUT:CLOSE (@" + QByteArray::number(aChannel) + ")\r", false);
}

bool Voltage(double& aResult, TSerialPort& COM)
{
    return Reading(QByteArray(":FUNC \"VOLT:DC\";:READ?\r"), aResult, COM, PlausibleDmmVoltage);
}

bool Resistance(double& aResult, TSerialPort& COM)
{
    return Reading(QByteArray(":FUNC \"RES\";:READ?\r"), aResult, COM, PlausibleDmmResistance);
}

} // namespace oxtiva
