// The pump side's command texts and reply parsing, as pure functions.
#include "instruments/smu_commands.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>

using namespace oxtiva;

namespace
{

TEST(SmuCommands, SetUpSequenceCarriesTheLimitsAsMagnitudesCappedAtTheMaxima)
{
    struct TCase {
        double current, voltage;
        QByteArray currentText, voltageText;
    };
    const TCase cases[] = {{0.001, 0.9, "0.001", "0.9"},
                           {0.01, 2, "0.005", "1.1"},
                           {-0.002, -0.5, "0.002", "0.5"},
                           {0.0000015, 0.25, "1.5E-6", "0.25"}};
    for (const auto& c : cases) {
        const QList<QByteArray> commands = SmuSetupCommands(c.current, c.voltage);
        ASSERT_EQ(commands.size(), 20);
        EXPECT_EQ(commands[SmuVoltageProtectionCommandIndex],
                  ":SENS:VOLT:PROT:LEV " + c.voltageText + "\r");
        EXPECT_EQ(commands[13], ":SENS:CURR:PROT:LEV " + c.currentText + "\r");
    }
    const QList<QByteArray> commands = SmuSetupCommands(0.001, 0.9);
    EXPECT_EQ(commands.front(), QByteArray("*RST\r"));
    EXPECT_EQ(commands[15], QByteArray(":SENS:FUNC:ON \"VOLT\", \"CURR\"\r"));
    EXPECT_EQ(commands.back(), QByteArray(":OUTPUT:STATE 1\r"));
}

TEST(SmuCommands, SourceLevelsAreWrittenWithSixDecimalsAndAPointInAnyLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SourceCurrentCommand(CurrentLevelText(100)),
              QByteArray(":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000100;:OUTPUT:STATE 1\r"));
    EXPECT_EQ(SourceCurrentCommand(CurrentLevelText(0)),
              QByteArray(":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000000;:OUTPUT:STATE 1\r"));
    EXPECT_EQ(CurrentLevelText(-2500), QByteArray("-0.002500"));
    EXPECT_EQ(CurrentLevelText(std::nan("")), QByteArray("0.0"));
    EXPECT_EQ(SourceVoltageCommand(ClampedSourceVoltage(-0.25).Text),
              QByteArray(":SOUR:FUNC VOLT;:SOUR:VOLT:LEV -0.250000;:OUTPUT:STATE 1\r"));
    QLocale::setDefault(previous);
}

TEST(SmuCommands, SourceVoltageIsClampedToOneVoltEitherWay)
{
    struct TCase {
        double volts;
        float value;
        QByteArray text;
    };
    const TCase cases[] = {{1.7, 1, "1"},           {-3, -1, "-1"},     {std::nan(""), -1, "-1"},
                           {0.2, 0.2f, "0.200000"}, {1, 1, "1.000000"}, {-1, -1, "-1.000000"}};
    for (const auto& c : cases) {
        const TSourceVoltage v = ClampedSourceVoltage(c.volts);
        EXPECT_EQ(v.Value, c.value) << c.volts;
        EXPECT_EQ(v.Text, c.text) << c.volts;
    }
}

TEST(SmuCommands, ReadingRepliesSplitIntoFields)
{
    struct TCase {
        QByteArray reply;
        QList<QByteArray> fields;
    };
    const TCase cases[] = {
        {"+5.000000E-01,+1.000000E-04", {"+5.000000E-01", "+1.000000E-04"}},
        {"1, 2", {"1", "2"}},
        {"1 2", {"1", "2"}},
        {"1,2,3", {"1", "2", "3"}},
        {"1,", {"1", ""}},
        {"1,,2", {"1", "", "2"}},
        {"\"a, b\",2", {"a, b", "2"}},
        {"", {}},
        {"+9.9E37", {"+9.9E37"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitReadingFields(c.reply), c.fields) << c.reply.toStdString();
}

// The read-back confirms a source only with its function, its level to the command's six
// decimals and its output on.
TEST(SmuCommands, ReadBackConfirmsOnlyTheSourceThatWasSent)
{
    struct TCase {
        bool voltage;
        QByteArray reply;
        QByteArray level;
        bool confirms;
    };
    const TCase cases[] = {
        {false, "CURR;+1.000000E-04;1", "0.000100", true},
        {false, "CURR;+1.000000E-04;1", "0.000050", false},
        {false, "VOLT;+1.000000E-04;1", "0.000100", false},
        {false, "CURR;+1.000000E-04;0", "0.000100", false},
        {false, "CURR;+1.000000E-04", "0.000100", false},
        {false, "CURR;+0.000000E+00;1", "0.0", true},
        {true, "VOLT;+2.000000E-01;1", "0.200000", true},
        {true, "VOLT;-1.000000E+00;1", "-1", true},
        {true, "VOLT;+2.000010E-01;1", "0.200000", false},
        {true, "CURR;+2.000000E-01;1", "0.200000", false},
        {true, "+2.000000E-01,+1.000000E-04", "0.200000", false},
    };
    for (const auto& c : cases) {
        const bool confirms = c.voltage ? ConfirmsVoltageSource(c.reply, c.level)
                                        : ConfirmsCurrentSource(c.reply, c.level);
        EXPECT_EQ(confirms, c.confirms)
            << c.reply.toStdString() << " for " << c.level.toStdString();
    }
}

} // namespace
