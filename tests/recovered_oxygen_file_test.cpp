#include "app/experiment/recovered_oxygen_file.h"

#include "app/window/column_table.h"
#include "records/date_time.h"
#include "science/oxygen_history.h"
#include "support/qstring_printer.h"

#include <gtest/gtest.h>

#include <map>

namespace oxtiva
{
namespace
{

TEST(SplitDataLine, UndoesWhatDataLineWrote)
{
    const QStringList cells = {"12.50", "a;b", "say\"hi\"", "", "True"};
    const QString line = DataLine(int(cells.size()), [&cells](int col) { return cells[col]; });
    EXPECT_EQ(line, "12.50;\"a;b\";\"say\"\"hi\"\"\";;True");
    EXPECT_EQ(SplitDataLine(line), cells);
}

TEST(OxygenConstantsOfVariables, TakesTheBalancesRowsAndKeepsTheDefaultOfAnUnreadableOne)
{
    std::array<QString, DataFileVariableCount> values;
    values[0] = "2";       // bs
    values[2] = "x";       // b0, unreadable
    values[7] = "0.001";   // n0
    values[15] = "0.0123"; // Vhp
    values[16] = "0.004";  // Vgp
    values[17] = "25";     // Tl, degrees Celsius
    values[19] = "0.01";   // FGpO2
    values[23] = "100";    // RC duration
    values[27] = "5";      // data point length
    values[29] = "1.5E-9"; // alpha
    const TOxygenBalanceConstants c = OxygenConstantsOfVariables(values);
    EXPECT_DOUBLE_EQ(c.bs, 2);
    EXPECT_DOUBLE_EQ(c.b0, TOxygenBalanceConstants{}.b0);
    EXPECT_DOUBLE_EQ(c.n0, 0.001);
    EXPECT_DOUBLE_EQ(c.HotVolumeL, 0.0123);
    EXPECT_DOUBLE_EQ(c.GradientVolumeL, 0.004);
    EXPECT_DOUBLE_EQ(c.ColdEndK, 298.15);
    EXPECT_DOUBLE_EQ(c.FlushpO2, 0.01);
    EXPECT_DOUBLE_EQ(c.LeakAlpha, 1.5e-9);
    EXPECT_DOUBLE_EQ(c.SealLeak, 0) << "the data file keeps none";
    const TReplaySettings settings = ReplaySettingsOfVariables(values);
    EXPECT_DOUBLE_EQ(settings.RCDurationS, 100);
    EXPECT_DOUBLE_EQ(settings.DataPointLengthS, 5);
}

// DATA lines as the grid writes them: a state row holds the state's ordinal and a date.
class ReplayTest : public ::testing::Test
{
  protected:
    void State(int ordinal)
    {
        Line(
            {{TProperty::Mode, QString::number(ordinal)}, {TProperty::Time, "2024-05-0614:03:27"}});
    }
    void Point(int mode, double duration, int step = 0, double pumpI = 1e-4)
    {
        Line({{TProperty::Mode, QString::number(mode)},
              {TProperty::Time, QString::number(duration, 'f', 2)},
              {TProperty::PumpI, QString::number(pumpI)},
              {TProperty::CellpO2, "1E-5"},
              {TProperty::Temp, "800.00"},
              {TProperty::Step, step > 0 ? QString::number(step) : QString()},
              {TProperty::Date, "2024-05-06_14:03"}});
    }
    void Line(const std::map<TProperty, QString>& cells)
    {
        fLines << DataLine(PropertyCount, [&cells](int col) {
            for (const auto& [q, text] : cells)
                if (ColumnOf(q).ColID == col) return text;
            return QString();
        });
    }
    double Replay()
    {
        fTimes.resize(fLines.size());
        return ReplayDataLines(fLines, fTimes, {100, 10}, fHistory);
    }

    QStringList fLines = {"captions", ""};
    std::vector<QDateTime> fTimes;
    TOxygenHistory fHistory;
};

TEST_F(ReplayTest, SpansFollowTheDurationsStepsCompleteAndAPauseLeavesAGap)
{
    const QDateTime first = QDateTime(QDate(2024, 5, 6), QTime(14, 3, 27));
    State(5); // PID step program
    for (double d : {10, 20, 30})
        Point(15, d, 1);
    for (double d : {10.5, 20.5}) // the step clock restarts at the advance
        Point(15, d, 2);
    State(1); // paused
    State(2);
    Point(12, 12, 0, 0); // the first point of the new state: one data point length at most
    fTimes.resize(fLines.size());
    fTimes[3] = first;
    fTimes[10] = first.addSecs(200);
    const double runStart = Replay();

    EXPECT_DOUBLE_EQ(runStart, ToDays(first) - 10 / SecondsPerDay);
    ASSERT_EQ(fHistory.Size(), 6u);
    const double starts[] = {0, 10, 20, 30, 40.5, 200};
    const double ends[] = {10, 20, 30, 40.5, 50.5, 210};
    const int rows[] = {3, 4, 5, 6, 7, 10};
    for (std::size_t i = 0; i < fHistory.Size(); ++i) {
        const TOxygenPointInput& in = fHistory.At(i).Input;
        EXPECT_NEAR(in.StartS, starts[i], 1e-5) << i;
        EXPECT_NEAR(in.EndS, ends[i], 1e-5) << i;
        EXPECT_EQ(fHistory.At(i).GridRow, rows[i]) << i;
        EXPECT_NEAR(in.ChargeC, i < 5 ? 1e-4 * (ends[i] - starts[i]) : 0, 1e-12) << i;
        EXPECT_NEAR(in.CellK, 1073.15, 1e-9);
        EXPECT_FALSE(fHistory.At(i).Result.AfterGap && i < 5) << i;
    }
    EXPECT_TRUE(fHistory.At(5).Result.AfterGap) << "the pause";
    ASSERT_EQ(fHistory.Isotherm().size(), 1u) << "step 2 was left by the operator";
    EXPECT_EQ(fHistory.Isotherm()[0].Step, 1);
    EXPECT_EQ(fHistory.Isotherm()[0].Index, 2u);
}

TEST_F(ReplayTest, TheProgramsEndCompletesItsLastStepAndAFileWithoutTimesStartsAtItsMinute)
{
    Point(16, 35, 1); // a file that starts mid-step, rows before it lost
    Point(16, 45, 1);
    Point(16, 55, 1);
    Point(16, 65, 0); // measured under the program, after its end
    Point(12, 10, 0, 0);
    const double runStart = Replay();
    const QDateTime minute(QDate(2024, 5, 6), QTime(14, 3));
    EXPECT_DOUBLE_EQ(runStart, ToDays(minute) - 10 / SecondsPerDay);
    ASSERT_EQ(fHistory.Size(), 5u);
    EXPECT_NEAR(fHistory.At(0).Input.EndS - fHistory.At(0).Input.StartS, 10, 1e-5);
    EXPECT_NEAR(fHistory.At(4).Input.EndS, 50, 1e-5);
    ASSERT_EQ(fHistory.Isotherm().size(), 1u);
    EXPECT_EQ(fHistory.Isotherm()[0].Index, 2u);
}

} // namespace
} // namespace oxtiva
