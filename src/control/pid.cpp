#include "control/pid.h"

#include "records/number_format.h"

#include <cmath>

namespace oxtiva
{

TLogger& PIDLog()
{
    static TLogger logger(QStringLiteral("PID"));
    return logger;
}

namespace
{

// While the pump already delivers its current limit, a set point far beyond the
// present pO2 would only wind the integral up; a controller that has never produced an
// output always accumulates.
bool IntegralHeldAtCurrentLimit(double feedBack, double currentApplied, double currentLimit,
                                double setpoint, double value)
{
    return feedBack != 0 && currentApplied > 0.99 * currentLimit &&
           std::abs(setpoint) > 1.1 * std::abs(value);
}

QString Term(double value)
{
    return FormatFloat(u"0.000 000", value);
}

} // namespace

TPID::TPID() = default;

void TPID::Reset()
{
    pIntegralValue = 0;
    PIDLog().Send(QStringLiteral("PID reset"));
}

void TPID::SetProcessVariable(double value)
{
    pSL.clear();
    pProcessVariable = value;
    const double error = value - pSetpoint;
    if (IntegralHeldAtCurrentLimit(pFeedBack, pCurrentApplied, pCurrentLimit, pSetpoint, value))
        pSL << QStringLiteral("Accumulating integral term is skipped");
    else
        pIntegralValue += error;
    const double derivative = error - pOldError;
    const double proportionalTerm = pP * error;
    const double integralTerm = pI * pIntegralValue;
    const double derivativeTerm = pD * derivative;
    pFeedBack = proportionalTerm + integralTerm + derivativeTerm;

    pSL << QStringLiteral("Setpoint  ") + FormatGeneral(pSetpoint)
        << QStringLiteral("PV        ") + FormatGeneral(value)
        << QStringLiteral("Error     ") + FormatGeneral(error)
        << QStringLiteral("Old Error ") + FormatGeneral(pOldError)
        << QStringLiteral("Integral  ") + FormatGeneral(pIntegralValue)
        << QStringLiteral("Derivate  ") + FormatGeneral(derivative) << QString()
        << QStringLiteral("Pk        ") + FormatGeneral(pP)
        << QStringLiteral("Ik        ") + FormatGeneral(pI)
        << QStringLiteral("Dk        ") + FormatGeneral(pD) << QString()
        << QStringLiteral("___P______ + ___I______ + ___D_______ = ___Sum_____")
        << QStringList{Term(proportionalTerm), Term(integralTerm), Term(derivativeTerm),
                       Term(pFeedBack)}
               .join(QStringLiteral("    "));
    pOldError = error;
}

} // namespace oxtiva
