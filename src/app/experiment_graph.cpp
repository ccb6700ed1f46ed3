#include "app/experiment_graph.h"

#include "app/graph_settings_dialog.h"

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

QVector<double> AsQVector(const std::vector<double>& aVector, std::size_t aCount)
{
    return QVector<double>(aVector.begin(), aVector.begin() + std::min(aCount, aVector.size()));
}

void Load(QCPGraph* aSeries, const std::vector<double>& aKeys, const std::vector<double>& aValues)
{
    const std::size_t n = std::min(aKeys.size(), aValues.size());
    aSeries->setData(AsQVector(aKeys, n), AsQVector(aValues, n), true);
}

} // namespace

TExperimentGraph::TExperimentGraph(QWidget* parent) : QCustomPlot(parent)
{
    setBackground(Qt::white);
    BuildAxes();
    BuildSeries();
    BuildLegend();
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
    RtLineSeriesPumpVoltage->addData(aTime, aPumpVoltage);
    RtLineSeriesPumpCurrent->addData(aTime, aPumpCurrent);
    RtLineSeriesCellTemp->addData(aTime, aCellTemp);
    fNewPoints = true;
    if (aCellpO2) {
        RtDoubleVectorTimeforCellpO2.push_back(aTime);
        RtDoubleVectorCellpO2.push_back(*aCellpO2);
        RtLineSeriesCellpO2->addData(aTime, *aCellpO2);
    }
}

void TExperimentGraph::AppendPumppO2(double aTime, double aPumppO2)
{
    RtDoubleVectorTimeforPumppo2.push_back(aTime);
    RtDoubleVectorPumppO2.push_back(aPumppO2);
    RtLineSeriesPumppO2->addData(aTime, aPumppO2);
    fNewPoints = true;
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
    replot(QCustomPlot::rpQueuedReplot);
}

void TExperimentGraph::ReplotNewPoints()
{
    if (fNewPoints) Replot();
}

void TExperimentGraph::RescaleAutomaticAxis(int aIndex)
{
    QCPAxis* axis = AxisAt(aIndex);
    axis->rescale(true);
    if (axis == YAxisPumpVoltage)
        axis->setRange(AtLeastSpan(axis->range(), MinimumVoltageSpan));
    else if (axis == RtAxisPumpCurrent)
        axis->setRange(AtLeastSpan(axis->range(), MinimumCurrentSpan));
    else if (axis == RtAxisCellTemp)
        axis->setRange(AtLeastSpan(axis->range(), MinimumTemperatureSpan));
    else if (axis == RtAxisCellpO2)
        axis->setRange(AtLeastRatio(axis->range(), MinimumOxygenRatio));
}

void TExperimentGraph::ReloadSeries()
{
    Load(RtLineSeriesPumpVoltage, RtDoubleVectorTime, RtDoubleVectorPumpVoltage);
    Load(RtLineSeriesPumpCurrent, RtDoubleVectorTime, RtDoubleVectorPumpCurrent);
    Load(RtLineSeriesCellTemp, RtDoubleVectorTime, RtDoubleVectorCellTemp);
    Load(RtLineSeriesCellpO2, RtDoubleVectorTimeforCellpO2, RtDoubleVectorCellpO2);
    Load(RtLineSeriesPumppO2, RtDoubleVectorTimeforPumppo2, RtDoubleVectorPumppO2);
}

void TExperimentGraph::DeleteFirstPoints(std::size_t aCount)
{
    for (auto* vector :
         {&RtDoubleVectorTime, &RtDoubleVectorPumpVoltage, &RtDoubleVectorPumpCurrent,
          &RtDoubleVectorCellTemp, &RtDoubleVectorCellpO2, &RtDoubleVectorTimeforCellpO2,
          &RtDoubleVectorTimeforPumppo2, &RtDoubleVectorPumppO2})
        DropFront(*vector, aCount);
    ReloadSeries();
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
    const QBrush kept = mBackgroundBrush;
    setBackground(Qt::white);
    QImage picture = toPixmap(width, height, 1.0).toImage();
    setBackground(kept);
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
