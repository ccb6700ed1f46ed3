// The wall clock stepped under a running experiment, as the PC's time synchronisation or
// someone setting the clock does: +60 s, -30 s and an hour either way. The pump sources a
// steady 5 µA into an empty cell, so every point should last one data point length, carry
// 5 µA over it and leave b where it was (the charge only moves oxygen out of the gas). The
// run with the steps is held against one without.

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "control/relative_change.h"
#include "records/date_time.h"
#include "records/logging.h"
#include "records/number_format.h"
#include "support/oxygen_sim_run.h"

#include <QFile>
#include <QRadioButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

std::atomic<qint64> gWallClockShiftMs{0};

QDateTime ShiftedWallClock()
{
    return QDateTime::currentDateTimeUtc().addMSecs(gWallClockShiftMs.load());
}

constexpr double SourceMicroAmperes = 5;
constexpr int PointsBetweenSteps = 4;
constexpr int PointTimeoutMs = 8000; // a point a second, on a loaded machine

// What each point of a run gave, from the one before its first step on.
struct TPointFigures {
    double DurationGrowthS; // its "Duration, s" less the point's before
    double SpanS;           // the stretch of pump record it booked
    double CurrentA;        // the charge it booked over that stretch
    double bChange;         // from the point before
};

struct TRun {
    std::vector<TPointFigures> Points;
    QStringList LoggedSteps;
    QStringList DatesAfterSteps; // the newest row's wall-clock stamp after each step
    QStringList WallClockAfterSteps;
};

TRun RunWithSteps(const std::vector<double>& stepsS)
{
    TOxygenSimRunOptions options;
    options.SampleCapacityMol = 0;
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const TOxygenHistory& history = w.OxygenContent().History();
    const TStringGrid& grid = *w.StringGridData;
    w.RtIntegerEditCurrentmA->setValue(int(SourceMicroAmperes));
    run.Choose(w.RadioButtonModePassive);
    const auto waitPoints = [&](std::size_t n) {
        const std::size_t target = history.Size() + n;
        while (history.Size() < target) {
            const std::size_t before = history.Size();
            if (!run.WaitSampling([&] { return history.Size() > before; }, PointTimeoutMs))
                return false;
        }
        return true;
    };
    TRun result;
    EXPECT_TRUE(waitPoints(PointsBetweenSteps + 2));
    const std::size_t first = history.Size() - 1;
    const auto dateColumn = ColumnOf(TProperty::Date);
    for (double step : stepsS) {
        gWallClockShiftMs += qint64(step * 1000);
        if (!waitPoints(PointsBetweenSteps)) {
            ADD_FAILURE() << "no data point within " << PointTimeoutMs << " ms after a step of "
                          << step << " s";
            break;
        }
        result.DatesAfterSteps << grid.Cell(dateColumn.ColID, grid.RowCount() - 1);
        result.WallClockAfterSteps << FormatDateTime(dateColumn.Format, WallNow());
    }
    const auto duration = [&grid](int row) {
        double s = NAN;
        ParseGridNumber(grid.Cell(ColumnOf(TProperty::Time).ColID, row), s);
        return s;
    };
    for (std::size_t i = first + 1; i < history.Size(); ++i) {
        const TOxygenRecord& a = history.At(i - 1);
        const TOxygenRecord& b = history.At(i);
        const double span = b.Input.EndS - b.Input.StartS;
        result.Points.push_back({duration(b.GridRow) - duration(a.GridRow), span,
                                 b.Input.ChargeC / span, b.Result.b - a.Result.b});
    }
    w.LogDestination()->Flush();
    QFile log(w.LogDestination()->FilePath());
    if (log.open(QIODevice::ReadOnly))
        result.LoggedSteps = QString::fromUtf8(log.readAll())
                                 .split(u'\n')
                                 .filter(QStringLiteral("Wall clock stepped"));
    return result;
}

double Largest(const TRun& run, double TPointFigures::*figure)
{
    double largest = 0;
    for (const TPointFigures& p : run.Points)
        largest = std::max(largest, std::abs(p.*figure));
    return largest;
}

class WallClockStep : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        gWallClockShiftMs = 0;
        SetWallClockReader(&ShiftedWallClock);
    }
    void TearDown() override { SetWallClockReader(nullptr); }
};

TEST_F(WallClockStep, ChangesNoDurationChargeOrContentOnlyTheRowsStamps)
{
    const TRun steady = RunWithSteps({0});
    ASSERT_GE(steady.Points.size(), std::size_t(PointsBetweenSteps));
    const std::vector<double> steps = {60, -30, 3600, -3600};
    const TRun stepped = RunWithSteps(steps);
    ASSERT_GE(stepped.Points.size(), steps.size() * PointsBetweenSteps);

    // The step-free run's figures bound the stepped run's: a point of 1 s, 5 µA over it, b
    // unmoved but for the measurement's noise. Under the wall clock's step the first +60 s
    // gave a point of 61 s with twelve times the charge of a point and a step in b; the
    // -30 s held up every point for half a minute.
    const double duration = Largest(steady, &TPointFigures::DurationGrowthS);
    const double span = Largest(steady, &TPointFigures::SpanS);
    const double bChange = Largest(steady, &TPointFigures::bChange);
    EXPECT_LT(duration, 2) << "the step-free run is itself sound";
    for (std::size_t i = 0; i < stepped.Points.size(); ++i) {
        const TPointFigures& p = stepped.Points[i];
        SCOPED_TRACE(::testing::Message() << "point " << i << " after the first step's reference");
        EXPECT_GT(p.DurationGrowthS, 0);
        EXPECT_LE(p.DurationGrowthS, duration + 0.5);
        EXPECT_GT(p.SpanS, 0);
        EXPECT_LE(p.SpanS, span + 0.5);
        EXPECT_NEAR(p.CurrentA, SourceMicroAmperes * 1e-6, 0.05 * SourceMicroAmperes * 1e-6);
        EXPECT_LE(std::abs(p.bChange), 3 * bChange + 5e-5); // +60 s booked 1.6e-3
    }

    // The log says where each step was; a row's stamp is the wall clock's, step and all.
    ASSERT_EQ(stepped.LoggedSteps.size(), steps.size())
        << stepped.LoggedSteps.join('\n').toStdString();
    const QRegularExpression logged(R"(Wall clock stepped by ([-+]\d+\.\d) s)");
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const QRegularExpressionMatch match = logged.match(stepped.LoggedSteps[int(i)]);
        ASSERT_TRUE(match.hasMatch()) << stepped.LoggedSteps[int(i)].toStdString();
        EXPECT_NEAR(match.captured(1).toDouble(), steps[i], 0.15);
    }
    EXPECT_TRUE(steady.LoggedSteps.isEmpty()) << steady.LoggedSteps.join('\n').toStdString();
    ASSERT_EQ(stepped.DatesAfterSteps.size(), int(steps.size()));
    for (int i = 0; i < stepped.DatesAfterSteps.size(); ++i)
        EXPECT_EQ(stepped.DatesAfterSteps[i], stepped.WallClockAfterSteps[i])
            << "a row is stamped by the wall clock as it read (unless a minute turned between)";
}

} // namespace
