// The Win32 serial device on a COM port that scripts/test-windows maps under Wine to the
// simulated cell's SourceMeter line (OXTIVA_TEST_COM_PORT); skipped without one.
#include "instruments/serial_device.h"
#include "instruments/serial_port.h"

#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

class SerialDeviceWindows : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        port = qEnvironmentVariable("OXTIVA_TEST_COM_PORT");
        if (port.isEmpty()) GTEST_SKIP() << "no COM port mapped to the simulated cell";
    }

    TSerialLineSettings Line() const
    {
        TSerialLineSettings settings;
        settings.Port = port;
        return settings;
    }

    QString port;
};

TEST_F(SerialDeviceWindows, SecondOpenerIsRefusedUntilTheFirstCloses)
{
    TSerialDevice first(Line());
    ASSERT_TRUE(first.OpenExclusive());
    TSerialDevice second(Line());
    EXPECT_FALSE(second.OpenExclusive());
    first.Close();
    EXPECT_TRUE(second.OpenExclusive());
}

TEST_F(SerialDeviceWindows, PortThatDoesNotExistOrIsUnnamedDoesNotOpen)
{
    for (const QString& name : {QStringLiteral("COM250"), QString()}) {
        TSerialLineSettings settings;
        settings.Port = name;
        TSerialDevice device(settings);
        EXPECT_FALSE(device.OpenExclusive()) << name.toStdString();
    }
}

// The port is held from the first exchange on: a second opener, here or in another
// program, is refused while it is held, and one that holds it first keeps the exchange out.
TEST_F(SerialDeviceWindows, ExchangeHoldsThePortAndASecondOpenerIsRefused)
{
    {
        TSerialDevice holder(Line());
        ASSERT_TRUE(holder.OpenExclusive());
        TSerialPort kept;
        kept.Port = port;
        EXPECT_EQ(kept.Send2(QByteArrayLiteral("*IDN?\r"), true).Status,
                  QByteArrayLiteral("Failed to setup Com port, port in use"));
    }
    TSerialPort serial;
    serial.Port = port;
    serial.ReadoutTimeoutMS = 3000;
    const TSerialResponse identity = serial.Send2(QByteArrayLiteral("*IDN?\r"), true);
    EXPECT_TRUE(identity.Status.isEmpty()) << identity.Status.toStdString();
    EXPECT_FALSE(identity.Response.isEmpty());
    TSerialDevice second(Line());
    EXPECT_FALSE(second.OpenExclusive()) << "the port is held between exchanges";
}

} // namespace
