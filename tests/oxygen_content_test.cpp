// The live oxygen balance in the window: data points as the pump thread publishes them,
// the page "Oxygen content", the leak constant's estimate and the file beside each save.
#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/oxygen_content_page.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "science/content_tail.h"
#include "support/crlf_lines.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <cmath>
#include <optional>
#include <vector>

namespace oxtiva
{
namespace
{

constexpr double FourF = 4 * 96485.0;

class OxygenContentTest : public ::testing::Test
{
  protected:
    QTemporaryDir fProgramFolder;
    TfrmOxtiva fWindow;
    double fEndS = 0; // of the last point fed, from the start of the experiment
    double fTempC = 700; // of the points fed

    void SetUp() override
    {
        fWindow.Saver().SetProgramFolder(fProgramFolder.path());
        State().StartTime = NowDays();
        State().RCDuration = 100;
        State().RCThreshold = 0.5;
        fWindow.RtDoubleEditVgp->setValue(0);
        fWindow.RtDoubleEditFGpO2->setValue(0.21);
    }
    TSharedState& State() { return fWindow.State(); }
    const TOxygenHistory& History() { return fWindow.OxygenContent().History(); }
    TOxygenContentPage& Page() { return *fWindow.TabSheetOxygenContent; }
    double n0() const { return fWindow.RtDoubleEditn0->value(); }

    // A 10 s point as the pump thread publishes it, gapS after the previous one ended.
    void Feed(int mode, double pumpI, std::optional<double> cellpO2, double gapS = 0.05,
              double duration = 0)
    {
        TDataPointRec& p = State().DataPoint;
        const double start = fEndS + gapS;
        fEndS = start + 10;
        p.PumpI = pumpI;
        p.Mode = mode;
        if (cellpO2) {
            p.CellpO2Valid = true;
            p.CellpO2 = *cellpO2;
        }
        p.Temp = fTempC;
        p.Duration = duration;
        p.Charge = pumpI * 10;
        p.MeanCharge = p.Charge / 2; // a flat current
        p.StartTime = State().StartTime + start / SecondsPerDay;
        p.EndTime = State().StartTime + fEndS / SecondsPerDay;
        p.Ready = true;
        fWindow.AddDataUpdates();
    }
    int GapMarks() { return Page().RtPointSeriesOxygenGaps->data()->size(); }
};

TEST_F(OxygenContentTest, EachPointMovesTheBalanceFromTheFirstPO2On)
{
    State().ProgramState = TProgramState::ZeroCurrent;
    Feed(12, 0, std::nullopt);
    EXPECT_TRUE(History().Empty()) << "no gas amount without a pO2";
    Feed(12, 1e-4, 1e-3);
    Feed(12, 1e-4, 1e-3);
    Feed(12, 1e-4, 1e-3);
    ASSERT_EQ(History().Size(), 3u);
    // Two points from the first one's middle, the reading interval between them included.
    const double released = 1e-4 * 2 * 10.05 / FourF;
    EXPECT_NEAR(History().Last().Result.ReleasedMol, released, 1e-15);
    const double b = 1.98 - 2 * released / n0();
    EXPECT_NEAR(History().Last().Result.b, b, 1e-12);
    EXPECT_EQ(Page().EditOxygenContentb->text(), FormatFloat(u"0.000000", b));
    EXPECT_EQ(Page().EditOxygenContentDelta->text(), FormatFloat(u"0.000000", 2 - b));
    EXPECT_EQ(Page().EditOxygenContentAlpha->text(), "0");
    EXPECT_EQ(Page().RtLineSeriesOxygenContent->data()->size(), 3);
    EXPECT_EQ(Page().LabelOxygenGaps->text(), "No gaps in the pump record");
}

TEST_F(OxygenContentTest, AStretchNoPointCoversIsMarkedAndBreaksTheLine)
{
    State().ProgramState = TProgramState::PIDSet;
    Feed(14, 1e-4, 1e-3);
    Feed(14, 1e-4, 1e-3);
    Feed(14, 1e-4, 1e-3, 45); // a pause of 45 s
    Feed(14, 1e-4, 1e-3);
    EXPECT_TRUE(History().At(2).Result.AfterGap);
    EXPECT_EQ(History().Gaps(), 1);
    EXPECT_EQ(GapMarks(), 1);
    const QCPGraphDataContainer& line = *Page().RtLineSeriesOxygenContent->data();
    ASSERT_EQ(line.size(), 5) << "four points and the break before the third";
    EXPECT_TRUE(std::isnan((line.constBegin() + 2)->value));
    EXPECT_TRUE(Page().LabelOxygenGaps->text().startsWith("Gaps in the pump record: 1"));
}

// A settled PPS step: pO2 and current drift far below the 0.5 % threshold over 100 s.
TEST_F(OxygenContentTest, ACompletedStepIsAnIsothermPointAndItsSaveWritesTheBalance)
{
    State().ProgramState = TProgramState::PPS;
    fWindow.EditSampleName->setText("Ceria");
    for (double t = 0; t <= 110; t += 10)
        Feed(16, 1e-4 * (1 + 2e-5 * t), 1e-5 * (1 + 1e-6 * t), 0.05, t);
    ASSERT_EQ(State().StepIndex, 1);
    ASSERT_EQ(History().Isotherm().size(), 1u);
    EXPECT_EQ(History().Isotherm()[0].Step, 1);
    EXPECT_EQ(History().Isotherm()[0].Index, History().Size() - 1);
    EXPECT_EQ(Page().RtPointSeriesIsotherm->data()->size(), 1);
    EXPECT_NEAR(Page().RtPointSeriesIsotherm->data()->constBegin()->key, -5, 1e-3);
    ASSERT_EQ(Page().RtGraphIsotherm->itemCount(), 1);
    EXPECT_EQ(qobject_cast<QCPItemText*>(Page().RtGraphIsotherm->item(0))->text(), "700 °C");
    QTableWidget& table = *Page().StringGridIsotherm;
    ASSERT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.item(0, 0)->text(), "1");
    EXPECT_EQ(table.item(0, 2)->text(), "700.00");

    // The step's save holds the point that completed it, in the balance and the isotherm.
    ASSERT_TRUE(fWindow.Saver().WaitUntilSaved());
    const QDir day(QDir(fProgramFolder.filePath("Userdata"))
                       .filePath(QDate::currentDate().toString("yyyy-MM-dd")));
    QList<QByteArray> points = testing::CrLfFileLines(day.filePath("Ceria_0000_oxygen.csv"));
    points.removeIf([](const QByteArray& line) { return line.startsWith('#'); });
    EXPECT_EQ(points.size(), qsizetype(History().Size()) + 1) << "a header and a row per point";
    QList<QByteArray> isotherm = testing::CrLfFileLines(day.filePath("Ceria_0000_isotherm.csv"));
    isotherm.removeIf([](const QByteArray& line) { return line.startsWith('#'); });
    ASSERT_EQ(isotherm.size(), 2);
    EXPECT_TRUE(isotherm.last().startsWith("1,")) << isotherm.last().toStdString();
    // b over the RC duration (100 s) before the step's end.
    const TContentSpread b = History().Content(History().Isotherm()[0]);
    EXPECT_EQ(History().Isotherm()[0].First, History().Size() - 10);
    EXPECT_NEAR(isotherm.last().split(',').value(5).toDouble(), b.Mean, 1e-12);
    EXPECT_EQ(table.item(0, 4)->text(), QString::number(b.Mean, 'f', 6));
}

// pO2 and current settled, but b still drifts by more than the operator allows: the step
// waits. Once the leak explains the current, b stands still and the step ends.
TEST_F(OxygenContentTest, AStepWaitsWhileTheContentStillDrifts)
{
    State().ProgramState = TProgramState::PPS;
    fWindow.RtDoubleEditContentDrift->setValue(1e-6);
    for (double t = 0; t <= 110; t += 10)
        Feed(16, 1e-4 * (1 + 2e-5 * t), 1e-5 * (1 + 1e-6 * t), 0.05, t);
    EXPECT_EQ(State().StepIndex, 0) << "b drifts by " << ContentDrift(History(), 0, 100);
    EXPECT_GT(std::abs(ContentDrift(History(), 0, 100)), 1e-6);
    // The leak was there all along.
    fWindow.CheckBoxConstantsWholeRun->setChecked(true);
    fWindow.RtDoubleEditLeakAlpha->setValue(
        1e-4 / (FourF * (std::pow(0.21, 0.25) - std::pow(1e-5, 0.25))));
    Feed(16, 1e-4 * (1 + 2e-5 * 120), 1e-5 * (1 + 1e-6 * 120), 0.05, 120);
    EXPECT_EQ(State().StepIndex, 1) << "b drifts by " << ContentDrift(History(), 0, 100);
}

// A sample that follows with a time constant of 50 min, long against the stability window:
// b drifts over the window by less than the operator's threshold while some 30 times as
// much is still to come. The step waits for what its tail's exponential says is left.
TEST_F(OxygenContentTest, AStepWaitsWhileTheTailStillHasMoreToComeThanTheThreshold)
{
    State().ProgramState = TProgramState::PPS;
    constexpr double Tau = 3000, Release = 1e-5, Leak = 1e-4, pO2 = 1e-5;
    fWindow.CheckBoxConstantsWholeRun->setChecked(true);
    fWindow.RtDoubleEditLeakAlpha->setValue(
        Leak / (FourF * (std::pow(0.21, 0.25) - std::pow(pO2, 0.25))));
    const double remainingAt = [&](double t) {
        return 2 * Release / FourF * Tau * std::exp(-t / Tau) / n0();
    }(0);
    const double perWindow = 2 * Release / FourF * 100 / n0();
    fWindow.RtDoubleEditContentDrift->setValue(2 * perWindow);
    ASSERT_GT(remainingAt, 10 * fWindow.RtDoubleEditContentDrift->value());
    double t = 0;
    for (; t <= 600; t += 10.05)
        Feed(16, Leak + Release * std::exp(-(t + 5) / Tau), pO2, 0.05);
    EXPECT_EQ(State().StepIndex, 0) << "b drifts by " << ContentDrift(History(), 0, 100)
                                    << " over the window";
    const TContentTail tail = StepContentTail(History(), 0);
    ASSERT_TRUE(tail.Solved);
    const double truth = -remainingAt * std::exp(-(History().Last().Result.TimeS) / Tau);
    EXPECT_NEAR(tail.Remaining / truth, 1, 0.05) << tail.Remaining << " against " << truth;
    EXPECT_NEAR(tail.TauS / Tau, 1, 0.05);
}

TEST_F(OxygenContentTest, TheIsothermNamesEachTemperatureOnce)
{
    TOxygenRecord record;
    record.Input.pO2 = 1e-3;
    const double temperatures[] = {700.2, 699.8, 700.1, 800, 800.3};
    for (int step = 0; step < int(std::size(temperatures)); ++step) {
        record.Input.CellK = temperatures[step] + 273.15;
        record.Input.pO2 /= 10;
        Page().AppendIsothermPoint(step + 1, record, {1.9, 0});
    }
    EXPECT_EQ(Page().RtPointSeriesIsotherm->data()->size(), 5);
    QStringList labels;
    for (int i = 0; i < Page().RtGraphIsotherm->itemCount(); ++i)
        labels << qobject_cast<QCPItemText*>(Page().RtGraphIsotherm->item(i))->text();
    EXPECT_EQ(labels, (QStringList{"700 °C", "800 °C"}));
    Page().ShowHistory(History()); // a replay draws the isotherm anew, its labels too
    record.Input.CellK = 700 + 273.15;
    Page().AppendIsothermPoint(1, record, {1.9, 0});
    EXPECT_EQ(Page().RtGraphIsotherm->itemCount(), 1);
}

// A long run's b line is thinned to a bounded number of points that still starts at the
// first point, ends at the newest and breaks at every gap.
TEST_F(OxygenContentTest, ALongRunDrawsABoundedLineEndingAtTheNewestPoint)
{
    TOxygenRecord record;
    for (int i = 0; i < 100000; ++i) {
        record.Input.StartS = i;
        record.Result.TimeS = i + 0.5;
        record.Result.b = 1.98 - 1e-6 * i;
        record.Result.AfterGap = i == 77777;
        Page().AppendPoint(record);
    }
    const QCPGraphDataContainer& line = *Page().RtLineSeriesOxygenContent->data();
    EXPECT_LE(line.size(), 2 * 4096 + 1);
    EXPECT_GT(line.size(), 4096);
    EXPECT_EQ(line.constBegin()->key, 0.5);
    EXPECT_EQ((line.constEnd() - 1)->key, 99999.5);
    EXPECT_EQ((line.constEnd() - 1)->value, record.Result.b);
    const auto gap = line.findBegin(77777, false);
    EXPECT_EQ(gap->key, 77777);
    EXPECT_TRUE(std::isnan(gap->value)) << "the line breaks at the gap";
    EXPECT_EQ((gap + 1)->key, 77777.5) << "the point after the gap is kept";
}

// Unchecked, a changed constant holds from the time of the change: the points booked
// before it keep their b and the next one takes it up. Checking "Apply to the whole run"
// replays the run with it.
TEST_F(OxygenContentTest, AChangedConstantHoldsFromThenOnOrOverTheWholeRun)
{
    State().ProgramState = TProgramState::PIDSet;
    const double pO2 = 1e-4;
    for (int i = 0; i < 4; ++i)
        Feed(14, 2e-4, pO2);
    std::vector<double> booked;
    for (std::size_t i = 0; i < History().Size(); ++i)
        booked.push_back(History().At(i).Result.b);
    const double pumpStep = booked[3] - booked[2];

    fWindow.RtDoubleEditLeakAlpha->setValue(1e-9);
    for (std::size_t i = 0; i < booked.size(); ++i)
        EXPECT_EQ(History().At(i).Result.b, booked[i]) << "point " << i << " was rewritten";
    Feed(14, 2e-4, pO2);
    // The leak counts from the change, at the end of the last point: over the reading
    // interval and the first half of the new point, 5.05 s to its middle.
    const double flow = 1e-9 * (std::pow(0.21, 0.25) - std::pow(pO2, 0.25));
    EXPECT_NEAR(History().Last().Result.b - booked[3], pumpStep + 2 * flow * 5.05 / n0(), 1e-12);
    EXPECT_EQ(Page().EditOxygenContentAlpha->text(), "1E-9");

    fWindow.CheckBoxConstantsWholeRun->setChecked(true);
    const double before = booked[3] + pumpStep;
    const double leaked = flow * 4 * 10.05; // from the first point's middle
    EXPECT_NEAR(History().Last().Result.b, before + 2 * leaked / n0(), 1e-12);
    EXPECT_EQ(History().ConstantsHistory().size(), 1u);
    EXPECT_EQ(Page().RtLineSeriesOxygenContent->data()->size(), 5);
    EXPECT_DOUBLE_EQ((Page().RtLineSeriesOxygenContent->data()->constEnd() - 1)->value,
                     History().Last().Result.b);

    // b0 shifts every point alike; the first point stays the reference.
    fWindow.RtDoubleEditb0->setValue(1.9);
    EXPECT_DOUBLE_EQ(History().At(0).Result.b, 1.9);
    EXPECT_NEAR(History().Last().Result.b, before - 0.08 + 2 * leaked / n0(), 1e-12);
}

// alpha entered at 700 °C and at 800 °C; a point at 750 °C takes the Arrhenius value
// between them, not the alpha entered last.
TEST_F(OxygenContentTest, AlphaFollowsArrheniusBetweenTheTemperaturesItWasEnteredAt)
{
    State().ProgramState = TProgramState::PIDSet;
    fTempC = 700;
    Feed(14, 0, 1e-3);
    fWindow.RtDoubleEditLeakAlpha->setValue(1e-9);
    fTempC = 800;
    Feed(14, 0, 1e-3);
    fWindow.RtDoubleEditLeakAlpha->setValue(4e-9);
    fTempC = 750;
    Feed(14, 0, 1e-3);
    Feed(14, 0, 1e-3);
    const double share = (1 / 1023.15 - 1 / 973.15) / (1 / 1073.15 - 1 / 973.15);
    const double alpha = 1e-9 * std::pow(4.0, share);
    EXPECT_NEAR(History().CurrentAlpha() / alpha, 1, 1e-12);
    EXPECT_EQ(Page().EditOxygenContentAlpha->text(), FormatGeneral(History().CurrentAlpha()));
    const double leaked = History().At(3).Result.LeakMol - History().At(2).Result.LeakMol;
    EXPECT_NEAR(leaked / (alpha * (std::pow(0.21, 0.25) - std::pow(1e-3, 0.25)) * 10.05), 1, 1e-6);
}

// A hold under PID control at a steady pO2, its current carrying off what leaks in through
// the electrolyte, with a little noise the stability rule lets pass (an exactly flat pO2
// has no relative change the fit can give).
class LeakEstimate : public OxygenContentTest
{
  protected:
    static constexpr double TrueAlpha = 1e-9;
    void Hold(double pO2, int points)
    {
        fWindow.RtDoubleEditPumpCurrentLimit->setValue(1e-2);
        const double holding = TrueAlpha * FourF * (std::pow(0.21, 0.25) - std::pow(pO2, 0.25));
        for (int i = 0; i < points; ++i, ++fCount)
            Feed(14, holding * (1 + (fCount % 2 ? 1e-3 : -1e-3)), pO2 * (1 + 1e-6 * fCount), 0,
                 10.0 * (fCount + 1));
    }
    QString Message() const { return fWindow.LabelLeakAlphaEstimate->text(); }
    int fCount = 0;
};

TEST_F(LeakEstimate, ShowsItsResultWithItsInputsAndCanBeUndone)
{
    fWindow.RtDoubleEditLeakAlpha->setValue(7e-9);
    EXPECT_FALSE(fWindow.ButtonUndoLeakEstimate->isEnabled());
    Hold(1e-3, 30);
    fWindow.ButtonEstimateLeakAlpha->click();
    const double alpha = fWindow.RtDoubleEditLeakAlpha->value();
    EXPECT_NEAR(alpha / TrueAlpha, 1, 2e-3) << Message().toStdString();
    EXPECT_EQ(History().Constants().LeakAlpha, alpha) << "the balance takes it up";
    for (const char* shown :
         {"α = ", " ± ", "electrolyte", "points in 1 holds", "From grid rows ", "pump current 1.",
          "pO2 1.00E-3 atm", "Misfit of the other laws: seal"})
        EXPECT_TRUE(Message().contains(QString::fromUtf8(shown)))
            << shown << " in " << Message().toStdString();
    ASSERT_TRUE(fWindow.ButtonUndoLeakEstimate->isEnabled());

    fWindow.ButtonUndoLeakEstimate->click();
    EXPECT_EQ(fWindow.RtDoubleEditLeakAlpha->value(), 7e-9);
    EXPECT_EQ(History().Constants().LeakAlpha, 7e-9);
    EXPECT_FALSE(fWindow.ButtonUndoLeakEstimate->isEnabled());
}

struct TRefusalCase {
    const char* what;
    double pO2; // of a hold of 30 points; 0 for none
    int law;    // the index in the leak law box
    const char* message;
};

class LeakEstimateRefusal : public LeakEstimate, public ::testing::WithParamInterface<TRefusalCase>
{
};

TEST_P(LeakEstimateRefusal, SaysWhyNotAndLeavesTheConstantsAlone)
{
    const TRefusalCase& c = GetParam();
    if (c.pO2 > 0) Hold(c.pO2, 30);
    fWindow.RtDoubleEditLeakAlpha->setValue(7e-9);
    fWindow.ComboBoxLeakLaw->setCurrentIndex(c.law);
    fWindow.ButtonEstimateLeakAlpha->click();
    EXPECT_TRUE(Message().startsWith(QString::fromUtf8(c.message))) << Message().toStdString();
    EXPECT_EQ(fWindow.RtDoubleEditLeakAlpha->value(), 7e-9);
    EXPECT_EQ(fWindow.RtDoubleEditLeakSeal->value(), 0);
    EXPECT_FALSE(fWindow.ButtonUndoLeakEstimate->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeakEstimateRefusal,
    ::testing::Values(TRefusalCase{"NoHold", 0, 0, "Not enough steady PID points"},
                      TRefusalCase{"AtTheFlushGas", 0.2, 0,
                                   "The pO2 is too close to the flush gas: a sensor offset"},
                      TRefusalCase{"BothLawsFromOnePressure", 1e-3, 2,
                                   "The holds cannot tell the two laws apart"}),
    [](const ::testing::TestParamInfo<TRefusalCase>& info) { return info.param.what; });

} // namespace
} // namespace oxtiva
