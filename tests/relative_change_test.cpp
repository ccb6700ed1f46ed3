#include "control/relative_change.h"
#include "records/number_format.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace oxtiva
{
namespace
{

constexpr int TimeCol = 0;
constexpr int ModeCol = 1;
constexpr int ValueCol = 6;

// A grid as the window keeps it: caption row, empty row, then data and state rows.
struct TestGrid {
    std::vector<std::array<QString, 16>> Rows = std::vector<std::array<QString, 16>>(2);

    void Data(double time, int mode, const QString& value)
    {
        std::array<QString, 16> row;
        row[TimeCol] = FormatFloat(u"0.00", time);
        row[ModeCol] = QString::number(mode);
        row[ValueCol] = value;
        Rows.push_back(row);
    }
    void Data(double time, int mode, double value)
    {
        Data(time, mode, FormatFloat(u"0.000000E+00", value));
    }
    void State(int ordinal)
    {
        std::array<QString, 16> row;
        row[TimeCol] = QStringLiteral("2020-05-06 14:03:27");
        row[ModeCol] = QString::number(ordinal);
        Rows.push_back(row);
    }
    TRcGrid View() const
    {
        TRcGrid g;
        g.RowCount = [this] { return static_cast<int>(Rows.size()); };
        g.Cell = [this](int c, int r) { return Rows[r][c]; };
        g.ModeColumn = ModeCol;
        g.TimeColumn = TimeCol;
        return g;
    }
};

// The search written the plain way: walk back over the run on every call.
TRcWindowStatus ReferenceCollect(const TRcGrid& g, int valueColumn, double rcDuration,
                                 TRcPoints& points)
{
    const int n = g.RowCount();
    if (n < 3) return TRcWindowStatus::NotEnoughRows;
    int m = 0;
    if (!ParseGridInteger(g.Cell(g.ModeColumn, n - 1), m)) return TRcWindowStatus::Unreadable;
    int first = n - 1;
    for (int r = n - 1; r >= 2; --r) {
        int mr = 0;
        if (!ParseGridInteger(g.Cell(g.ModeColumn, r), mr) || mr != m) break;
        first = r;
    }
    if (n - first < 3) return TRcWindowStatus::RunTooShort;
    double tEnd = 0;
    if (!ParseGridNumber(g.Cell(g.TimeColumn, n - 1), tEnd)) return TRcWindowStatus::Unreadable;
    const double tStart = tEnd - rcDuration;
    int p = -1;
    for (int r = n - 1; r >= first; --r) {
        double t = 0;
        if (ParseGridNumber(g.Cell(g.TimeColumn, r), t) && t <= tStart) {
            p = r;
            break;
        }
    }
    if (p < 0) return TRcWindowStatus::WindowTooShort;
    points = {};
    double tp = 0;
    ParseGridNumber(g.Cell(g.TimeColumn, p), tp);
    for (int r = p; r < n; ++r) {
        double t = 0, y = 0;
        if (!ParseGridNumber(g.Cell(g.TimeColumn, r), t) ||
            !ParseGridNumber(g.Cell(valueColumn, r), y))
            return TRcWindowStatus::Unreadable;
        points.X.push_back(t - tp);
        points.Y.push_back(y);
    }
    return TRcWindowStatus::Ok;
}

TRcWindowStatus Collect(const TestGrid& grid, double rcDuration, TRcPoints& points)
{
    TRelativeChangeWindow window;
    return window.Collect(grid.View(), ValueCol, rcDuration, points);
}

TEST(RelativeChangeWindow, FreshGridHasNotEnoughRows)
{
    TestGrid grid;
    TRcPoints points;
    EXPECT_EQ(Collect(grid, 100, points), TRcWindowStatus::NotEnoughRows);
}

TEST(RelativeChangeWindow, RunOfFewerThanThreeRowsIsTooShort)
{
    TestGrid grid;
    grid.State(2);
    grid.Data(0, 12, 1e-5);
    grid.Data(10, 12, 1e-5);
    TRcPoints points;
    EXPECT_EQ(Collect(grid, 0, points), TRcWindowStatus::RunTooShort);
    grid.Data(20, 12, 1e-5);
    EXPECT_EQ(Collect(grid, 0, points), TRcWindowStatus::Ok);
    EXPECT_EQ(points.X, std::vector<double>{0.0});
}

TEST(RelativeChangeWindow, WindowOpensOnceTheRunSpansTheDuration)
{
    TestGrid grid;
    TRelativeChangeWindow window;
    TRcPoints points;
    for (int i = 0; i < 10; ++i) {
        grid.Data(10.0 * i, 14, 1e-5 * (1 + i));
        EXPECT_NE(window.Collect(grid.View(), ValueCol, 100, points), TRcWindowStatus::Ok);
    }
    grid.Data(100, 14, 1.1e-4);
    ASSERT_EQ(window.Collect(grid.View(), ValueCol, 100, points), TRcWindowStatus::Ok);
    ASSERT_EQ(points.X.size(), 11u);
    EXPECT_DOUBLE_EQ(points.X.front(), 0);
    EXPECT_DOUBLE_EQ(points.X.back(), 100);
    EXPECT_DOUBLE_EQ(points.Y.back(), 1.1e-4);
    grid.Data(110, 14, 1.2e-4);
    ASSERT_EQ(window.Collect(grid.View(), ValueCol, 100, points), TRcWindowStatus::Ok);
    EXPECT_EQ(points.X.size(), 11u) << "the window slides: its first row is at 10 s";
}

TEST(RelativeChangeWindow, StateRowEndsTheRunEvenBetweenRowsOfTheSameMode)
{
    TestGrid grid;
    for (int i = 0; i <= 20; ++i)
        grid.Data(10.0 * i, 12, 1e-5);
    grid.State(2);
    for (int i = 0; i < 5; ++i)
        grid.Data(10.0 * i, 12, 1e-5);
    TRcPoints points;
    EXPECT_EQ(Collect(grid, 30, points), TRcWindowStatus::Ok);
    EXPECT_EQ(points.X.size(), 4u);
    EXPECT_EQ(Collect(grid, 100, points), TRcWindowStatus::WindowTooShort);
}

struct StepCase {
    const char* name;
    std::vector<double> earlierStep;
    std::vector<double> newStep;
    double rcDuration;
    TRcWindowStatus status;
    std::vector<double> x;
};

class AfterAStepAdvance : public ::testing::TestWithParam<StepCase>
{
};

TEST_P(AfterAStepAdvance, SearchGoesOnThroughEarlierStepsOfTheRun)
{
    const StepCase& c = GetParam();
    TestGrid grid;
    grid.State(5);
    for (double t : c.earlierStep)
        grid.Data(t, 15, 2e-6);
    for (double t : c.newStep)
        grid.Data(t, 15, 2e-6);
    TRcPoints points;
    ASSERT_EQ(Collect(grid, c.rcDuration, points), c.status);
    if (c.status == TRcWindowStatus::Ok) EXPECT_EQ(points.X, c.x);
}

INSTANTIATE_TEST_SUITE_P(Cases, AfterAStepAdvance,
                         ::testing::Values(StepCase{"NewStepShorterThanDurationFindsNothing",
                                                    {0, 10, 20, 30},
                                                    {5, 15},
                                                    100,
                                                    TRcWindowStatus::WindowTooShort,
                                                    {}},
                                           StepCase{"NewStepLongEnoughStartsInsideIt",
                                                    {0, 10, 20, 30},
                                                    {3, 13, 23},
                                                    20,
                                                    TRcWindowStatus::Ok,
                                                    {0, 10, 20}},
                                           StepCase{"EarlierStepsFirstRowAtOrBelowStartIsTaken",
                                                    {0, 10, 20, 30},
                                                    {12, 22},
                                                    20,
                                                    TRcWindowStatus::Ok,
                                                    {0, 10, 20, 30, 12, 22}},
                                           StepCase{"NewestQualifyingRowOfTheEarlierStepWins",
                                                    {0, 1, 2, 30},
                                                    {12, 22},
                                                    20,
                                                    TRcWindowStatus::Ok,
                                                    {0, 28, 10, 20}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RelativeChangeWindow, UnreadableValueFailsAndBlanksInsideNumbersAreIgnored)
{
    TestGrid grid;
    grid.Data(0, 12, QStringLiteral("1.000 000E-05"));
    grid.Data(10, 12, QStringLiteral("1.1E-05"));
    grid.Data(20, 12, QStringLiteral("1.2E-05"));
    TRcPoints points;
    ASSERT_EQ(Collect(grid, 20, points), TRcWindowStatus::Ok);
    EXPECT_DOUBLE_EQ(points.Y.front(), 1e-5);
    grid.Data(30, 12, QString());
    EXPECT_EQ(Collect(grid, 20, points), TRcWindowStatus::Unreadable);
}

TEST(RelativeChangeWindow, ReadsNumbersWithTheLocaleThatWroteThem)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TestGrid grid;
    for (int i = 0; i <= 3; ++i)
        grid.Data(10.5 * i, 12, 1e-5 * (1 + i));
    EXPECT_EQ(grid.Rows.back()[TimeCol], QStringLiteral("31,50"));
    TRcPoints points;
    const auto status = Collect(grid, 20, points);
    QLocale::setDefault(previous);
    ASSERT_EQ(status, TRcWindowStatus::Ok);
    EXPECT_EQ(points.X, (std::vector<double>{0, 10.5, 21}));
    EXPECT_DOUBLE_EQ(points.Y.back(), 4e-5);
}

TEST(RelativeChangeWindow, AGridThatShrankIsReadAfresh)
{
    TestGrid grid;
    for (int i = 0; i < 5; ++i)
        grid.Data(10.0 * i, 12, 1e-5);
    TRelativeChangeWindow window;
    TRcPoints points;
    ASSERT_EQ(window.Collect(grid.View(), ValueCol, 20, points), TRcWindowStatus::Ok);
    TestGrid other;
    for (int i = 0; i < 3; ++i)
        other.Data(10.0 * i, 13, 2e-5);
    ASSERT_EQ(window.Collect(other.View(), ValueCol, 20, points), TRcWindowStatus::Ok);
    EXPECT_EQ(points.X, (std::vector<double>{0, 10, 20}));
}

// Grids grown row by row with state rows, step advances, equal times, unreadable cells
// and mode changes: the remembering search must give exactly what the plain one gives.
TEST(RelativeChangeWindow, MatchesThePlainSearchOnRandomGrids)
{
    std::mt19937 rng(20240517);
    int windowsFound = 0;
    for (int trial = 0; trial < 40; ++trial) {
        TestGrid grid;
        TRelativeChangeWindow window;
        double t = 0;
        int mode = 12;
        const double rcDuration = std::uniform_int_distribution<int>(0, 60)(rng);
        for (int step = 0; step < 400; ++step) {
            const int event = std::uniform_int_distribution<int>(0, 99)(rng);
            if (event < 3) {
                grid.State(std::uniform_int_distribution<int>(1, 6)(rng));
            } else if (event < 5) {
                mode = std::uniform_int_distribution<int>(11, 16)(rng);
                t = 0;
                grid.Data(t, mode, 1e-5);
            } else if (event < 12) {
                t = std::uniform_int_distribution<int>(0, 8)(rng); // step advance
                grid.Data(t, mode, 1e-5);
            } else if (event < 14) {
                grid.Data(t, mode, QStringLiteral("x"));
            } else {
                t += std::uniform_int_distribution<int>(0, 12)(rng);
                grid.Data(t, mode, 1e-5 + 1e-7 * step);
            }
            TRcPoints fast, plain;
            const auto expected = ReferenceCollect(grid.View(), ValueCol, rcDuration, plain);
            ASSERT_EQ(window.Collect(grid.View(), ValueCol, rcDuration, fast), expected)
                << "trial " << trial << " row " << grid.Rows.size() - 1;
            if (expected == TRcWindowStatus::Ok) {
                ++windowsFound;
                ASSERT_EQ(fast.X, plain.X);
                ASSERT_EQ(fast.Y, plain.Y);
            }
        }
    }
    EXPECT_GT(windowsFound, 1000) << "the random grids must exercise found windows";
}

} // namespace
} // namespace oxtiva
