#include "control/linear_least_squares.h"
#include "support/log_capture.h"
#include "support/qstring_printer.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

struct TFitCase {
    const char* Name;
    TPointArray Points;
    double Slope;
    double Intercept;
    double RRC;
};

class StraightLineFit : public ::testing::TestWithParam<TFitCase>
{
};

TEST_P(StraightLineFit, GivesTheRelativeChangeOfTheLineAcrossTheStretch)
{
    const auto& c = GetParam();
    TLLSResult result;
    ASSERT_TRUE(LinearLeastSquares(c.Points, result));
    EXPECT_NEAR(result.Slope, c.Slope, 1e-12);
    EXPECT_NEAR(result.Intercept, c.Intercept, 1e-12);
    EXPECT_NEAR(result.RRC, c.RRC, 1e-12);
    EXPECT_NEAR(result.R, 1, 1e-12);
    EXPECT_EQ(result.N, 3);
    EXPECT_EQ(result.RangeX, 4);
}

// The same Y values at X 5, 7, 9 keep the slope but not the intercept: the caller's
// shift of the first point to x = 0 is what makes the change one since the start.
INSTANTIATE_TEST_SUITE_P(
    Table, StraightLineFit,
    ::testing::Values(TFitCase{"Rising", {{0, 4}, {2, 5}, {4, 6}}, 0.5, 4, 0.5},
                      TFitCase{"NegativeIntercept", {{0, -1}, {2, 0}, {4, 1}}, 0.5, -1, -2},
                      TFitCase{"Unshifted", {{5, 4}, {7, 5}, {9, 6}}, 0.5, 1.5, 2.0 / 1.5},
                      TFitCase{"Unordered", {{4, 6}, {0, 4}, {2, 5}}, 0.5, 4, 0.5}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(StraightLineFit, ReportsTheSpreadOfY)
{
    TLLSResult result;
    ASSERT_TRUE(LinearLeastSquares({{0, 4}, {2, 5}, {4, 6}}, result));
    EXPECT_DOUBLE_EQ(result.AverageY, 5);
    EXPECT_EQ(result.MinY, 4);
    EXPECT_EQ(result.MaxY, 6);
}

TEST(StraightLineFit, NoisyDataGiveAPartialCorrelation)
{
    TLLSResult result;
    ASSERT_TRUE(LinearLeastSquares({{0, 1}, {1, 3}, {2, 2}, {3, 4}}, result));
    EXPECT_NEAR(result.Slope, 0.8, 1e-12);
    EXPECT_NEAR(result.Intercept, 1.3, 1e-12);
    EXPECT_NEAR(result.R, 0.8, 1e-12);
    EXPECT_NEAR(result.RRC, (1.3 + 0.8 * 3) / 1.3 - 1, 1e-12);
}

// Each failure is a false result with its one explanation on the "LLS" logger.
class FailedFit : public ::testing::Test
{
  protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(fPrevious); }

    QStringList FailureMessages(const TPointArray& points, TLLSResult& result)
    {
        TLogCapture capture(LLSLog());
        EXPECT_TRUE(capture.Open());
        EXPECT_FALSE(LinearLeastSquares(points, result));
        return capture.Messages().filter(QStringLiteral("LLS=False"));
    }

  private:
    QLocale fPrevious;
};

TEST_F(FailedFit, TooFewOrEqualXCannotBeFitted)
{
    for (const TPointArray& points :
         {TPointArray{}, TPointArray{{1, 2}}, TPointArray{{2, 1}, {2, 3}, {2, 5}}}) {
        TLLSResult result;
        EXPECT_EQ(FailureMessages(points, result),
                  QStringList{QStringLiteral("LLS=False, (N*SumX2 = SumX*SumX)")})
            << points.size();
    }
}

TEST_F(FailedFit, ConstantYHasNoRelativeChange)
{
    TLLSResult result;
    EXPECT_EQ(FailureMessages({{0, 3}, {1, 3}, {2, 3}}, result),
              QStringList{QStringLiteral("LLS=False, (N*SumY2 = SumY*SumY)")});
    EXPECT_EQ(result.MinY, 3); // written before the test that failed
    EXPECT_EQ(result.MaxY, 3);
}

TEST_F(FailedFit, RoundingThatLeavesNoSpreadOfYIsCaught)
{
    // Three equal Y that pass the exact test through rounding but leave no variance.
    const double y = 0.11370000000000001;
    TLLSResult result;
    TLogCapture capture(LLSLog());
    ASSERT_TRUE(capture.Open());
    ASSERT_FALSE(LinearLeastSquares({{0, y}, {1, y}, {2, y}}, result));
    const QStringList messages = capture.Messages();
    ASSERT_GE(messages.size(), 4);
    EXPECT_EQ(messages[messages.size() - 4],
              QStringLiteral("LLS=False, sqrt( SumY2-(sqr(SumY)/N) ) "));
    EXPECT_TRUE(messages[messages.size() - 3].startsWith(QStringLiteral("  SumY2 : 0.03878")));
    EXPECT_TRUE(messages[messages.size() - 2].startsWith(QStringLiteral("   SumY : 0.3411")));
    EXPECT_EQ(messages.last(), QStringLiteral("      N : 3"));
}

TEST_F(FailedFit, ZeroInterceptGivesNoRelativeChangeButKeepsTheSlope)
{
    TLLSResult result;
    TLogCapture capture(LLSLog());
    ASSERT_TRUE(capture.Open());
    ASSERT_FALSE(LinearLeastSquares({{0, 0}, {2, 1}, {4, 2}}, result));
    EXPECT_EQ(result.Slope, 0.5);
    EXPECT_EQ(result.Intercept, 0);
    const QStringList messages = capture.Messages();
    ASSERT_EQ(messages.size(), 8);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("sqr(SumX):3.6")));
    EXPECT_TRUE(messages[1].startsWith(QStringLiteral("a / N:1.2")));
    EXPECT_TRUE(messages[2].startsWith(QStringLiteral("SumX2-a:8.0")));
    EXPECT_TRUE(messages[3].startsWith(QStringLiteral("sqrt(a):2.828427")));
    EXPECT_EQ(messages.mid(4),
              (QStringList{"  SumY2 : 5", "   SumY : 3", "Average : 1",
                           "LLS=False, cannot calculate relative rate of change"}));
}

TEST(StraightLineFit, UnitLoggerStartsSwitchedOff)
{
    EXPECT_EQ(LLSLog().Category(), QStringLiteral("LLS"));
    EXPECT_FALSE(LLSLog().Enabled());
}

} // namespace
} // namespace oxtiva
