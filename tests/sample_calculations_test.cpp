#include "science/sample_calculations.h"

#include <gtest/gtest.h>

#include <cmath>

namespace oxtiva
{
namespace
{

void ExpectRelativelyNear(double actual, double expected, double relative)
{
    EXPECT_NEAR(actual, expected, std::abs(expected) * relative);
}

TEST(SampleCalculations, DerivesTheSixQuantitiesFromTheWindowDefaults)
{
    const TSampleResults r = SampleCalculations(1.0, 7.22, 171.79, 1.98, 0.012);
    ExpectRelativelyNear(r.Vs, 1.38504e-4, 1e-5);
    ExpectRelativelyNear(r.n0, 5.82106e-3, 1e-5);
    ExpectRelativelyNear(r.nO0, 1.15257e-2, 1e-5);
    ExpectRelativelyNear(r.mO0, 0.184404, 1e-5);
    ExpectRelativelyNear(r.mM, 0.815596, 1e-6);
    ExpectRelativelyNear(r.Vhp, 0.0118615, 1e-6);
}

TEST(SampleCalculations, KeepsTheMassAndVolumeBalances)
{
    const TSampleResults r = SampleCalculations(2.5, 5.0, 100.0, 3.0, 0.02);
    EXPECT_DOUBLE_EQ(r.Vs, 0.0005);
    EXPECT_DOUBLE_EQ(r.n0, 0.025);
    EXPECT_DOUBLE_EQ(r.nO0, 0.075);
    EXPECT_DOUBLE_EQ(r.mO0, 0.075 * 15.9994);
    EXPECT_DOUBLE_EQ(r.mM + r.mO0, 2.5);
    EXPECT_DOUBLE_EQ(r.Vhp + r.Vs, 0.02);
}

TEST(SampleCalculations, NonPositiveDensityOrMolarMassGivesZeroInsteadOfDividing)
{
    struct TCase {
        double d;
        double M0;
        bool VolumeZero;
        bool MolesZero;
    };
    const TCase cases[] = {{0.0, 171.79, true, false},
                           {-1.0, 171.79, true, false},
                           {7.22, 0.0, false, true},
                           {7.22, -5.0, false, true},
                           {0.0, 0.0, true, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "d=" << c.d << " M0=" << c.M0);
        const TSampleResults r = SampleCalculations(1.0, c.d, c.M0, 1.98, 0.012);
        if (c.VolumeZero) {
            EXPECT_EQ(r.Vs, 0.0);
            EXPECT_EQ(r.Vhp, 0.012);
        }
        if (c.MolesZero) {
            EXPECT_EQ(r.n0, 0.0);
            EXPECT_EQ(r.nO0, 0.0);
            EXPECT_EQ(r.mO0, 0.0);
            EXPECT_EQ(r.mM, 1.0);
        }
    }
}

TEST(SampleCalculations, ASampleLargerThanTheHotPartGivesANegativeGasVolume)
{
    EXPECT_LT(SampleCalculations(200.0, 1.0, 171.79, 1.98, 0.012).Vhp, 0.0);
}

} // namespace
} // namespace oxtiva
