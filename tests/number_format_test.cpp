#include "records/number_format.h"
#include "support/qstring_printer.h"

#include <QLocale>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace oxtiva
{
namespace
{

struct TFormatCase {
    double Value;
    const char* Expected;
};

class GeneralFormat : public ::testing::TestWithParam<TFormatCase>
{
};

TEST_P(GeneralFormat, WritesFifteenDigitsAndSwitchesToExponentOutsidePlainRange)
{
    EXPECT_EQ(FormatGeneral(GetParam().Value, QLatin1Char('.')),
              QString::fromLatin1(GetParam().Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, GeneralFormat,
    ::testing::Values(
        TFormatCase{0, "0"}, TFormatCase{-0.0, "0"}, TFormatCase{1, "1"}, TFormatCase{-4, "-4"},
        TFormatCase{0.678, "0.678"}, TFormatCase{-0.678, "-0.678"}, TFormatCase{120, "120"},
        TFormatCase{0.0001, "0.0001"}, TFormatCase{0.00001, "1E-5"}, TFormatCase{1.5e-6, "1.5E-6"},
        TFormatCase{-1.5e-6, "-1.5E-6"}, TFormatCase{1e15, "1E15"},
        TFormatCase{999999999999999, "999999999999999"},
        TFormatCase{123456789012345678.0, "1.23456789012346E17"}, TFormatCase{0.1 + 0.2, "0.3"},
        TFormatCase{1.0 / 3.0, "0.333333333333333"}, TFormatCase{2.0 / 3.0, "0.666666666666667"},
        TFormatCase{0.00012345, "0.00012345"}, TFormatCase{9.99999999999999999e-5, "0.0001"},
        TFormatCase{1e-300, "1E-300"}, TFormatCase{1.7976931348623157e308, "1.79769313486232E308"},
        TFormatCase{29729.36789, "29729.36789"}, TFormatCase{-23.20793746, "-23.20793746"},
        TFormatCase{std::numeric_limits<double>::quiet_NaN(), "NAN"},
        TFormatCase{-std::numeric_limits<double>::infinity(), "-INF"}));

struct TPictureCase {
    const char* Pattern;
    double Value;
    const char* Expected;
};

class PictureFormat : public ::testing::TestWithParam<TPictureCase>
{
};

TEST_P(PictureFormat, RoundsHalfAwayFromZeroIntoThePicture)
{
    const auto& c = GetParam();
    EXPECT_EQ(FormatFloat(QString::fromLatin1(c.Pattern), c.Value, QLatin1Char('.')),
              QString::fromLatin1(c.Expected))
        << c.Pattern << " " << c.Value;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PictureFormat,
    ::testing::Values(
        TPictureCase{"0", 12.6, "13"}, TPictureCase{"0", 2.5, "3"}, TPictureCase{"0", -2.5, "-3"},
        TPictureCase{"0", 0.4, "0"}, TPictureCase{"0", -0.4, "0"}, TPictureCase{"0", 0, "0"},
        TPictureCase{"0", 466, "466"}, TPictureCase{"0", -25, "-25"}, TPictureCase{"0", 9.5, "10"},
        TPictureCase{"0000", 3, "0003"}, TPictureCase{"0000", 12345, "12345"},
        TPictureCase{"0000", -3, "-0003"}, TPictureCase{"0.0", 0.05, "0.1"},
        TPictureCase{"0.00", 12.3, "12.30"}, TPictureCase{"0.00", 0.125, "0.13"},
        TPictureCase{"0.00", -0.001, "0.00"}, TPictureCase{"0.00", 999.996, "1000.00"},
        TPictureCase{"0.000", -1.2345678, "-1.235"}, TPictureCase{"0.000", 0.0005, "0.001"},
        TPictureCase{"0.000000", 0.25, "0.250000"}, TPictureCase{"0.000000", 1e-7, "0.000000"},
        TPictureCase{"0.000000", 1234.5678901234, "1234.567890"},
        TPictureCase{"0.000 000", 0.21, "0.210 000"},
        TPictureCase{"0.000 000", -0.25, "-0.250 000"},
        TPictureCase{"0.000 000", 0.001, "0.001 000"},
        TPictureCase{"0.000 000", 0.003, "0.003 000"},
        TPictureCase{"0.000 000", 12.3456789, "12.345 679"},
        TPictureCase{"0.000 000", 0.9999999, "1.000 000"}, TPictureCase{"0.00E+0", 1234, "1.23E+3"},
        TPictureCase{"0.00E+0", 0.21, "2.10E-1"}, TPictureCase{"0.000E+0", 9.9999996, "1.000E+1"},
        TPictureCase{"0.000E+0", -0.0012346, "-1.235E-3"}, TPictureCase{"0.000E+0", 0, "0.000E+0"},
        TPictureCase{"0.000E+0", 1.5, "1.500E+0"}, TPictureCase{"0.00000E+0", 0.0123, "1.23000E-2"},
        TPictureCase{"0.00000E+0", 0.999999999, "1.00000E+0"},
        TPictureCase{"0.000000E+00", 2.1e-5, "2.100000E-05"},
        TPictureCase{"0.000000E+00", 0.21, "2.100000E-01"},
        TPictureCase{"0.000000E+00", 1.23e-123, "1.230000E-123"},
        TPictureCase{"0.000000E+00", 9.99999951e-10, "1.000000E-09"},
        TPictureCase{"0.000000E+00", 0, "0.000000E+00"}, TPictureCase{"0.00E-0", 1234, "1.23E3"},
        TPictureCase{"0.00E-0", 0.0123, "1.23E-2"}));

TEST(PictureFormat, NonFiniteValuesAreNamed)
{
    EXPECT_EQ(FormatFloat(u"0.000", std::numeric_limits<double>::quiet_NaN(), QLatin1Char('.')),
              QStringLiteral("NAN"));
    EXPECT_EQ(FormatFloat(u"0.00E+0", std::numeric_limits<double>::infinity(), QLatin1Char('.')),
              QStringLiteral("INF"));
}

// Switches the default locale for one test and puts the previous one back.
class GermanLocale : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        fPrevious = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void TearDown() override { QLocale::setDefault(fPrevious); }

  private:
    QLocale fPrevious;
};

TEST_F(GermanLocale, TextsUseTheLocaleSeparator)
{
    EXPECT_EQ(LocaleDecimalSeparator(), QLatin1Char(','));
    EXPECT_EQ(FormatGeneral(0.678), QStringLiteral("0,678"));
    EXPECT_EQ(FormatGeneral(-1.5e-6), QStringLiteral("-1,5E-6"));
    EXPECT_EQ(FormatFloat(u"0.000 000", 0.21), QStringLiteral("0,210 000"));
    EXPECT_EQ(FormatFloat(u"0.000000E+00", 2.1e-5), QStringLiteral("2,100000E-05"));
    EXPECT_EQ(FormatFloat(u"0.00", 12.3), QStringLiteral("12,30"));
}

TEST_F(GermanLocale, ScpiNumbersAlwaysUseAPoint)
{
    EXPECT_EQ(ScpiGeneral(0.678), QStringLiteral("0.678"));
    EXPECT_EQ(ScpiGeneral(1e-5), QStringLiteral("1E-5"));
    EXPECT_EQ(ScpiFixed6(0.25), QStringLiteral("0.250000"));
    EXPECT_EQ(ScpiFixed6(-1), QStringLiteral("-1.000000"));
    double value = 0;
    EXPECT_TRUE(ParseScpiDouble(u"0.25", value));
    EXPECT_DOUBLE_EQ(value, 0.25);
    EXPECT_FALSE(ParseScpiDouble(u"0,25", value));
}

TEST_F(GermanLocale, LocaleParsingReadsBackWhatWasWritten)
{
    double value = 0;
    ASSERT_TRUE(ParseLocaleDouble(FormatFloat(u"0.00", 1234.5), value));
    EXPECT_DOUBLE_EQ(value, 1234.5);
    EXPECT_FALSE(ParseLocaleDouble(u"1.5", value));
    ASSERT_TRUE(ParseLocaleDouble(u"-4,333", value));
    EXPECT_DOUBLE_EQ(value, -4.333);
}

TEST(ScpiFormat, UsesPointInTheDefaultLocaleToo)
{
    EXPECT_EQ(ScpiGeneral(-0.5), QStringLiteral("-0.5"));
    EXPECT_EQ(ScpiFixed6(1e-7), QStringLiteral("0.000000"));
    EXPECT_EQ(ScpiFixed6(0.0000016), QStringLiteral("0.000002"));
}

struct TParseCase {
    const char* Text;
    bool Accepted;
    double Value;      // expected when accepted
    int ErrorPosition; // 1-based, 0 when accepted
};

class ScpiParsing : public ::testing::TestWithParam<TParseCase>
{
};

TEST_P(ScpiParsing, AcceptsOnlyACompleteNumber)
{
    const auto& c = GetParam();
    const QString text = QString::fromLatin1(c.Text);
    double value = -12345;
    EXPECT_EQ(ParseScpiDouble(text, value), c.Accepted) << c.Text;
    if (c.Accepted) EXPECT_DOUBLE_EQ(value, c.Value) << c.Text;
    double positioned = 0;
    EXPECT_EQ(ScpiConversionErrorPosition(text, positioned), c.ErrorPosition) << c.Text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScpiParsing,
    ::testing::Values(TParseCase{"1", true, 1, 0}, TParseCase{"+9.9E37", true, 9.9e37, 0},
                      TParseCase{"-1.234567E-05", true, -1.234567e-5, 0},
                      TParseCase{"-.5", true, -0.5, 0}, TParseCase{"2.", true, 2, 0},
                      TParseCase{"1e+3", true, 1000, 0}, TParseCase{"1e-400", true, 0, 0},
                      TParseCase{"0.000000", true, 0, 0}, TParseCase{"", false, 0, 1},
                      TParseCase{" 1", false, 0, 1}, TParseCase{"1 ", false, 0, 2},
                      TParseCase{"1,5", false, 0, 2}, TParseCase{"1e", false, 0, 2},
                      TParseCase{"1e+", false, 0, 2}, TParseCase{"-", false, 0, 1},
                      TParseCase{".", false, 0, 1}, TParseCase{"1.2.3", false, 0, 4},
                      TParseCase{"abc", false, 0, 1}, TParseCase{"1e400", false, 0, 1},
                      TParseCase{"inf", false, 0, 1}, TParseCase{"nan", false, 0, 1},
                      TParseCase{"0x10", false, 0, 2}, TParseCase{"1.5\r", false, 0, 4}));

TEST(ScpiParsing, KeepsTheLeadingNumberOfAPartlyReadText)
{
    double value = 0;
    EXPECT_FALSE(ParseScpiDouble(u"1.5,+2", value));
    EXPECT_DOUBLE_EQ(value, 1.5);
}

struct TDateCase {
    const char* Pattern;
    const char* Expected;
};

class DateFormat : public ::testing::TestWithParam<TDateCase>
{
};

TEST_P(DateFormat, MinutesFollowHoursAndMonthsFollowYears)
{
    const QDateTime time(QDate(2020, 5, 17), QTime(14, 3, 59, 876));
    EXPECT_EQ(FormatDateTime(QString::fromLatin1(GetParam().Pattern), time),
              QString::fromLatin1(GetParam().Expected));
}

INSTANTIATE_TEST_SUITE_P(Table, DateFormat,
                         ::testing::Values(TDateCase{"yyyy-mm-dd", "2020-05-17"},
                                           TDateCase{"yyyy-mm-dd hh:mm", "2020-05-17 14:03"},
                                           TDateCase{"yyyy-mm-dd_hh:mm", "2020-05-17_14:03"},
                                           TDateCase{"yyyy-mm-dd hh:mm:ss",
                                                     "2020-05-17 14:03:59"}));

TEST(DateFormat, PadsEarlyHoursAndDays)
{
    const QDateTime time(QDate(2021, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:mm:ss", time), QStringLiteral("2021-01-02 03:04:05"));
}

} // namespace
} // namespace oxtiva
