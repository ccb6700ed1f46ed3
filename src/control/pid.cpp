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

// A step that would leave the integral or the output not finite is refused whole: a NaN
// output would reach the pump as a full -1 V, and an infinite integral never winds down.
// The controller keeps its state and the debug list says why.
void TPID::SetProcessVariable(double value)
{
    if (!std::isfinite(value)) {
        RefuseStep(QStringLiteral("Step skipped: process variable not finite"));
        return;
    }
    const double error = value - pSetpoint;
    const bool integralHeld =
        IntegralHeldAtCurrentLimit(pFeedBack, pCurrentApplied, pCurrentLimit, pSetpoint, value);
    const double integral = integralHeld ? pIntegralValue : pIntegralValue + error;
    const double derivative = error - pOldError;
    const double proportionalTerm = pP * error;
    const double integralTerm = pI * integral;
    const double derivativeTerm = pD * derivative;
    const double feedBack = proportionalTerm + integralTerm + derivativeTerm;
    if (!std::isfinite(integral) || !std::isfinite(feedBack)) {
        RefuseStep(QStringLiteral("Step skipped: output not finite"));
        return;
    }

    pSL.clear();
    pProcessVariable = value;
    if (integralHeld) pSL << QStringLiteral("Accumulating integral term is skipped");
    pIntegralValue = integral;
    pFeedBack = feedBack;
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

void TPID::RefuseStep(const QString& reason)
{
    pSL = QStringList{reason};
    PIDLog().Send(reason);
}

double AutomaticProportionalGain(double aAbsProcessVariable)
{
    return 1.0 / std::pow(1.75, aAbsProcessVariable);
}

double AutomaticIntegralGain(double aAbsProcessVariable)
{
    return 0.01 / aAbsProcessVariable;
}

QString PidGainsText(const TPID& aPid)
{
    return QStringLiteral("Gains in force: P %1, I %2, D %3")
        .arg(FormatGeneral(aPid.P()), FormatGeneral(aPid.I()), FormatGeneral(aPid.D()));
}

} // namespace oxtiva
