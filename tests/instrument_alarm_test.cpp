#include "app/experiment/instrument_alarm.h"
#include "support/qstring_printer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace oxtiva;

namespace
{

// A fixed local time, so the texts can be compared whole.
const TDateTime Now = ToDays(QDateTime(QDate(2024, 5, 6), QTime(14, 3, 27)));

TDateTime SecondsAgo(double aSeconds)
{
    return Now - aSeconds / SecondsPerDay;
}

TEST(AlarmDelay, IsThreeDataPointsButNeverUnderHalfAMinute)
{
    EXPECT_DOUBLE_EQ(AlarmDelaySeconds(1), 30);
    EXPECT_DOUBLE_EQ(AlarmDelaySeconds(10), 30);
    EXPECT_DOUBLE_EQ(AlarmDelaySeconds(15), 45);
    EXPECT_DOUBLE_EQ(AlarmDelaySeconds(600), 1800);
}

struct TWatchCase {
    const char* Name;
    bool Expected;
    double ExpectedForS; // seconds since readings began to be expected
    double LastReadingS; // seconds since the last good reading; NaN: never
    double DelayS;
    double MissingSinceS; // seconds ago; NaN: no alarm
};

class MissingReadings : public ::testing::TestWithParam<TWatchCase>
{
};

TEST_P(MissingReadings, CountOnlyTheTimeReadingsAreExpected)
{
    const TWatchCase c = GetParam();
    const TReadingWatch watch{c.Expected, SecondsAgo(c.ExpectedForS),
                              std::isnan(c.LastReadingS) ? 0 : SecondsAgo(c.LastReadingS)};
    const std::optional<TDateTime> since = MissingReadingsSince(watch, Now, c.DelayS);
    if (std::isnan(c.MissingSinceS)) {
        EXPECT_FALSE(since.has_value());
    } else {
        ASSERT_TRUE(since.has_value());
        EXPECT_NEAR((Now - *since) * SecondsPerDay, c.MissingSinceS, 1e-3);
    }
}

constexpr double None = NAN;

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingReadings,
    ::testing::Values(TWatchCase{"ReadingRecently", true, 3600, 10, 30, None},
                      TWatchCase{"SilentJustUnderHalfAMinute", true, 3600, 29.9, 30, None},
                      TWatchCase{"SilentLonger", true, 3600, 31, 30, 31},
                      TWatchCase{"NotExpectedWhilePaused", false, 3600, 3600, 30, None},
                      TWatchCase{"ResumedRecently", true, 20, 3600, 30, None},
                      TWatchCase{"SilentSinceResuming", true, 40, 3600, 30, 40},
                      TWatchCase{"NeverRead", true, 40, None, 30, 40},
                      TWatchCase{"LongDataPoints", true, 3600, 40, 45, None}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MissingReadingsText, NamesEachSilentInstrumentWithItsLocalTime)
{
    TMissingReadings missing;
    EXPECT_TRUE(MissingReadingsText(missing).isEmpty());
    const TStatusText usual{QStringLiteral("Valid instruments"), PictureGood};
    EXPECT_EQ(InstrumentPaneStatus(missing, usual).Text, usual.Text);
    EXPECT_EQ(InstrumentPaneStatus(missing, usual).Picture, PictureGood);

    missing[int(TInstrument::MultiMeter2000)] = Now;
    EXPECT_EQ(MissingReadingsText(missing),
              "No reading from MultiMeter 2000 since 2024-05-06 14:03:27");
    missing[int(TInstrument::SourceMeter2401)] = SecondsAgo(3600);
    const TStatusText pane = InstrumentPaneStatus(missing, usual);
    EXPECT_EQ(pane.Text, "No reading from SourceMeter 2401 since 2024-05-06 13:03:27, "
                         "MultiMeter 2000 since 2024-05-06 14:03:27");
    EXPECT_EQ(pane.Picture, PictureBad);
}

TEST(SilenceDuration, NamesTheTwoLargestUnits)
{
    const std::pair<double, const char*> cases[] = {{0, "0 s"},
                                                    {-3, "0 s"},
                                                    {42.4, "42 s"},
                                                    {59.6, "1 min 0 s"},
                                                    {252, "4 min 12 s"},
                                                    {3600, "1 h 0 min"},
                                                    {7530, "2 h 5 min"},
                                                    {86399, "23 h 59 min"},
                                                    {3 * 86400 + 4 * 3600 + 59, "3 d 4 h"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(SilenceDurationText(seconds), text) << seconds;
}

TEST(AlarmTrace, TellsSinceWhenHowLongAndHowEachAlarmEndedTheNewestFirst)
{
    const TClearedAlarm smu{TInstrument::SourceMeter2401, SecondsAgo(252), Now, true};
    EXPECT_EQ(ClearedAlarmText(smu),
              "SourceMeter 2401 silent from 2024-05-06 13:59:15 for 4 min 12 s, reads again");
    const TClearedAlarm dmm{TInstrument::MultiMeter2000, SecondsAgo(7200), SecondsAgo(3600), false};
    EXPECT_EQ(ClearedAlarmText(dmm), "MultiMeter 2000 silent from 2024-05-06 12:03:27 for 1 h "
                                     "0 min, then no longer read");

    EXPECT_TRUE(AlarmTraceText({}).isEmpty());
    EXPECT_EQ(AlarmTraceText({dmm, smu}), ClearedAlarmText(smu) + "; " + ClearedAlarmText(dmm));
    const std::vector<TClearedAlarm> many(6, smu);
    const QString trace = AlarmTraceText(many);
    EXPECT_EQ(trace.count("SourceMeter 2401"), 3);
    EXPECT_TRUE(trace.endsWith("; and 3 earlier")) << trace.toStdString();
}

// One instrument through a run: silent, paused, resumed, silent again, then answering.
TEST(InstrumentAlarm, RaisesOnceClearsOnAGoodReadingAndRestartsItsClockAfterAPause)
{
    TInstrumentAlarm alarm;
    constexpr int smu = int(TInstrument::SourceMeter2401);
    const TDateTime start = Now;
    auto at = [&](double s) { return start + s / SecondsPerDay; };
    auto look = [&](double s, bool expected, double lastGoodS) {
        return alarm.Update(at(s), {expected, false}, {at(lastGoodS), 0}, 30)[smu];
    };

    EXPECT_FALSE(look(0, true, 0));
    EXPECT_FALSE(look(29.9, true, 0));
    const auto raised = look(31, true, 0);
    ASSERT_TRUE(raised);
    EXPECT_TRUE(raised->Raised);
    EXPECT_DOUBLE_EQ(raised->Since, at(0));
    EXPECT_EQ(alarm.Missing()[smu], at(0));
    EXPECT_FALSE(look(60, true, 0)) << "raised once, not on every look";

    const auto paused = look(61, false, 0);
    ASSERT_TRUE(paused);
    EXPECT_FALSE(paused->Raised);
    EXPECT_FALSE(paused->ReadAgain);
    EXPECT_DOUBLE_EQ(paused->Since, at(0));
    EXPECT_DOUBLE_EQ(paused->Until, at(61));
    EXPECT_FALSE(look(500, false, 0));
    EXPECT_FALSE(look(501, true, 0)) << "resumed: the clock starts again";
    EXPECT_FALSE(look(530.9, true, 0));
    const auto again = look(532, true, 0);
    ASSERT_TRUE(again);
    EXPECT_DOUBLE_EQ(again->Since, at(501));

    const auto answered = look(540, true, 539);
    ASSERT_TRUE(answered);
    EXPECT_FALSE(answered->Raised);
    EXPECT_TRUE(answered->ReadAgain);
    EXPECT_DOUBLE_EQ(answered->Since, at(501)) << "how long it lasted, for the trace";
    EXPECT_DOUBLE_EQ(answered->Until, at(539)) << "the reading, not the look";
    EXPECT_FALSE(alarm.Missing()[smu]);
    EXPECT_FALSE(look(560, true, 559));
}

} // namespace
