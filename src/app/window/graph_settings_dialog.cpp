#include "app/window/graph_settings_dialog.h"

#include "app/window/experiment_graph.h"
#include "app/window/numeric_edits.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace oxtiva
{

namespace
{

const char* const AxisNames[] = {"Time", "Pump voltage", "Pump current", "Cell pO2",
                                 "Cell temperature"};

} // namespace

TGraphSettingsDialog::TGraphSettingsDialog(TExperimentGraph& aGraph)
    : QDialog(&aGraph), fGraph(aGraph)
{
    setObjectName(QStringLiteral("RtGraphSettingsTool1"));
    setWindowTitle(QStringLiteral("Set properties of: RtGraph2D1"));
    auto* layout = new QVBoxLayout(this);
    auto* pages = new QTabWidget;
    pages->addTab(BuildSeriesPage(), QStringLiteral("Series"));
    pages->addTab(BuildAxesPage(), QStringLiteral("Axes"));
    layout->addWidget(pages);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, &TGraphSettingsDialog::ApplyToGraph);
    layout->addWidget(buttons);
}

QWidget* TGraphSettingsDialog::BuildSeriesPage()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    const QList<QCPGraph*> series = fGraph.Series();
    for (int i = 0; i < series.size(); ++i) {
        TSeriesRow row{new QPushButton, new QSpinBox, new QCheckBox(QStringLiteral("Visible")), {}};
        row.Width->setRange(0, 10);
        grid->addWidget(new QLabel(series[i]->name()), i, 0);
        grid->addWidget(row.Colour, i, 1);
        grid->addWidget(new QLabel(QStringLiteral("Width")), i, 2);
        grid->addWidget(row.Width, i, 3);
        grid->addWidget(row.Visible, i, 4);
        connect(row.Colour, &QPushButton::clicked, this, [this, i] { PickColour(i); });
        SeriesRows.push_back(row);
    }
    return page;
}

QWidget* TGraphSettingsDialog::BuildAxesPage()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    for (int i = 0; i < 5; ++i) {
        TAxisRow row{new QCheckBox(QStringLiteral("Automatic range")), new TRtDoubleEdit,
                     new TRtDoubleEdit};
        grid->addWidget(new QLabel(QString::fromLatin1(AxisNames[i])), i, 0);
        grid->addWidget(row.Automatic, i, 1);
        grid->addWidget(new QLabel(QStringLiteral("from")), i, 2);
        grid->addWidget(row.Minimum, i, 3);
        grid->addWidget(new QLabel(QStringLiteral("to")), i, 4);
        grid->addWidget(row.Maximum, i, 5);
        connect(row.Automatic, &QCheckBox::toggled, this, [row](bool automatic) {
            row.Minimum->setEnabled(!automatic);
            row.Maximum->setEnabled(!automatic);
        });
        AxisRows.push_back(row);
    }
    return page;
}

void TGraphSettingsDialog::ShowColour(TSeriesRow& aRow)
{
    QPixmap swatch(24, 12);
    swatch.fill(aRow.Chosen);
    aRow.Colour->setIcon(QIcon(swatch));
    aRow.Colour->setText(aRow.Chosen.name());
}

void TGraphSettingsDialog::PickColour(std::size_t aRow)
{
    TSeriesRow& row = SeriesRows.at(aRow);
    const QColor picked = QColorDialog::getColor(row.Chosen, this);
    if (!picked.isValid()) return;
    row.Chosen = picked;
    ShowColour(row);
}

void TGraphSettingsDialog::LoadFromGraph()
{
    const QList<QCPGraph*> series = fGraph.Series();
    for (std::size_t i = 0; i < SeriesRows.size(); ++i) {
        TSeriesRow& row = SeriesRows[i];
        const QPen pen = series[int(i)]->pen();
        row.Chosen = pen.color();
        ShowColour(row);
        const bool points = series[int(i)]->lineStyle() == QCPGraph::lsNone;
        row.Width->setValue(points ? int(series[int(i)]->scatterStyle().size()) : pen.width());
        row.Visible->setChecked(series[int(i)]->visible());
    }
    for (int i = 0; i < int(AxisRows.size()); ++i) {
        const QCPRange range = fGraph.AxisAt(i)->range();
        AxisRows[i].Minimum->SetLimits({}, {});
        AxisRows[i].Maximum->SetLimits({}, {});
        AxisRows[i].Minimum->setValue(range.lower);
        AxisRows[i].Maximum->setValue(range.upper);
        AxisRows[i].Automatic->setChecked(fGraph.AxisAutomatic(i));
        AxisRows[i].Minimum->setEnabled(!fGraph.AxisAutomatic(i));
        AxisRows[i].Maximum->setEnabled(!fGraph.AxisAutomatic(i));
    }
}

void TGraphSettingsDialog::ApplyToGraph()
{
    const QList<QCPGraph*> series = fGraph.Series();
    for (std::size_t i = 0; i < SeriesRows.size(); ++i) {
        const TSeriesRow& row = SeriesRows[i];
        QCPGraph* graph = series[int(i)];
        QPen pen = graph->pen();
        pen.setColor(row.Chosen);
        if (graph->lineStyle() == QCPGraph::lsNone) {
            QCPScatterStyle style = graph->scatterStyle();
            style.setSize(row.Width->value());
            graph->setScatterStyle(style);
        } else {
            pen.setWidth(row.Width->value());
        }
        graph->setPen(pen);
        graph->setVisible(row.Visible->isChecked());
    }
    for (int i = 0; i < int(AxisRows.size()); ++i) {
        const TAxisRow& row = AxisRows[i];
        fGraph.SetAxisAutomatic(i, row.Automatic->isChecked());
        const bool validRange = row.Minimum->value() < row.Maximum->value();
        if (!row.Automatic->isChecked() && validRange)
            fGraph.AxisAt(i)->setRange(row.Minimum->value(), row.Maximum->value());
    }
    fGraph.Replot();
}

} // namespace oxtiva
