#include "control/pid.h"
#include "support/log_capture.h"
#include "support/qstring_printer.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace oxtiva
{
namespace
{

// The controller as start-up leaves it: all three gains at 0.001. Texts are compared in
// the C locale.
class PidController : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        pid.SetP(0.001);
        pid.SetI(0.001);
        pid.SetD(0.001);
    }
    void TearDown() override { QLocale::setDefault(fPrevious); }

    QString LineStarting(const QString& label) const
    {
        for (const QString& line : pid.SL())
            if (line.startsWith(label)) return line;
        return {};
    }

    TPID pid;

  private:
    QLocale fPrevious;
};

TEST_F(PidController, StartsWithUnitGainsAndDefaultCurrentLimit)
{
    const TPID fresh;
    EXPECT_EQ(fresh.P(), 1.0);
    EXPECT_EQ(fresh.I(), 1.0);
    EXPECT_EQ(fresh.D(), 1.0);
    EXPECT_EQ(fresh.CurrentLimit(), 0.005);
    EXPECT_EQ(fresh.FeedBack(), 0.0);
    EXPECT_TRUE(fresh.SL().isEmpty());
}

TEST_F(PidController, FirstStepWritesAllDebugLines)
{
    pid.SetSetpoint(-5);
    pid.SetProcessVariable(-4);

    EXPECT_DOUBLE_EQ(pid.FeedBack(), 0.003);
    EXPECT_EQ(pid.IntegralValue(), 1.0);
    EXPECT_EQ(pid.ProcessVariable(), -4.0);
    EXPECT_EQ(pid.SL(), (QStringList{"Setpoint  -5", "PV        -4", "Error     1", "Old Error 0",
                                     "Integral  1", "Derivate  1", "", "Pk        0.001",
                                     "Ik        0.001", "Dk        0.001", "",
                                     "___P______ + ___I______ + ___D_______ = ___Sum_____",
                                     "0.001 000    0.001 000    0.001 000    0.003 000"}));
}

TEST_F(PidController, PositiveErrorGivesPositiveVoltageAndNegativeTermsKeepTheirSign)
{
    pid.SetSetpoint(-5);
    pid.SetProcessVariable(-4);   // error 1
    pid.SetProcessVariable(-5.5); // error -0.5, integral 0.5, derivative -1.5
    EXPECT_EQ(pid.SL().last(),
              QStringLiteral("-0.000 500    0.000 500    -0.001 500    -0.001 500"));
    EXPECT_EQ(LineStarting(QStringLiteral("Old Error ")), QStringLiteral("Old Error 1"));
    EXPECT_EQ(LineStarting(QStringLiteral("Derivate  ")), QStringLiteral("Derivate  -1.5"));
}

TEST_F(PidController, ControllerThatNeverActedAccumulatesEvenAtTheCurrentLimit)
{
    pid.SetCurrentLimit(0.001);
    pid.SetCurrentApplied(0.000995);
    pid.SetSetpoint(-6);
    pid.SetProcessVariable(-5);
    EXPECT_EQ(pid.IntegralValue(), 1.0);
    EXPECT_EQ(pid.SL().size(), 13);
}

struct TWindupCase {
    const char* Name;
    double CurrentApplied;
    double Setpoint;
    bool Skipped;
};

class PidWindupGuard : public PidController, public ::testing::WithParamInterface<TWindupCase>
{
};

TEST_P(PidWindupGuard, SkipsTheIntegralOnlyAtPositiveCurrentLimitAndFarSetpoint)
{
    const auto& c = GetParam();
    pid.SetCurrentLimit(0.001);
    pid.SetSetpoint(c.Setpoint);
    pid.SetProcessVariable(-5); // leaves a non-zero output
    ASSERT_NE(pid.FeedBack(), 0.0);
    const double integralBefore = pid.IntegralValue();
    const double error = -5 - c.Setpoint;

    pid.SetCurrentApplied(c.CurrentApplied);
    pid.SetProcessVariable(-5);

    if (c.Skipped) {
        EXPECT_DOUBLE_EQ(pid.IntegralValue(), integralBefore);
        ASSERT_EQ(pid.SL().size(), 14);
        EXPECT_EQ(pid.SL().first(), QStringLiteral("Accumulating integral term is skipped"));
        EXPECT_EQ(pid.SL()[1], QStringLiteral("Setpoint  ") + QString::number(c.Setpoint));
    } else {
        EXPECT_DOUBLE_EQ(pid.IntegralValue(), integralBefore + error);
        EXPECT_EQ(pid.SL().size(), 13);
        EXPECT_FALSE(pid.SL().contains(QStringLiteral("Accumulating integral term is skipped")));
    }
    // The output always uses the integral as it now stands.
    EXPECT_DOUBLE_EQ(pid.FeedBack(), 0.001 * error + 0.001 * pid.IntegralValue() + 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PidWindupGuard,
    ::testing::Values(TWindupCase{"AtLimitFarSetpoint", 0.000995, -6, true},
                      TWindupCase{"NegativeCurrentNeverCountsAsAtLimit", -0.000995, -6, false},
                      TWindupCase{"SetpointWithinTenPercentOfValue", 0.000995, -5.4, false},
                      TWindupCase{"CurrentBelowNinetyNinePercent", 0.00098, -6, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PidController, ResetClearsOnlyTheIntegralAndIsLogged)
{
    TLogCapture capture(PIDLog());
    ASSERT_TRUE(capture.Open());
    pid.SetSetpoint(-5);
    pid.SetProcessVariable(-4);   // error 1
    pid.SetProcessVariable(-3.5); // error 1.5, integral 2.5
    pid.Reset();
    EXPECT_EQ(pid.IntegralValue(), 0.0);
    EXPECT_DOUBLE_EQ(pid.FeedBack(), 0.001 * 1.5 + 0.001 * 2.5 + 0.001 * 0.5);
    EXPECT_EQ(pid.Setpoint(), -5.0);

    pid.SetProcessVariable(-4.5); // error 0.5
    EXPECT_DOUBLE_EQ(pid.IntegralValue(), 0.5);
    EXPECT_EQ(LineStarting(QStringLiteral("Old Error ")), QStringLiteral("Old Error 1.5"));
    EXPECT_EQ(LineStarting(QStringLiteral("Derivate  ")), QStringLiteral("Derivate  -1"));
    EXPECT_EQ(capture.Messages(), QStringList{QStringLiteral("PID reset")});
}

// A NaN output would reach the pump as -1 V; an infinite integral would never wind down.
TEST_F(PidController, StepThatWouldLeaveSomethingNotFiniteIsRefusedAndTheStateKept)
{
    struct TCase {
        const char* name;
        double setpoint;
        double value;
        double proportionalGain;
    };
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    const TCase cases[] = {{"NaNValue", -5, nan, 0.001},
                           {"InfiniteValue", -5, inf, 0.001},
                           {"MinusInfiniteValue", -5, -inf, 0.001},
                           {"NaNSetpoint", nan, -4.5, 0.001},
                           {"OutputOverflows", -5, 1e308, 1e308}};
    for (const TCase& c : cases) {
        TPID controller = pid;
        controller.SetSetpoint(-5);
        controller.SetProcessVariable(-4); // error 1: integral 1, output 0.003
        controller.SetSetpoint(c.setpoint);
        controller.SetP(c.proportionalGain);
        controller.SetProcessVariable(c.value);
        EXPECT_DOUBLE_EQ(controller.FeedBack(), 0.003) << c.name;
        EXPECT_EQ(controller.IntegralValue(), 1.0) << c.name;
        EXPECT_EQ(controller.ProcessVariable(), -4.0) << c.name;
        ASSERT_EQ(controller.SL().size(), 1) << c.name;
        EXPECT_TRUE(controller.SL().first().startsWith(QStringLiteral("Step skipped"))) << c.name;

        // The next good step goes on from the kept state: the derivative uses error 1.
        controller.SetSetpoint(-5);
        controller.SetP(0.001);
        controller.SetProcessVariable(-4.5); // error 0.5, integral 1.5, derivative -0.5
        EXPECT_DOUBLE_EQ(controller.FeedBack(), 0.001 * (0.5 + 1.5 - 0.5)) << c.name;
    }
}

TEST_F(PidController, UnitLoggerStartsSwitchedOff)
{
    EXPECT_EQ(PIDLog().Category(), QStringLiteral("PID"));
    EXPECT_FALSE(PIDLog().Enabled());
}

} // namespace
} // namespace oxtiva
