#pragma once

#include "app/window/plot_decimation.h"
#include "app/window/zoom_undo_stack.h"

#include <qcustomplot.h>

#include <optional>
#include <vector>

namespace oxtiva
{

class TGraphSettingsDialog;

// An automatic range is never narrower than these, so a steady reading is drawn as the
// steady line it is, not as its measurement noise magnified to the plot's full height.
inline constexpr double MinimumVoltageSpan = 1e-3;    // V
inline constexpr double MinimumCurrentSpan = 1e-6;    // A
inline constexpr double MinimumTemperatureSpan = 1.0; // °C
inline constexpr double MinimumOxygenRatio = 1.2;     // upper / lower on the log axis

// The range widened about its centre to at least aMinimumSpan.
QCPRange AtLeastSpan(const QCPRange& aRange, double aMinimumSpan);
// The positive range widened about its geometric centre to at least the factor aMinimumRatio.
QCPRange AtLeastRatio(const QCPRange& aRange, double aMinimumRatio);

// RtGraph2D1: pump voltage, pump current, cell pO2 and cell temperature against time, each
// value series on a right axis of its own colour, and the pump-side pO2 as points.
// Points are appended as they come and drawn by ReplotNewPoints(), which the control
// cycle calls once per pass, so a burst of points costs one repaint and a pass without
// new points none.
// The data vectors keep every point; the series are given only the points that a pixel
// column can show of the visible time span (DecimateForColumns), chosen again when the
// span, the width or the data change, so drawing four weeks of points costs no more than
// drawing one screenful, and a zoom still shows every point of the span it zooms to.
// Mouse: drag zooms to the dragged rectangle, Shift+drag pans, a click beside the plot
// steps one view back, a double click beside it returns to automatic ranges.
class TExperimentGraph : public QCustomPlot
{
    Q_OBJECT

  public:
    explicit TExperimentGraph(QWidget* parent = nullptr);
    ~TExperimentGraph() override;

    // One data point; the cell pO2 only when the point has one.
    void AppendPoint(double aTime, double aPumpVoltage, double aPumpCurrent, double aCellTemp,
                     std::optional<double> aCellpO2);
    void AppendPumppO2(double aTime, double aPumppO2);
    // Rescales the axes that have an automatic range (unless zoomed) and repaints.
    void Replot();
    // Replot() only when points came since the last one: the control cycle asks four times
    // a second, points come every few seconds, and a rescale walks every point.
    void ReplotNewPoints();
    // Removes the first aCount values of every data vector, then repaints once. Vectors
    // holding fewer values are emptied.
    void DeleteFirstPoints(std::size_t aCount);
    // A picture of the graph on a white background; on failure aErrorText says why.
    bool ExportPng(const QString& aPath, int aWidth = 0, int aHeight = 0);
    bool ExportPng(const QString& aPath, QString& aErrorText, int aWidth = 0, int aHeight = 0);
    // The picture a save stores, on a white background; drawn on the window's thread, it
    // can be written on any.
    QImage Picture(int aWidth = 0, int aHeight = 0);
    // Shows the appearance dialog ("Set properties of: RtGraph2D1").
    void ShowSettingsTool();

    TGraphView CurrentView() const;
    void SetView(const TGraphView& aView);
    void ZoomTo(const QRect& aPixelRect); // pushes the current view first
    void StepBack();  // one view back (the first one with automatic ranges); nothing when empty
    void ResetZoom(); // automatic ranges again, stack cleared
    bool Zoomed() const { return fZoomed; }

    // Axis of index 0 (time) to 4 (cell temperature), in TGraphView order.
    QCPAxis* AxisAt(int aIndex) const;
    QList<QCPAxis*> Axes() const;
    QList<QCPGraph*> Series() const;
    // Whether an axis takes its range from the data (true) or keeps a fixed one.
    bool AxisAutomatic(int aIndex) const { return fAxisAutomatic[aIndex]; }
    void SetAxisAutomatic(int aIndex, bool aAutomatic);

    std::vector<double> RtDoubleVectorTime;
    std::vector<double> RtDoubleVectorPumpVoltage;
    std::vector<double> RtDoubleVectorPumpCurrent;
    std::vector<double> RtDoubleVectorCellTemp;
    std::vector<double> RtDoubleVectorCellpO2;
    std::vector<double> RtDoubleVectorTimeforPumppo2;
    std::vector<double> RtDoubleVectorPumppO2;
    // The time of each cell-pO2 value: points without a pO2 make that vector shorter than
    // the time vector, so each value keeps the time it was taken at.
    std::vector<double> RtDoubleVectorTimeforCellpO2;

    QCPAxis* XAxisTime;
    QCPAxis* YAxisPumpVoltage;
    QCPAxis* RtAxisPumpCurrent;
    QCPAxis* RtAxisCellpO2;
    QCPAxis* RtAxisCellTemp;
    QCPGraph* RtLineSeriesPumpVoltage;
    QCPGraph* RtLineSeriesPumpCurrent;
    QCPGraph* RtLineSeriesCellpO2;
    QCPGraph* RtLineSeriesCellTemp;
    QCPGraph* RtLineSeriesPumppO2;
    QCPLegend* Legend1;
    TZoomUndoStack RtUndoStack1;
    TGraphSettingsDialog* RtGraphSettingsTool1;

  protected:
    // Once the layout knows the plot's width, the series get the points for it: on screen
    // and in a picture alike.
    void updateLayout() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    // The smallest and largest value of a series over all its points, as an axis of
    // that scale can show them (a logarithmic one only the positive values).
    struct TValueBounds {
        double Min = qQNaN();
        double Max = qQNaN();
        double MinPositive = qQNaN();
        double MaxPositive = qQNaN();
        void Add(double aValue);
    };
    static constexpr int SeriesCount = 5;

    void RescaleAutomaticAxis(int aIndex);
    std::optional<QCPRange> DataRange(int aAxisIndex) const;
    void BuildAxes();
    void BuildSeries();
    void BuildLegend();
    const std::vector<double>& SeriesKeys(int aSeries) const;
    const std::vector<double>& SeriesValues(int aSeries) const;
    void FollowSeries(int aSeries);
    void RebuildSeriesSummaries();
    // Gives the series the points aColumns pixel columns show of the visible time span.
    void RefreshPlotData(int aColumns);
    int PlotColumns() const;
    bool BesidePlot(const QPointF& aPos) const;

    std::array<TExtremaIndex, SeriesCount> fExtrema;
    std::array<TValueBounds, SeriesCount> fBounds;
    bool fPlotDataStale = true;
    QCPRange fPlottedRange;
    int fPlottedColumns = 0;

    std::array<bool, 5> fAxisAutomatic{true, true, true, true, true};
    bool fZoomed = false;
    bool fNewPoints = false;
    bool fPanning = false;
    QPointF fPressPos;
    TGraphView fViewAtPress{};
};

// Writes a picture as a PNG file that replaces the old one only once complete; safe on any
// thread. False with the cause.
bool WritePng(const QString& aPath, const QImage& aPicture, QString& aErrorText);

} // namespace oxtiva
