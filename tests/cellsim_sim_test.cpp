// The simulated cell seen from outside, the way the program sees it: plain serial
// exchanges on the links, the control channel, and the program's own conversions.

#include "records/number_format.h"
#include "science/oxygen_sensor.h"
#include "science/thermocouples.h"
#include "support/cell_sim.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>

using oxtiva::testing::TCellSim;
using oxtiva::testing::TCellSimOptions;

namespace
{

constexpr double SensorAx = 29729.36789;
constexpr double SensorBx = -23.20793746;

struct TExchange {
    bool opened = false;
    QByteArray reply; // raw, terminator included when it came
};

// One exchange as the program makes it: open the port, write, wait for the reply when
// one is expected, close again. The reply ends at its CR or after quietTimeoutMs of
// silence once bytes have come.
TExchange Exchange(const QString& port, const QByteArray& command, bool waitForReply = true,
                   int timeoutMs = 1000, int quietTimeoutMs = 50)
{
    QSerialPort serial;
    serial.setPortName(port);
    TExchange result;
    result.opened = serial.open(QIODevice::ReadWrite);
    if (!result.opened) return result;
    serial.write(command + '\r');
    serial.waitForBytesWritten(1000);
    QDeadlineTimer deadline(timeoutMs);
    while (waitForReply && !result.reply.endsWith('\r') && !deadline.hasExpired()) {
        const int wait =
            result.reply.isEmpty() ? static_cast<int>(deadline.remainingTime()) : quietTimeoutMs;
        if (!serial.waitForReadyRead(std::max(1, wait)) && !result.reply.isEmpty()) break;
        result.reply += serial.readAll();
    }
    serial.close();
    return result;
}

QString Reply(const QString& port, const QByteArray& command)
{
    return QString::fromLatin1(Exchange(port, command).reply).trimmed();
}

void Send(const QString& port, const QByteArray& command)
{
    Exchange(port, command, false);
}

double Number(const QString& text)
{
    double value = NAN;
    EXPECT_TRUE(oxtiva::ParseScpiDouble(text, value)) << text.toStdString();
    return value;
}

// The multimeter reading of one scanner channel, as the acquisition thread takes it.
QString ReadChannel(const QString& port, int channel, const char* function)
{
    Send(port, ":ROUT:OPEN:ALL");
    Send(port, ":ROUT:CLOSE (@" + QByteArray::number(channel) + ")");
    return Reply(port, QByteArray(":FUNC \"") + function + "\";:READ?");
}

void SetUpPumpAsTheProgramDoes(const QString& port)
{
    for (const char* command : {"*RST",
                                ":ROUT:TERM REAR",
                                ":SOUR:FUNC VOLT",
                                ":SOUR:VOLT:MODE FIXED",
                                ":SOUR:VOLT:RANGE:AUTO 1",
                                ":SOUR:VOLT:LEVEL 0",
                                ":SOUR:FUNC CURR",
                                ":SOUR:CURR:MODE FIXED",
                                ":SOUR:CURR:RANGE:AUTO 1",
                                ":SOUR:CURR:LEVEL 0",
                                ":SENS:VOLT:PROT 1",
                                ":SENS:VOLT:PROT:LEV 0.9",
                                ":SENS:CURR:PROT 1",
                                ":SENS:CURR:PROT:LEV 0.001",
                                ":SENS:FUNC:CONC ON",
                                ":SENS:FUNC:ON \"VOLT\", \"CURR\"",
                                ":SENS:VOLT:NPLC MIN",
                                ":SENS:CURR:RANGE:AUTO 1",
                                ":FORM:ELEM VOLT,CURR",
                                ":OUTPUT:STATE 1",
                                ":INIT"})
        Send(port, command);
}

// A command without a reply gives no sign of its arrival; the count does.
bool WaitForCount(TCellSim& sim, const QString& countLine, const QString& expected)
{
    QDeadlineTimer deadline(2000);
    while (sim.Command(countLine) != expected)
        if (deadline.hasExpired())
            return false;
        else
            QThread::msleep(5);
    return true;
}

TCellSimOptions Options(double timeScale = 1.0, QStringList extraArgs = {})
{
    TCellSimOptions options;
    options.timeScale = timeScale;
    options.extraArgs = std::move(extraArgs);
    return options;
}

TEST(CellSim, BothInstrumentsIdentifyThemselvesAndTheMultimeterReportsRearInputs)
{
    TCellSim sim;
    EXPECT_TRUE(Reply(sim.SmuPort(), "*IDN?").contains("SourceMeter 2401"));
    EXPECT_TRUE(Reply(sim.DmmPort(), "*IDN?").contains("MultiMeter 2000"));
    const QByteArray raw = Exchange(sim.DmmPort(), ":SYST:FRSW?").reply;
    EXPECT_EQ(raw, QByteArray("0\r")) << "replies end in the CR the operator sets";
    EXPECT_EQ(sim.State()["smu_unknown"] + sim.State()["dmm_unknown"], 0);
}

TEST(CellSim, PumpReadingGivesVoltageAndCurrentOfTheSourcedOperatingPoint)
{
    TCellSim sim(Options(0.0));
    SetUpPumpAsTheProgramDoes(sim.SmuPort());
    Send(sim.SmuPort(), ":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000100;:OUTPUT:STATE 1");
    const QString reply = Reply(sim.SmuPort(), ":READ?");
    const QStringList fields = reply.split(',');
    ASSERT_EQ(fields.size(), 2) << reply.toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^[+-]\d\.\d{6}E[+-]\d\d$)").match(fields[0]).hasMatch());
    auto state = sim.State();
    EXPECT_EQ(state["source"], 0);
    EXPECT_EQ(state["output"], 1);
    EXPECT_DOUBLE_EQ(state["vprot_v"], 0.9);
    EXPECT_DOUBLE_EQ(state["iprot_a"], 0.001);
    EXPECT_NEAR(Number(fields[1]), 1e-4, 1e-8);
    EXPECT_NEAR(Number(fields[0]), state["pump_v_v"], 1e-4);
    // 50 ohm of electrolyte at 100 uA in air: the Nernst term is zero.
    EXPECT_NEAR(state["pump_v_v"], 0.005, 1e-6);
}

struct TComplianceCase {
    const char* source;
    const char* limits;
    double expectedVolts;
    double expectedAmperes;
};

class CellSimCompliance : public ::testing::TestWithParam<TComplianceCase>
{
};

TEST_P(CellSimCompliance, SourceIsCutBackByTheOtherQuantitysProtectionLevel)
{
    TCellSim sim(Options(0.0, {"--noise", "0"}));
    Send(sim.SmuPort(), GetParam().limits);
    Send(sim.SmuPort(), GetParam().source);
    const QStringList fields = Reply(sim.SmuPort(), ":READ?").split(',');
    ASSERT_EQ(fields.size(), 2);
    EXPECT_NEAR(Number(fields[0]), GetParam().expectedVolts, 1e-9);
    EXPECT_NEAR(Number(fields[1]), GetParam().expectedAmperes, 1e-11);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CellSimCompliance,
    ::testing::Values(
        // 0.5 V over 50 ohm would drive 10 mA; the 1 mA protection holds it.
        TComplianceCase{":SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.500000;:OUTPUT:STATE 1",
                        ":SENS:CURR:PROT:LEV 0.001", 0.05, 0.001},
        TComplianceCase{":SOUR:FUNC VOLT;:SOUR:VOLT:LEV -0.250000;:OUTPUT:STATE 1",
                        ":SENS:CURR:PROT:LEV 0.01", -0.25, -0.005},
        // 1 mA would need 50 mV; a 20 mV protection leaves 0.4 mA.
        TComplianceCase{":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.001000;:OUTPUT:STATE 1",
                        ":SENS:VOLT:PROT:LEV 0.02", 0.02, 0.0004},
        TComplianceCase{":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.001000;:OUTPUT:STATE 0",
                        ":SENS:VOLT:PROT:LEV 0.9", 0.0, 0.0}));

struct TCellCondition {
    double tempC;
    double coldC;
    double po2;
};

class CellSimReadings : public ::testing::TestWithParam<TCellCondition>
{
};

// The thermistor, thermocouple and sensor readings, put through the program's own
// conversions in the acquisition thread's order, give back the model's state.
TEST_P(CellSimReadings, ConvertBackToTheModelsTemperaturesAndPO2)
{
    TCellSim sim(Options(0.0));
    const TCellCondition c = GetParam();
    ASSERT_EQ(sim.Command(QString("set temp %1").arg(c.tempC)), "ok");
    ASSERT_EQ(sim.Command(QString("set cold %1").arg(c.coldC)), "ok");
    ASSERT_EQ(sim.Command(QString("set po2 %1").arg(c.po2, 0, 'g', 17)), "ok");

    const double ohm = Number(ReadChannel(sim.DmmPort(), 3, "RES"));
    const double tcVolts = Number(ReadChannel(sim.DmmPort(), 1, "VOLT:DC"));
    const double sensorVolts = Number(ReadChannel(sim.DmmPort(), 2, "VOLT:DC"));

    double coldC = -100;
    ASSERT_TRUE(oxtiva::ThermistorTemp(coldC, ohm)) << ohm;
    ASSERT_TRUE(oxtiva::TCVoltageInRange(oxtiva::tcS, tcVolts));
    const double cellC = oxtiva::TCVoltToTemp(
        oxtiva::tcS, oxtiva::TCTempToMicroVolt(oxtiva::tcS, coldC) / 1e6 + tcVolts);
    const double po2 = oxtiva::SensorpO2(cellC, sensorVolts, SensorAx, SensorBx);

    auto state = sim.State();
    EXPECT_NEAR(coldC, state["cold_c"], 0.002);
    EXPECT_NEAR(cellC, state["temp_c"], 0.03);
    EXPECT_NEAR(std::log10(po2), std::log10(state["po2_atm"]), 0.002);
}

INSTANTIATE_TEST_SUITE_P(Conditions, CellSimReadings,
                         ::testing::Values(TCellCondition{800, 30, 0.21},
                                           TCellCondition{650, 21.5, 1e-6},
                                           TCellCondition{1000, 45, 3e-15},
                                           TCellCondition{520, 5, 0.5}));

TEST(CellSim, OpenOrUnknownChannelReadsAsOverflow)
{
    TCellSim sim;
    Send(sim.DmmPort(), ":ROUT:OPEN:ALL");
    EXPECT_EQ(Reply(sim.DmmPort(), ":FUNC \"VOLT:DC\";:READ?"), "+9.90000000E+37");
    EXPECT_EQ(ReadChannel(sim.DmmPort(), 7, "VOLT:DC"), "+9.90000000E+37");
    EXPECT_EQ(ReadChannel(sim.DmmPort(), 3, "VOLT:DC"), "+9.90000000E+37");
}

// The pump's open-circuit voltage follows the program's pump-cell equation, so the
// program's cell-side pO2 at zero current is the model's pO2.
TEST(CellSim, OpenCircuitPumpVoltageGivesTheCellPO2ThroughTheProgramsNernstEquation)
{
    TCellSim sim(Options(0.0, {"--noise", "0"}));
    SetUpPumpAsTheProgramDoes(sim.SmuPort());
    for (double po2 : {1e-4, 1e-12, 0.5}) {
        ASSERT_EQ(sim.Command(QString("set po2 %1").arg(po2)), "ok");
        const QStringList fields = Reply(sim.SmuPort(), ":READ?").split(',');
        ASSERT_EQ(fields.size(), 2);
        EXPECT_EQ(Number(fields[1]), 0.0);
        double cellPO2 = 0;
        ASSERT_TRUE(oxtiva::PumpCellSidepO2(800, Number(fields[0]), 0.21, cellPO2));
        EXPECT_NEAR(std::log10(cellPO2), std::log10(po2), 1e-6) << po2;
    }
}

struct TPumpingCase {
    const char* command;
    int direction; // sign of the pO2 change
};

class CellSimPumping : public ::testing::TestWithParam<TPumpingCase>
{
};

TEST_P(CellSimPumping, CurrentMovesOxygenOutOfOrIntoTheCellOverModelTime)
{
    TCellSim sim(Options(2e4));
    SetUpPumpAsTheProgramDoes(sim.SmuPort());
    ASSERT_EQ(sim.Command("set po2 0.01"), "ok");
    auto before = sim.State();
    Send(sim.SmuPort(), GetParam().command);
    QThread::msleep(500);
    Reply(sim.SmuPort(), ":READ?");
    auto after = sim.State();
    EXPECT_GT(after["time_s"] - before["time_s"], 5000);
    const double change = std::log(after["po2_atm"] / before["po2_atm"]);
    EXPECT_GT(GetParam().direction * change, 0.05) << change;
    // The oxide sample follows the gas: it gives off oxygen while the cell is pumped down.
    EXPECT_LT(GetParam().direction * after["oxide_delta"], 0);
    EXPECT_NEAR(std::abs(after["pump_i_a"]), 0.001, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Directions, CellSimPumping,
    ::testing::Values(TPumpingCase{":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.001000;:OUTPUT:STATE 1", -1},
                      TPumpingCase{":SOUR:FUNC CURR;:SOUR:CURR:LEV -0.001000;:OUTPUT:STATE 1", +1},
                      TPumpingCase{":SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.900000;:OUTPUT:STATE 1", -1}));

// The oxygen line's terms are the model's own flows: the gas changes by what the pump
// removed, the leak let in and the sample gave off. A reducible sample gives off far more
// than the gas changes by, and the quarter-power leak brings oxygen in towards low pO2.
TEST(CellSim, ReportsTheTrueTermsOfTheOxygenBalance)
{
    TCellSim sim(Options(2e4, {"--sample-capacity", "1e-3", "--leak-alpha", "1e-9"}));
    SetUpPumpAsTheProgramDoes(sim.SmuPort());
    ASSERT_EQ(sim.Command("set po2 0.01"), "ok");
    Send(sim.SmuPort(), ":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.001000;:OUTPUT:STATE 1");
    auto before = sim.KeyValues("oxygen");
    EXPECT_EQ(before["time_scale"], 2e4);
    QThread::msleep(500);
    Reply(sim.SmuPort(), ":READ?");
    auto after = sim.KeyValues("oxygen");
    auto change = [&](const char* key) { return after[key] - before[key]; };
    const double seconds = change("time_s");
    ASSERT_GT(seconds, 5000);
    EXPECT_NEAR(change("charge_c") / seconds, 0.001, 1e-6);
    EXPECT_GT(change("leaked_mol"), 0);
    const double pumpedMol = change("charge_c") / (4 * 96485.0);
    EXPECT_NEAR(change("gas_mol"), -pumpedMol + change("leaked_mol") + change("oxide_delta"),
                1e-9 * pumpedMol);
    EXPECT_GT(change("oxide_delta"), 10 * std::abs(change("gas_mol")));
    EXPECT_TRUE(sim.Command("oxygen now").startsWith("error "));
}

// A gradient part of the gas at a linear profile down to the cold end, and a sample with a
// slow part that goes on moving after the pump has stopped.
TEST(CellSim, GradientGasAndASlowSampleKeepTheBalance)
{
    TCellSim sim(
        Options(2e4, {"--sample-capacity", "1e-3", "--gradient-volume", "0.006",
                      "--sample-slow-share", "0.5", "--sample-slow-time-constant", "36000"}));
    SetUpPumpAsTheProgramDoes(sim.SmuPort());
    ASSERT_EQ(sim.Command("set po2 0.01"), "ok");
    const double hotK = 800 + 273.15;
    const double coldK = 30 + 273.15;
    const double perAtm =
        (0.012 / hotK + 0.006 * std::log(hotK / coldK) / (hotK - coldK)) / 0.082057;
    auto before = sim.KeyValues("oxygen");
    EXPECT_NEAR(before["gas_mol"], 0.01 * perAtm, 1e-4 * 0.01 * perAtm);

    Send(sim.SmuPort(), ":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.001000;:OUTPUT:STATE 1");
    QThread::msleep(500);
    Send(sim.SmuPort(), ":SOUR:CURR:LEV 0.000000");
    auto pumped = sim.KeyValues("oxygen");
    QThread::msleep(500);
    auto after = sim.KeyValues("oxygen");
    auto change = [&](auto& from, auto& to, const char* key) { return to[key] - from[key]; };
    const double pumpedMol = change(before, after, "charge_c") / (4 * 96485.0);
    EXPECT_NEAR(change(before, after, "gas_mol"),
                -pumpedMol + change(before, after, "leaked_mol") +
                    change(before, after, "oxide_delta"),
                1e-9 * pumpedMol);
    EXPECT_GT(change(before, pumped, "oxide_delta"), 0);
    // The slow part still follows after the pump stopped, while the gas and the fast part
    // share what it gives: the terms balance through the pause as well.
    EXPECT_NE(change(pumped, after, "oxide_delta"), 0);
}

// A blank run's cell: no sample, a hot part of the given volume. All the pump moves goes
// into the gas or comes in through the leak.
TEST(CellSim, AnEmptyCellOfAGivenVolume)
{
    TCellSim sim(Options(2e4, {"--sample-capacity", "0", "--gas-volume", "0.02"}));
    SetUpPumpAsTheProgramDoes(sim.SmuPort());
    ASSERT_EQ(sim.Command("set po2 0.01"), "ok");
    const double perAtm = 0.02 / (800 + 273.15) / 0.082057;
    auto before = sim.KeyValues("oxygen");
    // Nothing buffers the gas: the leak moves its pO2 by a percent a second.
    EXPECT_NEAR(before["gas_mol"], 0.01 * perAtm, 1e-2 * 0.01 * perAtm);
    Send(sim.SmuPort(), ":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000100;:OUTPUT:STATE 1");
    QThread::msleep(300);
    auto after = sim.KeyValues("oxygen");
    auto change = [&](const char* key) { return after[key] - before[key]; };
    EXPECT_EQ(after["oxide_delta"], 0);
    EXPECT_GT(change("charge_c"), 0);
    EXPECT_NEAR(change("gas_mol"), -change("charge_c") / (4 * 96485.0) + change("leaked_mol"),
                1e-6 * change("charge_c") / (4 * 96485.0));
}

TEST(CellSim, WithoutCurrentTheCellStaysWhereItIs)
{
    TCellSim sim(Options(2e4));
    SetUpPumpAsTheProgramDoes(sim.SmuPort());
    ASSERT_EQ(sim.Command("set po2 0.01"), "ok");
    QThread::msleep(300);
    auto after = sim.State();
    EXPECT_GT(after["time_s"], 3000);
    // Only the small leak towards the flush gas acts.
    EXPECT_NEAR(std::log(after["po2_atm"] / 0.01), 0, 0.01);
}

TEST(CellSim, CountsAndRemembersTheCommandsItReceived)
{
    TCellSim sim;
    EXPECT_EQ(sim.Command("last dmm"), "");
    ReadChannel(sim.DmmPort(), 3, "RES");
    ReadChannel(sim.DmmPort(), 1, "VOLT:DC");
    ReadChannel(sim.DmmPort(), 2, "VOLT:DC");
    Send(sim.DmmPort(), "\x01\xff junk that is no command");
    ASSERT_TRUE(WaitForCount(sim, "count dmm ", "10"));
    EXPECT_EQ(sim.Command("count dmm :ROUT:OPEN:ALL"), "3");
    EXPECT_EQ(sim.Command("count dmm :ROUT:CLOSE (@3)"), "1");
    EXPECT_EQ(sim.Command("count dmm :FUNC \"VOLT:DC\";:READ?"), "2");
    EXPECT_EQ(sim.Command("count dmm :FUNC"), "3");
    EXPECT_EQ(sim.Command("count smu :"), "0");
    EXPECT_EQ(sim.Command("last dmm"), "\x01\xff junk that is no command");
    EXPECT_EQ(sim.State()["dmm_unknown"], 1);
    EXPECT_TRUE(sim.Command("frobnicate").startsWith("error "));
    EXPECT_TRUE(sim.Command("set temp hot").startsWith("error "));
}

struct TFaultCase {
    const char* instrument;
    const char* fault;
    const char* query;
    const char* expectedReply; // nullptr: no byte at all
};

class CellSimFault : public ::testing::TestWithParam<TFaultCase>
{
};

TEST_P(CellSimFault, FaultModeShapesTheReplyAndNoneRestoresIt)
{
    TCellSim sim(Options(0.0, {"--noise", "0"}));
    const TFaultCase c = GetParam();
    const QString port = QString(c.instrument) == "smu" ? sim.SmuPort() : sim.DmmPort();
    if (QString(c.instrument) == "dmm") {
        Send(port, ":ROUT:CLOSE (@2)");
        Send(port, ":FUNC \"VOLT:DC\"");
    }
    const QByteArray good = Exchange(port, c.query).reply;
    ASSERT_TRUE(good.endsWith('\r'));

    ASSERT_EQ(sim.Command(QString("fault %1 %2").arg(c.instrument, c.fault)), "ok");
    const TExchange spoiled = Exchange(port, c.query, true, 400);
    ASSERT_TRUE(spoiled.opened);
    if (!c.expectedReply)
        EXPECT_TRUE(spoiled.reply.isEmpty()) << spoiled.reply.toStdString();
    else if (QByteArray(c.expectedReply) == "<half>")
        EXPECT_EQ(spoiled.reply, good.left((good.size() - 1) / 2));
    else if (QByteArray(c.expectedReply) == "<junk>") {
        double value = 0;
        EXPECT_TRUE(spoiled.reply.endsWith('\r'));
        EXPECT_FALSE(oxtiva::ParseScpiDouble(QString::fromLatin1(spoiled.reply.trimmed()), value));
        EXPECT_FALSE(spoiled.reply.trimmed().isEmpty());
    } else
        EXPECT_EQ(spoiled.reply, QByteArray(c.expectedReply));

    ASSERT_EQ(sim.Command(QString("fault %1 none").arg(c.instrument)), "ok");
    EXPECT_EQ(Exchange(port, c.query).reply, good);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CellSimFault,
    ::testing::Values(TFaultCase{"smu", "no-reply", ":READ?", nullptr},
                      TFaultCase{"dmm", "no-reply", "*IDN?", nullptr},
                      TFaultCase{"smu", "silent", ":READ?", nullptr},
                      TFaultCase{"smu", "junk", ":READ?", "<junk>"},
                      TFaultCase{"dmm", "junk", ":READ?", "<junk>"},
                      TFaultCase{"smu", "half", ":READ?", "<half>"},
                      TFaultCase{"dmm", "half", "*IDN?", "<half>"},
                      TFaultCase{"dmm", "overflow", ":READ?", "+9.90000000E+37\r"},
                      TFaultCase{"smu", "overflow", ":READ?", "+9.900000E+37,+9.900000E+37\r"},
                      TFaultCase{"smu", "three-fields", ":READ?",
                                 "+0.000000E+00,+0.000000E+00,+0.000000E+00\r"},
                      TFaultCase{"dmm", "front-inputs", ":SYST:FRSW?", "1\r"}));

TEST(CellSim, NoReplyStillExecutesCommandsWhileSilentIgnoresThem)
{
    TCellSim sim(Options(0.0));
    ASSERT_EQ(sim.Command("fault smu no-reply"), "ok");
    Send(sim.SmuPort(), ":OUTPUT:STATE 1");
    ASSERT_TRUE(WaitForCount(sim, "count smu :OUTPUT:STATE", "1"));
    EXPECT_EQ(sim.State()["output"], 1);
    ASSERT_EQ(sim.Command("fault smu silent"), "ok");
    Send(sim.SmuPort(), ":OUTPUT:STATE 0");
    ASSERT_TRUE(WaitForCount(sim, "count smu :OUTPUT:STATE", "2")) << "the line still carried both";
    EXPECT_EQ(sim.State()["output"], 1);
}

TEST(CellSim, FaultsOnlyTheOtherInstrumentHasAreRefused)
{
    TCellSim sim;
    EXPECT_TRUE(sim.Command("fault dmm three-fields").startsWith("error "));
    EXPECT_TRUE(sim.Command("fault smu front-inputs").startsWith("error "));
    EXPECT_TRUE(sim.Command("fault smu sleepy").startsWith("error "));
    EXPECT_TRUE(sim.Command("fault psu none").startsWith("error "));
}

TEST(CellSim, StartsInTheFaultModesGivenOnItsCommandLine)
{
    TCellSim sim(Options(1.0, {"--fault-dmm", "front-inputs", "--fault-smu", "vanish"}));
    EXPECT_EQ(Reply(sim.DmmPort(), ":SYST:FRSW?"), "1");
    EXPECT_FALSE(QFileInfo::exists(sim.SmuPort()));
}

TEST(CellSim, VanishedInstrumentLosesItsLinkUntilNoneBringsANewOne)
{
    TCellSim sim;
    ASSERT_EQ(sim.Command("fault smu vanish"), "ok");
    EXPECT_FALSE(QFileInfo::exists(sim.SmuPort()));
    EXPECT_FALSE(QFileInfo(sim.SmuPort()).isSymLink());
    QSerialPort gone;
    gone.setPortName(sim.SmuPort());
    EXPECT_FALSE(gone.open(QIODevice::ReadWrite));
    ASSERT_EQ(sim.Command("fault smu none"), "ok");
    EXPECT_TRUE(Reply(sim.SmuPort(), "*IDN?").contains("SourceMeter 2401"));
    EXPECT_TRUE(Reply(sim.DmmPort(), "*IDN?").contains("MultiMeter 2000"));
}

// The program opens and closes the port for every exchange; junk and a client that goes
// away in the middle of a reply must not disturb the next one.
TEST(CellSim, SurvivesJunkAndClientsThatComeAndGo)
{
    TCellSim sim(Options(1.0, {"--latency-ms", "30"}));
    Send(sim.SmuPort(), QByteArray(10000, 'x'));
    Send(sim.SmuPort(), QByteArray("\0\r\n;;;:::\"\"'\r*IDN", 17));
    Send(sim.SmuPort(), ":READ?"); // gone before the reply is due
    QThread::msleep(60);
    for (int i = 0; i < 40; ++i) {
        const QString reply = Reply(sim.SmuPort(), i % 2 ? ":READ?" : "*IDN?");
        ASSERT_EQ(reply.contains("SourceMeter"), i % 2 == 0) << i << ": " << reply.toStdString();
    }
    EXPECT_EQ(sim.Command("count smu *IDN?"), "20");
}

TEST(CellSim, RepliesWaitForTheConfiguredLatency)
{
    TCellSimOptions options;
    options.latencyMs = 150;
    options.modelWireTime = true;
    TCellSim sim(options);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(Reply(sim.DmmPort(), "*IDN?").contains("MultiMeter"));
    // 150 ms plus 54 bytes on the wire at 19200 baud, about 28 ms.
    EXPECT_GE(elapsed.elapsed(), 175);
}

// A client that keeps the line open, sends several commands without waiting and notes
// when each piece of the replies arrived.
class TLineWatcher
{
  public:
    explicit TLineWatcher(const QString& port)
    {
        fSerial.setPortName(port);
        fOpened = fSerial.open(QIODevice::ReadWrite);
        fClock.start();
    }
    bool Opened() const { return fOpened; }
    void Send(const QByteArray& command)
    {
        fSerial.write(command + '\r');
        fSerial.waitForBytesWritten(1000);
    }
    // Collects for the given time; each element is (ms since opening, bytes).
    std::vector<std::pair<qint64, QByteArray>> Collect(int ms)
    {
        std::vector<std::pair<qint64, QByteArray>> pieces;
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired())
            if (fSerial.waitForReadyRead(std::max<int>(1, deadline.remainingTime())))
                pieces.emplace_back(fClock.elapsed(), fSerial.readAll());
        return pieces;
    }
    qint64 Elapsed() const { return fClock.elapsed(); }

  private:
    QSerialPort fSerial;
    QElapsedTimer fClock;
    bool fOpened = false;
};

QByteArray Joined(const std::vector<std::pair<qint64, QByteArray>>& pieces)
{
    QByteArray all;
    for (const auto& piece : pieces)
        all += piece.second;
    return all;
}

// When the last byte of each CR-ended reply came, in ms since the line was opened.
std::vector<qint64> ReplyEnds(const std::vector<std::pair<qint64, QByteArray>>& pieces)
{
    std::vector<qint64> ends;
    for (const auto& [ms, bytes] : pieces)
        for (int i = 0; i < bytes.count('\r'); ++i)
            ends.push_back(ms);
    return ends;
}

TEST(CellSim, LateReplyHoldsUpTheRepliesAfterItAndTheyKeepTheirOrder)
{
    TCellSim sim(Options(0.0, {"--late-smu", "300"}));
    {
        TLineWatcher line(sim.SmuPort());
        ASSERT_TRUE(line.Opened());
        const qint64 sent = line.Elapsed();
        line.Send(":READ?");
        line.Send("*IDN?");
        const auto pieces = line.Collect(900);
        const auto ends = ReplyEnds(pieces);
        ASSERT_EQ(ends.size(), 2u) << Joined(pieces).toStdString();
        EXPECT_GE(ends[0] - sent, 300);
        EXPECT_GE(ends[1] - sent, 600) << "the instrument starts on a command after the one before";
        EXPECT_TRUE(Joined(pieces).endsWith("SIM 1.0\r")) << Joined(pieces).toStdString();
    }

    ASSERT_EQ(sim.Command("late smu 0"), "ok");
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(Reply(sim.SmuPort(), "*IDN?").contains("SourceMeter"));
    EXPECT_LT(t.elapsed(), 250);
}

TEST(CellSim, PausedReplyArrivesInTwoHalvesWithThePauseBetween)
{
    TCellSim sim(Options(0.0, {"--noise", "0"}));
    ASSERT_EQ(sim.Command("pause dmm 80"), "ok");
    TLineWatcher line(sim.DmmPort());
    ASSERT_TRUE(line.Opened());
    line.Send("*IDN?");
    const auto pieces = line.Collect(400);
    ASSERT_EQ(pieces.size(), 2u) << Joined(pieces).toStdString();
    EXPECT_GE(pieces[1].first - pieces[0].first, 70);
    const QByteArray whole = "OXTIVA CELLSIM,MultiMeter 2000,0000002,SIM 1.0\r";
    EXPECT_EQ(pieces[0].second, whole.left(whole.size() / 2));
    EXPECT_EQ(Joined(pieces), whole);
}

TEST(CellSim, TimingFaultsStrikeAboutTheirShareOfReplies)
{
    TCellSim sim(Options(0.0, {"--pause-smu", "20:0.25", "--seed", "7"}));
    TLineWatcher line(sim.SmuPort());
    ASSERT_TRUE(line.Opened());
    int paused = 0;
    for (int i = 0; i < 80; ++i) {
        line.Send("*OPC?");
        paused += line.Collect(i == 0 ? 60 : 35).size() == 2 ? 1 : 0;
    }
    EXPECT_GT(paused, 8);
    EXPECT_LT(paused, 35);
    for (const char* bad :
         {"late smu", "late smu -5", "pause dmm 40 1.5", "late psu 10", "pause smu 40 0.5 extra"})
        EXPECT_TRUE(sim.Command(bad).startsWith("error ")) << bad;
}

TEST(CellSim, KeepsTheEventStatusEnableValueItIsGiven)
{
    TCellSim sim;
    EXPECT_EQ(Reply(sim.SmuPort(), "*ESE 37;*ESE?;*IDN?"),
              "37;OXTIVA CELLSIM,SourceMeter 2401,0000001,SIM 1.0");
    Send(sim.SmuPort(), "*RST");
    EXPECT_EQ(Reply(sim.SmuPort(), "*ESE?"), "37");
    EXPECT_EQ(Reply(sim.DmmPort(), "*ESE?"), "0");
    EXPECT_EQ(Reply(sim.DmmPort(), "*ESE 255;*ESE?"), "255");
}

TEST(CellSim, HistoryListsTheLastCommandLinesInOrder)
{
    TCellSim sim;
    EXPECT_EQ(sim.Command("history smu 5"), "");
    for (const char* command : {"*RST", ":SOUR:FUNC CURR", ":OUTPUT:STATE 1"})
        Send(sim.SmuPort(), command);
    ASSERT_TRUE(WaitForCount(sim, "count smu :OUTPUT", "1"));
    EXPECT_EQ(sim.Command("history smu 2"), ":SOUR:FUNC CURR\t:OUTPUT:STATE 1");
    EXPECT_EQ(sim.Command("history smu 10"), "*RST\t:SOUR:FUNC CURR\t:OUTPUT:STATE 1");
    EXPECT_TRUE(sim.Command("history smu").startsWith("error "));
}

// The reply log's lines of one instrument, each split at its tabs.
std::vector<QStringList> ReplyLogLines(const QString& path, const QString& instrument)
{
    std::vector<QStringList> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return lines;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(instrument.toLatin1() + '\t'))
            lines.push_back(QString::fromLatin1(line).split('\t'));
    return lines;
}

TEST(CellSim, ReplyLogTellsWhichCommandEachTaggedReadingAnsweredAndHowItFared)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("replies.tsv");
    TCellSim sim(Options(0.0, {"--reply-log", log, "--tag-readings", "--late-smu", "200"}));
    {
        TLineWatcher line(sim.SmuPort());
        line.Send(":READ?");
        line.Collect(250); // in time: nothing else was sent before it came
        line.Send(":READ?");
        line.Send(":OUTPUT:STATE 1"); // the asker moves on before the reply
        line.Collect(250);
        line.Send(":READ?");
    } // the line is closed before the third reply falls due
    Send(sim.DmmPort(), ":ROUT:CLOSE (@3)");
    Reply(sim.DmmPort(), ":FUNC \"RES\";:READ?");
    QThread::msleep(300);
    ASSERT_EQ(sim.Command("quit"), "bye");

    const auto smu = ReplyLogLines(log, "smu");
    ASSERT_EQ(smu.size(), 3u);
    const QStringList& first = smu[0];
    ASSERT_EQ(first.size(), 6) << first.join('|').toStdString();
    EXPECT_EQ(first.mid(0, 5), QStringList({"smu", "1", "in-time", "-", ":READ?"}));
    // Line 1: the voltage ends in 01, the current in 00.
    EXPECT_TRUE(QRegularExpression(R"(^[+-]\d\.\d{4}01E[+-]\d\d,[+-]\d\.\d{4}00E[+-]\d\d$)")
                    .match(first[5])
                    .hasMatch())
        << first[5].toStdString();
    EXPECT_EQ(smu[1].mid(0, 3), QStringList({"smu", "2", "late"}));
    EXPECT_EQ(smu[2].mid(0, 3), QStringList({"smu", "4", "lost"}));
    ASSERT_EQ(ReplyLogLines(log, "dmm").size(), 1u);
    const QStringList dmm = ReplyLogLines(log, "dmm").front();
    ASSERT_EQ(dmm.size(), 6);
    EXPECT_EQ(dmm.mid(0, 5),
              QStringList({"dmm", "2", "in-time", "ch3 RES", ":FUNC \"RES\";:READ?"}));
    EXPECT_TRUE(dmm[5].contains(QRegularExpression(R"(0002E[+-]\d\d$)"))) << dmm[5].toStdString();
}

bool AnyProcessMentions(const QString& text)
{
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmdline("/proc/" + pid + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text.toUtf8()))
            return true;
    }
    return false;
}

TEST(CellSimLauncher, LeavesNeitherProcessNorLinkBehind)
{
    QString smuLink;
    {
        TCellSim sim;
        smuLink = sim.SmuPort();
        ASSERT_TRUE(QFileInfo(smuLink).isSymLink());
        ASSERT_TRUE(AnyProcessMentions(smuLink));
    }
    EXPECT_FALSE(QFileInfo(smuLink).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(smuLink).path()));
    EXPECT_FALSE(AnyProcessMentions(smuLink));
}

} // namespace
