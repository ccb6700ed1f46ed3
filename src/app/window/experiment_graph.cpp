#include "app/window/experiment_graph.h"

#include "app/window/graph_settings_dialog.h"

#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace oxtiva
{

namespace
{

const QColor VoltageColour = Qt::darkGreen;
const QColor CurrentColour = Qt::black;
const QColor OxygenColour = Qt::blue;
const QColor TemperatureColour = Qt::red;

void ColourAxis(QCPAxis* aAxis, const QColor& aColour)
{
    aAxis->setBasePen(QPen(aColour, 1));
    aAxis->setTickPen(QPen(aColour, 1));
    aAxis->setSubTickPen(QPen(aColour, 1));
    aAxis->setTickLabelColor(aColour);
    aAxis->setLabelColor(aColour);
    aAxis->setVisible(true);
}

QCPGraph* LineSeries(QCustomPlot* aPlot, QCPAxis* aX, QCPAxis* aY, const QString& aName,
                     const QColor& aColour)
{
    QCPGraph* series = aPlot->addGraph(aX, aY);
    series->setName(aName);
    series->setPen(QPen(aColour, 2));
    series->setLineStyle(QCPGraph::lsLine);
    return series;
}

void DropFront(std::vector<double>& aVector, std::size_t aCount)
{
    aVector.erase(aVector.begin(), aVector.begin() + std::min(aCount, aVector.size()));
}

QVector<double> AsQVector(const std::vector<double>& aVector)
{
    return QVector<double>(aVector.begin(), aVector.end());
}

} // namespace

TExperimentGraph::TExperimentGraph(QWidget* parent) : QCustomPlot(parent)
{
    setBackground(Qt::white);
    BuildAxes();
    BuildSeries();
    BuildLegend();
    // A line two pixels wide drawn as one polyline is stroked as a whole, at a cost that
    // grows with how often a noisy reading crosses itself; segment by segment it costs
    // a constant per segment.
    setPlottingHint(QCP::phFastPolylines, true);
    setInteractions(QCP::iRangeDrag);
    axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    axisRect()->setRangeDragAxes(Axes());
    setSelectionRectMode(QCP::srmCustom);
    connect(selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect& aRect, QInputEvent*) { ZoomTo(aRect); });
    RtGraphSettingsTool1 = new TGraphSettingsDialog(*this);
}

TExperimentGraph::~TExperimentGraph() = default;

// The tickers are made here once; the control cycle only rescales and repaints.
void TExperimentGraph::BuildAxes()
{
    XAxisTime = xAxis;
    XAxisTime->setLabel(QStringLiteral("Time, s"));
    yAxis->setVisible(false);
    xAxis2->setVisible(false);
    YAxisPumpVoltage = yAxis2;
    RtAxisPumpCurrent = axisRect()->addAxis(QCPAxis::atRight);
    RtAxisCellpO2 = axisRect()->addAxis(QCPAxis::atRight);
    RtAxisCellTemp = axisRect()->addAxis(QCPAxis::atRight);
    ColourAxis(YAxisPumpVoltage, VoltageColour);
    ColourAxis(RtAxisPumpCurrent, CurrentColour);
    ColourAxis(RtAxisCellpO2, OxygenColour);
    ColourAxis(RtAxisCellTemp, TemperatureColour);
    RtAxisCellpO2->setScaleType(QCPAxis::stLogarithmic);
    RtAxisCellpO2->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    // Two significant digits tell apart the ticks between two powers of ten.
    RtAxisCellpO2->setNumberFormat(QStringLiteral("gb"));
    RtAxisCellpO2->setNumberPrecision(2);
    RtAxisCellpO2->setRange(1e-20, 1);
}

void TExperimentGraph::BuildSeries()
{
    RtLineSeriesPumpVoltage = LineSeries(this, XAxisTime, YAxisPumpVoltage,
                                         QStringLiteral("Pump voltage, V"), VoltageColour);
    RtLineSeriesPumpCurrent = LineSeries(this, XAxisTime, RtAxisPumpCurrent,
                                         QStringLiteral("Pump current, A"), CurrentColour);
    RtLineSeriesCellpO2 = LineSeries(this, XAxisTime, RtAxisCellpO2,
                                     QStringLiteral("pO2 (sensor), atm"), OxygenColour);
    RtLineSeriesCellTemp = LineSeries(this, XAxisTime, RtAxisCellTemp,
                                      QStringLiteral("Cell temp, ºC"), TemperatureColour);
    RtLineSeriesPumppO2 = addGraph(XAxisTime, RtAxisCellpO2);
    RtLineSeriesPumppO2->setName(QStringLiteral("pO2 (pump), atm"));
    RtLineSeriesPumppO2->setPen(QPen(OxygenColour, 1));
    RtLineSeriesPumppO2->setLineStyle(QCPGraph::lsNone);
    RtLineSeriesPumppO2->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
}

void TExperimentGraph::BuildLegend()
{
    Legend1 = legend;
    Legend1->setVisible(true);
    Legend1->setBrush(QColor(255, 255, 255, 220));
    axisRect()->insetLayout()->setInsetPlacement(0, QCPLayoutInset::ipBorderAligned);
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
}

QCPAxis* TExperimentGraph::AxisAt(int aIndex) const
{
    const std::array<QCPAxis*, 5> axes{XAxisTime, YAxisPumpVoltage, RtAxisPumpCurrent,
                                       RtAxisCellpO2, RtAxisCellTemp};
    return axes.at(aIndex);
}

QList<QCPAxis*> TExperimentGraph::Axes() const
{
    return {XAxisTime, YAxisPumpVoltage, RtAxisPumpCurrent, RtAxisCellpO2, RtAxisCellTemp};
}

QList<QCPGraph*> TExperimentGraph::Series() const
{
    return {RtLineSeriesPumpVoltage, RtLineSeriesPumpCurrent, RtLineSeriesCellpO2,
            RtLineSeriesCellTemp, RtLineSeriesPumppO2};
}

void TExperimentGraph::AppendPoint(double aTime, double aPumpVoltage, double aPumpCurrent,
                                   double aCellTemp, std::optional<double> aCellpO2)
{
    RtDoubleVectorTime.push_back(aTime);
    RtDoubleVectorPumpVoltage.push_back(aPumpVoltage);
    RtDoubleVectorPumpCurrent.push_back(aPumpCurrent);
    RtDoubleVectorCellTemp.push_back(aCellTemp);
    FollowSeries(0);
    FollowSeries(1);
    FollowSeries(3);
    if (aCellpO2) {
        RtDoubleVectorTimeforCellpO2.push_back(aTime);
        RtDoubleVectorCellpO2.push_back(*aCellpO2);
        FollowSeries(2);
    }
    fNewPoints = true;
}

void TExperimentGraph::AppendPumppO2(double aTime, double aPumppO2)
{
    RtDoubleVectorTimeforPumppo2.push_back(aTime);
    RtDoubleVectorPumppO2.push_back(aPumppO2);
    FollowSeries(4);
    fNewPoints = true;
}

void TExperimentGraph::TValueBounds::Add(double aValue)
{
    if (std::isnan(aValue)) return;
    if (!(aValue >= Min)) Min = aValue;
    if (!(aValue <= Max)) Max = aValue;
    if (aValue > 0) {
        if (!(aValue >= MinPositive)) MinPositive = aValue;
        if (!(aValue <= MaxPositive)) MaxPositive = aValue;
    }
}

const std::vector<double>& TExperimentGraph::SeriesKeys(int aSeries) const
{
    switch (aSeries) {
    case 2:
        return RtDoubleVectorTimeforCellpO2;
    case 4:
        return RtDoubleVectorTimeforPumppo2;
    default:
        return RtDoubleVectorTime;
    }
}

const std::vector<double>& TExperimentGraph::SeriesValues(int aSeries) const
{
    const std::array<const std::vector<double>*, SeriesCount> values{
        &RtDoubleVectorPumpVoltage, &RtDoubleVectorPumpCurrent, &RtDoubleVectorCellpO2,
        &RtDoubleVectorCellTemp, &RtDoubleVectorPumppO2};
    return *values.at(aSeries);
}

// Called after each value appended to the series.
void TExperimentGraph::FollowSeries(int aSeries)
{
    const std::vector<double>& values = SeriesValues(aSeries);
    fExtrema[aSeries].Follow(values);
    fBounds[aSeries].Add(values.back());
    fPlotDataStale = true;
}

void TExperimentGraph::RebuildSeriesSummaries()
{
    for (int i = 0; i < SeriesCount; ++i) {
        const std::vector<double>& values = SeriesValues(i);
        fExtrema[i].Rebuild(values);
        fBounds[i] = {};
        for (double value : values)
            fBounds[i].Add(value);
    }
    fPlotDataStale = true;
}

int TExperimentGraph::PlotColumns() const
{
    // A graph not yet laid out has no width of its own; its first drawing chooses again.
    constexpr int MinimumPlotColumns = 256;
    return std::max(axisRect()->width(), MinimumPlotColumns);
}

// Zoom, pan, a resize, the settings dialog and a picture all lay the plot out before they
// draw it, and each may have moved the span or the width the series must show.
void TExperimentGraph::updateLayout()
{
    QCustomPlot::updateLayout();
    RefreshPlotData(PlotColumns());
}

void TExperimentGraph::RefreshPlotData(int aColumns)
{
    const QCPRange span = XAxisTime->range();
    if (!fPlotDataStale && span == fPlottedRange && aColumns == fPlottedColumns) return;
    const QList<QCPGraph*> series = Series();
    for (int i = 0; i < SeriesCount; ++i) {
        const TPlotPoints points = DecimateForColumns(SeriesKeys(i), SeriesValues(i), fExtrema[i],
                                                      span.lower, span.upper, aColumns);
        series[i]->setData(AsQVector(points.Keys), AsQVector(points.Values), true);
        // Each column's extremes make a noisy reading a band of strokes across its height;
        // smoothing their edges triples the cost of drawing it, and in a band nobody sees
        // the smoothing. A span of fewer points is drawn smooth.
        series[i]->setAntialiased(!points.PerColumn);
    }
    fPlotDataStale = false;
    fPlottedRange = span;
    fPlottedColumns = aColumns;
}

QCPRange AtLeastSpan(const QCPRange& aRange, double aMinimumSpan)
{
    if (!(aRange.size() < aMinimumSpan)) return aRange;
    const double centre = aRange.center();
    return {centre - aMinimumSpan / 2, centre + aMinimumSpan / 2};
}

QCPRange AtLeastRatio(const QCPRange& aRange, double aMinimumRatio)
{
    if (!(aRange.lower > 0) || !(aRange.upper / aRange.lower < aMinimumRatio)) return aRange;
    const double centre = std::sqrt(aRange.lower * aRange.upper);
    const double half = std::sqrt(aMinimumRatio);
    return {centre / half, centre * half};
}

void TExperimentGraph::Replot()
{
    fNewPoints = false;
    if (!fZoomed) {
        for (int i = 0; i < 5; ++i)
            if (fAxisAutomatic[i]) RescaleAutomaticAxis(i);
    }
    RefreshPlotData(PlotColumns());
    replot(QCustomPlot::rpQueuedReplot);
}

void TExperimentGraph::ReplotNewPoints()
{
    if (fNewPoints) Replot();
}

// What QCPAxis::rescale(true) finds, but over every point of the data vectors rather than
// the few the series are given.
std::optional<QCPRange> TExperimentGraph::DataRange(int aAxisIndex) const
{
    const QCPAxis* axis = AxisAt(aAxisIndex);
    const bool logarithmic = axis->scaleType() == QCPAxis::stLogarithmic;
    std::optional<QCPRange> found;
    const QList<QCPGraph*> series = Series();
    for (int i = 0; i < SeriesCount; ++i) {
        if (!series[i]->realVisibility()) continue;
        QCPRange range;
        if (series[i]->keyAxis() == axis) {
            const std::vector<double>& keys = SeriesKeys(i);
            if (keys.empty() || SeriesValues(i).empty()) continue;
            range = {keys.front(), keys[std::min(keys.size(), SeriesValues(i).size()) - 1]};
        } else if (series[i]->valueAxis() == axis) {
            const TValueBounds& b = fBounds[i];
            const double lower = logarithmic ? b.MinPositive : b.Min;
            const double upper = logarithmic ? b.MaxPositive : b.Max;
            if (std::isnan(lower)) continue;
            range = {lower, upper};
        } else {
            continue;
        }
        if (found)
            found->expand(range);
        else
            found = range;
    }
    return found;
}

void TExperimentGraph::RescaleAutomaticAxis(int aIndex)
{
    QCPAxis* axis = AxisAt(aIndex);
    if (std::optional<QCPRange> range = DataRange(aIndex)) {
        // Constant data: centred in a range of the present size, as QCustomPlot does.
        if (!QCPRange::validRange(*range)) {
            const double centre = range->center();
            const QCPRange now = axis->range();
            if (axis->scaleType() == QCPAxis::stLinear)
                *range = {centre - now.size() / 2, centre + now.size() / 2};
            else
                *range = {centre / std::sqrt(now.upper / now.lower),
                          centre * std::sqrt(now.upper / now.lower)};
        }
        axis->setRange(*range);
    }
    if (axis == YAxisPumpVoltage)
        axis->setRange(AtLeastSpan(axis->range(), MinimumVoltageSpan));
    else if (axis == RtAxisPumpCurrent)
        axis->setRange(AtLeastSpan(axis->range(), MinimumCurrentSpan));
    else if (axis == RtAxisCellTemp)
        axis->setRange(AtLeastSpan(axis->range(), MinimumTemperatureSpan));
    else if (axis == RtAxisCellpO2)
        axis->setRange(AtLeastRatio(axis->range(), MinimumOxygenRatio));
}

void TExperimentGraph::DeleteFirstPoints(std::size_t aCount)
{
    for (auto* vector :
         {&RtDoubleVectorTime, &RtDoubleVectorPumpVoltage, &RtDoubleVectorPumpCurrent,
          &RtDoubleVectorCellTemp, &RtDoubleVectorCellpO2, &RtDoubleVectorTimeforCellpO2,
          &RtDoubleVectorTimeforPumppo2, &RtDoubleVectorPumppO2})
        DropFront(*vector, aCount);
    RebuildSeriesSummaries();
    Replot();
}

bool TExperimentGraph::ExportPng(const QString& aPath, int aWidth, int aHeight)
{
    QString ignored;
    return ExportPng(aPath, ignored, aWidth, aHeight);
}

bool TExperimentGraph::ExportPng(const QString& aPath, QString& aErrorText, int aWidth, int aHeight)
{
    return WritePng(aPath, Picture(aWidth, aHeight), aErrorText);
}

QImage TExperimentGraph::Picture(int aWidth, int aHeight)
{
    // A step advance saves in the pass that brought the point, before the cycle replots.
    ReplotNewPoints();
    // A hidden graph has no useful size of its own; the data file's picture needs one.
    const int width = aWidth > 0 ? aWidth : std::max(this->width(), 800);
    const int height = aHeight > 0 ? aHeight : std::max(this->height(), 600);
    // Drawn as toPixmap draws, but with its painter's modes left as on screen: toPixmap's
    // asks for export quality, which strokes each line as one polyline.
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::white);
    QCPPainter painter(&pixmap);
    const QRect screen = viewport();
    setViewport(QRect(0, 0, width, height));
    const QBrush kept = mBackgroundBrush;
    setBackground(Qt::white);
    draw(&painter);
    setBackground(kept);
    setViewport(screen);
    painter.end();
    QImage picture = pixmap.toImage();
    return picture;
}

bool WritePng(const QString& aPath, const QImage& aPicture, QString& aErrorText)
{
    // Written through a file of our own rather than savePng, which keeps the reason for a
    // failure to itself; a complete picture replaces the old one or none does.
    QSaveFile file(aPath);
    if (!file.open(QIODevice::WriteOnly)) {
        aErrorText = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(aPicture)) {
        aErrorText =
            file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        aErrorText = file.errorString();
        return false;
    }
    return true;
}

void TExperimentGraph::ShowSettingsTool()
{
    RtGraphSettingsTool1->LoadFromGraph();
    RtGraphSettingsTool1->open();
}

void TExperimentGraph::SetAxisAutomatic(int aIndex, bool aAutomatic)
{
    fAxisAutomatic.at(aIndex) = aAutomatic;
}

TGraphView TExperimentGraph::CurrentView() const
{
    TGraphView view;
    for (int i = 0; i < 5; ++i)
        view[i] = {AxisAt(i)->range().lower, AxisAt(i)->range().upper};
    return view;
}

void TExperimentGraph::SetView(const TGraphView& aView)
{
    for (int i = 0; i < 5; ++i)
        AxisAt(i)->setRange(aView[i].Lower, aView[i].Upper);
}

void TExperimentGraph::ZoomTo(const QRect& aPixelRect)
{
    if (aPixelRect.width() < 3 || aPixelRect.height() < 3) return; // a click, not a drag
    RtUndoStack1.Push(CurrentView(), !fZoomed);
    fZoomed = true;
    axisRect()->zoom(QRectF(aPixelRect), Axes());
    replot();
}

void TExperimentGraph::StepBack()
{
    TZoomStep step;
    if (!RtUndoStack1.Pop(step)) return;
    SetView(step.View);
    if (!step.Automatic) {
        replot();
        return;
    }
    // Back at the unzoomed view: the ranges follow the data again, points that came while
    // zoomed included.
    fZoomed = false;
    Replot();
}

void TExperimentGraph::ResetZoom()
{
    RtUndoStack1.Clear();
    fZoomed = false;
    Replot();
}

bool TExperimentGraph::BesidePlot(const QPointF& aPos) const
{
    return !axisRect()->rect().contains(aPos.toPoint());
}

void TExperimentGraph::mousePressEvent(QMouseEvent* event)
{
    fPressPos = event->position();
    fViewAtPress = CurrentView();
    fPanning = !BesidePlot(fPressPos) && event->button() == Qt::LeftButton &&
               event->modifiers().testFlag(Qt::ShiftModifier);
    // Without Shift a left drag draws the zoom rectangle; with it QCustomPlot drags the range.
    setSelectionRectMode(fPanning ? QCP::srmNone : QCP::srmCustom);
    QCustomPlot::mousePressEvent(event);
}

void TExperimentGraph::mouseReleaseEvent(QMouseEvent* event)
{
    const bool moved = (event->position() - fPressPos).manhattanLength() > 3;
    const bool click = event->button() == Qt::LeftButton && !fPanning && !moved;
    QCustomPlot::mouseReleaseEvent(event);
    if (fPanning && CurrentView() != fViewAtPress) {
        RtUndoStack1.Push(fViewAtPress, !fZoomed);
        fZoomed = true;
    }
    if (click && BesidePlot(event->position())) StepBack();
    fPanning = false;
    setSelectionRectMode(QCP::srmCustom);
}

void TExperimentGraph::mouseDoubleClickEvent(QMouseEvent* event)
{
    QCustomPlot::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && BesidePlot(event->position())) ResetZoom();
}

} // namespace oxtiva
