#include "science/thermocouples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace oxtiva
{
namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
const auto UnknownType = static_cast<TThermocoupleType>(12);

struct TLimits {
    TThermocoupleType Type;
    double Lower;        // µV
    double Upper;        // µV
    const char* Message; // nullptr: the type converts any EMF
};

// The accepted EMF limits of every thermocouple type, with the raised messages in UTF-8.
const std::vector<TLimits> Limits = {
    {tcJ, -8095, 69553, "J Thermocouple \xC2\xB5V out of range."},
    {tcK, -6458, 54886, nullptr},
    {tcE, -6458, 54886, "E Thermocouple \xC2\xB5V out of range."},
    {tcT, -6258, 20872, "T Thermocouple \xC2\xB5V out of range."},
    {tcS, -235.55507149267, 18693.544691, nullptr},
    {tcR, -226.46518817384, 21102.70234786, "R Thermocouple \xC2\xB5V out of range."},
    {tcN, -4345, 47513, "N Thermocouple \xC2\xB5V out of range."},
    {tcB, -2.579382319873, 13820.279215181, "B Thermocouple \xC2\xB5V out of range."},
    {tcC, -233, 37065.98, "C Thermocouple mV out of range."},
    {tcD, -163.23291, 39500.367, "D Thermocouple mV out of range."},
    {tcG, -15.8, 38564.395990718, "G Thermocouple mV out of range."},
};

std::string RaisedMessage(TThermocoupleType type, double microVolt)
{
    try {
        TCMicroVoltToTemp(type, microVolt);
    } catch (const TThermocoupleRangeError& e) {
        return e.what();
    }
    return {};
}

TEST(EvalPolynomial, EvaluatesCoefficientsStoredHighestPowerFirst)
{
    const std::vector<double> empty;
    const std::vector<double> constant = {5.0};
    const std::vector<double> linear = {1.0, 0.0};          // x
    const std::vector<double> quadratic = {2.0, -3.0, 1.0}; // 2x² - 3x + 1
    EXPECT_EQ(EvalPolynomial(empty, 3.0), 0.0);
    EXPECT_EQ(EvalPolynomial(constant, 3.0), 5.0);
    EXPECT_EQ(EvalPolynomial(linear, 3.0), 3.0);
    EXPECT_EQ(EvalPolynomial(quadratic, 4.0), 21.0);
    EXPECT_EQ(EvalPolynomial(quadratic, -0.5), 3.0);
}

struct TExampleCase {
    TThermocoupleType Type;
    double MicroVolt;
    double ExpectedC;
    double Tolerance;
};

void PrintTo(const TExampleCase& c, std::ostream* os)
{
    *os << "type " << c.Type << " at " << c.MicroVolt << " uV";
}

class ConversionExample : public ::testing::TestWithParam<TExampleCase>
{
};

TEST_P(ConversionExample, ConvertsMicroVoltsToTheKnownTemperature)
{
    const TExampleCase c = GetParam();
    EXPECT_NEAR(TCMicroVoltToTemp(c.Type, c.MicroVolt), c.ExpectedC, c.Tolerance);
    EXPECT_NEAR(TCVoltToTemp(c.Type, c.MicroVolt / 1e6), c.ExpectedC, c.Tolerance);
}

INSTANTIATE_TEST_SUITE_P(Thermocouples, ConversionExample,
                         ::testing::Values(TExampleCase{tcS, 0, 0, 0},
                                           TExampleCase{tcS, 10000, 1035.5999, 0.00005},
                                           TExampleCase{tcK, 60000, 1530.31, 0.005},
                                           TExampleCase{tcC, 20000, 1096.29, 0.005},
                                           TExampleCase{tcG, 0, -0.242, 0.0005},
                                           TExampleCase{tcD, 10000, 595.76, 0.005}));

TEST(TCMicroVoltToTemp, TypeSAtZeroIsExactlyZeroDegrees)
{
    EXPECT_EQ(TCMicroVoltToTemp(tcS, 0.0), 0.0);
}

TEST(TCMicroVoltToTemp, RaisesTheTypesMessageJustOutsideItsLimitsAndConvertsOnThem)
{
    for (const TLimits& l : Limits) {
        SCOPED_TRACE(l.Type);
        EXPECT_NO_THROW(TCMicroVoltToTemp(l.Type, l.Lower));
        EXPECT_NO_THROW(TCMicroVoltToTemp(l.Type, l.Upper));
        const std::string expected = l.Message ? l.Message : "";
        EXPECT_EQ(RaisedMessage(l.Type, l.Lower - 0.01), expected);
        EXPECT_EQ(RaisedMessage(l.Type, l.Upper + 0.01), expected);
    }
}

TEST(TCMicroVoltToTemp, TypeJConvertsAtItsUpperLimitAndRaisesOneHundredthAbove)
{
    EXPECT_NEAR(TCMicroVoltToTemp(tcJ, 69553), 1200.0, 0.05);
    EXPECT_EQ(RaisedMessage(tcJ, 69553.01), "J Thermocouple \xC2\xB5V out of range.");
}

TEST(TCMicroVoltToTemp, TypesKAndSEvaluateFarOutsideTheirLimitsWithoutRaising)
{
    EXPECT_NEAR(TCMicroVoltToTemp(tcK, 60000), 1530.31, 0.005);
    EXPECT_TRUE(std::isfinite(TCMicroVoltToTemp(tcK, -20000)));
    EXPECT_TRUE(std::isfinite(TCMicroVoltToTemp(tcS, 25000)));
    EXPECT_TRUE(std::isfinite(TCMicroVoltToTemp(tcS, -1000)));
}

TEST(TCMicroVoltToTemp, NaNReadingRaisesForTypesWithLimits)
{
    EXPECT_THROW(TCMicroVoltToTemp(tcJ, NaN), TThermocoupleRangeError);
    EXPECT_THROW(TCMicroVoltToTemp(tcG, NaN), TThermocoupleRangeError);
    EXPECT_FALSE(TCVoltageInRange(tcS, NaN));
}

TEST(TCVoltToTemp, RaisesLikeTheMicroVoltConversion)
{
    try {
        TCVoltToTemp(tcE, 0.060);
        FAIL() << "no error raised";
    } catch (const TThermocoupleRangeError& e) {
        EXPECT_STREQ(e.what(), "E Thermocouple \xC2\xB5V out of range.");
    }
    EXPECT_EQ(RaisedMessage(tcE, 60000), "E Thermocouple \xC2\xB5V out of range.");
}

TEST(TCVoltageInRange, AcceptsEachTypesInclusiveLimitsOnly)
{
    for (const TLimits& l : Limits) {
        SCOPED_TRACE(l.Type);
        EXPECT_TRUE(TCVoltageInRange(l.Type, (l.Lower + 0.001) / 1e6));
        EXPECT_TRUE(TCVoltageInRange(l.Type, (l.Upper - 0.001) / 1e6));
        EXPECT_FALSE(TCVoltageInRange(l.Type, (l.Lower - 0.001) / 1e6));
        EXPECT_FALSE(TCVoltageInRange(l.Type, (l.Upper + 0.001) / 1e6));
    }
    EXPECT_TRUE(TCVoltageInRange(tcJ, 0.0));
    EXPECT_FALSE(TCVoltageInRange(tcE, 0.060));
}

TEST(NoThermocouple, VoltageTypePassesTheVoltageThroughAndIsAlwaysInRange)
{
    EXPECT_EQ(TCVoltToTemp(tcVoltage, 0.5), 0.5);
    EXPECT_EQ(TCMicroVoltToTemp(tcVoltage, 250000.0), 0.25);
    EXPECT_TRUE(TCVoltageInRange(tcVoltage, 1000.0));
    EXPECT_EQ(TCTempToMicroVolt(tcVoltage, 100.0), 0.0);
}

TEST(NoThermocouple, UnknownOrdinalsGiveZeroAndAreNeverInRange)
{
    for (auto type :
         {UnknownType, static_cast<TThermocoupleType>(-1), static_cast<TThermocoupleType>(200)}) {
        EXPECT_EQ(TCMicroVoltToTemp(type, 1000.0), 0.0);
        EXPECT_EQ(TCVoltToTemp(type, 0.001), 0.0);
        EXPECT_EQ(TCTempToMicroVolt(type, 100.0), 0.0);
        EXPECT_FALSE(TCVoltageInRange(type, 0.0));
    }
}

// At a breakpoint the upper polynomial applies: the value there continues the values just above
// it, while just below the lower polynomial gives a slightly different temperature. The jump
// itself stays small, which also checks both tables at their shared edge.
struct TBreakpoint {
    TThermocoupleType Type;
    double MicroVolt;
};

void PrintTo(const TBreakpoint& b, std::ostream* os)
{
    *os << "type " << b.Type << " at " << b.MicroVolt << " uV";
}

class Breakpoint : public ::testing::TestWithParam<TBreakpoint>
{
};

TEST_P(Breakpoint, UpperSubRangeAppliesAtTheBreakpointAndThePiecesMeet)
{
    const TBreakpoint b = GetParam();
    const double at = TCMicroVoltToTemp(b.Type, b.MicroVolt);
    const double above = TCMicroVoltToTemp(b.Type, std::nextafter(b.MicroVolt, 1e9));
    const double below = TCMicroVoltToTemp(b.Type, std::nextafter(b.MicroVolt, -1e9));
    EXPECT_NEAR(at, above, 1e-9);
    EXPECT_GT(std::abs(at - below), 1e-4);
    EXPECT_LT(std::abs(at - below), 0.07);
}

INSTANTIATE_TEST_SUITE_P(
    Thermocouples, Breakpoint,
    ::testing::Values(TBreakpoint{tcJ, 42919}, TBreakpoint{tcK, 20644}, TBreakpoint{tcS, 1874},
                      TBreakpoint{tcS, 11950}, TBreakpoint{tcS, 17536}, TBreakpoint{tcR, 1923},
                      TBreakpoint{tcR, 13228}, TBreakpoint{tcR, 19739}, TBreakpoint{tcN, 20613},
                      TBreakpoint{tcB, 2430.6259445764}, TBreakpoint{tcC, 14020},
                      TBreakpoint{tcD, 28870}, TBreakpoint{tcD, 38277}, TBreakpoint{tcG, 30.88},
                      TBreakpoint{tcG, 3720.2}));

// J, K, E, T and N change polynomial at 0 µV, where both pieces give exactly 0 °C; the
// sub-range shows in the slope, which just above zero is the upper piece's linear term.
TEST(Breakpoint, AtZeroTheNegativeAndPositivePiecesBothGiveZeroAndSplitBySign)
{
    struct TZeroCase {
        TThermocoupleType Type;
        double LowerSlope; // °C per µV just below 0
        double UpperSlope; // °C per µV from 0 upward
    };
    const TZeroCase cases[] = {{tcJ, 0.019528268, 0.01978425},
                               {tcK, 0.025173462, 0.02508355},
                               {tcE, 0.016977288, 0.017057035},
                               {tcT, 0.025949723641258, 0.025928},
                               {tcN, 0.038436847, 0.0386896}};
    for (const TZeroCase& c : cases) {
        SCOPED_TRACE(c.Type);
        EXPECT_EQ(TCMicroVoltToTemp(c.Type, 0.0), 0.0);
        EXPECT_NEAR(TCMicroVoltToTemp(c.Type, 1e-6) / 1e-6, c.UpperSlope, 1e-10);
        EXPECT_NEAR(TCMicroVoltToTemp(c.Type, -1e-6) / -1e-6, c.LowerSlope, 1e-10);
    }
}

TEST(TCTempToMicroVolt, TypeSAtThousandDegreesAndBack)
{
    const double microVolt = TCTempToMicroVolt(tcS, 1000.0);
    EXPECT_NEAR(microVolt, 9587.14, 0.005);
    EXPECT_NEAR(TCMicroVoltToTemp(tcS, microVolt), 1000.0004, 0.00005);
    EXPECT_NEAR(TCTempToMicroVolt(tcS, 25.0), 142.67, 0.005);
}

TEST(TCTempToMicroVolt, BeyondTheRangeStopsWithinAHundredthOfTheNearerLimitWithoutRaising)
{
    for (const TLimits& l : Limits) {
        SCOPED_TRACE(l.Type);
        double high = 0;
        double low = 0;
        ASSERT_NO_THROW(high = TCTempToMicroVolt(l.Type, 5000.0));
        ASSERT_NO_THROW(low = TCTempToMicroVolt(l.Type, -500.0));
        EXPECT_LE(high, l.Upper);
        EXPECT_GT(high, l.Upper - 0.01);
        EXPECT_GE(low, l.Lower);
        EXPECT_LT(low, l.Lower + 0.01);
    }
    EXPECT_NEAR(TCTempToMicroVolt(tcS, 2000.0), 18693.54, 0.005);
}

// The answer is the last midpoint the bisection evaluated: after n halvings of the bracket that
// midpoint lies at an odd multiple of width / 2^n from the lower end (the next, unevaluated
// midpoint would be an odd multiple of width / 2^(n+1)). Type S halves 21 times, type J 23 times.
TEST(TCTempToMicroVolt, ReturnsTheLastEvaluatedMidpointOfTheBisection)
{
    struct TBisectionCase {
        TThermocoupleType Type;
        double Lower;
        double Upper;
        int Halvings;
        double TempC;
    };
    const TBisectionCase cases[] = {{tcS, -235.55507149267, 18693.544691, 21, 1000.0},
                                    {tcS, -235.55507149267, 18693.544691, 21, 25.0},
                                    {tcJ, -8095, 69553, 23, 500.0}};
    for (const TBisectionCase& c : cases) {
        const double steps = (TCTempToMicroVolt(c.Type, c.TempC) - c.Lower) / (c.Upper - c.Lower) *
                             std::ldexp(1.0, c.Halvings);
        EXPECT_NEAR(steps, std::round(steps), 1e-6);
        EXPECT_EQ(std::fmod(std::round(steps), 2.0), 1.0) << "not a midpoint of the last halving";
    }
}

// Round trip across each type's whole range: the bisection resolves the EMF to 0.01 µV, so the
// temperature comes back to within 0.01 µV times the local degrees per microvolt.
TEST(TCTempToMicroVolt, RoundTripReturnsTheTemperatureAcrossEachRange)
{
    double worst = 0;
    for (const TLimits& l : Limits) {
        SCOPED_TRACE(l.Type);
        const double from = TCMicroVoltToTemp(l.Type, l.Lower);
        const double to = TCMicroVoltToTemp(l.Type, l.Upper);
        constexpr int Steps = 400;
        for (int i = 1; i < Steps; ++i) {
            const double t = from + (to - from) * i / Steps;
            const double u = TCTempToMicroVolt(l.Type, t);
            const double perMicroVolt = std::abs(TCMicroVoltToTemp(l.Type, u + 0.005) -
                                                 TCMicroVoltToTemp(l.Type, u - 0.005)) /
                                        0.01;
            const double error = std::abs(TCMicroVoltToTemp(l.Type, u) - t);
            EXPECT_LE(error, 0.0101 * perMicroVolt + 1e-9) << "at " << t << " °C";
            worst = std::max(worst, error);
        }
    }
    RecordProperty("max_round_trip_error_C", std::to_string(worst));
}

TEST(ThermistorTemp, ConvertsInsideTheAcceptedResistancesAndRefusesOutside)
{
    struct TThermistorCase {
        double Ohm;
        bool Accepted;
        double ExpectedC;
    };
    const TThermistorCase cases[] = {
        {2986.0, true, 55.001}, {10000.0, true, 24.998}, {32600.0, true, 0.030}, {2985.9, false, 0},
        {32600.1, false, 0},    {0.0, false, 0},         {-10000.0, false, 0},   {NaN, false, 0}};
    for (const TThermistorCase& c : cases) {
        SCOPED_TRACE(c.Ohm);
        double tempC = -99.0;
        EXPECT_EQ(ThermistorTemp(tempC, c.Ohm), c.Accepted);
        if (c.Accepted)
            EXPECT_NEAR(tempC, c.ExpectedC, 0.0005);
        else
            EXPECT_EQ(tempC, -99.0) << "a refused resistance must leave the temperature alone";
    }
}

// ITS-90 reference values (NIST Monograph 175): EMF in µV at a temperature, rounded to 1 µV as
// tabulated, except the exact reference-function values at the ends of R, S and B. The inverse
// polynomials reproduce a temperature to within their published accuracy plus the temperature
// span of the table's half-microvolt rounding.
struct TReference {
    TThermocoupleType Type;
    double TempC;
    double MicroVolt;
    bool Rounded;
};

// Published accuracy of each type's inverse functions, °C (worst sub-range).
double InverseAccuracy(TThermocoupleType type)
{
    switch (type) {
    case tcJ:
        return 0.05;
    case tcK:
        return 0.06;
    case tcE:
        return 0.03;
    case tcT:
        return 0.04;
    case tcS:
        return 0.02;
    case tcR:
        return 0.02;
    case tcN:
        return 0.04;
    case tcB:
        return 0.03;
    default:
        return 0;
    }
}

// Degrees per microvolt over the half microvolt beside u, taken on the side inside the limits.
double DegreesPerMicroVolt(TThermocoupleType type, double u)
{
    const double step = TCVoltageInRange(type, (u + 0.5) / 1e6) ? 0.5 : -0.5;
    return std::abs(TCMicroVoltToTemp(type, u + step) - TCMicroVoltToTemp(type, u)) / 0.5;
}

const std::vector<TReference> References = {
    {tcJ, -210, -8095, true},
    {tcJ, -200, -7890, true},
    {tcJ, -100, -4633, true},
    {tcJ, 100, 5269, true},
    {tcJ, 300, 16327, true},
    {tcJ, 500, 27393, true},
    {tcJ, 700, 39132, true},
    {tcJ, 760, 42919, true},
    {tcJ, 900, 51877, true},
    {tcJ, 1000, 57953, true},
    {tcJ, 1200, 69553, true},
    {tcK, -200, -5891, true},
    {tcK, -100, -3554, true},
    {tcK, 100, 4096, true},
    {tcK, 300, 12209, true},
    {tcK, 500, 20644, true},
    {tcK, 700, 29129, true},
    {tcK, 1000, 41276, true},
    {tcK, 1200, 48838, true},
    {tcK, 1372, 54886, true},
    {tcE, -100, -5237, true},
    {tcE, 100, 6319, true},
    {tcE, 200, 13421, true},
    {tcE, 400, 28946, true},
    {tcE, 500, 37005, true},
    {tcE, 700, 53112, true},
    {tcT, -200, -5603, true},
    {tcT, -100, -3379, true},
    {tcT, 100, 4279, true},
    {tcT, 200, 9288, true},
    {tcT, 300, 14862, true},
    {tcT, 400, 20872, true},
    {tcS, -50, -235.55507149267, false},
    {tcS, 100, 646, true},
    {tcS, 250, 1874, true},
    {tcS, 500, 4233, true},
    {tcS, 1000, 9587, true},
    {tcS, 1200, 11951, true},
    {tcS, 1400, 14373, true},
    {tcS, 1600, 16777, true},
    {tcS, 1700, 17947, true},
    {tcS, 1768.1, 18693.544691, false},
    {tcR, -50, -226.46518817384, false},
    {tcR, 100, 647, true},
    {tcR, 250, 1923, true},
    {tcR, 500, 4471, true},
    {tcR, 1000, 10506, true},
    {tcR, 1200, 13228, true},
    {tcR, 1400, 16040, true},
    {tcR, 1600, 18849, true},
    {tcR, 1768.1, 21102.70234786, false},
    {tcN, -200, -3990, true},
    {tcN, -100, -2407, true},
    {tcN, 100, 2774, true},
    {tcN, 300, 9341, true},
    {tcN, 600, 20613, true},
    {tcN, 800, 28455, true},
    {tcN, 1000, 36256, true},
    {tcN, 1300, 47513, true},
    {tcB, 300, 431, true},
    {tcB, 500, 1242, true},
    {tcB, 700, 2431, true},
    {tcB, 1000, 4834, true},
    {tcB, 1200, 6786, true},
    {tcB, 1500, 10099, true},
    {tcB, 1700, 12433, true},
    {tcB, 1820, 13820.279215181, false},
};

TEST(ReferenceTables, InverseConversionsAgreeWithTheItsNinetyTables)
{
    double worst = 0;
    double worstBeyondRounding = 0;
    for (const TReference& r : References) {
        SCOPED_TRACE(::testing::Message() << "type " << r.Type << " at " << r.TempC << " °C");
        const double rounding = r.Rounded ? 0.5 * DegreesPerMicroVolt(r.Type, r.MicroVolt) : 0.0;
        const double error = std::abs(TCMicroVoltToTemp(r.Type, r.MicroVolt) - r.TempC);
        EXPECT_LE(error, InverseAccuracy(r.Type) + rounding);
        worst = std::max(worst, error);
        worstBeyondRounding = std::max(worstBeyondRounding, error - rounding);
    }
    RecordProperty("max_error_C", std::to_string(worst));
    RecordProperty("max_error_beyond_rounding_C", std::to_string(worstBeyondRounding));
}

// The cold-end compensation depends on the forward direction: the EMF found for a temperature
// must match the tables too.
TEST(ReferenceTables, TemperatureToEmfAgreesWithTheItsNinetyTables)
{
    for (const TReference& r : References) {
        SCOPED_TRACE(::testing::Message() << "type " << r.Type << " at " << r.TempC << " °C");
        const double perMicroVolt = DegreesPerMicroVolt(r.Type, r.MicroVolt);
        const double allowedMicroVolt =
            InverseAccuracy(r.Type) / perMicroVolt + (r.Rounded ? 0.5 : 0.0) + 0.01;
        EXPECT_NEAR(TCTempToMicroVolt(r.Type, r.TempC), r.MicroVolt, allowedMicroVolt);
    }
}

} // namespace
} // namespace oxtiva
