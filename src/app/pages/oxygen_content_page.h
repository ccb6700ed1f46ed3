#pragma once

#include <QSet>
#include <QString>
#include <QWidget>

class QCPGraph;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace oxtiva
{

class TOxygenHistory;
struct TOxygenRecord;
struct TContentSpread;

// The page "Oxygen content": the sample's oxygen content b against time and its isotherm,
// b against log10(pO2) with one point per completed step, a table of those points, and
// the current b, delta and alpha. A point after a stretch that no data point covers
// breaks the b line and carries a red cross. The plots repaint only while the page is
// shown; a point that comes while it is hidden costs no drawing. A long run's b line is
// thinned to a bounded number of points, so drawing it costs the same at any length.
class TOxygenContentPage : public QWidget
{
    Q_OBJECT

  public:
    explicit TOxygenContentPage(QWidget* parent = nullptr);

    void AppendPoint(const TOxygenRecord& aRecord);
    void AppendIsothermPoint(int aStep, const TOxygenRecord& aRecord,
                             const TContentSpread& aContent);
    // Everything anew, after the constants changed and the run was replayed.
    void ShowHistory(const TOxygenHistory& aHistory);
    void ShowCurrent(const TOxygenHistory& aHistory, double aAlpha);
    // Rescales and repaints both plots if the page is shown; otherwise when it is.
    void Replot();

    QCustomPlot* RtGraphOxygenContent = nullptr;
    QCPGraph* RtLineSeriesOxygenContent = nullptr;
    QCPGraph* RtPointSeriesOxygenGaps = nullptr;
    QCustomPlot* RtGraphIsotherm = nullptr;
    QCPGraph* RtPointSeriesIsotherm = nullptr;
    QTableWidget* StringGridIsotherm = nullptr;
    QLineEdit* EditOxygenContentb = nullptr;
    QLineEdit* EditOxygenContentDelta = nullptr;
    QLineEdit* EditOxygenContentAlpha = nullptr;
    QLabel* LabelOxygenAlphaHeld = nullptr; // says when alpha was measured far from here
    QLabel* LabelOxygenGaps = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* BuildValues();
    void BuildContentPlot();
    void BuildIsothermPlot();
    void ClearAll();

    void ThinContentLine();

    bool fStale = false;
    int fStride = 1; // the b line keeps every fStride-th point
    int fSinceKept = 0;
    bool fLastProvisional = false;       // the newest point, drawn though off the stride
    QSet<QString> fLabelledTemperatures; // "700 °C": the isotherm's labels so far
};

} // namespace oxtiva
