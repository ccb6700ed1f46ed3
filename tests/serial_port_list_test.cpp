// The port list names every port in a form the transport accepts.
#include "instruments/port_list.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

TEST(SerialPortList, EveryKnownSerialPortIsListedOnceByTheNameTheTransportOpens)
{
    const QStringList ports = AvailableSerialPorts().value_or(QStringList());
    EXPECT_EQ(QStringList(ports).removeDuplicates(), 0);
#ifdef Q_OS_WIN
    // The port scripts/test-windows maps to the simulated cell is read from the registry.
    const QString mapped = qEnvironmentVariable("OXTIVA_TEST_COM_PORT");
    if (!mapped.isEmpty()) EXPECT_TRUE(ports.contains(mapped)) << mapped.toStdString();
#else
    EXPECT_EQ(ports.size(), QSerialPortInfo::availablePorts().size());
#endif
    for (const QString& port : ports) {
#ifdef Q_OS_WIN
        // scripts/test-windows maps COM ports into Wine; the registry must name them.
        EXPECT_TRUE(port.startsWith(QLatin1String("COM"))) << port.toStdString();
#else
        EXPECT_TRUE(port.startsWith(QLatin1String("/dev/"))) << port.toStdString();
        EXPECT_TRUE(QFileInfo::exists(port)) << port.toStdString();
#endif
    }
}

} // namespace
