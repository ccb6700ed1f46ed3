#include "control/step_progress.h"
#include "support/qstring_printer.h"

#include <gtest/gtest.h>

#include <limits>

namespace oxtiva
{
namespace
{

TEST(StepProgress, ElapsedTimeShowsHoursMinutesAndSeconds)
{
    EXPECT_EQ(ElapsedText(0), "00:00:00");
    EXPECT_EQ(ElapsedText(59.99), "00:00:59");
    EXPECT_EQ(ElapsedText(12 * 60 + 30.5), "00:12:30");
    EXPECT_EQ(ElapsedText(3600 + 70), "01:01:10");
    // A step of a week still reads as hours.
    EXPECT_EQ(ElapsedText(7 * 24 * 3600 + 5), "168:00:05");
    EXPECT_EQ(ElapsedText(-3), "00:00:00");
    EXPECT_EQ(ElapsedText(std::numeric_limits<double>::quiet_NaN()), "00:00:00");
}

TEST(StepProgress, LabelNamesTheStepItsTimeAndItsStability)
{
    EXPECT_EQ(StepProgressText(1, 5, 12 * 60 + 30, 70),
              "Step 2 of 5 · 00:12:30 in step · pO2 stable for 00:01:10");
    EXPECT_EQ(StepProgressText(0, 1, 0, 0), "Step 1 of 1 · 00:00:00 in step · pO2 stable for 00:00:00");
    EXPECT_EQ(StepProgressText(1, 5, 60, 30, TStepWait{0.1, 0.834, 0.5}),
              "Step 2 of 5 · 00:01:00 in step · pO2 stable for 00:00:30, waiting: RC I 0.834 % "
              "≥ 0.5 %")
        << "a steady pO2 does not hide that the step waits for the current";
    EXPECT_EQ(StepProgressText(1, 5, 60, 30, TStepWait{0.1, 0.2, 0.5, true}),
              "Step 2 of 5 · 00:01:00 in step · pO2 stable for 00:00:30, waiting: current at "
              "its limit");
    const TStepWait wait{0.834, -0.12, 0.5, false, false, 100, true, true};
    EXPECT_EQ(StepProgressText(1, 5, 12 * 60 + 30, std::nullopt, wait),
              "Step 2 of 5 · 00:12:30 in step · waiting: RC pO2 0.834 % ≥ 0.5 %, "
              "RC I -0.120 % < 0.5 %");
}

// A step that waits names every rule it has not met, and the values behind them.
TEST(StepProgress, WaitingSaysWhy)
{
    struct TCase {
        TStepWait Wait;
        const char* Text;
    };
    const TCase cases[] = {
        {{std::nullopt, std::nullopt, 0.5, false, true, 100, false, false},
         "RC pO2 not yet known, RC I not yet known, step shorter than the RC duration of 100 s"},
        {{0.1, 0.6, 0.5, false, false, 100, false, false},
         "RC pO2 0.100 % < 0.5 %, RC I 0.600 % ≥ 0.5 %"},
        {{-0.5, 0.2, 0.5, true, false, 100, true, false},
         "RC pO2 -0.500 % ≥ 0.5 %, current at its limit, pO2 not yet within 0.5 % of the set "
         "point"},
        {{0.01, 0.02, 0.05, false, false, 60, true, true},
         "RC pO2 0.010 % < 0.05 %, RC I 0.020 % < 0.05 %"},
        // A current near zero: its change against the floor says which rule holds.
        {{0.01, 40, 0.5, false, false, 60, false, false, false, 2e-8, 1e-7},
         "RC pO2 0.010 % < 0.5 %, RC I 40.000 % ≥ 0.5 % but change 2.0E-8 A ≤ 1.0E-7 A"},
        {{0.01, -40, 0.5, false, false, 60, false, false, false, -3e-7, 1e-7},
         "RC pO2 0.010 % < 0.5 %, RC I -40.000 % ≥ 0.5 %, change -3.0E-7 A > 1.0E-7 A"},
        {{0.01, std::nullopt, 0.5, false, false, 60, false, false, false, 0, 1e-7},
         "RC pO2 0.010 % < 0.5 %, RC I not yet known but change 0.0E+0 A ≤ 1.0E-7 A"},
        {{0.01, 0.2, 0.5, false, false, 60, false, false, false, 3e-7, 1e-7},
         "RC pO2 0.010 % < 0.5 %, RC I 0.200 % < 0.5 %, change 3.0E-7 A > 1.0E-7 A"}};
    for (const TCase& c : cases)
        EXPECT_EQ(StepWaitText(c.Wait), QString::fromUtf8(c.Text));
}

struct TSettledCase {
    const char* Name;
    std::vector<TStepRow> Rows; // oldest first
    std::optional<double> Seconds;
};

class SettledTime : public ::testing::TestWithParam<TSettledCase>
{
};

TEST_P(SettledTime, RunsFromTheEndOfTheLastUnsettledPointToTheNewestPoint)
{
    EXPECT_EQ(SecondsSettled(GetParam().Rows), GetParam().Seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettledTime,
    ::testing::Values(
        TSettledCase{"NoRowsYet", {}, std::nullopt},
        TSettledCase{"NewestUnsettled", {{10, true}, {20, true}, {30, false}}, std::nullopt},
        TSettledCase{"FirstSettledPointCountsWhole", {{10, false}, {20, false}, {30, true}}, 10.0},
        TSettledCase{"UnbrokenStretch", {{10, false}, {20, true}, {30, true}, {40, true}}, 30.0},
        TSettledCase{"BreakStartsAgain", {{10, true}, {20, false}, {30, true}, {40, true}}, 20.0},
        TSettledCase{"SettledSinceTheStart", {{10, true}, {20, true}}, 20.0}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace oxtiva
