#include "control/step_line.h"
#include "records/string_spacer.h"
#include "support/qstring_printer.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace oxtiva
{
namespace
{

struct TSpacerCase {
    int Width;
    const char* Text;
    bool Right;
    const char* Expected;
};

class Spacer : public ::testing::TestWithParam<TSpacerCase>
{
};

TEST_P(Spacer, GivesExactlyTheWidth)
{
    const auto& c = GetParam();
    EXPECT_EQ(StringSpacer(c.Width, QString::fromLatin1(c.Text), c.Right),
              QString::fromLatin1(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Spacer,
    ::testing::Values(TSpacerCase{6, "-4", false, "-4    "}, TSpacerCase{6, "-4", true, "    -4"},
                      TSpacerCase{3, "12345", true, "345"}, TSpacerCase{3, "12345", false, "123"},
                      TSpacerCase{3, "abc", false, "abc"}, TSpacerCase{4, "", true, "    "},
                      TSpacerCase{0, "abc", false, ""}, TSpacerCase{-2, "abc", true, ""}));

// Lines are written and read in the locale's number format; these tests run in the C
// locale unless they say otherwise.
class StepLines : public ::testing::Test
{
  protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(fPrevious); }

  private:
    QLocale fPrevious;
};

TEST_F(StepLines, DefaultProgramHasEightSteps)
{
    EXPECT_EQ(
        DefaultStepProgram(),
        (QStringList{"0001   -4          45", "0002   -5          115", "0003   -6          227",
                     "0004   -7          361", "0005   -8          387", "0006   -9          420",
                     "0007   -10         466", "0008   -11         525"}));
}

TEST_F(StepLines, LinesKeepTheirColumns)
{
    EXPECT_EQ(StepLine(9, -0.678, 20), QStringLiteral("0009   -0.678      20"));
    EXPECT_EQ(StepLine(3, -10, -25), QStringLiteral("0003   -10         -25"));
    EXPECT_EQ(StepLine(12, -4.33333, 100.4), QStringLiteral("0012   -4.333      100"));
    EXPECT_EQ(StepLine(1, -16, 999.5), QStringLiteral("0001   -16         1000"));
}

struct TReadCase {
    const char* Line;
    double Setpoint;
    double Millivolts;
};

class StepLineReading : public StepLines, public ::testing::WithParamInterface<TReadCase>
{
};

TEST_P(StepLineReading, ControlCycleAndListClickReadTheSameValues)
{
    const QString line = QString::fromLatin1(GetParam().Line);
    double setpoint = 0, cycleMillivolts = 0, clickMillivolts = 0;
    ASSERT_TRUE(StepLineSetpoint(line, setpoint));
    ASSERT_TRUE(StepLineMillivolts(line, cycleMillivolts));
    ASSERT_TRUE(StepLineMillivoltsToEnd(line, clickMillivolts));
    EXPECT_DOUBLE_EQ(setpoint, GetParam().Setpoint);
    EXPECT_DOUBLE_EQ(cycleMillivolts, GetParam().Millivolts);
    EXPECT_DOUBLE_EQ(clickMillivolts, GetParam().Millivolts);
}

INSTANTIATE_TEST_SUITE_P(Table, StepLineReading,
                         ::testing::Values(TReadCase{"0009   -0.678      20", -0.678, 20},
                                           TReadCase{"0007   -10         466", -10, 466},
                                           TReadCase{"0003   -10         -25", -10, -25},
                                           TReadCase{"0012   -4.333      -1000", -4.333, -1000}));

TEST_F(StepLines, CutSetPointIsTheOneThatRuns)
{
    double setpoint = 0;
    ASSERT_TRUE(StepLineSetpoint(StepLine(1, -4.33333, 0), setpoint));
    EXPECT_DOUBLE_EQ(setpoint, -4.333);
}

TEST_F(StepLines, UnreadableTextIsReportedNotGuessed)
{
    double value = 123;
    EXPECT_FALSE(StepLineSetpoint(QStringLiteral("0001   abc         45"), value));
    EXPECT_FALSE(StepLineSetpoint(QStringLiteral("0001"), value));
    EXPECT_FALSE(StepLineMillivolts(QStringLiteral("0001   -4          "), value));
    EXPECT_FALSE(StepLineMillivolts(QStringLiteral("0001   -4          4x5"), value));
    EXPECT_FALSE(StepLineMillivoltsToEnd(QStringLiteral(""), value));
}

TEST_F(StepLines, CommaLocaleWritesAndReadsItsOwnSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString line = StepLine(9, -0.678, 20);
    EXPECT_EQ(line, QStringLiteral("0009   -0,678      20"));
    double setpoint = 0;
    ASSERT_TRUE(StepLineSetpoint(line, setpoint));
    EXPECT_DOUBLE_EQ(setpoint, -0.678);
}

} // namespace
} // namespace oxtiva
