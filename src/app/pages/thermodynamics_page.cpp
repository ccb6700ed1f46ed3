#include "app/pages/thermodynamics_page.h"

#include "records/number_format.h"
#include "science/physical_constants.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace oxtiva
{

namespace
{

const QString RunningName = QStringLiteral("this run (saved beside each data file)");

const char* const SourceColumns[] = {"Isotherm file", "Sample",  "Formula",
                                     "Constants",     "Points", "Cell T, °C"};
const char* const ResultColumns[] = {"δ",           "Δh_O, kJ/mol", "± Δh_O",
                                     "Δs_O, J/(mol·K)", "± Δs_O",   "Temperatures"};

const QString Convention = QStringLiteral(
    "At each δ (oxygen deficiency, mol O per mol compound): ½ R T ln(pO2 / 1 atm) = Δh_O − T Δs_O "
    "per mole of O (per mole of O2 both are twice this). ln pO2 against 1/T is then a line "
    "of slope 2 Δh_O / R and intercept −2 Δs_O / R (R = 8.314 J/(mol·K)): Δh_O and Δs_O "
    "are those of the gas's oxygen taken up by the sample, so Δh_O is negative where "
    "oxidation gives off heat. Each isotherm's log10 pO2 is interpolated monotonically in δ, "
    "never beyond its points; each temperature weighs by its spread of δ; ± are standard "
    "errors. Hollow points and \"fewer than 3\" rest on two temperatures only.");

QTableWidget* Table(const char* aName, const char* const* aColumns, int aCount)
{
    auto* table = new QTableWidget(0, aCount);
    table->setObjectName(QString::fromLatin1(aName));
    QStringList captions;
    for (int i = 0; i < aCount; ++i) captions << QString::fromUtf8(aColumns[i]);
    table->setHorizontalHeaderLabels(captions);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return table;
}

QPushButton* Button(const char* aName, const QString& aCaption)
{
    auto* button = new QPushButton(aCaption);
    button->setObjectName(QString::fromLatin1(aName));
    return button;
}

QCustomPlot* Plot(const char* aName, const QString& aYLabel)
{
    auto* plot = new QCustomPlot;
    plot->setObjectName(QString::fromLatin1(aName));
    plot->setBackground(Qt::white);
    plot->xAxis->setLabel(QStringLiteral("δ, mol/mol"));
    plot->yAxis->setLabel(aYLabel);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->setMinimumHeight(150);
    const QColor colour = Qt::darkBlue;
    // Graph 0: three temperatures or more, filled; graph 1: two only, hollow.
    for (bool hollow : {false, true}) {
        QCPGraph* graph = plot->addGraph();
        graph->setLineStyle(QCPGraph::lsNone);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(colour, 1.5),
                                               hollow ? QBrush(Qt::white) : QBrush(colour), 6));
        auto* bars = new QCPErrorBars(plot->xAxis, plot->yAxis);
        bars->setDataPlottable(graph);
        bars->setPen(QPen(colour));
    }
    // No legend to hide points behind: the convention above says what hollow means.
    return plot;
}

QCPErrorBars* BarsOf(QCustomPlot* aPlot, int aGraph)
{
    for (int i = 0; i < aPlot->plottableCount(); ++i)
        if (auto* bars = qobject_cast<QCPErrorBars*>(aPlot->plottable(i)))
            if (bars->dataPlottable() == aPlot->graph(aGraph)) return bars;
    return nullptr;
}

QTableWidgetItem* Item(const QString& aText)
{
    auto* item = new QTableWidgetItem(aText);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QString Fixed(double value, int decimals)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString();
}

QString CelsiusList(const TIsothermSource& aSource)
{
    QStringList names;
    for (const TIsothermGroup& group : GroupByTemperature(aSource.Points))
        names << Fixed(group.CellK - ZeroCelsiusK, 1);
    return names.join(QStringLiteral(", "));
}

void ShowSeries(QCustomPlot* aPlot, const TThermodynamics& aResult,
                double TThermodynamicsRow::*aValue, double TThermodynamicsRow::*aError)
{
    for (int graph : {0, 1}) {
        QVector<double> x, y, e;
        for (const TThermodynamicsRow& row : aResult.Rows)
            if (row.FewerThanThree() == (graph == 1) && std::isfinite(row.*aValue)) {
                x << row.Delta;
                y << row.*aValue;
                e << (std::isfinite(row.*aError) ? row.*aError : 0);
            }
        aPlot->graph(graph)->setData(x, y, true);
        if (QCPErrorBars* bars = BarsOf(aPlot, graph)) bars->setData(e);
    }
    aPlot->rescaleAxes();
    // Room for the error bars and the frame.
    QCPRange yRange = aPlot->yAxis->range();
    for (const TThermodynamicsRow& row : aResult.Rows)
        if (std::isfinite(row.*aValue) && std::isfinite(row.*aError)) {
            yRange.expand(row.*aValue + row.*aError);
            yRange.expand(row.*aValue - row.*aError);
        }
    const double pad = std::max(yRange.size() * 0.08, 1e-6);
    aPlot->yAxis->setRange(yRange.lower - pad, yRange.upper + pad);
    const QCPRange xRange = aPlot->xAxis->range();
    const double xPad = std::max(xRange.size() * 0.04, 1e-6);
    aPlot->xAxis->setRange(xRange.lower - xPad, xRange.upper + xPad);
    aPlot->replot(QCustomPlot::rpQueuedReplot);
}

} // namespace

TThermodynamicsPage::TThermodynamicsPage(QWidget* parent) : QWidget(parent)
{
    LabelThermodynamicsConvention = new QLabel(Convention);
    LabelThermodynamicsConvention->setObjectName(QStringLiteral("LabelThermodynamicsConvention"));
    LabelThermodynamicsConvention->setWordWrap(true);
    StringGridThermodynamics =
        Table("StringGridThermodynamics", ResultColumns, int(std::size(ResultColumns)));
    RtGraphEnthalpy = Plot("RtGraphEnthalpy", QStringLiteral("Δh_O, kJ/mol"));
    RtGraphEntropy = Plot("RtGraphEntropy", QStringLiteral("Δs_O, J/(mol·K)"));

    // Tables on the left, the plots on the right taking the larger share, so that the page
    // keeps both plots readable on a laptop's 1366 x 768.
    auto* left = new QVBoxLayout;
    left->addWidget(LabelThermodynamicsConvention);
    left->addWidget(BuildSources());
    left->addWidget(StringGridThermodynamics, 1);
    auto* plots = new QSplitter(Qt::Vertical);
    plots->addWidget(RtGraphEnthalpy);
    plots->addWidget(RtGraphEntropy);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 2);
    layout->addWidget(plots, 3);
}

QWidget* TThermodynamicsPage::BuildSources()
{
    StringGridIsothermSources =
        Table("StringGridIsothermSources", SourceColumns, int(std::size(SourceColumns)));
    StringGridIsothermSources->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGridIsothermSources->setMaximumHeight(130); // a few sources; it scrolls beyond
    StringGridIsothermSources->horizontalHeader()->setStretchLastSection(true);
    ButtonAddIsotherms = Button("ButtonAddIsotherms", QStringLiteral("Add isotherms…"));
    ButtonRemoveIsotherms = Button("ButtonRemoveIsotherms", QStringLiteral("Remove"));
    ButtonSaveThermodynamics =
        Button("ButtonSaveThermodynamics", QStringLiteral("Save thermodynamics"));
    LabelThermodynamicsMessage = new QLabel;
    LabelThermodynamicsMessage->setObjectName(QStringLiteral("LabelThermodynamicsMessage"));
    LabelThermodynamicsMessage->setWordWrap(true);
    LabelOtherSample = new QLabel;
    LabelOtherSample->setObjectName(QStringLiteral("LabelOtherSample"));
    LabelOtherSample->setWordWrap(true);
    LabelOtherSample->setStyleSheet(QStringLiteral("color: darkred"));
    connect(ButtonAddIsotherms, &QPushButton::clicked, this,
            &TThermodynamicsPage::ButtonAddIsothermsClick);
    connect(ButtonRemoveIsotherms, &QPushButton::clicked, this,
            &TThermodynamicsPage::RemoveSelectedSources);

    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StringGridIsothermSources);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonAddIsotherms);
    buttons->addWidget(ButtonRemoveIsotherms);
    buttons->addStretch(1);
    buttons->addWidget(ButtonSaveThermodynamics);
    layout->addLayout(buttons);
    layout->addWidget(LabelOtherSample);
    layout->addWidget(LabelThermodynamicsMessage);
    return box;
}

void TThermodynamicsPage::ButtonAddIsothermsClick()
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Add isotherms"), QString(),
        QStringLiteral("Isotherm files (*_isotherm.csv);;All files (*)"));
    if (!paths.isEmpty()) AddIsothermFiles(paths);
}

void TThermodynamicsPage::AddIsothermFiles(const QStringList& aPaths)
{
    QStringList failures;
    for (const QString& path : aPaths) {
        TIsothermSource source;
        QString error;
        if (ReadIsothermFile(path, source, error))
            fAdded.push_back(std::move(source));
        else
            failures << QFileInfo(path).fileName() + QStringLiteral(": ") + error;
    }
    ShowMessage(failures.isEmpty() ? QString()
                                   : QStringLiteral("Not read: ") +
                                         failures.join(QStringLiteral("; ")));
    fStale = true;
    Refresh();
}

void TThermodynamicsPage::RemoveSelectedSources()
{
    // The running experiment's row, when there is one, comes first and stays.
    const int offset = fRunning ? 1 : 0;
    QList<int> rows;
    for (const QModelIndex& index : StringGridIsothermSources->selectionModel()->selectedRows())
        rows << index.row() - offset;
    std::sort(rows.rbegin(), rows.rend());
    for (int row : rows)
        if (row >= 0 && row < int(fAdded.size())) fAdded.erase(fAdded.begin() + row);
    fStale = true;
    Refresh();
}

TThermodynamicsInput TThermodynamicsPage::Input() const
{
    TThermodynamicsInput input;
    if (fRunning) {
        TIsothermSource running = fRunning();
        input.SampleName = running.SampleName;
        input.SampleFormula = running.SampleFormula;
        input.Sources.push_back(std::move(running));
    } else if (!fAdded.empty()) {
        input.SampleName = fAdded.front().SampleName;
        input.SampleFormula = fAdded.front().SampleFormula;
    }
    input.Sources.insert(input.Sources.end(), fAdded.begin(), fAdded.end());
    return input;
}

void TThermodynamicsPage::ShowMessage(const QString& aText)
{
    LabelThermodynamicsMessage->setText(aText);
}

void TThermodynamicsPage::Refresh()
{
    fStale = true;
    if (isVisible()) Show();
}

void TThermodynamicsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (fStale) Show();
}

void TThermodynamicsPage::Show()
{
    fStale = false;
    const TThermodynamicsInput input = Input();
    fResult = FitThermodynamics(AllPoints(input));
    ShowSources(input);
    ShowTable();
    ShowPlots();
}

void TThermodynamicsPage::ShowSources(const TThermodynamicsInput& aInput)
{
    QTableWidget* table = StringGridIsothermSources;
    table->setRowCount(int(aInput.Sources.size()));
    QStringList others;
    for (int row = 0; row < table->rowCount(); ++row) {
        const TIsothermSource& source = aInput.Sources[row];
        const QStringList cells = {source.Name.isEmpty() ? RunningName : source.Name,
                                   source.SampleName,
                                   source.SampleFormula,
                                   source.Constants.join(QStringLiteral(", ")),
                                   QString::number(source.Points.size()),
                                   CelsiusList(source)};
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(row, column, Item(cells[column]));
        if (source.SampleName != aInput.SampleName || source.SampleFormula != aInput.SampleFormula)
            others << source.Name + QStringLiteral(" (") + source.SampleName + QStringLiteral(")");
    }
    LabelOtherSample->setText(
        others.isEmpty() ? QString()
                         : QStringLiteral("Points of another sample than ") + aInput.SampleName +
                               QStringLiteral(" are in the fit: ") +
                               others.join(QStringLiteral(", ")));
}

void TThermodynamicsPage::ShowTable()
{
    QTableWidget* table = StringGridThermodynamics;
    table->setRowCount(int(fResult.Rows.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const TThermodynamicsRow& r = fResult.Rows[row];
        const QString temperatures =
            QString::number(r.Temperatures) +
            (r.FewerThanThree() ? QStringLiteral(" (fewer than 3)") : QString());
        const QStringList cells = {Fixed(r.Delta, 5), Fixed(r.dhO_kJ, 2), Fixed(r.dhO_Error, 2),
                                   Fixed(r.dsO_J, 2), Fixed(r.dsO_Error, 2), temperatures};
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(row, column, Item(cells[column]));
    }
}

void TThermodynamicsPage::ShowPlots()
{
    ShowSeries(RtGraphEnthalpy, fResult, &TThermodynamicsRow::dhO_kJ,
               &TThermodynamicsRow::dhO_Error);
    ShowSeries(RtGraphEntropy, fResult, &TThermodynamicsRow::dsO_J,
               &TThermodynamicsRow::dsO_Error);
}

} // namespace oxtiva
