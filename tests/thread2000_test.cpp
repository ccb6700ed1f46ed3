// The multimeter's reply parsing and set-up sequence.
#include "instruments/multimeter_exchange.h"

#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

TEST(MultimeterExchange, ReadingsParseWholeAndTheOverflowFailsInAnySpelling)
{
    struct TCase {
        QByteArray reply;
        bool ok;
        double value;
    };
    const TCase cases[] = {
        {"+1.23456789E+04", true, 12345.6789},
        {"-2.5E-06", true, -2.5e-6},
        {"0.000123", true, 0.000123},
        {"+9.9E37", false, 9.9e37},         // the overflow reading, value stored all the same
        {"+9.90000000E+37", false, 9.9e37}, // as the instrument writes it
        {"9.9e37", false, 9.9e37},
        {"-9.9E37", false, -9.9e37},
        {"+9.89E+37", true, 9.89e37}, // beyond any range, but that is the caller's to judge
        {"1.5V", false, 0},
        {"1,5", false, 0},
    };
    for (const auto& c : cases) {
        double value = 0;
        EXPECT_EQ(GetValue(c.reply, value), c.ok) << c.reply.toStdString();
        if (c.ok || c.reply.contains("9.9"))
            EXPECT_DOUBLE_EQ(value, c.value) << c.reply.toStdString();
    }
    double untouched = 42;
    EXPECT_FALSE(GetValue(QByteArray(), untouched));
}

TEST(MultimeterExchange, SetUpSequenceResetsAndConfiguresBothFunctions)
{
    const QList<QByteArray> commands = MultimeterSetupCommands();
    ASSERT_EQ(commands.size(), 11);
    EXPECT_EQ(commands.front(), QByteArray("*RST\r"));
    EXPECT_EQ(commands[3], QByteArray(":INIT:CONT 0\r"));
    EXPECT_EQ(commands[5], QByteArray(":SENS:FUNC 'VOLT:DC'\r"));
    EXPECT_EQ(commands[8], QByteArray(":SENS:FUNC 'RES'\r"));
    EXPECT_EQ(commands.back(), QByteArray(":SENS:RES:AVER:STAT OFF\r"));
    for (const QByteArray& command : commands)
        EXPECT_TRUE(command.endsWith('\r') && command.count('\r') == 1) << command.toStdString();
}

} // namespace
