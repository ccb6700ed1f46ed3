// Readings that cannot be true, judged per instrument function.
#include "instruments/plausible_readings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace oxtiva;

namespace
{

TEST(PlausibleReadings, EachFunctionAcceptsOnlyFiniteValuesItCanMeasure)
{
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    struct TCase {
        const char* function;
        bool (*plausible)(double);
        double value;
        bool expected;
    };
    const TCase cases[] = {
        {"SmuVoltage", PlausibleSmuVoltage, 0.35, true},
        {"SmuVoltage", PlausibleSmuVoltage, -21, true},
        {"SmuVoltage", PlausibleSmuVoltage, 21.5, false},
        {"SmuVoltage", PlausibleSmuVoltage, 9.9e37, false},
        {"SmuVoltage", PlausibleSmuVoltage, nan, false},
        {"SmuCurrent", PlausibleSmuCurrent, -1.05, true},
        {"SmuCurrent", PlausibleSmuCurrent, 1.2e-4, true},
        {"SmuCurrent", PlausibleSmuCurrent, 2, false},
        {"SmuCurrent", PlausibleSmuCurrent, -9.9e37, false},
        {"SmuCurrent", PlausibleSmuCurrent, inf, false},
        {"DmmVoltage", PlausibleDmmVoltage, 6.9e-3, true},
        {"DmmVoltage", PlausibleDmmVoltage, -1010, true},
        {"DmmVoltage", PlausibleDmmVoltage, 1011, false},
        {"DmmVoltage", PlausibleDmmVoltage, 9.9e37, false},
        {"DmmVoltage", PlausibleDmmVoltage, -inf, false},
        {"DmmResistance", PlausibleDmmResistance, 10120.5, true},
        {"DmmResistance", PlausibleDmmResistance, 0, true},
        {"DmmResistance", PlausibleDmmResistance, -0.5, false},
        {"DmmResistance", PlausibleDmmResistance, 1.3e8, false},
        {"DmmResistance", PlausibleDmmResistance, 9.9e37, false},
        {"DmmResistance", PlausibleDmmResistance, nan, false},
        {"pO2", PlausiblepO2, 0.2, true},
        {"pO2", PlausiblepO2, 1e-25, true},
        {"pO2", PlausiblepO2, 0, false},
        {"pO2", PlausiblepO2, -0.1, false},
        {"pO2", PlausiblepO2, inf, false},
        {"pO2", PlausiblepO2, nan, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(c.plausible(c.value), c.expected) << c.function << " " << c.value;
}

TEST(PlausibleReadings, OverflowIsTheSCPIValueOfEitherSign)
{
    EXPECT_TRUE(IsOverflowReading(9.9e37));
    EXPECT_TRUE(IsOverflowReading(-9.9e37));
    EXPECT_TRUE(IsOverflowReading(9.91e37));
    EXPECT_FALSE(IsOverflowReading(1.1));
    EXPECT_FALSE(IsOverflowReading(9.8e37));
}

} // namespace
