#include "records/logging.h"
#include "records/number_format.h"
#include "science/oxygen_sensor.h"
#include "science/thermocouples.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace oxtiva
{
namespace
{

constexpr double Ax = 29729.36789;
constexpr double Bx = -23.20793746;

TEST(SensorpO2, ConvertsTheSensorVoltageWithTheDefaultCalibration)
{
    struct TCase {
        double TempC;
        double Volt;
        double ExpectedAtm;
    };
    const TCase cases[] = {{700, 0.0, 1.3542e-4}, {700, 0.1, 0.015963}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Volt);
        EXPECT_NEAR(SensorpO2(c.TempC, c.Volt, Ax, Bx) / c.ExpectedAtm, 1.0, 5e-5);
    }
}

TEST(SensorpO2, HigherSensorVoltageMeansMoreOxygenByTheNernstSlope)
{
    // One decade of pO2 per 2.3026 / 46.4158749 × Tk millivolts.
    const double tk = 1073.15;
    const double mvPerDecade = std::log(10.0) / 46.4158749248346362 * tk;
    const double low = SensorpO2(800, 0.050, Ax, Bx);
    const double high = SensorpO2(800, 0.050 + mvPerDecade / 1000.0, Ax, Bx);
    EXPECT_NEAR(high / low, 10.0, 1e-9);
}

class ThermocouplesLogCapture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.isValid());
        ASSERT_TRUE(fDestination->OpenLogFile(fDir.path()));
        ThermocouplesLog().SetDestination(fDestination);
    }
    void TearDown() override
    {
        ThermocouplesLog().SetEnabled(false);
        ThermocouplesLog().SetDestination(nullptr);
    }
    QStringList Lines()
    {
        fDestination->Flush();
        QFile file(fDestination->FilePath());
        // Text mode: log lines end in CR LF on Windows.
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir fDir;
    std::shared_ptr<TLogDestination> fDestination = std::make_shared<TLogDestination>();
};

TEST_F(ThermocouplesLogCapture, UnitLoggerIsCreatedSwitchedOffAndLogsNothing)
{
    EXPECT_EQ(ThermocouplesLog().Category(), QStringLiteral("Thermocouples unit"));
    EXPECT_FALSE(ThermocouplesLog().Enabled());
    SensorpO2(700, 0.1, Ax, Bx);
    EXPECT_TRUE(Lines().isEmpty());
}

TEST_F(ThermocouplesLogCapture, SwitchedOnItLogsTheSixSensorLinesInOrder)
{
    ThermocouplesLog().SetEnabled(true);
    const double pO2 = SensorpO2(700, 0.1, Ax, Bx);
    const QStringList expected = {
        QStringLiteral("Ref: ") + FormatGeneral(0.209),
        QStringLiteral("mV : ") + FormatGeneral(100.0),
        QStringLiteral("Tk : ") + FormatGeneral(973.15),
        QStringLiteral("Ax : ") + FormatGeneral(Ax),
        QStringLiteral("Bx : ") + FormatGeneral(Bx),
        QStringLiteral("   = ") + FormatGeneral(pO2),
    };
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral("\tThermocouples unit\t") + expected[i]))
            << lines[i].toStdString();
    }
}

// The pump cell's open-circuit voltage relates the pO2 on its two sides: the cell side from the
// flush gas, the flush side from the sensor's cell pO2.
TEST(PumpCell, ZeroPumpVoltageReturnsTheReferenceUnchanged)
{
    double cell = -1;
    double flush = -1;
    ASSERT_TRUE(PumpCellSidepO2(700, 0.0, 0.209, cell));
    ASSERT_TRUE(PumpFlushSidepO2(700, 0.0, 1.5e-5, flush));
    EXPECT_EQ(cell, 0.209);
    EXPECT_EQ(flush, 1.5e-5);
}

TEST(PumpCell, OnlyAboveSevenHundredSeventyFiveKelvinGivesAValue)
{
    struct TCase {
        double TempC;
        bool Valid;
    };
    const TCase cases[] = {{500.00, false}, {501.80, false}, {-273.15, false},
                           {501.90, true},  {502.00, true},  {1000.0, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.TempC);
        double cell = -7;
        double flush = -7;
        EXPECT_EQ(PumpCellSidepO2(c.TempC, 0.05, 0.209, cell), c.Valid);
        EXPECT_EQ(PumpFlushSidepO2(c.TempC, 0.05, 1e-3, flush), c.Valid);
        if (!c.Valid) {
            EXPECT_EQ(cell, -7) << "a refused value must leave the output alone";
            EXPECT_EQ(flush, -7);
        }
    }
    double unchanged = -7;
    EXPECT_FALSE(PumpCellSidepO2(std::nan(""), 0.05, 0.209, unchanged));
    EXPECT_EQ(unchanged, -7);
}

TEST(PumpCell, FollowsTheNernstEquationOfFourElectronsPerOxygenMolecule)
{
    const double tempC = 700;
    const double volt = 0.1;
    const double a = -volt * 4 * 96485 / (8.314 * (tempC + 273.15));
    EXPECT_NEAR(PumpCellSideExponent(tempC, volt), a, 1e-12);
    EXPECT_EQ(CelsiusToKelvin(tempC), 973.15);

    double cell = 0;
    ASSERT_TRUE(PumpCellSidepO2(tempC, volt, 0.209, cell));
    // The constant e is cut to ten decimals; against exp that differs by about 3E-11 × |A|.
    EXPECT_NEAR(cell / (0.209 * std::exp(a)), 1.0, 1e-9);
    EXPECT_LT(cell, 0.209) << "a positive pump voltage means less oxygen in the cell";

    double flush = 0;
    ASSERT_TRUE(PumpFlushSidepO2(tempC, volt, 1e-3, flush));
    EXPECT_NEAR(flush / (1e-3 * std::exp(-a)), 1.0, 1e-9);
}

TEST(PumpCell, FlushSideUndoesTheCellSide)
{
    for (double volt : {-0.3, -0.01, 0.02, 0.25}) {
        SCOPED_TRACE(volt);
        double cell = 0;
        double flush = 0;
        ASSERT_TRUE(PumpCellSidepO2(850, volt, 0.209, cell));
        ASSERT_TRUE(PumpFlushSidepO2(850, volt, cell, flush));
        EXPECT_NEAR(flush / 0.209, 1.0, 1e-12);
    }
}

} // namespace
} // namespace oxtiva
