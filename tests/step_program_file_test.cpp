#include "control/step_line.h"
#include "control/step_program_file.h"
#include "support/qstring_printer.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace oxtiva
{

inline void PrintTo(const TStepFileProblem& problem, std::ostream* os)
{
    *os << problem.Text().toStdString();
}

namespace
{

// The ranges of the list's edits: −log(pO2) from 0.678 to 16, millivolts ±1000.
const TStepLimits EditLimits{-16, -0.678, -1000, 1000};

// Files are written and read in the locale's number format; each test says which.
class StepProgramFile : public ::testing::Test
{
  protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(fPrevious); }

  private:
    QLocale fPrevious;
};

struct TLocaleCase {
    QLocale::Language Language;
    QLocale::Territory Territory;
    const char* SecondLine; // as the list writes it in that locale
};

class StepProgramFileRoundTrip : public StepProgramFile,
                                 public ::testing::WithParamInterface<TLocaleCase>
{
};

TEST_P(StepProgramFileRoundTrip, WritesTheListsLinesAndReadsThemBackUnchanged)
{
    QLocale::setDefault(QLocale(GetParam().Language, GetParam().Territory));
    const QStringList lines = {StepLine(1, -4, 45), StepLine(2, -0.678, -20),
                               StepLine(3, -4.33333, 1000)};
    ASSERT_EQ(lines[1], QString::fromLatin1(GetParam().SecondLine));
    const QByteArray bytes = StepProgramFileText(lines);
    EXPECT_EQ(bytes, (lines.join("\r\n") + "\r\n").toUtf8());
    const TStepFileContents read = ParseStepProgramFile(bytes, EditLimits);
    ASSERT_TRUE(read.Ok()) << read.Problems.first().Text().toStdString();
    EXPECT_EQ(read.Lines, lines);
    // What runs is what was saved.
    double setpoint = 0;
    ASSERT_TRUE(StepLineSetpoint(read.Lines[1], setpoint));
    EXPECT_DOUBLE_EQ(setpoint, -0.678);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, StepProgramFileRoundTrip,
    ::testing::Values(TLocaleCase{QLocale::C, QLocale::AnyTerritory, "0002   -0.678      -20"},
                      TLocaleCase{QLocale::English, QLocale::UnitedStates,
                                  "0002   -0.678      -20"},
                      TLocaleCase{QLocale::German, QLocale::Germany, "0002   -0,678      -20"}));

TEST_F(StepProgramFile, TakesEitherLineEndAByteOrderMarkAndBlankLines)
{
    const QStringList expected = {"0001   -4          45", "0002   -5          115"};
    for (const char* text : {"0001   -4          45\n0002   -5          115\n",
                             "0001   -4          45\r\n0002   -5          115\r\n",
                             "0001   -4          45\r\n0002   -5          115",
                             "0001   -4          45\n0002   -5          115\r\n\r\n  \n",
                             "\n0001   -4          45\n   \n0002   -5          115\n",
                             "\xEF\xBB\xBF"
                             "0001   -4          45\r\n0002   -5          115\r\n"}) {
        SCOPED_TRACE(text);
        const TStepFileContents read = ParseStepProgramFile(QByteArray(text), EditLimits);
        EXPECT_TRUE(read.Ok());
        EXPECT_EQ(read.Lines, expected);
    }
}

struct TBadLineCase {
    const char* Line;
    const char* Problem;
};

class StepProgramFileBadLine : public StepProgramFile,
                               public ::testing::WithParamInterface<TBadLineCase>
{
};

// The bad line sits between two good ones: it alone is named, and nothing is taken.
TEST_P(StepProgramFileBadLine, NamesTheLineAndWhatIsWrongAndTakesNothing)
{
    const QByteArray bytes = QByteArray("0001   -4          45\r\n") + GetParam().Line +
                             "\r\n0003   -6          227\r\n";
    const TStepFileContents read = ParseStepProgramFile(bytes, EditLimits);
    EXPECT_TRUE(read.Lines.isEmpty());
    ASSERT_EQ(read.Problems.size(), 1);
    EXPECT_EQ(read.Problems[0].Text(), QStringLiteral("line 2: ") + GetParam().Problem);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StepProgramFileBadLine,
    ::testing::Values(
        TBadLineCase{"0002 - -5          115",
                     "expected 3 columns (step number, log(pO2) set point, millivolts) separated "
                     "by blanks or a tab, found 4 in '0002 - -5          115'"},
        TBadLineCase{"0002\t-5\t115 mV",
                     "expected 3 columns (step number, log(pO2) set point, millivolts) separated "
                     "by blanks or a tab, found 4 in '0002\u2192-5\u2192115 mV'"},
        TBadLineCase{"0002   -5", "expected 3 columns (step number, log(pO2) set point, "
                                  "millivolts) separated by blanks or a tab, found 2 in '0002   "
                                  "-5'"},
        TBadLineCase{"00002  -5          115",
                     "the step number '00002' is not a whole number of at most four digits"},
        TBadLineCase{"-2     -5          115",
                     "the step number '-2' is not a whole number of at most four digits"},
        TBadLineCase{"0002   -4,5x       115", "the log(pO2) set point '-4,5x' is not a number"},
        TBadLineCase{"0002   -4,5        115", "the log(pO2) set point '-4,5' is not a number "
                                               "(this computer writes decimals with '.')"},
        TBadLineCase{"0002   -4.33333    115",
                     "the log(pO2) set point '-4.33333' is longer than 6 characters"},
        TBadLineCase{"0002   -5          1x5", "the millivolts '1x5' are not a number"},
        TBadLineCase{"0002   -5          -0000115",
                     "the millivolts '-0000115' are longer than 6 characters"},
        TBadLineCase{"0002   -17         115", "the log(pO2) set point -17 lies outside -16 to "
                                               "-0.678"},
        TBadLineCase{"0002   -0.5        115",
                     "the log(pO2) set point -0.5 lies outside -16 to -0.678"},
        TBadLineCase{"0002   -5          1001", "the millivolts 1001 lie outside -1000 to 1000"},
        TBadLineCase{"0002   -5          11\xff", "not UTF-8 text"}));

// Hand-written files: any blanks or tabs between the columns, blank lines and comments.
// Each step comes back in the list's fixed columns, with the numbers exactly as typed,
// and a problem names the line of the file, comments counted.
TEST_F(StepProgramFile, TakesFreeColumnsBlankLinesAndCommentsIntoTheListsColumns)
{
    const QByteArray text = "# ceria, reduction series\r\n"
                            "\r\n"
                            "1 -4 45\r\n"
                            "  0002\t-5.25\t\t115   \r\n"
                            "\t# the deep end\r\n"
                            "3\t \t-10  -0.5\r\n";
    const TStepFileContents read = ParseStepProgramFile(text, EditLimits);
    ASSERT_TRUE(read.Ok()) << read.Problems.first().Text().toStdString();
    EXPECT_EQ(read.Lines, (QStringList{"0001   -4          45", "0002   -5.25       115",
                                       "0003   -10         -0.5"}));
    double value = 0;
    ASSERT_TRUE(StepLineSetpoint(read.Lines[1], value));
    EXPECT_DOUBLE_EQ(value, -5.25);
    ASSERT_TRUE(StepLineMillivolts(read.Lines[2], value));
    EXPECT_DOUBLE_EQ(value, -0.5);

    const TStepFileContents bad =
        ParseStepProgramFile("# two steps\n\n1\t-4\t45\n2\t-5,0\t115\n", EditLimits);
    ASSERT_EQ(bad.Problems.size(), 1);
    EXPECT_EQ(bad.Problems[0].Text(), "line 4: the log(pO2) set point '-5,0' is not a number "
                                      "(this computer writes decimals with '.')");
}

TEST_F(StepProgramFile, ReportsEveryBadLineInFileOrder)
{
    const TStepFileContents read = ParseStepProgramFile(
        "0001   x           45\n0002   -5          115\n0003   -6          1x5\n", EditLimits);
    EXPECT_EQ(read.Problems,
              (QList<TStepFileProblem>{{1, "the log(pO2) set point 'x' is not a number"},
                                       {3, "the millivolts '1x5' are not a number"}}));
    EXPECT_TRUE(read.Lines.isEmpty());
}

TEST_F(StepProgramFile, AFileWithoutStepsIsRefusedAsAWhole)
{
    for (const char* text : {"", "\r\n", "\n\n   \r\n", "\xEF\xBB\xBF", "# only a comment\n"}) {
        SCOPED_TRACE(text);
        const TStepFileContents read = ParseStepProgramFile(QByteArray(text), EditLimits);
        ASSERT_EQ(read.Problems.size(), 1);
        EXPECT_EQ(read.Problems[0].Text(), "the file holds no steps");
    }
}

// A file saved where "," separates decimals, opened where "." does, and the other way
// round: the message says which separator this computer expects.
TEST_F(StepProgramFile, AFileFromAnotherLocaleNamesTheSeparatorExpectedHere)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QByteArray german = StepProgramFileText({StepLine(1, -0.85, 20)});
    QLocale::setDefault(QLocale::c());
    const QByteArray english = StepProgramFileText({StepLine(1, -0.85, 20)});

    TStepFileContents read = ParseStepProgramFile(german, EditLimits);
    ASSERT_EQ(read.Problems.size(), 1);
    EXPECT_EQ(read.Problems[0].Text(), "line 1: the log(pO2) set point '-0,85' is not a number "
                                       "(this computer writes decimals with '.')");

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    read = ParseStepProgramFile(english, EditLimits);
    ASSERT_EQ(read.Problems.size(), 1);
    EXPECT_EQ(read.Problems[0].Text(), "line 1: the log(pO2) set point '-0.85' is not a number "
                                       "(this computer writes decimals with ',')");
}

TEST_F(StepProgramFile, DescriptionListsTheFirstProblemsAndCountsTheRest)
{
    QList<TStepFileProblem> problems;
    for (int line = 1; line <= 13; ++line)
        problems.append({line, "empty line"});
    EXPECT_EQ(DescribeStepFileProblems(problems.mid(0, 2)),
              "line 1: empty line\nline 2: empty line");
    EXPECT_EQ(DescribeStepFileProblems(problems.mid(0, 4), 3),
              "line 1: empty line\nline 2: empty line\nline 3: empty line\nand one more bad line");
    const QStringList lines = DescribeStepFileProblems(problems).split('\n');
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[9], "line 10: empty line");
    EXPECT_EQ(lines[10], "and 3 more bad lines");
}

TEST(StepProgramFileName, GetsTheStepsExtensionWhenItLacksIt)
{
    EXPECT_EQ(WithStepsExtension("/data/ceria"), "/data/ceria.steps");
    EXPECT_EQ(WithStepsExtension("/data/ceria.steps"), "/data/ceria.steps");
    EXPECT_EQ(WithStepsExtension("/data/ceria.STEPS"), "/data/ceria.STEPS");
    EXPECT_EQ(WithStepsExtension("/data/ceria.v2"), "/data/ceria.v2.steps");
}

} // namespace
} // namespace oxtiva
