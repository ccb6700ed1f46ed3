#include "source_meter.h"

#include <cstdio>

#include "measurement_noise.h"

#include <cmath>
#include <set>
#include <string_view>

namespace oxtiva::sim
{

namespace
{

constexpr double MaxVoltageLimit = 21;
constexpr double MaxCurrentLimit = 1.05;
constexpr double MaxVoltageLevel = 21;
constexpr double MaxCurrentLevel = 1.05;

// Set-up commands the instrument accepts that change nothing the model cares about.
bool IsAcceptedSetting(const std::string& header)
{
    static const std::set<std::string, std::less<>> accepted = {"ROUT:TERM",
                                                                "SOUR:VOLT:MODE",
                                                                "SOUR:CURR:MODE",
                                                                "SOUR:VOLT:RANG:AUTO",
                                                                "SOUR:CURR:RANG:AUTO",
                                                                "SOUR:VOLT:RANG",
                                                                "SOUR:CURR:RANG",
                                                                "SENS:FUNC:CONC",
                                                                "SENS:FUNC:ON",
                                                                "SENS:FUNC",
                                                                "SENS:VOLT:NPLC",
                                                                "SENS:CURR:NPLC",
                                                                "SENS:CURR:RANG:AUTO",
                                                                "SENS:VOLT:RANG:AUTO",
                                                                "SENS:CURR:RANG",
                                                                "SENS:VOLT:RANG",
                                                                "FORM:ELEM",
                                                                "FORM:ELEM:SENS",
                                                                "INIT",
                                                                "*CLS",
                                                                "SYST:BEEP:STAT",
                                                                "DISP:ENAB",
                                                                "ARM:COUN",
                                                                "TRIG:COUN",
                                                                "SYST:AZER:STAT",
                                                                "SYST:AZER"};
    return accepted.count(header) > 0;
}

std::optional<double> Limited(const std::string& parameter, double minValue, double maxValue,
                              double defaultValue)
{
    auto value = NumericParameter(parameter, minValue, maxValue, defaultValue);
    if (!value) return std::nullopt;
    return std::fmin(std::fmax(*value, minValue), maxValue);
}

} // namespace

bool TSourceMeter::Execute(const TScpiCommand& command, std::vector<TReply>& replies)
{
    const std::string& h = command.header;
    if (h == "*IDN?") {
        replies.push_back({"OXTIVA CELLSIM,SourceMeter 2401,0000001,SIM 1.0", TReplyKind::Text});
        return true;
    }
    if (h == "*RST") {
        fDrive = TPumpDrive{};
        return true;
    }
    if (ExecuteEventStatusEnable(command, replies)) return true;
    if (h == "*OPC?") {
        replies.push_back({"1", TReplyKind::Text});
        return true;
    }
    if (h == "READ?" || h == "MEAS?" || h == "FETC?") {
        replies.push_back(Reading());
        return true;
    }
    if (ExecuteSourceQuery(h, replies)) return true;
    if (h == "OUTP:STAT" || h == "OUTP") {
        auto on = BooleanParameter(command.parameter);
        if (on) fDrive.output = *on;
        return on.has_value();
    }
    if (h.rfind("SOUR:", 0) == 0 && ExecuteSource(command)) return true;
    if (h.rfind("SENS:", 0) == 0 && ExecuteSense(command)) return true;
    return IsAcceptedSetting(h);
}

// What the program reads back to confirm the state it left the pump in.
bool TSourceMeter::ExecuteSourceQuery(const std::string& h, std::vector<TReply>& replies) const
{
    char level[32];
    if (h == "SOUR:FUNC?" || h == "SOUR:FUNC:MODE?") {
        replies.push_back({fDrive.voltageSource ? "VOLT" : "CURR", TReplyKind::Text});
    } else if (h == "SOUR:CURR:LEV?" || h == "SOUR:CURR?" || h == "SOUR:CURR:LEV:IMM:AMPL?") {
        std::snprintf(level, sizeof level, "%+.6E", fDrive.currentLevel);
        replies.push_back({level, TReplyKind::Text});
    } else if (h == "SOUR:VOLT:LEV?" || h == "SOUR:VOLT?" || h == "SOUR:VOLT:LEV:IMM:AMPL?") {
        std::snprintf(level, sizeof level, "%+.6E", fDrive.voltageLevel);
        replies.push_back({level, TReplyKind::Text});
    } else if (h == "OUTP:STAT?" || h == "OUTP?") {
        replies.push_back({fDrive.output ? "1" : "0", TReplyKind::Text});
    } else {
        return false;
    }
    return true;
}

bool TSourceMeter::ExecuteSource(const TScpiCommand& command)
{
    const std::string& h = command.header;
    if (h == "SOUR:FUNC" || h == "SOUR:FUNC:MODE") {
        const std::string function = NormalizedWordPath(command.parameter);
        if (function != "VOLT" && function != "CURR") return false;
        fDrive.voltageSource = function == "VOLT";
        return true;
    }
    if (h == "SOUR:VOLT:LEV" || h == "SOUR:VOLT" || h == "SOUR:VOLT:LEV:IMM:AMPL") {
        auto level = Limited(command.parameter, -MaxVoltageLevel, MaxVoltageLevel, 0);
        if (level) fDrive.voltageLevel = *level;
        return level.has_value();
    }
    if (h == "SOUR:CURR:LEV" || h == "SOUR:CURR" || h == "SOUR:CURR:LEV:IMM:AMPL") {
        auto level = Limited(command.parameter, -MaxCurrentLevel, MaxCurrentLevel, 0);
        if (level) fDrive.currentLevel = *level;
        return level.has_value();
    }
    return false;
}

// ":SENS:VOLT:PROT 1" sets the level as ":SENS:VOLT:PROT:LEV 1" does: LEVel is the
// default node, so the program's set-up first sets 1 V and then its real limit.
bool TSourceMeter::ExecuteSense(const TScpiCommand& command)
{
    const std::string& h = command.header;
    if (h == "SENS:VOLT:PROT" || h == "SENS:VOLT:PROT:LEV") {
        auto limit = Limited(command.parameter, 1e-3, MaxVoltageLimit, 21);
        if (limit) fDrive.voltageLimit = std::fabs(*limit);
        return limit.has_value();
    }
    if (h == "SENS:CURR:PROT" || h == "SENS:CURR:PROT:LEV") {
        auto limit = Limited(command.parameter, 1e-9, MaxCurrentLimit, 1.05e-4);
        if (limit) fDrive.currentLimit = std::fabs(*limit);
        return limit.has_value();
    }
    return false;
}

TReply TSourceMeter::Reading()
{
    const TPumpElectrical pump = fCell.Pump(fDrive);
    const double volts = pump.voltage + fNoise.Next(20e-6);
    const double amperes =
        pump.current + fNoise.Next(1e-9 + (1e-5 + fCurrentNoise) * std::fabs(pump.current));
    return {FormatSmuReading(volts, amperes), TReplyKind::Reading};
}

} // namespace oxtiva::sim
