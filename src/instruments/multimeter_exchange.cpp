#include "instruments/multimeter_exchange.h"

#include "instruments/serial_port.h"
#include "records/number_format.h"

namespace oxtiva
{

namespace
{

bool Reading(const QByteArray& query, double& aResult, TSerialPort& COM)
{
    const TSerialResponse r = COM.Send2(query, true);
    // A reply cut short may still parse ("+1.2345" of "+1.234567E-03") and is no reading.
    if (!r.Status.isEmpty() || r.Response.isEmpty() || !r.Terminated) return false;
    return GetValue(r.Response, aResult);
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
    return whole && Input != "+9.9E37";
}

void CloseChannel(int aChannel, TSerialPort& COM)
{
    COM.Send2(QByteArray(":ROUT:OPEN:ALL\r"), false);
    COM.Send2(":ROUT:CLOSE (@" + QByteArray::number(aChannel) + ")\r", false);
}

bool Voltage(double& aResult, TSerialPort& COM)
{
    return Reading(QByteArray(":FUNC \"VOLT:DC\";:READ?\r"), aResult, COM);
}

bool Resistance(double& aResult, TSerialPort& COM)
{
    return Reading(QByteArray(":FUNC \"RES\";:READ?\r"), aResult, COM);
}

} // namespace oxtiva
