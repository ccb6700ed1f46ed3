// The live oxygen balance in the window: data points as the pump thread publishes them,
// the page "Oxygen content", the leak constant's estimate and the file beside each save.
#include "app/column_table.h"
#include "app/data_grid.h"
#include "app/experiment_saver.h"
#include "app/main_window.h"
#include "app/numeric_edits.h"
#include "app/oxygen_content.h"
#include "app/oxygen_content_page.h"
#include "records/date_time.h"
#include "records/number_format.h"
#include "support/crlf_lines.h"

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
        p.Temp = 700;
        p.Duration = duration;
        p.Charge = pumpI * 10;
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
    EXPECT_EQ(table.item(0, 4)->text(), Page().EditOxygenContentb->text());

    // The step's save holds the point that completed it, in the balance and the isotherm.
    ASSERT_TRUE(fWindow.Saver().WaitUntilSaved());
    const QDir day(QDir(fProgramFolder.filePath("Userdata"))
                       .filePath(QDate::currentDate().toString("yyyy-MM-dd")));
    const QList<QByteArray> lines = testing::CrLfFileLines(day.filePath("Ceria_0000_oxygen.csv"));
    const qsizetype points = lines.indexOf("Time,s;CellT,\xBA"
                                           "C;CellpO2,atm;Charge,C;nGas,mol;dnS,mol;b;delta;Gap");
    const qsizetype isotherm = lines.indexOf("Step;Time,s;CellT,\xBA"
                                             "C;CellpO2,atm;b;delta");
    ASSERT_GT(points, 0);
    ASSERT_GT(isotherm, points);
    EXPECT_EQ(isotherm - points - 4, qsizetype(History().Size())) << "a row per point";
    ASSERT_EQ(lines.size(), isotherm + 2);
    EXPECT_TRUE(lines.last().startsWith("1;")) << lines.last().toStdString();
    EXPECT_NEAR(lines.last().split(';').value(4).toDouble(), History().Last().Result.b, 1e-12);
}

TEST_F(OxygenContentTest, ChangingAConstantReplaysTheWholeRun)
{
    State().ProgramState = TProgramState::PIDSet;
    const double pO2 = 1e-4;
    for (int i = 0; i < 4; ++i)
        Feed(14, 2e-4, pO2);
    const double before = History().Last().Result.b;

    fWindow.RtDoubleEditLeakAlpha->setValue(1e-9);
    // Three point intervals of 10.05 s from the first point's middle took the leak in.
    const double leaked = 1e-9 * (std::pow(0.21, 0.25) - std::pow(pO2, 0.25)) * 3 * 10.05;
    EXPECT_NEAR(History().Last().Result.b, before + 2 * leaked / n0(), 1e-12);
    EXPECT_EQ(Page().EditOxygenContentAlpha->text(), "1E-9");
    EXPECT_EQ(Page().RtLineSeriesOxygenContent->data()->size(), 4);
    EXPECT_DOUBLE_EQ((Page().RtLineSeriesOxygenContent->data()->constEnd() - 1)->value,
                     History().Last().Result.b);

    // b0 shifts every point alike; the first point stays the reference.
    fWindow.RtDoubleEditb0->setValue(1.9);
    EXPECT_DOUBLE_EQ(History().At(0).Result.b, 1.9);
    EXPECT_NEAR(History().Last().Result.b, before - 0.08 + 2 * leaked / n0(), 1e-12);
}

struct TEstimateRow {
    int mode;
    const char* pumpI;
    const char* cellpO2;
    bool stable;
    bool inRange;
};

struct TEstimateCase {
    const char* what;
    std::vector<TEstimateRow> rows;
    std::optional<double> alpha; // from the first row's current and pO2, when it qualifies
    const char* message;
};

class LeakAlphaEstimate : public OxygenContentTest,
                          public ::testing::WithParamInterface<TEstimateCase>
{
  protected:
    void AddRow(const TEstimateRow& r)
    {
        TStringGrid& grid = *fWindow.StringGridData;
        const int row = grid.AddRow();
        auto set = [&](TProperty q, const QString& text) {
            grid.SetCell(ColumnOf(q).ColID, row, text);
        };
        set(TProperty::Mode, QString::number(r.mode));
        set(TProperty::PumpI, r.pumpI);
        set(TProperty::CellpO2, r.cellpO2);
        if (r.stable) {
            set(TProperty::StablepO2, "True");
            set(TProperty::StableI, "True");
        }
        if (r.inRange) set(TProperty::RangepO2, "True");
    }
};

TEST_P(LeakAlphaEstimate, TakesTheLastSteadyPIDPointOrSaysWhyNot)
{
    const TEstimateCase& c = GetParam();
    fWindow.RtDoubleEditLeakAlpha->setValue(7e-9);
    for (const TEstimateRow& row : c.rows)
        AddRow(row);
    fWindow.ButtonEstimateLeakAlpha->click();
    EXPECT_TRUE(fWindow.LabelLeakAlphaEstimate->text().startsWith(c.message))
        << fWindow.LabelLeakAlphaEstimate->text().toStdString();
    const double alpha = fWindow.RtDoubleEditLeakAlpha->value();
    if (!c.alpha) {
        EXPECT_EQ(alpha, 7e-9) << "a refused estimate leaves alpha as it was";
        return;
    }
    EXPECT_NEAR(alpha / *c.alpha, 1, 1e-12);
    EXPECT_EQ(History().Constants().LeakAlpha, alpha) << "the balance takes it up";
}

double AlphaOf(double current, double pO2)
{
    return current / (FourF * (std::pow(0.21, 0.25) - std::pow(pO2, 0.25)));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LeakAlphaEstimate,
    ::testing::Values(TEstimateCase{"NoRows", {}, std::nullopt, "No steady PID point"},
                      TEstimateCase{"SteadyPIDSet",
                                    {{14, "1.930E-4", "1.000000E-03", true, false},
                                     {14, "1.500E-4", "2.000000E-03", false, true}},
                                    AlphaOf(1.93e-4, 1e-3),
                                    "α from grid row 2"},
                      TEstimateCase{"PIDStepOutOfRangeIsPassedOver",
                                    {{15, "1.930E-4", "1.000000E-03", true, true},
                                     {15, "9.000E-5", "1.000000E-02", true, false}},
                                    AlphaOf(1.93e-4, 1e-3),
                                    "α from grid row 2"},
                      TEstimateCase{"OtherStatesDoNotCount",
                                    {{12, "1.930E-4", "1.000000E-03", true, false},
                                     {16, "1.930E-4", "1.000000E-03", true, true}},
                                    std::nullopt,
                                    "No steady PID point"},
                      TEstimateCase{"AtTheFlushGas",
                                    {{14, "1.000E-6", "2.100000E-01", true, true}},
                                    std::nullopt,
                                    "The pO2 is too close to the flush gas"},
                      TEstimateCase{"CurrentWithTheLeak",
                                    {{14, "-1.000E-4", "1.000000E-03", true, true}},
                                    std::nullopt,
                                    "The current does not hold the pO2 against a leak"}),
    [](const ::testing::TestParamInfo<TEstimateCase>& info) { return info.param.what; });

} // namespace
} // namespace oxtiva
