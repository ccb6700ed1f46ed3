// "Calibrate" for a blank run in the window: the gas volume and the leak of an empty cell
// from the run so far, stored as the cell's constants in the edits and the settings file.
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/numeric_edits.h"
#include "records/date_time.h"
#include "records/settings_file.h"
#include "science/oxygen_balance.h"
#include "science/oxygen_constants.h"
#include "science/oxygen_leak_fit.h"
#include "science/oxygen_sensor.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace oxtiva
{
namespace
{

constexpr double FourF = 4 * 96485.0;
constexpr double TrueVolumeL = 0.02;
constexpr double TrueAlpha = 1e-9;
constexpr double CellC = 800;

class BlankRunCalibration : public ::testing::Test
{
  protected:
    QTemporaryDir fProgramFolder;
    std::unique_ptr<TfrmOxtiva> fWindow =
        std::make_unique<TfrmOxtiva>(nullptr, fProgramFolder.path());
    double fEndS = 0;
    double fpO2 = 0.21;
    int fCount = 0;

    void SetUp() override
    {
        TfrmOxtiva& w = *fWindow;
        w.State().StartTime = NowDays() - 1; // the run began a day ago: its points are past
        w.State().ProgramState = TProgramState::PIDSet;
        w.RtDoubleEditVgp->setValue(0);
        w.RtDoubleEditd->setValue(0); // Vhp = Vhpws
        w.RtDoubleEditFGpO2->setValue(0.21);
        w.RtDoubleEditLeakAlpha->setValue(5e-9);
        w.RtDoubleEditPumpCurrentLimit->setValue(1e-2);
    }
    TfrmOxtiva& W() { return *fWindow; }
    const TOxygenHistory& History() { return W().OxygenContent().History(); }
    QString Message() { return W().LabelBlankRunCalibration->text(); }
    TSettingsFile Settings() { return TSettingsFile(W().SettingsPath()); }

    // 10 s points of an empty cell: the first three take the gas to pO2 (a pump takes a
    // while), then the pump carries off what leaks in, with a little noise.
    void Hold(double target, int points)
    {
        const double cellK = CellC + ZeroCelsiusK;
        const double from = fpO2;
        for (int i = 0; i < points; ++i, ++fCount) {
            const double pO2 = i < 3 ? from * std::pow(target / from, (i + 1) / 3.0) : target;
            const double taken = GasAmount(fpO2 - pO2, cellK, cellK, TrueVolumeL, 0);
            const double leaked = TrueAlpha * QuarterPowerForce(0.21, pO2) * 10;
            const double noise = 1 + 1e-3 * std::sin(1.3 * fCount);
            TDataPointRec& p = W().State().DataPoint;
            const double start = fEndS;
            fEndS = start + 10;
            p.Mode = 14;
            p.CellpO2Valid = true;
            p.CellpO2 = pO2;
            p.Temp = CellC;
            p.Charge = (taken + leaked) * FourF * noise;
            p.MeanCharge = (taken + leaked / 2) * FourF * noise;
            p.PumpI = p.Charge / 10;
            p.StartTime = W().State().StartTime + start / SecondsPerDay;
            p.EndTime = W().State().StartTime + fEndS / SecondsPerDay;
            p.Ready = true;
            W().AddDataUpdates();
            fpO2 = pO2;
        }
    }
};

TEST_F(BlankRunCalibration, StoresTheCellsConstantsFromNowOnAndForTheNextExperiment)
{
    Hold(0.21, 3);
    Hold(1e-2, 15);
    Hold(1e-3, 15);
    Hold(1e-4, 15);
    const double bookedBefore = History().Last().Result.GasMol;
    EXPECT_FALSE(W().ButtonUndoBlankRunCalibration->isEnabled());
    W().ButtonCalibrateBlankRun->click();

    EXPECT_NEAR(W().RtDoubleEditVHPS->value() / TrueVolumeL, 1, 2e-3) << Message().toStdString();
    EXPECT_NEAR(W().RtDoubleEditVhp->value() / TrueVolumeL, 1, 2e-3) << "no sample volume";
    EXPECT_NEAR(W().RtDoubleEditLeakAlpha->value() / TrueAlpha, 1, 2e-2);
    for (const char* shown :
         {"Vhpws = ", "α = ", " ± ", "at 800 °C", "points in 1 stretches", "From grid rows 2 to 49",
          "pO2 1.00E-4 to 2.10E-1 atm", "Stored as the cell's constants."})
        EXPECT_TRUE(Message().contains(QString::fromUtf8(shown)))
            << shown << " in " << Message().toStdString();
    // Applied from the time of the calibration: what the balance booked stays.
    EXPECT_EQ(History().Last().Result.GasMol, bookedBefore);
    EXPECT_GE(History().ConstantsHistory().back().FromS, History().Last().Input.EndS);
    EXPECT_EQ(History().Constants().HotVolumeL, W().RtDoubleEditVhp->value());
    const TConstantsHistory& constants = History().ConstantsHistory();
    EXPECT_EQ(ConstantsAt(constants, constants.back().FromS, CellC + ZeroCelsiusK).LeakAlpha,
              W().RtDoubleEditLeakAlpha->value());
    EXPECT_EQ(History().CurrentAlpha(), 5e-9) << "the points before it keep theirs";

    const std::optional<TCellCalibration> stored = Settings().CellCalibration();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->HotVolumeL, W().RtDoubleEditVHPS->value());
    EXPECT_EQ(stored->LeakAlpha, W().RtDoubleEditLeakAlpha->value());
    EXPECT_EQ(stored->SealLeak, 0);
    EXPECT_NEAR(stored->CellK, CellC + ZeroCelsiusK, 1e-9);

    // The next experiment starts with them.
    TfrmOxtiva next(nullptr, fProgramFolder.path());
    EXPECT_EQ(next.RtDoubleEditVHPS->value(), stored->HotVolumeL);
    EXPECT_EQ(next.RtDoubleEditLeakAlpha->value(), stored->LeakAlpha);
    EXPECT_EQ(next.OxygenContent().History().CurrentAlpha(), stored->LeakAlpha);
    EXPECT_TRUE(next.LabelBlankRunCalibration->text().contains("blank run of " + stored->At))
        << next.LabelBlankRunCalibration->text().toStdString();
}

TEST_F(BlankRunCalibration, UndoBringsBackTheConstantsAndTheSettingsBeforeIt)
{
    const TCellCalibration earlier{0.015, 2e-9, 0, 1000, QStringLiteral("2026-01-02T03:04:05")};
    Settings().WriteCellCalibration(earlier);
    W().RtDoubleEditVHPS->setValue(0.011);
    W().ComboBoxLeakLaw->setCurrentIndex(int(TLeakLaw::Electrolyte));
    W().RtDoubleEditLeakSeal->setValue(3e-9);
    Hold(0.21, 3);
    Hold(1e-2, 15);
    Hold(1e-3, 15);
    Hold(1e-4, 15);
    W().ButtonCalibrateBlankRun->click();
    ASSERT_TRUE(W().ButtonUndoBlankRunCalibration->isEnabled()) << Message().toStdString();
    EXPECT_EQ(W().RtDoubleEditLeakSeal->value(), 0) << "the electrolyte law alone";
    EXPECT_NEAR(W().RtDoubleEditVHPS->value() / TrueVolumeL, 1, 5e-3);
    EXPECT_NE(Settings().CellCalibration(), earlier);

    W().ButtonUndoBlankRunCalibration->click();
    EXPECT_EQ(W().RtDoubleEditVHPS->value(), 0.011);
    EXPECT_EQ(W().RtDoubleEditLeakAlpha->value(), 5e-9);
    EXPECT_EQ(W().RtDoubleEditLeakSeal->value(), 3e-9);
    EXPECT_EQ(History().Constants().HotVolumeL, 0.011);
    EXPECT_EQ(Settings().CellCalibration(), earlier);
    EXPECT_FALSE(W().ButtonUndoBlankRunCalibration->isEnabled());
}

TEST_F(BlankRunCalibration, ARunThatCannotTellSaysWhyAndChangesNothing)
{
    W().RtDoubleEditVHPS->setValue(0.011);
    W().ButtonCalibrateBlankRun->click();
    EXPECT_TRUE(Message().startsWith("Not enough points")) << Message().toStdString();
    fpO2 = 1e-3; // the run starts there
    Hold(1e-3, 30);
    W().ButtonCalibrateBlankRun->click();
    EXPECT_TRUE(Message().contains("the gas volume cannot be told")) << Message().toStdString();
    EXPECT_EQ(W().RtDoubleEditVHPS->value(), 0.011);
    EXPECT_EQ(W().RtDoubleEditLeakAlpha->value(), 5e-9);
    EXPECT_FALSE(Settings().CellCalibration());
    EXPECT_FALSE(W().ButtonUndoBlankRunCalibration->isEnabled());
}

// A settings file without a whole, usable calibration leaves the window's own constants.
TEST_F(BlankRunCalibration, AnUnusableStoredCalibrationIsPassedOver)
{
    const char* const files[] = {
        "[CellConstants]\nVhpws=abc\nLeakAlpha=1e-9\nSealLeak=0\nAlphaCellK=1073\n",
        "[CellConstants]\nVhpws=0\nLeakAlpha=1e-9\nSealLeak=0\nAlphaCellK=1073\n",
        "[CellConstants]\nVhpws=0.02\nSealLeak=0\nAlphaCellK=1073\n",
    };
    for (const char* text : files) {
        SCOPED_TRACE(text);
        QFile file(W().SettingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        EXPECT_FALSE(Settings().CellCalibration());
        TfrmOxtiva next(nullptr, fProgramFolder.path());
        EXPECT_EQ(next.RtDoubleEditVHPS->value(), 0.012);
        EXPECT_EQ(next.RtDoubleEditLeakAlpha->value(), 0);
        EXPECT_TRUE(next.LabelBlankRunCalibration->text().isEmpty());
    }
}

} // namespace
} // namespace oxtiva
