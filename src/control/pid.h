#pragma once

#include "records/logging.h"

#include <QStringList>

namespace oxtiva
{

// Discrete PID controller on log10(pO2); one call of SetProcessVariable is one step.
// Also the store of the step set point in PPS, where Setpoint holds volts. It never holds
// a non-finite integral or output: a step that would leave one is refused.
class TPID
{
  public:
    TPID();

    void Reset(); // clears the integral only
    void SetProcessVariable(double value);

    double Setpoint() const { return pSetpoint; }
    void SetSetpoint(double v) { pSetpoint = v; }
    double FeedBack() const { return pFeedBack; }
    double P() const { return pP; }
    double I() const { return pI; }
    double D() const { return pD; }
    void SetP(double v) { pP = v; }
    void SetI(double v) { pI = v; }
    void SetD(double v) { pD = v; }
    double ProcessVariable() const { return pProcessVariable; }
    double CurrentLimit() const { return pCurrentLimit; }
    void SetCurrentLimit(double v) { pCurrentLimit = v; }
    double CurrentApplied() const { return pCurrentApplied; }
    void SetCurrentApplied(double v) { pCurrentApplied = v; }
    double IntegralValue() const { return pIntegralValue; }
    const QStringList& SL() const { return pSL; } // debug lines of the last step

  private:
    void RefuseStep(const QString& reason);

    double pP = 1.0;
    double pI = 1.0;
    double pD = 1.0;
    double pSetpoint = 0;
    double pProcessVariable = 0;
    double pFeedBack = 0;
    double pIntegralValue = 0;
    double pOldError = 0;
    QStringList pSL;
    double pCurrentLimit = 0.005;
    double pCurrentApplied = 0;
};

// The gains the control cycle derives from the process variable |log10(pO2)| when the
// operator's gain is 0: P = 1 / 1.75^|PV|, I = 0.01 / |PV|.
double AutomaticProportionalGain(double aAbsProcessVariable);
double AutomaticIntegralGain(double aAbsProcessVariable);
// "Gains in force: P 0.002, I 0.001, D 0"
QString PidGainsText(const TPID& aPid);

// The controller unit's own logger ("PID"), switched off unless someone turns it on.
TLogger& PIDLog();

} // namespace oxtiva
