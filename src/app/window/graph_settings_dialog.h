#pragma once

#include <QColor>
#include <QDialog>
#include <vector>

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace oxtiva
{

class TExperimentGraph;
class TRtDoubleEdit;

// RtGraphSettingsTool1, "Set properties of: RtGraph2D1": the graph's appearance. Per
// series its colour, line width and visibility; per axis an automatic range or a fixed
// one. The graph takes the settings when the dialog is accepted.
class TGraphSettingsDialog : public QDialog
{
    Q_OBJECT

  public:
    explicit TGraphSettingsDialog(TExperimentGraph& aGraph);

    void LoadFromGraph();
    void ApplyToGraph();

    struct TSeriesRow {
        QPushButton* Colour;
        QSpinBox* Width;
        QCheckBox* Visible;
        QColor Chosen;
    };
    struct TAxisRow {
        QCheckBox* Automatic;
        TRtDoubleEdit* Minimum;
        TRtDoubleEdit* Maximum;
    };
    std::vector<TSeriesRow> SeriesRows;
    std::vector<TAxisRow> AxisRows;

  private:
    QWidget* BuildSeriesPage();
    QWidget* BuildAxesPage();
    void ShowColour(TSeriesRow& aRow);
    void PickColour(std::size_t aRow);

    TExperimentGraph& fGraph;
};

} // namespace oxtiva
