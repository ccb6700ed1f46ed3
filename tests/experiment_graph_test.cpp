#include "app/main_window.h"
#include "app/window/experiment_graph.h"
#include "app/window/graph_settings_dialog.h"
#include "app/window/numeric_edits.h"
#include "support/dialog_answerer.h"

#include <QImage>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

// Appends n points one second apart; every third point has no cell pO2 and every
// fourth brings a pump-side pO2.
void AddPoints(TExperimentGraph& aGraph, int aCount)
{
    for (int i = 0; i < aCount; ++i) {
        const double t = 10.0 * i;
        std::optional<double> pO2;
        if (i % 3 != 0) pO2 = 1e-5 * (i + 1);
        aGraph.AppendPoint(t, 0.1 + 0.001 * i, 1e-4, 700 + i, pO2);
        if (i % 4 == 0) aGraph.AppendPumppO2(t, 2e-5 * (i + 1));
    }
    aGraph.Replot();
}

std::vector<std::size_t> Sizes(const TExperimentGraph& g)
{
    return {g.RtDoubleVectorTime.size(),           g.RtDoubleVectorPumpVoltage.size(),
            g.RtDoubleVectorPumpCurrent.size(),    g.RtDoubleVectorCellTemp.size(),
            g.RtDoubleVectorCellpO2.size(),        g.RtDoubleVectorTimeforCellpO2.size(),
            g.RtDoubleVectorTimeforPumppo2.size(), g.RtDoubleVectorPumppO2.size()};
}

TEST(ExperimentGraph, IsComposedOfFourColouredRightAxesAndFiveSeries)
{
    TExperimentGraph g;
    EXPECT_EQ(g.XAxisTime->label(), QStringLiteral("Time, s"));
    EXPECT_EQ(g.XAxisTime->axisType(), QCPAxis::atBottom);
    const QColor colours[] = {Qt::darkGreen, Qt::black, Qt::blue, Qt::red};
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(g.AxisAt(i)->axisType(), QCPAxis::atRight);
        EXPECT_TRUE(g.AxisAt(i)->visible());
        EXPECT_EQ(g.AxisAt(i)->basePen().color(), colours[i - 1]);
        EXPECT_TRUE(g.AxisAt(i)->label().isEmpty());
    }
    EXPECT_EQ(g.RtAxisCellpO2->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_TRUE(g.RtAxisCellpO2->ticker().dynamicCast<QCPAxisTickerLog>());
    const char* names[] = {"Pump voltage, V", "Pump current, A", "pO2 (sensor), atm",
                           "Cell temp, ºC", "pO2 (pump), atm"};
    const QList<QCPGraph*> series = g.Series();
    ASSERT_EQ(g.graphCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(series[i]->name(), QString::fromUtf8(names[i]));
        EXPECT_EQ(g.graph(i), series[i]); // drawing order is the layer order
        EXPECT_EQ(series[i]->valueAxis(), g.AxisAt(i < 4 ? i + 1 : 3));
        if (i < 4) EXPECT_EQ(series[i]->pen().width(), 2);
    }
    EXPECT_EQ(g.RtLineSeriesPumppO2->lineStyle(), QCPGraph::lsNone);
    EXPECT_EQ(g.RtLineSeriesPumppO2->scatterStyle().shape(), QCPScatterStyle::ssCircle);
    EXPECT_EQ(g.RtLineSeriesPumppO2->scatterStyle().size(), 4);
    EXPECT_TRUE(g.Legend1->visible());
    EXPECT_EQ(g.Legend1->itemCount(), 5);
}

TEST(ExperimentGraph, PairsEachCellPO2WithTheTimeItWasTakenAt)
{
    TExperimentGraph g;
    AddPoints(g, 7); // points 0, 3 and 6 have no cell pO2
    ASSERT_EQ(g.RtDoubleVectorCellpO2.size(), 4u);
    EXPECT_EQ(g.RtDoubleVectorTimeforCellpO2, (std::vector<double>{10, 20, 40, 50}));
    ASSERT_EQ(g.RtLineSeriesCellpO2->dataCount(), 4);
    EXPECT_DOUBLE_EQ(g.RtLineSeriesCellpO2->data()->at(2)->key, 40);
    EXPECT_DOUBLE_EQ(g.RtLineSeriesCellpO2->data()->at(2)->value, 1e-5 * 5);
    EXPECT_EQ(g.RtLineSeriesPumppO2->dataCount(), 2);
}

TEST(DeleteFirstPoints, OfTwoHundredFiftyPointsLeavesOneHundredFortyNineInEveryVector)
{
    TfrmOxtiva w;
    TExperimentGraph& g = *w.RtGraph2D1;
    for (int i = 0; i < 250; ++i) {
        g.AppendPoint(i, i, i, i, double(i + 1));
        g.AppendPumppO2(i, double(i + 1));
    }
    oxtiva::testing::TMessageBoxAnswerer answerer;
    answerer.Expect(QMessageBox::No);
    w.ButtonDeleteData->click();
    EXPECT_EQ(Sizes(g).front(), 250u) << "asked first, and No keeps them";
    answerer.Expect(QMessageBox::Yes);
    w.ButtonDeleteData->click();
    EXPECT_TRUE(answerer.Texts().front().startsWith("Remove the first 100 points from the graph?"));
    for (std::size_t size : Sizes(g))
        EXPECT_EQ(size, 149u);
    EXPECT_DOUBLE_EQ(g.RtDoubleVectorTime.front(), 101);
    EXPECT_DOUBLE_EQ(g.RtDoubleVectorPumppO2.front(), 102);
    for (QCPGraph* series : g.Series()) {
        EXPECT_EQ(series->dataCount(), 149);
        EXPECT_DOUBLE_EQ(series->data()->constBegin()->key, 101);
    }
}

TEST(DeleteFirstPoints, EmptiesVectorsHoldingFewerValuesWithoutFailing)
{
    TExperimentGraph g;
    AddPoints(g, 150); // 100 cell pO2 values and 38 pump pO2 values
    g.DeleteFirstPoints(101);
    EXPECT_EQ(g.RtDoubleVectorTime.size(), 49u);
    EXPECT_TRUE(g.RtDoubleVectorCellpO2.empty());
    EXPECT_TRUE(g.RtDoubleVectorTimeforCellpO2.empty());
    EXPECT_TRUE(g.RtDoubleVectorPumppO2.empty());
    EXPECT_EQ(g.RtLineSeriesCellpO2->dataCount(), 0);
    g.DeleteFirstPoints(101);
    for (std::size_t size : Sizes(g))
        EXPECT_EQ(size, 0u);
    AddPoints(g, 3);
    EXPECT_EQ(g.RtLineSeriesPumpVoltage->dataCount(), 3);
}

TEST(ExportPng, WritesAPictureOnAWhiteBackground)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TExperimentGraph g;
    g.setBackground(Qt::darkGray); // the picture is white whatever the screen shows
    AddPoints(g, 40);
    const QString path = dir.filePath(QStringLiteral("Ceria_0001.png"));
    ASSERT_TRUE(g.ExportPng(path));
    QImage picture(path);
    ASSERT_FALSE(picture.isNull());
    EXPECT_GE(picture.width(), 800);
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(picture.width() - 1, picture.height() - 1), QColor(Qt::white));
    bool drawn = false; // something besides the background
    for (int y = 0; y < picture.height() && !drawn; y += 3)
        for (int x = 0; x < picture.width() && !drawn; x += 3)
            drawn = picture.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_TRUE(drawn);
    EXPECT_FALSE(g.ExportPng(dir.filePath(QStringLiteral("missing/folder/x.png"))));
}

TEST(ExportPng, TheNewestPointIsInsideThePicturesRange)
{
    QTemporaryDir dir;
    TExperimentGraph g;
    AddPoints(g, 10);                         // replotted up to t = 90 s
    g.AppendPoint(500, 0.1, 1e-4, 700, 1e-5); // the point of a step advance, not yet replotted
    ASSERT_TRUE(g.ExportPng(dir.filePath(QStringLiteral("step.png"))));
    EXPECT_GE(g.XAxisTime->range().upper, 500);
}

TEST(ZoomUndoStack, KeepsTheTwentyNewestViews)
{
    TZoomUndoStack stack;
    for (int i = 0; i < 25; ++i) {
        TGraphView view{};
        view[0] = {double(i), double(i + 1)};
        stack.Push(view);
    }
    EXPECT_EQ(stack.Size(), 20u);
    TZoomStep step;
    for (int i = 24; i >= 5; --i) {
        ASSERT_TRUE(stack.Pop(step));
        EXPECT_DOUBLE_EQ(step.View[0].Lower, i);
    }
    EXPECT_FALSE(stack.Pop(step));
}

class GraphZoom : public ::testing::Test
{
  protected:
    TExperimentGraph g;

    void SetUp() override
    {
        g.resize(800, 600);
        AddPoints(g, 50);
        g.replot();
    }
    QRect PlotArea() const { return g.axisRect()->rect(); }
    QRect Inner() const { return PlotArea().adjusted(100, 50, -100, -50); }
};

TEST_F(GraphZoom, StepsBackOneViewPerClickBesideThePlotAndResetsOnDoubleClick)
{
    const QCPRange full = g.XAxisTime->range();
    g.ZoomTo(Inner());
    const QCPRange first = g.XAxisTime->range();
    EXPECT_LT(first.size(), full.size());
    g.ZoomTo(Inner());
    EXPECT_LT(g.XAxisTime->range().size(), first.size());
    ASSERT_EQ(g.RtUndoStack1.Size(), 2u);
    AddPoints(g, 60); // new points do not undo the zoom
    EXPECT_LT(g.XAxisTime->range().size(), first.size());

    const QPoint beside(2, 2);
    ASSERT_FALSE(PlotArea().contains(beside));
    QTest::mouseClick(&g, Qt::LeftButton, Qt::NoModifier, beside);
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().lower, first.lower);
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, first.upper);
    EXPECT_EQ(g.RtUndoStack1.Size(), 1u);

    // A drag that starts and ends beside the plot is not a click.
    ASSERT_FALSE(PlotArea().contains(QPoint(2, 40)));
    QTest::mousePress(&g, Qt::LeftButton, Qt::NoModifier, beside);
    QTest::mouseRelease(&g, Qt::LeftButton, Qt::NoModifier, QPoint(2, 40));
    EXPECT_EQ(g.RtUndoStack1.Size(), 1u);

    QTest::mouseDClick(&g, Qt::LeftButton, Qt::NoModifier, beside);
    EXPECT_FALSE(g.Zoomed());
    EXPECT_TRUE(g.RtUndoStack1.Empty());
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, 590); // automatic again, over all 60 points
}

TEST_F(GraphZoom, SteppingBackToTheFirstViewFollowsNewPointsAgain)
{
    g.ZoomTo(Inner());
    g.ZoomTo(Inner());
    const QPoint beside(2, 2);
    QTest::mouseClick(&g, Qt::LeftButton, Qt::NoModifier, beside);
    EXPECT_TRUE(g.Zoomed()) << "one step back is still the first zoom";
    QTest::mouseClick(&g, Qt::LeftButton, Qt::NoModifier, beside);
    EXPECT_FALSE(g.Zoomed());
    AddPoints(g, 60);
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, 590);
}

TEST_F(GraphZoom, KeepsAtMostTwentyStepsOfUndo)
{
    for (int i = 0; i < 30; ++i)
        g.ZoomTo(Inner());
    EXPECT_EQ(g.RtUndoStack1.Size(), 20u);
    for (int i = 0; i < 25; ++i)
        g.StepBack();
    EXPECT_TRUE(g.RtUndoStack1.Empty());
    EXPECT_TRUE(g.Zoomed()) << "the unzoomed view was the oldest and has been forgotten";
}

TEST_F(GraphZoom, ADragInsideThePlotZoomsToTheDraggedRectangle)
{
    const QCPRange full = g.XAxisTime->range();
    const QRect area = Inner();
    const double left = g.XAxisTime->pixelToCoord(area.left());
    QTest::mousePress(&g, Qt::LeftButton, Qt::NoModifier, area.topLeft());
    QMouseEvent move(QEvent::MouseMove, QPointF(area.bottomRight()),
                     g.mapToGlobal(area.bottomRight()), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&g, &move);
    QTest::mouseRelease(&g, Qt::LeftButton, Qt::NoModifier, area.bottomRight());
    EXPECT_LT(g.XAxisTime->range().size(), full.size());
    EXPECT_NEAR(g.XAxisTime->range().lower, left, 1e-6);
    EXPECT_EQ(g.RtUndoStack1.Size(), 1u);
}

TEST_F(GraphZoom, AShiftDragPansWithoutChangingTheScale)
{
    const QCPRange before = g.XAxisTime->range();
    const QPoint from = PlotArea().center();
    const QPoint to = from + QPoint(120, 0);
    QTest::mouseClick(&g, Qt::LeftButton, Qt::ShiftModifier, from); // no move, no undo step
    EXPECT_TRUE(g.RtUndoStack1.Empty());
    QTest::mousePress(&g, Qt::LeftButton, Qt::ShiftModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), g.mapToGlobal(to), Qt::NoButton,
                     Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(&g, &move);
    QTest::mouseRelease(&g, Qt::LeftButton, Qt::ShiftModifier, to);
    EXPECT_NEAR(g.XAxisTime->range().size(), before.size(), 1e-9);
    EXPECT_LT(g.XAxisTime->range().lower, before.lower);
    EXPECT_EQ(g.RtUndoStack1.Size(), 1u);
    g.StepBack();
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().lower, before.lower);
    AddPoints(g, 60); // back at the view before the pan, the graph follows the data again
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, 590);
}

TEST(GraphSettings, OpenOnARightClickAndChangeTheSeriesAndAxes)
{
    TfrmOxtiva w;
    TExperimentGraph& g = *w.RtGraph2D1;
    g.resize(800, 600);
    g.replot();
    QTest::mouseClick(&g, Qt::RightButton, Qt::NoModifier, g.axisRect()->rect().center());
    TGraphSettingsDialog& dialog = *g.RtGraphSettingsTool1;
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set properties of: RtGraph2D1"));
    EXPECT_EQ(dialog.SeriesRows.at(0).Width->value(), 2);
    dialog.SeriesRows.at(0).Width->setValue(5);
    dialog.SeriesRows.at(3).Visible->setChecked(false);
    dialog.AxisRows.at(4).Automatic->setChecked(false);
    dialog.AxisRows.at(4).Minimum->setValue(600);
    dialog.AxisRows.at(4).Maximum->setValue(900);
    dialog.accept();
    EXPECT_EQ(g.RtLineSeriesPumpVoltage->pen().width(), 5);
    EXPECT_FALSE(g.RtLineSeriesCellTemp->visible());
    EXPECT_FALSE(g.AxisAutomatic(4));
    AddPoints(g, 20); // a fixed axis keeps its range as data arrive
    EXPECT_DOUBLE_EQ(g.RtAxisCellTemp->range().lower, 600);
    EXPECT_DOUBLE_EQ(g.RtAxisCellTemp->range().upper, 900);
}

} // namespace

struct MinimumRangeCase {
    const char* name;
    QCPRange range;
    bool logarithmic;
    double minimum;
    QCPRange expected;
};

class AutomaticRange : public ::testing::TestWithParam<MinimumRangeCase>
{
};

TEST_P(AutomaticRange, IsWidenedAboutItsCentreOnlyWhenNarrowerThanTheMinimum)
{
    const MinimumRangeCase c = GetParam();
    const QCPRange r =
        c.logarithmic ? AtLeastRatio(c.range, c.minimum) : AtLeastSpan(c.range, c.minimum);
    EXPECT_NEAR(r.lower, c.expected.lower, 1e-12 + 1e-9 * std::abs(c.expected.lower));
    EXPECT_NEAR(r.upper, c.expected.upper, 1e-12 + 1e-9 * std::abs(c.expected.upper));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutomaticRange,
    ::testing::Values(
        MinimumRangeCase{"SteadyTemperature", {799.999, 800.001}, false, 1.0, {799.5, 800.5}},
        MinimumRangeCase{"ChangingTemperature", {700, 800}, false, 1.0, {700, 800}},
        MinimumRangeCase{
            "CurrentNoiseAroundZero", {-2e-11, 4e-11}, false, 1e-6, {1e-11 - 5e-7, 1e-11 + 5e-7}},
        MinimumRangeCase{"SteadyPO2", {0.2, 0.2}, true, 1.21, {0.2 / 1.1, 0.2 * 1.1}},
        MinimumRangeCase{"PO2OverDecades", {1e-10, 0.21}, true, 1.2, {1e-10, 0.21}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExperimentGraph, SteadyTemperatureIsDrawnOnAtLeastOneDegree)
{
    TExperimentGraph g;
    for (int i = 0; i < 10; ++i)
        g.AppendPoint(i, 0.1, 1e-4, 800 + (i % 2 ? 1e-3 : -1e-3), 0.21);
    g.Replot();
    EXPECT_NEAR(g.RtAxisCellTemp->range().size(), 1.0, 1e-9);
    EXPECT_NEAR(g.RtAxisCellTemp->range().center(), 800, 1e-9);
    EXPECT_GE(g.RtAxisCellpO2->range().upper / g.RtAxisCellpO2->range().lower, 1.2 - 1e-9);
}

TEST(ExperimentGraph, ThePassesBetweenPointsLeaveTheViewAlone)
{
    TExperimentGraph g;
    g.AppendPoint(0, 0.1, 1e-4, 800, 0.2);
    g.AppendPoint(10, 0.2, 2e-4, 810, 0.1);
    g.ReplotNewPoints();
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, 10);
    g.XAxisTime->setRange(3, 4); // as the settings dialog or a zoom leaves it
    g.ReplotNewPoints();
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, 4) << "no new point, no rescale";
    g.AppendPoint(20, 0.2, 2e-4, 810, std::nullopt);
    g.ReplotNewPoints();
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, 20);
}

// A noisy voltage over many points: the series are given what the screen can show of
// the visible span, the automatic ranges still cover every point, a zoom shows every
// point of its span.
class GraphOfALongRun : public ::testing::Test
{
  protected:
    static constexpr int Points = 100000;
    static constexpr int Spike = 61234;
    TExperimentGraph g;

    void SetUp() override
    {
        g.resize(1600, 600);
        g.show(); // a hidden widget keeps its size to itself until shown
        for (int i = 0; i < Points; ++i) {
            const double noise = (i * 7919 % 101) * 1e-5;
            g.AppendPoint(i, i == Spike ? 0.9 : 0.1 + noise, 1e-4 + 1e-10 * i, 800 + 1e-4 * i,
                          1e-5 * (1 + 1e-6 * i));
            g.AppendPumppO2(i, 2e-5 * (1 + 1e-6 * i));
        }
        g.Replot();
        g.replot();
    }
    static bool HasKey(const QCPGraph* aSeries, double aKey)
    {
        auto it = aSeries->data()->findBegin(aKey, false);
        return it != aSeries->data()->constEnd() && it->key == aKey;
    }
};

TEST_F(GraphOfALongRun, GivesTheSeriesOnlyWhatTheWidthShowsAndScalesOverEveryPoint)
{
    for (QCPGraph* series : g.Series()) {
        EXPECT_LE(series->dataCount(), 2 * g.axisRect()->width() + 2);
        EXPECT_GT(series->dataCount(), g.axisRect()->width() / 2);
    }
    EXPECT_TRUE(HasKey(g.RtLineSeriesPumpVoltage, Spike)) << "a spike of one point is drawn";
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, Points - 1);
    EXPECT_DOUBLE_EQ(g.YAxisPumpVoltage->range().upper, 0.9);
    EXPECT_DOUBLE_EQ(g.YAxisPumpVoltage->range().lower, 0.1);

    // A fixed time axis away from the spike: the automatic axes still take every point.
    g.SetAxisAutomatic(0, false);
    g.XAxisTime->setRange(0, 1000);
    g.AppendPoint(Points, 0.1, 1e-4, 800, 1e-5);
    g.Replot();
    EXPECT_DOUBLE_EQ(g.YAxisPumpVoltage->range().upper, 0.9);
    EXPECT_EQ(g.RtLineSeriesPumpVoltage->dataCount(), 1002)
        << "every point of 0..1000 and the next";
}

TEST_F(GraphOfALongRun, AZoomShowsEveryPointOfItsSpanAndStepsBackToTheWholeRun)
{
    const QRect area = g.axisRect()->rect();
    const int x = int(g.XAxisTime->coordToPixel(Spike));
    g.ZoomTo(QRect(x - 2, area.top() + 5, 4, area.height() - 10)); // a few hundred points wide
    const QCPRange span = g.XAxisTime->range();
    ASSERT_LT(span.size(), 3000);
    for (int i = int(std::ceil(span.lower)) - 1; i <= int(span.upper) + 1; ++i)
        ASSERT_TRUE(HasKey(g.RtLineSeriesPumpVoltage, i)) << i;
    g.StepBack();
    EXPECT_LE(g.RtLineSeriesPumpVoltage->dataCount(), 2 * g.axisRect()->width() + 2);
    EXPECT_DOUBLE_EQ(g.XAxisTime->range().upper, Points - 1);
}

TEST_F(GraphOfALongRun, ThePictureShowsTheSpikeAtTheSizeOfThePicture)
{
    const QImage picture = g.Picture(1600, 600);
    ASSERT_EQ(picture.width(), 1600);
    EXPECT_LE(g.RtLineSeriesPumpVoltage->dataCount(), 2 * 1600 + 2);
    EXPECT_TRUE(HasKey(g.RtLineSeriesPumpVoltage, Spike));
    // The green line reaches the top of the voltage axis only at the spike. The layout is
    // still the picture's.
    const QRect plot = g.axisRect()->rect();
    const int top = int(g.YAxisPumpVoltage->coordToPixel(0.9));
    int greenColumns = 0;
    for (int px = plot.left() + 3; px < plot.right() - 3; ++px) {
        bool green = false;
        for (int y = top - 2; y <= top + 3 && !green; ++y) {
            const QColor c = picture.pixelColor(px, y);
            green = c.green() > 60 && c.red() < 60 && c.blue() < 60;
        }
        greenColumns += green;
    }
    EXPECT_GE(greenColumns, 1);
    EXPECT_LE(greenColumns, 6);
}
