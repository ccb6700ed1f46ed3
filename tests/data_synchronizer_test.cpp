#include "control/data_synchronizer.h"
#include "support/log_capture.h"
#include "support/qstring_printer.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <vector>

namespace oxtiva
{
namespace
{

constexpr TDateTime t0 = 45000.5; // an afternoon, as NowDays() would give it

TDateTime At(double seconds)
{
    return t0 + seconds / SecondsPerDay;
}

struct TSample {
    double Seconds;
    double Value;
};

struct TWindowCase {
    const char* Name;
    std::vector<TSample> Samples;
    double Sum;
    double DurationS;
    double Average;
};

class TimeWeightedMean : public ::testing::TestWithParam<TWindowCase>
{
};

// A day count near 45000 resolves time to about 0.6 microseconds, hence the tolerance.
constexpr double tolerance = 1e-5;

TEST_P(TimeWeightedMean, WeighsEachSampleByTheTimeSinceThePreviousOne)
{
    const auto& c = GetParam();
    TDataSynchronizer sync(t0, QStringLiteral("I"));
    for (const TSample& s : c.Samples)
        sync.Add(At(s.Seconds), s.Value);
    EXPECT_NEAR(sync.Sum(), c.Sum, tolerance);
    EXPECT_NEAR(sync.DurationS(), c.DurationS, tolerance);
    EXPECT_NEAR(sync.Average(), c.Average, tolerance);
    EXPECT_EQ(sync.TimeMin(), t0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TimeWeightedMean,
    ::testing::Values(TWindowCase{"Fresh", {}, 0, 0, 0},
                      TWindowCase{"OnlySampleAtCreationTime", {{0, 7}}, 0, 0, 0},
                      TWindowCase{"TwoSamples", {{2, 5}, {3, 8}}, 18, 3, 6},
                      TWindowCase{"LateSampleWeighsNegative", {{4, 1}, {3, 1}}, 3, 4, 0.75},
                      TWindowCase{"LongGapWeighsMore", {{1, 10}, {10, 1}}, 19, 10, 1.9}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TimeWeightedMean, OutOfOrderSampleLeavesTheWindowEndButMovesThePreviousTime)
{
    TDataSynchronizer sync(t0, QStringLiteral("V"));
    sync.Add(At(4), 1);
    sync.Add(At(3), 1);
    EXPECT_EQ(sync.TimeMax(), At(4));
    EXPECT_EQ(sync.TimePrev(), At(3));
}

TEST(TimeWeightedMean, LoggerIsNamedAfterTheQuantityAndStartsOff)
{
    TDataSynchronizer sync(t0, QStringLiteral("pO2"));
    EXPECT_EQ(sync.L.Category(), QStringLiteral("TDataSynchronizer pO2"));
    EXPECT_FALSE(sync.L.Enabled());
}

TEST(TimeWeightedMean, SwitchedOnLoggerTracesEachAdd)
{
    const QLocale previous;
    QLocale::setDefault(QLocale::c());
    TDataSynchronizer sync(t0, QStringLiteral("T"));
    {
        TLogCapture capture(sync.L);
        ASSERT_TRUE(capture.Open());
        sync.Add(At(2), 5);
        const QStringList messages = capture.Messages();
        ASSERT_EQ(messages.size(), 6);
        EXPECT_EQ(messages[0], QStringLiteral("-> Add"));
        EXPECT_TRUE(messages[1].startsWith(QStringLiteral("Elapsed: 1.99999")) ||
                    messages[1].startsWith(QStringLiteral("Elapsed: 2")))
            << messages[1].toStdString();
        EXPECT_TRUE(messages[2].startsWith(QStringLiteral("Duration: ")));
        EXPECT_TRUE(messages[3].startsWith(QStringLiteral("Sum: ")));
        EXPECT_TRUE(messages[4].startsWith(QStringLiteral("Average: 5")));
        EXPECT_EQ(messages[5], QStringLiteral("<- Add"));
    }
    QLocale::setDefault(previous);
}

} // namespace
} // namespace oxtiva
