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

// The pump record: a reading's value holds until the hand-over that took it (HeldUntil),
// only the stretch from there to the next reading is booked at that reading.
struct TRecordSample {
    double Seconds;
    double Value;
    double HeldUntilSeconds; // 0: no hold beyond the sample
};

struct TRecordCase {
    const char* Name;
    std::vector<TRecordSample> Samples;
    double Sum;
    double LongestUnmeasuredS;
    double MeanRunningSum;
};

class PumpRecord : public ::testing::TestWithParam<TRecordCase>
{
};

TEST_P(PumpRecord, BooksEachIntervalAtTheValueThatHeldOverIt)
{
    const auto& c = GetParam();
    TDataSynchronizer sync(t0, QStringLiteral("I"));
    for (const TRecordSample& s : c.Samples) {
        sync.Add(At(s.Seconds), s.Value);
        if (s.HeldUntilSeconds > 0) sync.HeldUntil(At(s.HeldUntilSeconds));
    }
    EXPECT_NEAR(sync.Sum(), c.Sum, tolerance);
    EXPECT_NEAR(sync.LongestUnmeasuredS(), c.LongestUnmeasuredS, tolerance);
    EXPECT_NEAR(sync.MeanRunningSum(), c.MeanRunningSum, tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PumpRecord,
    ::testing::Values(
        // 1 A held for 10 s: the mean charge is that of the middle.
        TRecordCase{"Flat", {{5, 1, 5.1}, {10, 1, 0}}, 10, 5, 5},
        // Nothing for 5 s, then 4 A: the charge comes late, its mean is half the flat one's.
        TRecordCase{"LateCurrent", {{5, 0, 5}, {10, 4, 0}}, 20, 5, 5},
        // A stalled hand-over: 1 A held through it, the next level's 5 A only after it.
        TRecordCase{"StalledHandOver",
                    {{0.1, 1, 0.15}, {0.2, 1, 3}, {3.1, 5, 0}},
                    0.1 + 0.1 + 2.8 + 0.5,
                    0.1,
                    (0.1 * 3.05 + 0.1 * 2.95 + 2.8 * (3.1 - 1.6) + 0.5 * 0.05) / 3.1},
        // An instrument outage: no hand-over for 5 s, a stretch nothing measured.
        TRecordCase{"Outage",
                    {{0.1, 1, 0.15}, {5.15, 2, 0}},
                    0.1 + 0.05 + 10,
                    5,
                    (0.1 * 5.1 + 0.05 * 5.025 + 10 * 2.5) / 5.15}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PumpRecord, AWindowContinuedFromAnotherLosesNoTime)
{
    TDataSynchronizer whole(t0, QStringLiteral("I"));
    TDataSynchronizer first(t0, QStringLiteral("I"));
    const TRecordSample samples[] = {{1, 2, 1.5}, {2, 3, 4}, {4.1, 1, 4.2}, {5, 7, 5.2}};
    for (const TRecordSample& s : samples) {
        whole.Add(At(s.Seconds), s.Value);
        whole.HeldUntil(At(s.HeldUntilSeconds));
    }
    for (const TRecordSample& s : {samples[0], samples[1]}) {
        first.Add(At(s.Seconds), s.Value);
        first.HeldUntil(At(s.HeldUntilSeconds));
    }
    TDataSynchronizer next(first.Tail(), QStringLiteral("I"));
    EXPECT_EQ(next.TimeMin(), first.TimeMax());
    for (const TRecordSample& s : {samples[2], samples[3]}) {
        next.Add(At(s.Seconds), s.Value);
        next.HeldUntil(At(s.HeldUntilSeconds));
    }
    EXPECT_NEAR(first.Sum() + next.Sum(), whole.Sum(), tolerance);
    // 3 held from 2 s to 4 s, 1 from 4 s to 4.2 s, 7 after that.
    EXPECT_NEAR(next.Sum(), 3 * 2 + 1 * 0.2 + 7 * 0.8, tolerance)
        << "the held value of the window before carries the start of the next";
    EXPECT_NEAR(next.LongestUnmeasuredS(), 0.8, tolerance);
}

} // namespace
} // namespace oxtiva
